// Finding a topic's context ids in the |CONTEXT table, which is sorted by
// topic offset.
#include <algorithm>

#include "core/decompile_context.h"
#include "project/context_map.h"

void index_context_topics(DecompileContext& ctx) {
    if (ctx.contexts == nullptr || ctx.context_count <= 0) return;
    const int64_t lowest = ctx.contexts[0].topic_offset;
    const uint64_t span = static_cast<uint64_t>(ctx.contexts[ctx.context_count - 1].topic_offset - lowest);
    // About one bucket per entry: a small array next to the table.
    int32_t shift = 0;
    while ((span >> shift) >= static_cast<uint64_t>(ctx.context_count)) ++shift;
    const int32_t bucket_count = static_cast<int32_t>(span >> shift) + 1;
    int32_t* buckets = tracked_new_array<int32_t>(ctx, int64_t(bucket_count) + 1);
    int32_t entry = 0;
    for (int32_t b = 0; b <= bucket_count; ++b) {
        while (entry < ctx.context_count &&
               static_cast<int64_t>((ctx.contexts[entry].topic_offset - lowest) >> shift) < b) {
            ++entry;
        }
        buckets[b] = entry;
    }
    ctx.context_topic_buckets = buckets;
    ctx.context_topic_bucket_count = bucket_count;
    ctx.context_topic_shift = shift;
}

int32_t first_context_of_topic(const DecompileContext& ctx, int32_t topic_offset) {
    if (ctx.contexts == nullptr || ctx.context_count <= 0) return -1;
    const ContextEntry* begin = ctx.contexts;
    const ContextEntry* end = ctx.contexts + ctx.context_count;
    if (ctx.context_topic_buckets != nullptr) {
        const int64_t from_lowest = int64_t(topic_offset) - ctx.contexts[0].topic_offset;
        if (from_lowest < 0) return -1;
        const int64_t bucket = from_lowest >> ctx.context_topic_shift;
        if (bucket >= ctx.context_topic_bucket_count) return -1;
        end = begin + ctx.context_topic_buckets[bucket + 1];
        begin += ctx.context_topic_buckets[bucket];
    }
    // The lower bound is the first entry of the run, so a topic with many
    // ids costs no more than one with a single id.
    const ContextEntry* first = std::lower_bound(
        begin, end, topic_offset, [](const ContextEntry& e, int32_t offset) { return e.topic_offset < offset; });
    if (first == end || first->topic_offset != topic_offset) return -1;
    return static_cast<int32_t>(first - ctx.contexts);
}
