// Pixels expanded from memory against the expansion byte by byte through
// the picture window: the same output, LZ77 window and source positions, for
// every packing, any limit, and sources that end early.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "core/memory_file.h"
#include "firstpass/picture_writers.h"
#include "helpfile/lz77.h"
#include "helpfile_fixture.h"

namespace {

using hlptest::Bytes;

struct Outcome {
    Bytes output;
    Bytes window;
    long window_position;
    long source_position;
};

// Packed data at offset 5 of a source of the given kind, of which `have`
// bytes exist; the window ends `packed` bytes after the data's start.
Outcome expand(DecompileContext& ctx, bool from_file, bool in_memory, const Bytes& data, long packed, long have,
               unsigned packing, uint64_t limit, const Bytes& window) {
    Bytes source(5 + static_cast<size_t>(have), 0x55);
    if (have > 0) std::memcpy(source.data() + 5, data.data(), static_cast<size_t>(have));
    std::memcpy(ctx.lz77_window, window.data(), lz77_window_size);
    OpenBytes file(source);
    ByteStream* stream = from_file ? stream_open_file(ctx, file.file)
                                   : stream_open_buffer(ctx, source.data(), static_cast<long>(source.size()));
    stream->seek(stream, 5);
    PictureStream in;
    picture_stream_open(in, stream, 5 + packed);
    MemoryFile* out = output_open("pixels", "wb");
    output_add(ctx.outputs, out);
    if (in_memory) {
        expand_pixels(ctx, packing, packed, in, out, limit);
    } else {
        CappedOutput pixels;
        capped_output_open(pixels, out, limit);
        lz77_expand(ctx, static_cast<int>(packing), packed, &in.stream, &pixels.stream);
    }
    Outcome o{Bytes(out->buffer, out->buffer + out->length), Bytes(ctx.lz77_window, ctx.lz77_window + lz77_window_size),
              in.position, stream->tell(stream)};
    tracked_free(ctx, stream);
    return o;
}

TEST(PixelExpansion, FromMemoryAsByteByByte) {
    ContextHolder h;
    std::mt19937 random(17);
    Bytes window(lz77_window_size);
    for (auto& b : window) b = static_cast<uint8_t>(random());
    for (int round = 0; round < 600; ++round) {
        // Few distinct values make runs, short references and count bytes.
        Bytes data(1 + random() % 600);
        for (auto& b : data) b = static_cast<uint8_t>(random() % 3 ? random() % 8 : random());
        const long packed = static_cast<long>(data.size());
        const long have = round % 5 == 0 ? static_cast<long>(random() % data.size()) : packed;
        const unsigned packing = random() % 4;
        const uint64_t limits[] = {0, 1, 100, 4000, 1u << 20};
        const uint64_t limit = limits[random() % 5];
        const bool from_file = round % 2 == 0;
        SCOPED_TRACE("round " + std::to_string(round) + ", packing " + std::to_string(packing));
        const Outcome streams = expand(*h.ctx, from_file, false, data, packed, have, packing, limit, window);
        const Outcome memory = expand(*h.ctx, from_file, true, data, packed, have, packing, limit, window);
        ASSERT_EQ(memory.output, streams.output);
        ASSERT_EQ(memory.window, streams.window);
        ASSERT_EQ(memory.window_position, streams.window_position);
        ASSERT_EQ(memory.source_position, streams.source_position);
    }
}

}  // namespace
