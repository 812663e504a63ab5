// Guessing readable names for context ids from the keyword indexes: a
// keyword that leads to a topic often is the topic's context string, or
// close to it.
#include <algorithm>
#include <cstdio>

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_hash.h"
#include "project/context_map.h"

namespace {

// The alias table's indexes in order of the offset keyword lists use, so
// the aliases of one offset are found by binary search, in table order.
struct AliasIndex {
    int32_t* order;  // tracked
    int32_t count;
};

AliasIndex index_aliases(DecompileContext& ctx) {
    AliasIndex index{nullptr, ctx.topic_alias_count > 0 ? ctx.topic_alias_count : 0};
    if (index.count == 0) return index;
    index.order = tracked_new_array<int32_t>(ctx, index.count);
    for (int32_t i = 0; i < index.count; ++i) index.order[i] = i;
    const TopicOffsetAlias* aliases = ctx.topic_aliases;
    std::stable_sort(index.order, index.order + index.count,
                     [aliases](int32_t a, int32_t b) { return aliases[a].other_offset < aliases[b].other_offset; });
    return index;
}

void derive_for_offset(DecompileContext& ctx, const AliasIndex& index, const char* keyword, int32_t topic_offset) {
    derive_context_names(ctx, keyword, topic_offset);
    const TopicOffsetAlias* aliases = ctx.topic_aliases;
    int32_t* first = std::lower_bound(index.order, index.order + index.count, topic_offset,
                                      [aliases](int32_t i, int32_t t) { return aliases[i].other_offset < t; });
    for (int32_t* p = first; p < index.order + index.count && aliases[*p].other_offset == topic_offset; ++p) {
        derive_context_names(ctx, keyword, aliases[*p].topic_offset);
    }
}

void guess_from_index(DecompileContext& ctx, std::FILE* file, const AliasIndex& aliases, const char* data_name,
                      const char* tree_name) {
    walk_keyword_index(
        ctx, file, data_name, tree_name,
        [&](const char* keyword, int32_t topic_offset) { derive_for_offset(ctx, aliases, keyword, topic_offset); },
        [] { std::fputc('.', stderr); });
}

}  // namespace

void read_keyword_entry(std::FILE* file, long data_end, KeywordEntry& entry) {
    read_entry_string(file, data_end, entry.keyword, keyword_limit);
    check_entry_room(file, data_end, 6);
    entry.count = read_word(file);
    entry.offset = static_cast<int32_t>(read_dword(file));
}

long keyword_list_start(const DecompileContext& ctx, const KeywordEntry& entry, long entry_count) {
    long start = entry.offset / 4;
    if (entry.offset >= 0 && start + entry.count <= entry_count) return start;
    if (ctx.salvage) return -1;
    fatal_error("malformed keytopic file\n");
}

void guess_context_names(DecompileContext& ctx, std::FILE* file) {
    std::fputs("Guessing...", stderr);
    context_names_begin_batch(ctx);
    AliasIndex aliases = index_aliases(ctx);
    for (int sweep = 0; sweep < 2; ++sweep) {
        const bool* letters = sweep == 0 ? ctx.keyword_file_letters : ctx.keyword_index_letters;
        for (int c = '0'; c <= 'z'; ++c) {
            if (!letters[c]) continue;
            char data_name[16];
            char tree_name[16];
            std::snprintf(data_name, sizeof data_name, sweep == 0 ? "|%cWDATA" : "|%cKWDATA", c);
            std::snprintf(tree_name, sizeof tree_name, sweep == 0 ? "|%cWBTREE" : "|%cKWBTREE", c);
            guess_from_index(ctx, file, aliases, data_name, tree_name);
        }
    }
    if (aliases.order) tracked_free(ctx, aliases.order);
    context_names_end_batch(ctx);
    if (ctx.derived_count > 0) {
        std::fprintf(stderr, "%ld context ids found\n", static_cast<long>(ctx.derived_count));
    } else {
        std::fputs("no context ids found\n(you may use option /g to turn off guessing on this help file)\n", stderr);
    }
}
