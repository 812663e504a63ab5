#include "topics/phrase_placement.h"

#include <algorithm>
#include <cstring>

#include "core/decompile_context.h"
#include "helpfile/lz77_trace.h"
#include "topics/phrase_order.h"

namespace {

// Texts cut at wrong places read in order pair by pair about half the
// time. A place settles where, of the first `window` pairs, this many read in
// order with at most `most_breaks` out of order (a garbled letter or two):
// elsewhere than at the right place a chance of about one in a billion per
// place tried.
constexpr uint32_t window = 64;
constexpr uint32_t settling_pairs = 40;
constexpr uint32_t most_breaks = 2;

// The reading, expanded once as though it stood past a window of bytes it
// cannot vouch for; placed at texts offset p, texts byte x is
// bytes[x - origin(p)].
struct Reading {
    char* bytes;
    uint8_t* known;
    int64_t length;  // the bytes it produces
    int64_t origin(int64_t p) const { return p - lz77_window_size; }
};

bool vouched(const DecompileContext& ctx, const Reading& r, int64_t origin, uint32_t i) {
    for (uint32_t x = ctx.phrase_offsets[i]; x < ctx.phrase_offsets[i + 1]; ++x)
        if (!r.known[x - origin]) return false;
    return true;
}

// How the pairs of phrases, both wholly inside the reading placed at p,
// read from the first such pair on, up to `window` of them or past
// `most_breaks` out of order; pairs holding a byte the reading cannot vouch
// for (one copied from before it) are passed over.
struct Order {
    uint32_t in_order = 0, broken = 0;
    bool to_end = false;  // every pair there is was read
};

Order order_at(const DecompileContext& ctx, const Reading& r, int64_t p) {
    const uint32_t* offsets = ctx.phrase_offsets;
    const int64_t origin = r.origin(p), end = p + r.length;
    Order order;
    for (uint32_t i = uint32_t(std::lower_bound(offsets, offsets + ctx.phrase_count + 1, p) - offsets) + 1;
         i < ctx.phrase_count && offsets[i + 1] <= end; ++i) {
        if (!vouched(ctx, r, origin, i - 1) || !vouched(ctx, r, origin, i)) continue;
        ++(phrase_plausible(ctx, i, r.bytes, origin) ? order.in_order : order.broken);
        if (order.in_order + order.broken >= window || order.broken > most_breaks) return order;
    }
    order.to_end = true;
    return order;
}

bool settles(const Order& order) { return order.broken <= most_breaks && order.in_order >= settling_pairs; }

// The one place in [lo, hi] that settles; -1 when none or more than one do.
int64_t settled_place(const DecompileContext& ctx, const Reading& r, int64_t lo, int64_t hi) {
    int64_t found = -1;
    for (int64_t p = lo; p <= hi; ++p) {
        if (!settles(order_at(ctx, r, p))) continue;
        if (found >= 0) return -1;
        found = p;
    }
    return found;
}

}  // namespace

ReadingPlacement place_reading(DecompileContext& ctx, const uint8_t* image, long image_size, long at,
                               int64_t preferred, int64_t lo, int64_t hi) {
    const int64_t length = lz77_measure(image + at, image_size - at).produced;
    const int64_t room = lz77_window_size + length + 1;
    Reading r{static_cast<char*>(tracked_malloc(ctx, room)), static_cast<uint8_t*>(tracked_malloc(ctx, room)), length};
    std::memset(r.bytes, 0, static_cast<size_t>(room));
    std::memset(r.known, 0, static_cast<size_t>(room));
    lz77_expand_marked(image, image_size, at, reinterpret_cast<uint8_t*>(r.bytes), r.known, lz77_window_size,
                       static_cast<long>(lz77_window_size + length));
    // The end of the texts places the reading as well as its order does:
    // up to the end, a few pairs in order are enough.
    const Order at_end = order_at(ctx, r, preferred);
    ReadingPlacement placement{preferred, true};
    if (!settles(at_end) && !(at_end.to_end && at_end.broken <= most_breaks && at_end.in_order >= 4 * at_end.broken)) {
        const int64_t found =
            settled_place(ctx, r, std::max<int64_t>(0, lo), std::min<int64_t>(hi, ctx.phrase_offsets[ctx.phrase_count]));
        placement = found >= 0 ? ReadingPlacement{found, true} : ReadingPlacement{preferred, false};
    }
    tracked_free(ctx, r.known);
    tracked_free(ctx, r.bytes);
    return placement;
}
