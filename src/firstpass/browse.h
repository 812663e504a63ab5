// Browse sequences: rebuilt from the links of the topic headers in the
// first pass, numbered in the second.
#pragma once

#include <cstdint>

struct DecompileContext;

// First pass: the operation the topic's key c, following value f, and
// links n and p select.
void browse_select(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p);
// Second pass: the same selection; the topic's browse identifier
// (sequence number low, position high), or 0.
uint32_t browse_number_select(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p);
// Starts the first pass: no open chain, sequence numbers from 1.
void browse_first_pass_start(DecompileContext& ctx);
// Empties the open-chain table before the second pass.
void browse_second_pass_start(DecompileContext& ctx);
