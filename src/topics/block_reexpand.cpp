#include "topics/block_reexpand.h"

#include <algorithm>
#include <cstring>

#include "core/decompile_context.h"
#include "core/tracked_allocator.h"
#include "helpfile/lz77.h"
#include "helpfile/lz77_trace.h"

namespace {

// The first control group whose items come out past the damage and reach
// the found record: its input offset, and its output offset in the block's
// expansion as it stands (-1 when none).
long group_past_damage(const uint8_t* input, long count, long damaged, long found, int32_t shift, long moved,
                       long& first_out) {
    long produced = moved;
    for (long at = 0; at < count;) {
        const Lz77Group group = lz77_group_at(input, count, at);
        if (produced + group.produced > found - shift && produced + shift >= damaged) {
            first_out = produced;
            return at;
        }
        produced += group.produced;
        at = group.next;
    }
    return -1;
}

}  // namespace

bool reexpand_block(DecompileContext& ctx, const uint8_t* input, long input_count, const WindowBefore& window,
                    const ExpandedBlock& old, long damaged, long found, int32_t shift, uint8_t* out,
                    uint8_t* doubt, long capacity, BlockReexpansion& result) {
    long first_out = 0;
    const long at = group_past_damage(input, input_count, damaged, found, shift, old.moved, first_out);
    if (at < 0) return false;
    const long start = first_out + shift;  // where that group's output truly lies
    const int64_t length = std::min<int64_t>(start + lz77_measure(input + at, input_count - at).produced, capacity);
    if (start < damaged || start > capacity || length != std::clamp<long>(old.length + shift, found, capacity)) return false;
    // The window before the block, then the block: a reference reaching
    // before the block's first byte reads the slot the window holds there.
    const long total = lz77_window_size + capacity;
    uint8_t* bytes = static_cast<uint8_t*>(tracked_malloc(ctx, total));
    uint8_t* known = static_cast<uint8_t*>(tracked_malloc(ctx, total));
    std::memset(bytes, 0, static_cast<size_t>(total));
    std::memset(known, window.bytes != nullptr, lz77_window_size);
    if (window.bytes != nullptr) std::memcpy(bytes, window.bytes, lz77_window_size);
    if (window.bytes != nullptr && window.doubt != nullptr)
        for (long slot = 0; slot < lz77_window_size; ++slot) known[slot] = !window.doubt[slot];
    uint8_t* block = bytes + lz77_window_size;
    // Up to the damage the bytes stay as they came; from the found record
    // to the group, they are the first expansion's moved back by the shift.
    // The true bytes between are lost: the records there are dropped, and
    // what copies them gets spaces, which read as text and name no phrase.
    for (long t = 0; t < start; ++t) {
        const long from = t < damaged ? t : t - shift;
        block[t] = t >= damaged && t < found ? ' ' : from >= 0 && from < old.length ? old.bytes[from] : 0;
    }
    // Bytes before the damage are as sound as an earlier mend left them.
    for (long t = 0; t < damaged; ++t) known[lz77_window_size + t] = !(old.doubt != nullptr && t < old.length && old.doubt[t]);
    std::memset(known + lz77_window_size + damaged, 0, static_cast<size_t>(capacity - damaged));
    lz77_expand_marked(input, input_count, at, bytes, known, lz77_window_size + start, total);
    result = {static_cast<long>(length), 0, 0};
    for (long t = start; t < length; ++t) {
        if (known[lz77_window_size + t]) continue;
        ++result.untrusted;
        result.last_untrusted = t;
    }
    std::memcpy(out, block, static_cast<size_t>(length));
    for (long t = 0; t < length; ++t) doubt[t] = !known[lz77_window_size + t];
    tracked_free(ctx, known);
    tracked_free(ctx, bytes);
    return true;
}
