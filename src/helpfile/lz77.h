// LZ77 over a 4096-byte window and the run-length code of pictures.
#pragma once

#include <cstdint>
#include <cstdio>

struct ByteStream;
struct DecompileContext;
struct MemoryFile;

constexpr int lz77_runlength_flag = 1;  // run-length decode the output
constexpr int lz77_lz_flag = 2;         // LZ77-decode the input

// Expands input_count bytes from source into destination; returns the
// number of bytes the output layer reports.
long lz77_expand(DecompileContext& ctx, int flags, long input_count, ByteStream* source, ByteStream* destination);
// LZ77 from memory into memory, with the result lz77_expand gives for
// the same bytes (window included); *consumed, when given, receives the
// input bytes it read. *self_contained, when given, tells whether the
// output holds every byte produced and no reference reached back into what
// earlier expansions left in the window: then the output alone determines
// both the result and the window (lz77_replay_window).
long lz77_expand_buffer(DecompileContext& ctx, const uint8_t* input, long input_count, uint8_t* output,
                        long capacity, long* consumed, bool* self_contained = nullptr);
long lz77_expand_to_buffer(DecompileContext& ctx, long capacity, int flags, std::FILE* file, long input_count,
                           void* destination, bool* self_contained = nullptr);
// Leaves the window as the self-contained expansion of these bytes did.
void lz77_replay_window(DecompileContext& ctx, const uint8_t* output, long length);
long lz77_expand_to_output(DecompileContext& ctx, MemoryFile* output, int flags, ByteStream* source,
                           long input_count);
// Feeds one byte through the run-length decoder of the stream.
long runlength_put(ByteStream* stream, int c);
