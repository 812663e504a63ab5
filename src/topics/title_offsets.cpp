#include "topics/title_offsets.h"

#include <algorithm>
#include <cstring>

#include "core/decompile_context.h"
#include "core/tracked_allocator.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_map.h"
#include "topics/topic_reader.h"

namespace {

// A hash of a title (length bytes), as the table keeps it.
uint32_t title_hash(const char* title, long length) {
    uint32_t hash = 2166136261u;
    for (long i = 0; i < length; ++i) hash = (hash ^ static_cast<uint8_t>(title[i])) * 16777619u;
    return hash;
}

}  // namespace

void load_title_offsets(DecompileContext& ctx, std::FILE* file) {
    long length = 0;
    if (!find_internal_file(ctx, file, &length, "|TTLBTREE")) return;
    BTreeWalk walk;
    // An entry is at least a 4-byte offset and a NUL: the file bounds them.
    const long most = std::max<long>(length / 5, 1);
    ctx.title_offsets = tracked_new_array<DecompileContext::TitleOffset>(ctx, most);
    ctx.title_offset_count = 0;
    // Counted in only once whole and sorted: damage that stops the reading
    // leaves the table unused.
    int32_t count_read = 0;
    char title[keyword_limit];
    for (int count = btree_first_leaf(ctx, walk, file, nullptr, length, "|TTLBTREE"); count > 0;
         count = btree_next_leaf(ctx, walk, file)) {
        for (int i = 0; i < count && count_read < most; ++i) {
            if (std::ftell(file) + 5 > walk.data_end) break;
            const auto offset = static_cast<int32_t>(read_dword(file));
            read_entry_string(file, walk.data_end, title, keyword_limit);
            ctx.title_offsets[count_read++] = {offset, title_hash(title, long(std::strlen(title)))};
        }
    }
    // Leaves taken by their headers may come out of order.
    std::sort(ctx.title_offsets, ctx.title_offsets + count_read,
              [](const auto& a, const auto& b) { return a.offset < b.offset; });
    ctx.title_offset_count = count_read;
}

namespace {

bool names_a_context(const DecompileContext& ctx, uint32_t offset) {
    const ContextEntry* end = ctx.contexts + ctx.context_count;
    const ContextEntry* at = std::lower_bound(static_cast<const ContextEntry*>(ctx.contexts), end, int64_t(offset),
                                              [](const ContextEntry& e, int64_t value) { return e.topic_offset < value; });
    return at != end && uint32_t(at->topic_offset) == offset;
}

// Either table may be damaged as well: the title's offset is taken where
// the context table names a topic there and not at the offset counted.
uint32_t confirmed(const DecompileContext& ctx, uint32_t computed, uint32_t found) {
    if (found == computed || ctx.contexts == nullptr) return computed;
    return !names_a_context(ctx, computed) && names_a_context(ctx, found) ? found : computed;
}

}  // namespace

uint32_t offset_by_title(const DecompileContext& ctx, const TopicWalk& walk, uint32_t computed, uint32_t from,
                         uint32_t block_end) {
    if (walk.text == nullptr || from >= block_end) return computed;
    const long length = static_cast<long>(strnlen(walk.text, static_cast<size_t>(walk.text_size)));
    if (length == 0) return computed;
    const uint32_t hash = title_hash(walk.text, length);
    const DecompileContext::TitleOffset* end = ctx.title_offsets + ctx.title_offset_count;
    const DecompileContext::TitleOffset* at = std::lower_bound(
        static_cast<const DecompileContext::TitleOffset*>(ctx.title_offsets), end, int64_t(from),
        [](const DecompileContext::TitleOffset& entry, int64_t value) { return entry.offset < value; });
    for (; at != end && uint32_t(at->offset) < block_end; ++at)
        if (at->title_hash == hash) return confirmed(ctx, computed, uint32_t(at->offset));
    return computed;
}
