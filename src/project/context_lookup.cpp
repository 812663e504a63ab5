// Finding a topic's context ids in the |CONTEXT table, which is sorted by
// topic offset.
#include <algorithm>

#include "plugin/decompile_context.h"
#include "project/context_map.h"

int32_t first_context_of_topic(const DecompileContext& ctx, int32_t topic_offset) {
    if (ctx.contexts == nullptr || ctx.context_count <= 0) return -1;
    const ContextEntry* begin = ctx.contexts;
    const ContextEntry* end = ctx.contexts + ctx.context_count;
    // The lower bound is the first entry of the run, so a topic with many
    // ids costs no more than one with a single id.
    const ContextEntry* first = std::lower_bound(
        begin, end, topic_offset, [](const ContextEntry& e, int32_t offset) { return e.topic_offset < offset; });
    if (first == end || first->topic_offset != topic_offset) return -1;
    return static_cast<int32_t>(first - begin);
}
