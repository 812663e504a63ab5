// LZ77 expansion from memory against the expansion through byte streams:
// the same bytes, the same count, the same window left for the next call,
// and the help file left where byte-by-byte reading leaves it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "helpfile/byte_stream.h"
#include "helpfile/lz77.h"
#include "helpfile_fixture.h"

namespace {

using hlptest::Bytes;

struct Result {
    Bytes output;
    long count;
    Bytes window;
};

Result through_streams(DecompileContext& ctx, Bytes input, size_t capacity, const Bytes& window) {
    std::memcpy(ctx.lz77_window, window.data(), lz77_window_size);
    Result r{Bytes(capacity + 8, 0xCD), 0, {}};
    ByteStream* in = stream_open_buffer(ctx, input.data(), static_cast<long>(input.size()));
    ByteStream* out = stream_open_buffer(ctx, r.output.data(), static_cast<long>(capacity));
    r.count = lz77_expand(ctx, lz77_lz_flag, static_cast<long>(input.size()), in, out);
    tracked_free(ctx, out);
    tracked_free(ctx, in);
    r.window.assign(ctx.lz77_window, ctx.lz77_window + lz77_window_size);
    return r;
}

Result from_memory(DecompileContext& ctx, const Bytes& input, size_t capacity, const Bytes& window) {
    std::memcpy(ctx.lz77_window, window.data(), lz77_window_size);
    Result r{Bytes(capacity + 8, 0xCD), 0, {}};
    r.count = lz77_expand_buffer(ctx, input.data(), static_cast<long>(input.size()), r.output.data(),
                                 static_cast<long>(capacity), nullptr);
    r.window.assign(ctx.lz77_window, ctx.lz77_window + lz77_window_size);
    return r;
}

// Random token streams: literals, near and far references (far ones reach
// before the start, into what an earlier expansion left in the window).
Bytes random_tokens(std::mt19937& random, size_t groups) {
    Bytes in;
    for (size_t g = 0; g < groups; ++g) {
        const uint8_t control = static_cast<uint8_t>(random() % 4 == 0 ? 0 : random());
        in.push_back(control);
        for (int bit = 0; bit < 8; ++bit) {
            if (control & (1 << bit)) {
                const unsigned distance = random() % 3 == 0 ? random() % 4096 : random() % 24;
                const unsigned w = (random() % 16) << 12 | distance;
                in.push_back(static_cast<uint8_t>(w));
                in.push_back(static_cast<uint8_t>(w >> 8));
            } else {
                in.push_back(static_cast<uint8_t>('a' + random() % 26));
            }
        }
    }
    return in;
}

TEST(Lz77FromMemory, SameBytesCountAndWindowAsTheStreams) {
    ContextHolder h;
    std::mt19937 random(8);
    Bytes window(lz77_window_size);
    for (auto& b : window) b = static_cast<uint8_t>(random());
    for (int round = 0; round < 300; ++round) {
        Bytes input = random_tokens(random, 1 + random() % 400);
        // Cut anywhere, also inside a reference, and vary the room.
        input.resize(input.size() - random() % std::min<size_t>(input.size(), 3));
        const size_t capacities[] = {16384, 0, 1, 143, 144, 500, 5000};
        const size_t capacity = capacities[random() % 7];
        SCOPED_TRACE("round " + std::to_string(round) + ", capacity " + std::to_string(capacity));
        Result streams = through_streams(*h.ctx, input, capacity, window);
        Result memory = from_memory(*h.ctx, input, capacity, window);
        ASSERT_EQ(memory.count, streams.count);
        ASSERT_EQ(memory.output, streams.output);
        ASSERT_EQ(memory.window, streams.window);
        window = streams.window;  // the next round starts from what this one left
    }
}

// Token streams whose references stay within what they produced.
Bytes tokens_within(std::mt19937& random, size_t groups) {
    Bytes in;
    uint32_t produced = 0;
    for (size_t g = 0; g < groups; ++g) {
        const size_t control_at = in.size();
        uint8_t control = 0;
        in.push_back(0);
        for (int bit = 0; bit < 8; ++bit) {
            if (produced > 0 && random() % 2) {
                const unsigned distance = 1 + random() % std::min<uint32_t>(produced, 4096);
                const unsigned length = random() % 16;
                const unsigned w = length << 12 | (distance - 1);
                in.push_back(static_cast<uint8_t>(w));
                in.push_back(static_cast<uint8_t>(w >> 8));
                control = static_cast<uint8_t>(control | 1 << bit);
                produced += length + 3;
            } else {
                in.push_back(static_cast<uint8_t>('a' + random() % 26));
                ++produced;
            }
        }
        in[control_at] = control;
    }
    return in;
}

// A self-contained expansion is fully told by its output: another window
// before it gives the same bytes, and replaying the output leaves the window
// the expansion left. That is what lets the topic reader keep such blocks.
TEST(Lz77FromMemory, SelfContainedExpansionsDependOnlyOnTheirOutput) {
    ContextHolder h;
    std::mt19937 random(11);
    int self_contained_seen = 0, others_seen = 0;
    for (int round = 0; round < 400; ++round) {
        Bytes input = round % 2 ? random_tokens(random, 1 + random() % 300) : tokens_within(random, 1 + random() % 300);
        const size_t capacity = random() % 3 == 0 ? 700 : 16384;
        Bytes before(lz77_window_size), other(lz77_window_size);
        for (auto& b : before) b = static_cast<uint8_t>(random());
        for (auto& b : other) b = static_cast<uint8_t>(random());
        std::memcpy(h.ctx->lz77_window, before.data(), lz77_window_size);
        Bytes out(capacity);
        bool self_contained = true;
        const long count = lz77_expand_buffer(*h.ctx, input.data(), static_cast<long>(input.size()), out.data(),
                                              static_cast<long>(capacity), nullptr, &self_contained);
        const Bytes window_after(h.ctx->lz77_window, h.ctx->lz77_window + lz77_window_size);
        if (!self_contained) {
            ++others_seen;
            continue;
        }
        ++self_contained_seen;
        Result again = from_memory(*h.ctx, input, capacity, other);
        ASSERT_EQ(again.count, count);
        ASSERT_TRUE(std::equal(out.begin(), out.begin() + count, again.output.begin()));
        std::memcpy(h.ctx->lz77_window, before.data(), lz77_window_size);
        lz77_replay_window(*h.ctx, out.data(), count);
        ASSERT_EQ(Bytes(h.ctx->lz77_window, h.ctx->lz77_window + lz77_window_size), window_after);
    }
    EXPECT_GT(self_contained_seen, 20);
    EXPECT_GT(others_seen, 20);
}

TEST(Lz77FromMemory, ReportsTheInputItRead) {
    ContextHolder h;
    Bytes out(64);
    long consumed = 0;
    // A reference announced with one byte left: that byte is not read.
    const Bytes cut{0x02, 'A', 0x00};
    EXPECT_EQ(lz77_expand_buffer(*h.ctx, cut.data(), 3, out.data(), 64, &consumed), 1);
    EXPECT_EQ(consumed, 2);
    const Bytes whole{0x02, 'A', 0x00, 0x10};
    EXPECT_EQ(lz77_expand_buffer(*h.ctx, whole.data(), 4, out.data(), 64, &consumed), 5);
    EXPECT_EQ(consumed, 4);
    EXPECT_EQ(std::string(out.begin(), out.begin() + 5), "AAAAA");
}

// lz77_expand_to_buffer reads the help file in one go; where the file and
// its end flag stand afterwards must not show it.
TEST(Lz77FromMemory, HelpFileLeftAsByteByByteReadingLeavesIt) {
    struct Case {
        Bytes file;
        long input_count;
    };
    const Bytes literals{0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 'x', 'y'};
    const Case cases[] = {
        {literals, 9},                        // stops before the file's end
        {Bytes{0x02, 'A', 0x00, 'z'}, 3},     // the last byte of the input stays unread
        {Bytes{0x00, 'a', 'b'}, 9},           // the file ends first: missing bytes read as 0xFF
        {Bytes{0x00, 'a', 'b', 'c'}, 4},      // exactly the file
        {Bytes{0x02, 'A', 0x00}, 3},          // unread last byte, at the file's end
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input_count);
        ContextHolder streams_ctx, memory_ctx;
        OpenBytes for_streams(c.file), for_memory(c.file);
        Bytes a(64, 0), b(64, 0);
        ByteStream* in = stream_open_file(*streams_ctx.ctx, for_streams.file);
        ByteStream* out = stream_open_buffer(*streams_ctx.ctx, a.data(), 64);
        const long expected = lz77_expand(*streams_ctx.ctx, lz77_lz_flag, c.input_count, in, out);
        tracked_free(*streams_ctx.ctx, out);
        tracked_free(*streams_ctx.ctx, in);
        EXPECT_EQ(lz77_expand_to_buffer(*memory_ctx.ctx, 64, lz77_lz_flag, for_memory.file, c.input_count, b.data()),
                  expected);
        EXPECT_EQ(a, b);
        EXPECT_EQ(std::ftell(for_memory.file), std::ftell(for_streams.file));
        EXPECT_EQ(std::feof(for_memory.file) != 0, std::feof(for_streams.file) != 0);
        EXPECT_EQ(std::getc(for_memory.file), std::getc(for_streams.file));
    }
}

