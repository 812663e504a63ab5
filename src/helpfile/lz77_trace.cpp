#include "helpfile/lz77_trace.h"

namespace {

// The items of the control group at input[at]: back references (two input
// bytes, 3 to 18 output bytes) and literals, each passed to
// item(reference, length, distance, literal). Returns the next group's offset.
template <typename Item>
long walk_group(const uint8_t* input, long count, long at, bool& whole, Item&& item) {
    whole = true;
    if (at >= count) return at;
    const unsigned control = input[at++];
    for (unsigned mask = 1; mask < 0x100; mask <<= 1) {
        if (at >= count) return at;
        if (control & mask) {
            if (at + 1 >= count) {
                whole = false;  // the stream ends between a reference's two bytes
                return count;
            }
            const unsigned w = input[at] | (static_cast<unsigned>(input[at + 1]) << 8);
            at += 2;
            item(true, (w >> 12) + 3, (w & 0xFFF) + 1, 0);
        } else {
            item(false, 1u, 0u, input[at++]);
        }
    }
    return at;
}

}  // namespace

Lz77Group lz77_group_at(const uint8_t* input, long count, long at) {
    Lz77Group group{at, 0};
    bool whole = true;
    group.next = walk_group(input, count, at, whole,
                            [&](bool, unsigned length, unsigned, uint8_t) { group.produced += length; });
    if (group.next == at) group.next = at + 1;
    return group;
}

Lz77Extent lz77_measure(const uint8_t* input, long count) {
    Lz77Extent extent{0, true};
    for (long at = 0; at < count;) {
        bool whole = true;
        at = walk_group(input, count, at, whole,
                        [&](bool, unsigned length, unsigned, uint8_t) { extent.produced += length; });
        if (!whole) extent.whole_items = false;
    }
    return extent;
}

void lz77_expand_marked(const uint8_t* input, long count, long at, uint8_t* output, uint8_t* known, long position,
                        long capacity) {
    int64_t to = position;
    while (at < count) {
        bool whole = true;
        at = walk_group(input, count, at, whole, [&](bool reference, unsigned length, unsigned distance, uint8_t c) {
            for (unsigned k = 0; k < length; ++k, ++to) {
                if (to < 0 || to >= capacity) continue;
                const int64_t from = to - distance;
                if (!reference) {
                    output[to] = c;
                    known[to] = 1;
                } else if (from >= 0) {
                    output[to] = output[from];
                    known[to] = known[from];
                } else {
                    output[to] = 0;
                    known[to] = 0;
                }
            }
        });
    }
}
