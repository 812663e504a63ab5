// Finding a topic's context ids in the |CONTEXT table, which is sorted by
// topic offset.
#include <algorithm>

#include "plugin/decompile_context.h"
#include "project/context_map.h"

namespace {

uint32_t topic_slot(const ContextTopicSlot* slots, int32_t capacity, int32_t topic_offset) {
    const uint32_t mask = static_cast<uint32_t>(capacity - 1);
    uint32_t slot = (static_cast<uint32_t>(topic_offset) * 2654435761u) & mask;
    while (slots[slot].first >= 0 && slots[slot].topic_offset != topic_offset) slot = (slot + 1) & mask;
    return slot;
}

}  // namespace

void index_context_topics(DecompileContext& ctx) {
    if (ctx.contexts == nullptr || ctx.context_count <= 0) return;
    int32_t capacity = 16;
    while (capacity < 2 * int64_t(ctx.context_count)) capacity *= 2;
    ContextTopicSlot* slots = tracked_new_array<ContextTopicSlot>(ctx, capacity);
    for (int32_t i = 0; i < capacity; ++i) slots[i] = ContextTopicSlot{0, -1};
    for (int32_t i = 0; i < ctx.context_count; ++i) {
        ContextTopicSlot& slot = slots[topic_slot(slots, capacity, ctx.contexts[i].topic_offset)];
        if (slot.first < 0) slot = ContextTopicSlot{ctx.contexts[i].topic_offset, i};
    }
    ctx.context_topic_index = slots;
    ctx.context_topic_capacity = capacity;
}

int32_t first_context_of_topic(const DecompileContext& ctx, int32_t topic_offset) {
    if (ctx.contexts == nullptr || ctx.context_count <= 0) return -1;
    if (ctx.context_topic_index != nullptr) {
        return ctx.context_topic_index[topic_slot(ctx.context_topic_index, ctx.context_topic_capacity, topic_offset)]
            .first;
    }
    const ContextEntry* begin = ctx.contexts;
    const ContextEntry* end = ctx.contexts + ctx.context_count;
    // The lower bound is the first entry of the run, so a topic with many
    // ids costs no more than one with a single id.
    const ContextEntry* first = std::lower_bound(
        begin, end, topic_offset, [](const ContextEntry& e, int32_t offset) { return e.topic_offset < offset; });
    if (first == end || first->topic_offset != topic_offset) return -1;
    return static_cast<int32_t>(first - begin);
}
