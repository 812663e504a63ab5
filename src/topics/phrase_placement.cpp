#include "topics/phrase_placement.h"

#include <algorithm>
#include <cstring>
#include <vector>

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
// The places tried for one reading: a damaged stretch that moved the bytes
// after it further than this is lost with them.
constexpr int64_t widest_search = 16384;

// The reading, expanded once as though it stood past a window of bytes it
// cannot vouch for; placed at texts offset p, texts byte x is
// bytes[x - origin(p)].
struct Reading {
    char* bytes;
    uint32_t* unknown_before;  // bytes the reading cannot vouch for before each byte
    int64_t length;            // the bytes it produces
    int64_t* budget;           // bytes of phrases left to compare, over all the places tried
    int64_t origin(int64_t p) const { return p - lz77_window_size; }
};

bool vouched(const DecompileContext& ctx, const Reading& r, int64_t origin, uint32_t i) {
    return r.unknown_before[ctx.phrase_offsets[i + 1] - origin] == r.unknown_before[ctx.phrase_offsets[i] - origin];
}

// How the pairs of phrases, both wholly inside the reading placed at p,
// read from the first such pair on, up to `window` of them or past
// `most_breaks` out of order; pairs holding a byte the reading cannot vouch
// for (one copied from before it) are passed over. Each pair looked at costs
// budget, those compared their bytes.
struct Order {
    uint32_t in_order = 0, broken = 0;
    bool to_end = false;  // every pair there is was read
};

Order order_at(const DecompileContext& ctx, const Reading& r, int64_t p, uint32_t pairs = window,
               uint32_t breaks = most_breaks) {
    const uint32_t* offsets = ctx.phrase_offsets;
    const int64_t origin = r.origin(p), end = p + r.length;
    Order order;
    for (uint32_t i = uint32_t(std::lower_bound(offsets, offsets + ctx.phrase_count + 1, p) - offsets) + 1;
         i < ctx.phrase_count && offsets[i + 1] <= end; ++i) {
        if (--*r.budget <= 0) return order;
        if (!vouched(ctx, r, origin, i - 1) || !vouched(ctx, r, origin, i)) continue;
        *r.budget -= int64_t(offsets[i + 1]) - offsets[i - 1];
        ++(phrase_plausible(ctx, i, r.bytes, origin) ? order.in_order : order.broken);
        if (order.in_order + order.broken >= pairs || order.broken > breaks) return order;
    }
    order.to_end = true;
    return order;
}

bool settles(const Order& order) { return order.broken <= most_breaks && order.in_order >= settling_pairs; }

// Of several places that settle, the one whose phrases go on reading in
// order much further than at the others: sorted phrases read in order one
// byte off as well where neighbours share their first letters, but not for
// long. -1 when none does.
int64_t clearly_best(const DecompileContext& ctx, const Reading& r, const std::vector<int64_t>& places) {
    constexpr uint32_t longer = 16 * window;
    int64_t best = -1;
    uint32_t best_run = 0, next_run = 0;
    for (const int64_t p : places) {
        const uint32_t run = order_at(ctx, r, p, longer).in_order;
        if (*r.budget <= 0) return -1;
        if (run > best_run) {
            next_run = best_run;
            best_run = run;
            best = p;
        } else {
            next_run = std::max(next_run, run);
        }
    }
    return best_run >= 2 * next_run ? best : -1;
}

// The one place in [lo, hi] that settles, or clearly best of a few that
// do; -1 when none does or the budget ran out first.
int64_t settled_place(const DecompileContext& ctx, const Reading& r, int64_t lo, int64_t hi) {
    constexpr size_t most_places = 8;
    std::vector<int64_t> places;
    for (int64_t p = lo; p <= hi; ++p) {
        if (*r.budget <= 0) return -1;
        if (!settles(order_at(ctx, r, p))) continue;
        if (places.size() == most_places) return -1;
        places.push_back(p);
    }
    if (places.size() <= 1) return places.empty() ? -1 : places[0];
    return clearly_best(ctx, r, places);
}

}  // namespace

ReadingPlacement place_reading(DecompileContext& ctx, const uint8_t* image, long image_size, long at,
                               int64_t preferred, int64_t lo, int64_t hi, int64_t& budget) {
    const int64_t length = lz77_measure(image + at, image_size - at).produced;
    const int64_t room = lz77_window_size + length + 1;
    char* bytes = static_cast<char*>(tracked_malloc(ctx, room));
    uint8_t* known = static_cast<uint8_t*>(tracked_malloc(ctx, room));
    uint32_t* unknown_before = tracked_new_array<uint32_t>(ctx, static_cast<long>(room + 1));
    std::memset(bytes, 0, static_cast<size_t>(room));
    std::memset(known, 0, static_cast<size_t>(room));
    lz77_expand_marked(image, image_size, at, reinterpret_cast<uint8_t*>(bytes), known, lz77_window_size,
                       static_cast<long>(lz77_window_size + length));
    unknown_before[0] = 0;
    for (int64_t x = 0; x < room; ++x) unknown_before[x + 1] = unknown_before[x] + (known[x] == 0);
    const Reading r{bytes, unknown_before, length, &budget};
    // The end of the texts places the reading as well as its order does:
    // up to the end, a few pairs in order are enough.
    const Order at_end = order_at(ctx, r, preferred);
    ReadingPlacement placement{preferred, true};
    if (!settles(at_end) && !(at_end.to_end && at_end.broken <= most_breaks && at_end.in_order >= 4 * at_end.broken)) {
        const int64_t top = std::min<int64_t>({hi, lo + widest_search, ctx.phrase_offsets[ctx.phrase_count]});
        const int64_t found = settled_place(ctx, r, std::max<int64_t>(0, lo), top);
        placement = found >= 0 ? ReadingPlacement{found, true} : ReadingPlacement{preferred, false};
    }
    tracked_free(ctx, unknown_before);
    tracked_free(ctx, known);
    tracked_free(ctx, bytes);
    return placement;
}
