// Finding the records that follow damage inside one |TOPIC block.
#pragma once

#include <cstdint>

// Where the record chain picks up again in a block's expanded bytes, and by
// how much those bytes lie off their true place: the record at `position`
// was found at data offset position - base - shift. position 0: not found.
struct BlockResync {
    uint32_t position;
    int32_t shift;
};

// Searches a block's expanded bytes (data[0] being topic position base) for
// the first record at or after `after` whose header agrees with its
// neighbour's: its link and length name the next record, whose header
// names it back. Expanded bytes that came out of garbled compressed data
// are mostly of another length than the true ones, so the records past the
// damage may sit shifted in the buffer; the pair gives the shift too.
// The last record of the block is found through the next block's header
// instead (last_link, the position of this block's last record, and
// next_first, the first record of the next block; 0 when unknown).
// Positions stay below block_end. A record at `shifted_only` (the damaged
// record itself, 0 for none) is taken only where it lies off its place: its
// header read there was shifted, not garbled. One pass over the bytes.
BlockResync find_block_resync(const uint8_t* data, long length, uint32_t base, uint32_t after, uint32_t block_end,
                              uint32_t last_link, uint32_t next_first, uint32_t shifted_only = 0);
