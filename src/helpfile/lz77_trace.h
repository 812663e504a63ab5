// An LZ77 stream's structure apart from its bytes: what its items produce
// and where its control groups lie. A damaged stream can then be checked
// against the size it must expand to, and read again from a control byte
// past the damage.
#pragma once

#include <cstdint>

// What a whole stream comes to: the bytes it produces and whether its input
// ends at an item's end (not inside a back reference).
struct Lz77Extent {
    int64_t produced;
    bool whole_items;
};
Lz77Extent lz77_measure(const uint8_t* input, long count);

// The control group whose control byte is input[at]: the input offset of
// the next group's control byte (count or more at the end) and the bytes
// the group produces.
struct Lz77Group {
    long next;
    int64_t produced;
};
Lz77Group lz77_group_at(const uint8_t* input, long count, long at);

// Expands from the control byte at input offset `at` as though the output
// stood at `position`, into output[position, capacity); bytes past the
// capacity are dropped. known[] says which output bytes are trustworthy: a
// literal is, a copied byte is as trustworthy as its source, and sources
// before output[0] are not. Bytes before position are read, not written.
void lz77_expand_marked(const uint8_t* input, long count, long at, uint8_t* output, uint8_t* known, long position,
                        long capacity);
