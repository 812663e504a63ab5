// LZ77 and run-length expansion on the byte layouts the help compilers wrote.
#include <gtest/gtest.h>

#include <string>

#include "helpfile/byte_stream.h"
#include "helpfile/lz77.h"
#include "helpfile_fixture.h"

namespace {

using hlptest::Bytes;

// Expands input with the given flags into a buffer of the given capacity.
struct Expansion {
    Bytes output;
    long result;
};

Expansion expand(DecompileContext& ctx, int flags, Bytes input, size_t capacity = 4096) {
    Expansion e{Bytes(capacity, 0), 0};
    ByteStream* source = stream_open_buffer(ctx, input.data(), static_cast<long>(input.size()));
    ByteStream* target = stream_open_buffer(ctx, e.output.data(), static_cast<long>(capacity));
    e.result = lz77_expand(ctx, flags, static_cast<long>(input.size()), source, target);
    e.output.resize(static_cast<size_t>(target->tell(target)));
    tracked_free(ctx, source);
    tracked_free(ctx, target);
    return e;
}

std::string text(const Bytes& b) { return std::string(b.begin(), b.end()); }

TEST(Lz77, LiteralsReferencesAndPatterns) {
    ContextHolder h;
    EXPECT_EQ(text(expand(*h.ctx, 0, hlptest::bytes_of("hello")).output), "hello");
    Bytes literals{0x00};
    for (char c = 'A'; c <= 'H'; ++c) literals.push_back(static_cast<uint8_t>(c));
    EXPECT_EQ(text(expand(*h.ctx, lz77_lz_flag, literals).output), "ABCDEFGH");
    // One literal, then a reference with offset 0 and length 4 repeats it.
    Expansion run = expand(*h.ctx, lz77_lz_flag, Bytes{0x02, 'A', 0x00, 0x10});
    EXPECT_EQ(text(run.output), "AAAAA");
    EXPECT_EQ(run.result, 5);
    // A reference announced with one byte left stops without reading it.
    EXPECT_EQ(text(expand(*h.ctx, lz77_lz_flag, Bytes{0x02, 'A', 0x00}).output), "A");
}

TEST(Lz77, ReferencesBeforeTheStartReadTheWindow) {
    ContextHolder h;
    // A fresh window is zero.
    EXPECT_EQ(expand(*h.ctx, lz77_lz_flag, Bytes{0x01, 0x05, 0x00}).output, Bytes(3, 0));
    // The window keeps the previous expansion: position 0 starts over.
    expand(*h.ctx, lz77_lz_flag, Bytes{0x00, 'x', 'y', 'z'});
    EXPECT_EQ(text(expand(*h.ctx, lz77_lz_flag, Bytes{0x01, 0xFF, 0x0F}).output), "xyz");
}

TEST(Lz77, RunLengthLayer) {
    ContextHolder h;
    Expansion e = expand(*h.ctx, lz77_runlength_flag, Bytes{0x83, 'x', 'y', 'z', 0x04, 'q'});
    EXPECT_EQ(text(e.output), "xyzqqqq");
    EXPECT_EQ(e.result, 7);
    // 0x00 and 0x80 announce nothing.
    EXPECT_EQ(text(expand(*h.ctx, lz77_runlength_flag, Bytes{0x00, 0x80, 0x81, 'a'}).output), "a");
    // Both layers: the LZ77 output is the run-length code.
    Bytes rle = hlptest::runlength_encode(hlptest::bytes_of("aaaaaaaabcdeffffff"));
    Bytes both = hlptest::lz77_compress_greedy(rle);
    EXPECT_EQ(text(expand(*h.ctx, lz77_lz_flag | lz77_runlength_flag, both).output), "aaaaaaaabcdeffffff");
}

TEST(Lz77, AFullBufferDropsTheRestAndCountsOnlyWhatWasStored) {
    ContextHolder h;
    Bytes input(100, 'k');
    Expansion e = expand(*h.ctx, 0, input, 50);
    EXPECT_EQ(e.result, 50);
    EXPECT_EQ(e.output, Bytes(50, 'k'));
    // The run-length layer counts what it emitted, stored or not.
    Expansion r = expand(*h.ctx, lz77_runlength_flag, Bytes{0x7F, 'z'}, 10);
    EXPECT_EQ(r.result, 127);
    EXPECT_EQ(r.output, Bytes(10, 'z'));
}

TEST(Lz77, CompressedDataFromTheBuilderExpandsBack) {
    ContextHolder h;
    Bytes input;
    for (int i = 0; i < 20000; ++i) input.push_back(static_cast<uint8_t>("abcabcabd\n"[i % 10] + (i / 997)));
    for (const Bytes& packed : {hlptest::lz77_compress_greedy(input), hlptest::lz77_compress_literal(input)}) {
        Expansion e = expand(*h.ctx, lz77_lz_flag, packed, input.size());
        EXPECT_EQ(e.output, input);
        EXPECT_EQ(e.result, static_cast<long>(input.size()));
    }
}

TEST(Lz77, WrappersReadTheHelpFileAndWriteOutputFiles) {
    ContextHolder h;
    Bytes input = hlptest::bytes_of("the quick brown fox, the quick brown fox, the quick brown fox");
    Bytes packed = hlptest::lz77_compress_greedy(input);
    Bytes prefixed = packed;
    prefixed.insert(prefixed.begin(), 2, 9);
    OpenBytes f(prefixed);
    std::fseek(f.file, 2, SEEK_SET);
    Bytes out(input.size());
    EXPECT_EQ(lz77_expand_to_buffer(*h.ctx, static_cast<long>(out.size()), lz77_lz_flag, f.file,
                                    static_cast<long>(packed.size()), out.data()),
              static_cast<long>(input.size()));
    EXPECT_EQ(out, input);

    MemoryFile* file = output_open("pic", "wb");
    output_add(h.ctx->outputs, file);
    ByteStream* source = stream_open_buffer(*h.ctx, packed.data(), static_cast<long>(packed.size()));
    lz77_expand_to_output(*h.ctx, file, lz77_lz_flag, source, static_cast<long>(packed.size()));
    tracked_free(*h.ctx, source);
    EXPECT_EQ(Bytes(file->buffer, file->buffer + file->length), input);
}

}  // namespace
