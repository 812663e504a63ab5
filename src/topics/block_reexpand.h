// Expanding a damaged |TOPIC block again past its damage, in place.
#pragma once

#include <cstdint>

struct DecompileContext;

// What a second expansion gave: the block's expanded length, and how many
// bytes past the damage copy garbled bytes (directly or through other
// copies), with the last of them (an offset into the block's data).
struct BlockReexpansion {
    long length;
    long untrusted;
    long last_untrusted;
};

// A block's expansion as it stands: earlier mends may have moved its bytes
// past their damage (moved, in all, from where the expansion of the block's
// bytes put them).
struct ExpandedBlock {
    const uint8_t* bytes;
    long length;
    long moved;
};

// A block's compressed bytes (input), whose expansion (old) came out
// `shift` bytes off from the record the walk found at data offset `found`
// on; `damaged` is where the walk met the damage. Its items past the damage
// are expanded again at their true place: a back reference that reached
// across the damage read bytes `shift` away from its own in the first
// expansion, and now reads the true ones, unless they are the garbled
// bytes themselves. window holds the 4096 window slots before the block
// (null when unknown: references into it then count as garbled). The
// result goes to out (capacity bytes); false when no control group past the
// damage can be found or the lengths disagree, and out is then untouched.
bool reexpand_block(DecompileContext& ctx, const uint8_t* input, long input_count, const uint8_t* window,
                    const ExpandedBlock& old, long damaged, long found, int32_t shift, uint8_t* out,
                    long capacity, BlockReexpansion& result);
