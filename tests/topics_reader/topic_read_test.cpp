// The block reader on |TOPIC files cut into blocks by hand, so that every
// block's expanded bytes are known.
#include <cstring>
#include <stdexcept>
#include <vector>

#include "topics_fixture.h"

namespace {

using hlptest::Bytes;

constexpr uint32_t span = 16384;

Bytes noise(size_t n, uint32_t seed) {
    Bytes b(n);
    for (auto& c : b) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

Bytes repeating(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>("pattern "[i % 8]);
    return b;
}

struct RawTopic {
    Bytes data;                 // the |TOPIC internal file
    std::vector<Bytes> blocks;  // what each block expands to, as the reader keeps it
};

// One block per content: a 12-byte header, then as much of the content as
// fits, stored or LZ77-compressed. Every block but the last is full.
RawTopic raw_topic(const std::vector<Bytes>& contents, uint32_t block_size, bool compressed, bool greedy = false) {
    RawTopic t;
    hlptest::ByteWriter out;
    const size_t room = block_size - 12;
    for (size_t i = 0; i < contents.size(); ++i) {
        const bool last = i + 1 == contents.size();
        out.u32(0xFFFFFFFF).u32(static_cast<uint32_t>(i)).u32(0xFFFFFFFF);
        Bytes data, kept;
        if (compressed) {
            auto chunk = hlptest::lz77_compress_chunk(contents[i], room, span, greedy);
            data = chunk.data;
            kept.assign(contents[i].begin(), contents[i].begin() + static_cast<long>(chunk.consumed));
        } else {
            data.assign(contents[i].begin(), contents[i].begin() + static_cast<long>(std::min(room, contents[i].size())));
            kept = data;
        }
        if (!last && data.size() != room) throw std::invalid_argument("content too short to fill a block");
        out.bytes(data);
        t.blocks.push_back(kept);
    }
    t.data = out.take();
    return t;
}

// The raw |TOPIC in a help file, with the stream at its data.
struct OpenRaw : OpenHelp {
    OpenRaw(const RawTopic& topic, uint16_t minor, uint16_t flags)
        : OpenHelp({{"|TOPIC", topic.data}, {"|SYSTEM", Bytes(40, 0x5A)}}, minor, flags) {
        open_topic(ctx, file);
    }
};

Bytes slice(const Bytes& b, size_t from, size_t count) {
    return Bytes(b.begin() + static_cast<long>(from), b.begin() + static_cast<long>(from + count));
}

Bytes joined(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

std::vector<Bytes> noisy_blocks(int n) {
    std::vector<Bytes> contents;
    for (int i = 0; i < n; ++i) contents.push_back(noise(6000, 17 + i));
    return contents;
}

TEST(TopicRead, PositionsAddressBlocksByTheDecompressSize) {
    RawTopic topic = raw_topic(noisy_blocks(5), 4096, true);
    OpenRaw help(topic, 33, 4);
    for (const Bytes& b : topic.blocks) ASSERT_LT(b.size(), span);
    EXPECT_EQ(read_at(help.ctx, help.file, 3 * span + 12 + 100, 50), slice(topic.blocks[3], 100, 50));
    EXPECT_EQ(read_at(help.ctx, help.file, 12, 21), slice(topic.blocks[0], 0, 21));
    EXPECT_EQ(help.ctx.next_position, 12u + 21);
    // The stream may be anywhere between reads: a cached block needs no
    // seek, another block seeks itself.
    std::fseek(help.file, 0, SEEK_SET);
    EXPECT_EQ(read_at(help.ctx, help.file, 0, 10), slice(topic.blocks[0], 21, 10));
    std::fseek(help.file, 0, SEEK_SET);
    EXPECT_EQ(read_at(help.ctx, help.file, 4 * span + 12 + 7, 3), slice(topic.blocks[4], 7, 3));
}

TEST(TopicRead, CrossingSkipsTheGapAndPositionZeroContinues) {
    RawTopic topic = raw_topic(noisy_blocks(4), 4096, true);
    OpenRaw help(topic, 33, 4);
    const uint32_t valid0 = static_cast<uint32_t>(topic.blocks[0].size());
    EXPECT_EQ(read_at(help.ctx, help.file, 12 + valid0 - 10, 30),
              joined(slice(topic.blocks[0], valid0 - 10, 10), slice(topic.blocks[1], 0, 20)));
    EXPECT_EQ(help.ctx.next_position, span + 12 + 20);
    EXPECT_EQ(read_at(help.ctx, help.file, 0, 5), slice(topic.blocks[1], 20, 5));
    // One read across several whole blocks.
    Bytes all = joined(joined(topic.blocks[0], topic.blocks[1]), topic.blocks[2]);
    EXPECT_EQ(read_at(help.ctx, help.file, 12, static_cast<long>(all.size() + 4)),
              joined(all, slice(topic.blocks[3], 0, 4)));
    EXPECT_EQ(help.ctx.next_position, 3 * span + 12 + 4);
    // A position in the gap holds no data: the read goes on with the next block.
    EXPECT_EQ(read_at(help.ctx, help.file, 12 + valid0 + 500, 8), slice(topic.blocks[1], 0, 8));
}

TEST(TopicRead, BlockExpandingPastTheBufferKeepsItsCapacity) {
    std::vector<Bytes> contents = {repeating(100000), noise(6000, 3)};
    RawTopic topic = raw_topic(contents, 4096, true, true);
    ASSERT_EQ(topic.blocks[0].size(), span);
    OpenRaw help(topic, 33, 4);
    EXPECT_EQ(read_at(help.ctx, help.file, 12 + span - 4, 10),
              joined(slice(topic.blocks[0], span - 4, 4), slice(topic.blocks[1], 0, 6)));
    EXPECT_LE(help.ctx.block_valid, static_cast<int32_t>(span));
}

// Packed data of exactly `size` bytes: an optional first item that copies
// three bytes from `distance` back, then literals.
Bytes packed_block(size_t size, uint8_t seed, unsigned distance = 0) {
    Bytes data;
    size_t group_at = 0;
    int bit = 8;
    while (data.size() < size) {
        if (bit == 8) {
            group_at = data.size();
            data.push_back(0);
            bit = 0;
            continue;
        }
        if (distance && group_at == 0 && bit == 0 && data.size() + 2 <= size) {
            data[group_at] |= 1;
            data.push_back(static_cast<uint8_t>(distance - 1));
            data.push_back(static_cast<uint8_t>((distance - 1) >> 8));
        } else {
            data.push_back(static_cast<uint8_t>(seed + data.size() * 7));
        }
        ++bit;
    }
    return data;
}

// The second pass reads every block again: a block whose first item reaches
// back into the window the block before it left must come out as it did the
// first time, and so must the blocks kept from the first reading.
TEST(TopicRead, BlocksReadAgainComeOutAsTheFirstTime) {
    hlptest::ByteWriter out;
    const Bytes datas[] = {packed_block(4084, 1), packed_block(4084, 2, 1000), packed_block(500, 3)};
    for (uint32_t i = 0; i < 3; ++i) out.u32(0xFFFFFFFF).u32(i).u32(0xFFFFFFFF).bytes(datas[i]);
    RawTopic topic{out.take(), {}};
    OpenRaw help(topic, 33, 4);
    auto read_blocks = [&] {
        std::vector<Bytes> blocks;
        for (uint32_t i = 0; i < 3; ++i) blocks.push_back(read_at(help.ctx, help.file, i * span + 12, 3));
        return blocks;
    };
    std::vector<Bytes> first = read_blocks();
    // Block 1 starts with window slot 4096 - 1000, which block 0 (3630
    // literals behind its 454 control bytes) wrote at its position 3096.
    EXPECT_EQ(first[1], slice(read_at(help.ctx, help.file, 12, 3630), 3096, 3));
    std::vector<Bytes> second = read_blocks();
    EXPECT_EQ(second, first);
    ASSERT_EQ(help.ctx.kept_block_count, 3);
    EXPECT_NE(help.ctx.kept_blocks[0].bytes, nullptr);
    EXPECT_EQ(help.ctx.kept_blocks[1].bytes, nullptr);  // depends on the block before it
    EXPECT_NE(help.ctx.kept_blocks[2].bytes, nullptr);
    topic_release_kept_blocks(help.ctx);
    EXPECT_EQ(read_blocks(), first);
}

TEST(TopicRead, OldFormatPositionsAreFileOffsets) {
    std::vector<Bytes> contents = {noise(2036, 1), noise(2036, 2), noise(900, 3)};
    RawTopic topic = raw_topic(contents, 2048, false);
    OpenRaw help(topic, 15, 0);
    for (uint32_t p : {12u, 1000u, 2047u, 2060u, 4095u, 4108u, 4108u + 899u}) {
        EXPECT_EQ(read_at(help.ctx, help.file, p, 1), slice(topic.data, p, 1)) << "position " << p;
    }
    EXPECT_EQ(read_at(help.ctx, help.file, 2040, 20), joined(slice(topic.data, 2040, 8), slice(topic.data, 2060, 12)));
}

TEST(TopicRead, EndOfTopicDeliversWhatIsThere) {
    std::vector<Bytes> contents = {noise(4084, 1), noise(300, 2)};
    RawTopic topic = raw_topic(contents, 4096, false);
    OpenRaw help(topic, 21, 0);
    EXPECT_EQ(read_at(help.ctx, help.file, span + 12 + 290, 50), slice(topic.blocks[1], 290, 10));
    EXPECT_TRUE(read_at(help.ctx, help.file, 2 * span + 12, 4).empty());
    EXPECT_TRUE(read_at(help.ctx, help.file, 5, 4).empty());
    EXPECT_TRUE(read_at(help.ctx, help.file, 0xFFFFFFF0u, 4).empty());
}

TEST(TopicRead, TopicsTooShortForABlockHeaderReadNothing) {
    for (size_t size : {size_t(0), size_t(5), size_t(12)}) {
        SCOPED_TRACE(size);
        OpenHelp help({{"|TOPIC", noise(size, 9)}, {"|SYSTEM", Bytes(40, 0)}}, 33, 4);
        open_topic(help.ctx, help.file);
        EXPECT_TRUE(read_at(help.ctx, help.file, 12, 21).empty());
    }
    // A last block of 7 bytes cannot hold its header: the stream ends before it.
    RawTopic topic = raw_topic({noise(4084, 1)}, 4096, false);
    topic.data.resize(4096 + 7, 0x33);
    OpenRaw help(topic, 21, 0);
    EXPECT_EQ(read_at(help.ctx, help.file, 12 + 4080, 10), slice(topic.blocks[0], 4080, 4));
}

TEST(TopicRead, StoredBlockPastTheFileEndIsFatal) {
    // The directory claims |TOPIC runs on for ten blocks; the help file
    // ends after the second.
    RawTopic topic = raw_topic({noise(4084, 1), noise(4084, 2)}, 4096, false);
    Bytes help_file = hlptest::build_help_file({{"|TOPIC", topic.data}});
    hlptest::put_u32(help_file, 16 + 4, 10 * 4096);  // used space of the first internal file
    OpenBytes bytes(help_file);
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    set_topic_format(ctx, 21, 0);
    open_topic(ctx, bytes.file);
    ASSERT_EQ(ctx.topic_file_size, 10 * 4096);
    char buffer[16];
    EXPECT_NE(fatal_output([&] { topic_read(ctx, bytes.file, 5 * span + 12, buffer, 16); }).find("my_fread("),
              std::string::npos);
}

}  // namespace
