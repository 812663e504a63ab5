// Context map, keyword index and |Rose files.
#include "context_builder.h"

#include <algorithm>

namespace hlptest {
namespace {

// Hash value of one character: its code minus '0' as a signed byte, with
// the exceptions the help compilers use.
int hash_value(uint8_t ch) {
    switch (ch) {
        case 0x00: return 0;
        case '!': return 11;
        case '.': return 12;
        case '0': return 10;
        case '[': return 11;
        case '\\': return 12;
        case ']': return 13;
        case '^': return 14;
        case '_': return 13;
        case '`': return 16;
        case 0xB4: return 11;
        default: break;
    }
    if (ch >= 0x61 && ch <= 0x7F) return ch - 80;  // lower case as upper case
    return static_cast<int8_t>(static_cast<uint8_t>(ch - 48));
}

Bytes u32_bytes(uint32_t v) {
    ByteWriter w;
    w.u32(v);
    return w.take();
}

}  // namespace

uint32_t context_string_hash(std::string_view name) {
    if (name.empty()) return 1;
    uint32_t h = 0;
    for (char c : name) h = h * 43 + static_cast<uint32_t>(hash_value(static_cast<uint8_t>(c)));
    return h;
}

Bytes build_context_tree(const std::vector<ContextPair>& given, const BTreeOptions& options) {
    // In hash order read as signed numbers, as the help compilers sort it.
    std::vector<ContextPair> pairs = given;
    std::stable_sort(pairs.begin(), pairs.end(),
                     [](const ContextPair& a, const ContextPair& b) { return int32_t(a.hash) < int32_t(b.hash); });
    std::vector<BTreeEntry> entries;
    for (const auto& p : pairs) entries.push_back({u32_bytes(p.hash), u32_bytes(static_cast<uint32_t>(p.topic_offset))});
    return build_btree(entries, options);
}

Bytes build_topic_map(const std::vector<int32_t>& topic_offsets) {
    ByteWriter w;
    for (int32_t t : topic_offsets) w.u32(static_cast<uint32_t>(t));
    return w.take();
}

Bytes build_context_map(const std::vector<MapPair>& entries, std::optional<uint16_t> count) {
    ByteWriter w;
    w.u16(count.value_or(static_cast<uint16_t>(entries.size())));
    for (const auto& e : entries) w.u32(static_cast<uint32_t>(e.map_number)).u32(static_cast<uint32_t>(e.topic_offset));
    return w.take();
}

KeywordIndex build_keyword_index(const std::vector<KeywordSpec>& keywords, const BTreeOptions& options) {
    ByteWriter data;
    std::vector<BTreeEntry> entries;
    for (const auto& k : keywords) {
        uint32_t byte_offset = static_cast<uint32_t>(data.size());
        for (uint32_t t : k.topic_offsets) data.u32(t);
        ByteWriter key;
        key.cstring(k.keyword);
        ByteWriter value;
        value.u16(k.count.value_or(static_cast<uint16_t>(k.topic_offsets.size())))
            .u32(k.byte_offset ? static_cast<uint32_t>(*k.byte_offset) : byte_offset);
        entries.push_back({key.take(), value.take()});
    }
    return {build_btree(entries, options), data.take()};
}

Bytes build_rose(const std::vector<RoseSpec>& entries, const BTreeOptions& options) {
    std::vector<BTreeEntry> tree;
    for (const auto& e : entries) {
        ByteWriter value;
        value.cstring(e.macro).cstring(e.title);
        tree.push_back({u32_bytes(e.hash), value.take()});
    }
    return build_btree(tree, options);
}

}  // namespace hlptest
