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
// bytes put them), and found bytes in doubt (null: none).
struct ExpandedBlock {
    const uint8_t* bytes;
    long length;
    long moved;
    const uint8_t* doubt;
};

// The 4096 window slots before a block and which of them are in doubt
// (null: none); bytes null when the window is unknown.
struct WindowBefore {
    const uint8_t* bytes;
    const uint8_t* doubt;
};

// A block's compressed bytes (input), whose expansion (old) came out
// `shift` bytes off from the record the walk found at data offset `found`
// on; `damaged` is where the walk met the damage. Its items past the damage
// are expanded again at their true place: a back reference that reached
// across the damage read bytes `shift` away from its own in the first
// expansion, and now reads the true ones, unless they are the garbled
// bytes themselves. References into an unknown window count as garbled.
// The result goes to out, and to doubt a 1 for each byte of it that copies
// garbled ones or stands for the lost ones (capacity bytes each); false when
// no control group past the damage can be found or the lengths disagree,
// and out is then untouched.
bool reexpand_block(DecompileContext& ctx, const uint8_t* input, long input_count, const WindowBefore& window,
                    const ExpandedBlock& old, long damaged, long found, int32_t shift, uint8_t* out,
                    uint8_t* doubt, long capacity, BlockReexpansion& result);
