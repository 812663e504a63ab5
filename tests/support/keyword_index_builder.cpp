// |VIOLA and the names of keyword index files.
#include "keyword_index_builder.h"

#include <string>

namespace hlptest {

Bytes build_viola(const std::vector<WindowEntry>& entries, const BTreeOptions& options) {
    std::vector<BTreeEntry> tree;
    for (const auto& e : entries) {
        ByteWriter key;
        key.u32(static_cast<uint32_t>(e.topic_offset));
        ByteWriter value;
        value.u32(static_cast<uint32_t>(e.window));
        tree.push_back({key.take(), value.take()});
    }
    BTreeOptions layout = options;
    if (layout.structure == BTreeOptions{}.structure) layout.structure = "LL";
    return build_btree(tree, layout);
}

std::vector<InternalFile> keyword_index_files(char letter, bool multi_key, const KeywordIndex& index) {
    std::string stem = std::string("|") + letter + (multi_key ? "KW" : "W");
    return {{stem + "BTREE", index.tree}, {stem + "DATA", index.data}};
}

}  // namespace hlptest
