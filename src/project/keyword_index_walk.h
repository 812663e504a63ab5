// The body of walk_keyword_index (context_map.h), shared by the guessing of
// context names and the keyword footnotes.
#pragma once

#include <cstring>

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

template <typename OnReference, typename OnLeaf>
long walk_keyword_index(DecompileContext& ctx, std::FILE* file, const char* data_name, const char* tree_name,
                        OnReference on_reference, OnLeaf on_leaf, char* first_lost) {
    long data_length = 0;
    if (!find_internal_file(ctx, file, &data_length, data_name)) return 0;
    uint8_t* data = read_internal_file(ctx, file, data_length);
    long data_entries = data_length / 4;
    long tree_length = 0;
    long lost = 0;
    if (find_internal_file(ctx, file, &tree_length, tree_name)) {
        BTreeWalk walk;
        KeywordEntry entry;
        for (int count = btree_first_leaf(ctx, walk, file, nullptr, tree_length, tree_name); count != 0;
             count = btree_next_leaf(ctx, walk, file)) {
            for (int i = 0; i < count; ++i) {
                read_keyword_entry(file, walk.data_end, entry);
                // A list that leaves the data file is fatal, or with salvage
                // costs its keyword.
                long start = keyword_list_start(ctx, entry, data_entries);
                if (start < 0) {
                    if (lost++ == 0 && first_lost != nullptr) std::memcpy(first_lost, entry.keyword, keyword_limit);
                    continue;
                }
                for (long k = 0; k < entry.count; ++k) {
                    on_reference(entry.keyword, static_cast<int32_t>(get_le32(data + 4 * (start + k))));
                }
            }
            on_leaf();
        }
    }
    tracked_free(ctx, data);
    return lost;
}