// A buffer stream that also takes whole runs, like the pictures' capped
// output: the run-length decoder must give the same bytes and counts.
void put_run_into_buffer(ByteStream* s, int c, long count) {
    for (long k = 0; k < count && s->cursor < s->end; ++k) *s->cursor++ = static_cast<uint8_t>(c);
}

TEST(Lz77FromMemory, RunsWrittenWholeGiveTheSameBytes) {
    ContextHolder h;
    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        Bytes raw;
        while (raw.size() < 600) {
            const size_t run = 1 + random() % (random() % 2 ? 3 : 140);
            raw.insert(raw.end(), run, static_cast<uint8_t>(random() % 4));
        }
        const Bytes packed = hlptest::runlength_encode(raw);
        const int flags = round % 2 ? lz77_runlength_flag : lz77_runlength_flag | lz77_lz_flag;
        const Bytes input = round % 2 ? packed : hlptest::lz77_compress_greedy(packed);
        const size_t capacity = round % 3 == 0 ? raw.size() / 2 : raw.size();
        Bytes a(capacity + 4, 0), b(capacity + 4, 0);
        long counts[2];
        for (int kind = 0; kind < 2; ++kind) {
            Bytes& target = kind ? b : a;
            Bytes copy = input;
            ByteStream* in = stream_open_buffer(*h.ctx, copy.data(), static_cast<long>(copy.size()));
            ByteStream* out = stream_open_buffer(*h.ctx, target.data(), static_cast<long>(capacity));
            if (kind) out->put_run = put_run_into_buffer;
            counts[kind] = lz77_expand(*h.ctx, flags, static_cast<long>(copy.size()), in, out);
            tracked_free(*h.ctx, out);
            tracked_free(*h.ctx, in);
        }
        ASSERT_EQ(a, b) << round;
        ASSERT_EQ(counts[0], counts[1]) << round;
        ASSERT_EQ(Bytes(a.begin(), a.begin() + static_cast<long>(std::min(capacity, raw.size()))),
                  Bytes(raw.begin(), raw.begin() + static_cast<long>(std::min(capacity, raw.size()))));
    }
}

}  // namespace
