// Reads what the builder writes with small readers written here from the
// format description, so that builder and test do not share mistakes.
#include "help_builder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

using namespace hlptest;

namespace {

constexpr size_t unlimited = SIZE_MAX;

Bytes lz77_decode(const Bytes& in, size_t capacity = unlimited)
{
    Bytes out;
    size_t i = 0;
    while (i < in.size()) {
        const uint8_t control = in[i++];
        for (int bit = 0; bit < 8 && i < in.size(); ++bit) {
            if (control >> bit & 1) {
                if (i + 1 == in.size())
                    return out;  // a reference cut short ends the input
                const size_t w = in[i] | in[i + 1] << 8;
                i += 2;
                const size_t from = out.size() - (w & 0xFFF) - 1;  // wraps if it reaches before the start
                for (size_t k = 0; k < (w >> 12) + 3; ++k)
                    out.push_back(out.at(from + k));
            } else {
                out.push_back(in[i++]);
            }
        }
    }
    if (out.size() > capacity)
        out.resize(capacity);
    return out;
}

Bytes runlength_decode(const Bytes& in)
{
    Bytes out;
    for (size_t i = 0; i < in.size();) {
        const uint8_t n = in[i++];
        if (n & 0x80) {
            out.insert(out.end(), in.begin() + static_cast<ptrdiff_t>(i), in.begin() + static_cast<ptrdiff_t>(i + (n & 0x7F)));
            i += n & 0x7F;
        } else if (n != 0) {
            out.insert(out.end(), n, in.at(i++));
        }
    }
    return out;
}

Bytes sample_text(size_t size, unsigned seed)
{
    static const char* words[] = {"help ", "topic ", "file ", "the ", "window ", "jump ", "\r\n", "macro "};
    std::mt19937 rng(seed);
    Bytes out;
    while (out.size() < size) {
        if (rng() % 5 == 0)
            out.push_back(static_cast<uint8_t>(rng()));
        else
            for (const char* c = words[rng() % 8]; *c; ++c)
                out.push_back(static_cast<uint8_t>(*c));
    }
    out.resize(size);
    return out;
}

Bytes slice(const Bytes& b, size_t at, size_t n)
{
    return Bytes(b.begin() + static_cast<ptrdiff_t>(at), b.begin() + static_cast<ptrdiff_t>(at + n));
}

int16_t s16(const Bytes& b, size_t at) { return static_cast<int16_t>(get_u16(b, at)); }

// A B+ tree whose keys are NUL-terminated names with `value_size` value bytes.
struct TreeReader {
    const Bytes& tree;
    size_t value_size;
    uint16_t page_size() const { return get_u16(tree, 4); }
    size_t page(int n) const { return 38 + static_cast<size_t>(n) * page_size(); }
    std::string key_at(size_t& at) const
    {
        std::string k(reinterpret_cast<const char*>(&tree[at]));
        at += k.size() + 1;
        return k;
    }

    // Descends the index as a lookup does and scans the one leaf reached.
    std::optional<Bytes> find(const std::string& name) const
    {
        size_t at = page(s16(tree, 26));
        for (int level = 1; level < s16(tree, 32); ++level) {
            int child = s16(tree, at + 4);
            size_t e = at + 6;
            for (int i = 0; i < s16(tree, at + 2); ++i) {
                const std::string key = key_at(e);
                if (std::lexicographical_compare(name.begin(), name.end(), key.begin(), key.end(),
                                                 [](char a, char b) { return uint8_t(a) < uint8_t(b); }))
                    break;
                child = s16(tree, e);
                e += 2;
            }
            at = page(child);
        }
        size_t e = at + 8;
        for (int i = 0; i < s16(tree, at + 2); ++i, e += value_size)
            if (key_at(e) == name)
                return slice(tree, e, value_size);
        return std::nullopt;
    }

    // Walks the leaves from the leftmost one, checking the chain both ways.
    std::vector<std::pair<std::string, Bytes>> leaves(int* leaf_count = nullptr) const
    {
        size_t at = page(s16(tree, 26));
        for (int level = 1; level < s16(tree, 32); ++level)
            at = page(s16(tree, at + 4));
        std::vector<std::pair<std::string, Bytes>> out;
        int previous = -1, count = 0;
        for (;;) {
            ++count;
            EXPECT_EQ(s16(tree, at + 4), previous);
            size_t e = at + 8;
            for (int i = 0; i < s16(tree, at + 2); ++i, e += value_size) {
                std::string k = key_at(e);
                out.emplace_back(k, slice(tree, e, value_size));
            }
            EXPECT_EQ(get_u16(tree, at), page_size() - (e - at)) << "free bytes";
            const int next = s16(tree, at + 6);
            if (next == -1)
                break;
            previous = static_cast<int>((at - 38) / page_size());
            at = page(next);
        }
        if (leaf_count)
            *leaf_count = count;
        return out;
    }
};

std::vector<BTreeEntry> named_entries(int n)
{
    std::vector<BTreeEntry> entries;
    for (int i = 0; i < n; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "|bm%03d", i);
        ByteWriter key, value;
        key.cstring(name);
        value.u32(static_cast<uint32_t>(i * 7));
        entries.push_back({key.take(), value.take()});
    }
    return entries;
}

// |TOPIC read back: expands every block, then reads the logical stream.
struct TopicReader {
    std::vector<Bytes> blocks;
    uint32_t decompress_size;
    uint32_t file_size;

    TopicReader(const Bytes& file, const TopicLayout& layout)
        : decompress_size(layout.decompress_size), file_size(static_cast<uint32_t>(file.size()))
    {
        for (size_t at = 0; at < file.size(); at += layout.block_size) {
            Bytes data = slice(file, at + 12, std::min<size_t>(layout.block_size, file.size() - at) - 12);
            blocks.push_back(layout.compression == BlockCompression::stored ? data
                                                                           : lz77_decode(data, decompress_size));
        }
    }

    Bytes read(uint32_t pos, size_t n) const
    {
        Bytes out;
        while (out.size() < n) {
            const size_t b = (pos - 12) / decompress_size, off = (pos - 12) % decompress_size;
            if (b >= blocks.size() || off > blocks[b].size())
                break;
            const size_t take = std::min(n - out.size(), blocks[b].size() - off);
            out.insert(out.end(), blocks[b].begin() + static_cast<ptrdiff_t>(off),
                       blocks[b].begin() + static_cast<ptrdiff_t>(off + take));
            pos = static_cast<uint32_t>((b + 1) * decompress_size + 12);
        }
        return out;
    }

    struct Record {
        uint32_t position;
        uint8_t type;
        Bytes head, text;
        uint32_t text_length, previous;
    };

    // The record walk of both passes: the record that ends the chain is not taken.
    std::vector<Record> walk(bool relative_links) const
    {
        std::vector<Record> out;
        for (uint32_t pos = 12;;) {
            const Bytes h = read(pos, 21);
            if (h.size() < 21)
                break;
            const auto length = get_u32(h, 0), next = get_u32(h, 12), head = get_u32(h, 16);
            if (relative_links ? pos + next >= file_size : static_cast<int32_t>(next) <= 0)
                break;
            const Bytes all = read(pos, length);
            EXPECT_EQ(all.size(), length);
            out.push_back({pos, h[20], slice(all, 21, head - 21), slice(all, head, length - head), get_u32(h, 4),
                           get_u32(h, 8)});
            pos = relative_links ? pos + next : next;
        }
        return out;
    }
};

std::vector<TopicRecord> text_records(int topics, size_t text_size, unsigned seed)
{
    std::vector<TopicRecord> records;
    for (int t = 0; t < topics; ++t) {
        records.push_back(topic_header_record("Topic " + std::to_string(t), static_cast<uint32_t>(t)));
        for (int p = 0; p < 3; ++p) {
            TopicRecord r;
            r.head = {0x00, 0x80, static_cast<uint8_t>(p), 0xFF};
            r.text = sample_text(text_size + static_cast<size_t>(p * 37), seed + static_cast<unsigned>(t * 3 + p));
            records.push_back(r);
        }
    }
    link_topic_headers(records);
    return records;
}

Bytes read_file(const std::string& path)
{
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace

// ------------------------------------------------------------------ compression

TEST(Lz77Compressor, BothFormsExpandToTheInput)
{
    Bytes run(5000, 'x');
    for (const Bytes& input : {Bytes{}, bytes_of("ab"), sample_text(9000, 1), sample_text(300, 2), run}) {
        EXPECT_EQ(lz77_decode(lz77_compress_literal(input)), input);
        EXPECT_EQ(lz77_decode(lz77_compress_greedy(input)), input);
    }
}

TEST(Lz77Compressor, GreedyShrinksRepetitiveTextAndLiteralOnlyAddsControlBytes)
{
    const Bytes text = sample_text(8000, 3);
    EXPECT_EQ(lz77_compress_literal(text).size(), text.size() + (text.size() + 7) / 8);
    EXPECT_LT(lz77_compress_greedy(text).size(), text.size() / 2);
    // One literal, then a reference to the byte just written repeating it four times.
    EXPECT_EQ(lz77_compress_greedy(bytes_of("AAAAA")), (Bytes{0x02, 'A', 0x00, 0x10}));
}

TEST(Lz77Compressor, ReferencesReachBackAtMostTheWindow)
{
    std::mt19937 rng(8);
    for (size_t gap : {4095u, 4096u, 4097u}) {
        Bytes input(gap);
        for (auto& b : input)
            b = static_cast<uint8_t>(rng());
        input.insert(input.end(), input.begin(), input.begin() + 18);  // a copy exactly `gap` bytes back
        const Bytes packed = lz77_compress_greedy(input);
        EXPECT_EQ(lz77_decode(packed), input) << gap;
        if (gap <= 4096) {
            EXPECT_LT(packed.size(), lz77_compress_literal(input).size()) << gap;
        }
    }
}

TEST(Lz77Compressor, ChunksFillTheirSizeExactlyAndChainToTheInput)
{
    const Bytes text = sample_text(30000, 4);
    for (bool greedy : {false, true}) {
        for (size_t size : {2036u, 4084u, 101u}) {
            Bytes joined;
            for (size_t at = 0; at < text.size();) {
                auto chunk = lz77_compress_chunk(std::span(text).subspan(at), size, unlimited, greedy);
                if (at + chunk.consumed < text.size()) {
                    EXPECT_EQ(chunk.data.size(), size);
                }
                const Bytes out = lz77_decode(chunk.data);
                ASSERT_EQ(out.size(), chunk.consumed);
                joined.insert(joined.end(), out.begin(), out.end());
                at += chunk.consumed;
            }
            EXPECT_EQ(joined, text) << "greedy " << greedy << " size " << size;
        }
    }
}

TEST(Lz77Compressor, ChunkStoppedByExpandedLimitIsPaddedPastIt)
{
    const Bytes spaces(40000, ' ');
    auto chunk = lz77_compress_chunk(spaces, 4084, 16384, true);
    EXPECT_EQ(chunk.consumed, 16384u);
    EXPECT_EQ(chunk.data.size(), 4084u);
    const Bytes out = lz77_decode(chunk.data);
    EXPECT_GT(out.size(), 16384u);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + 16384), Bytes(16384, ' '));
}

TEST(RunlengthEncoder, RoundTripsAndUsesBothRunKinds)
{
    EXPECT_EQ(runlength_encode(bytes_of("xyzqqqq")), (Bytes{0x83, 'x', 'y', 'z', 0x04, 'q'}));
    Bytes mixed = sample_text(1000, 5);
    mixed.insert(mixed.begin() + 500, 300, 0);  // longer than one run
    EXPECT_EQ(runlength_decode(runlength_encode(mixed)), mixed);
    std::mt19937 rng(6);
    Bytes noise(400);
    for (auto& b : noise)
        b = static_cast<uint8_t>(rng());
    EXPECT_EQ(runlength_decode(runlength_encode(noise)), noise);
}

// ------------------------------------------------------------------ B+ trees

TEST(BTreeBuilder, ForcedThreeLevelsKeepChainCountsAndLookups)
{
    const auto entries = named_entries(8);
    BTreeOptions options;
    options.page_size = 256;
    options.max_leaf_entries = 2;
    options.max_index_entries = 1;
    const Bytes tree = build_btree(entries, options);
    EXPECT_EQ(s16(tree, btree_field::level_count), 3);
    EXPECT_EQ(get_u16(tree, btree_field::total_pages), 7);  // 4 leaves, 2 index pages, the root
    EXPECT_EQ(tree.size(), btree_page_offset(tree, 7));
    EXPECT_EQ(get_u32(tree, btree_field::total_entries), 8u);

    TreeReader reader{tree, 4};
    int leaf_count = 0;
    const auto walked = reader.leaves(&leaf_count);
    EXPECT_EQ(leaf_count, 4);
    ASSERT_EQ(walked.size(), entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const std::string name(entries[i].key.begin(), entries[i].key.end() - 1);
        EXPECT_EQ(walked[i].first, name);
        EXPECT_EQ(reader.find(name), entries[i].value) << name;
    }
    EXPECT_FALSE(reader.find("|bm0035"));  // sorts between two keys: its leaf lacks it
}

TEST(BTreeBuilder, SmallPagesGrowLevelsUntilOneRoot)
{
    const auto entries = named_entries(200);
    BTreeOptions options;
    options.page_size = 64;
    const Bytes tree = build_btree(entries, options);
    EXPECT_GE(s16(tree, btree_field::level_count), 3);
    EXPECT_EQ(s16(tree, btree_field::root_page) + 1, get_u16(tree, btree_field::total_pages));
    TreeReader reader{tree, 4};
    EXPECT_EQ(reader.leaves().size(), 200u);
    for (int i : {0, 1, 99, 154, 199})
        EXPECT_EQ(reader.find(std::string(entries[i].key.begin(), entries[i].key.end() - 1)), entries[i].value);
}

TEST(BTreeBuilder, EmptyTreeIsOneEmptyLeafAndOversizeEntriesAreRefused)
{
    const Bytes tree = build_btree({}, {});
    EXPECT_EQ(tree.size(), 38u + 4096u);
    EXPECT_EQ(s16(tree, btree_field::level_count), 1);
    EXPECT_EQ(get_u32(tree, btree_field::total_entries), 0u);
    EXPECT_EQ(s16(tree, 38 + btree_field::page_entry_count), 0);
    EXPECT_EQ(s16(tree, 38 + btree_field::leaf_next), -1);
    BTreeOptions small;
    small.page_size = 16;
    EXPECT_THROW(build_btree({{Bytes(6, 'a'), Bytes(4)}}, small), std::invalid_argument);
}

// ------------------------------------------------------------------ container

TEST(HelpFileBuilder, DirectoryListsEveryFileAtItsHeader)
{
    std::vector<InternalFile> files = {{"|TOPIC", sample_text(700, 7)}, {"|bm1", bytes_of("picture")},
                                       {"|SYSTEM", bytes_of("sys")},     {"\xE9t\xE9", bytes_of("high")},
                                       {"|bm10", {}},                     {"|Phrases", bytes_of("ph")}};
    for (int max_leaf : {0, 1}) {
        HelpFileOptions options;
        options.directory_page_size = 128;
        options.directory_max_leaf_entries = max_leaf;
        options.directory_max_index_entries = max_leaf;
        const Bytes hlp = build_help_file(files, options);
        EXPECT_EQ(get_u32(hlp, 0), 0x00035F3Fu);
        EXPECT_EQ(get_u32(hlp, 12), hlp.size());
        const uint32_t dir = get_u32(hlp, 4);
        const Bytes tree = slice(hlp, dir + 9, get_u32(hlp, dir + 4));
        EXPECT_EQ(dir + 9 + tree.size(), hlp.size());
        TreeReader reader{tree, 4};
        const auto listed = reader.leaves();
        std::vector<std::string> names;
        for (const auto& [name, value] : listed) {
            names.push_back(name);
            const uint32_t at = get_u32(value, 0);
            const auto file = std::find_if(files.begin(), files.end(), [&](auto& f) { return f.name == name; });
            ASSERT_NE(file, files.end());
            EXPECT_EQ(get_u32(hlp, at + 4), file->data.size());
            EXPECT_EQ(slice(hlp, at + 9, file->data.size()), file->data);
            EXPECT_EQ(reader.find(name), value);
        }
        // Unsigned byte order: '|' (0x7C) before 0xE9; capitals before lower case.
        EXPECT_EQ(names, (std::vector<std::string>{"|Phrases", "|SYSTEM", "|TOPIC", "|bm1", "|bm10", "\xE9t\xE9"}));
        if (max_leaf) {
            EXPECT_EQ(s16(tree, btree_field::level_count), 4);  // 6 leaves, 3, 2, 1
        }
    }
    EXPECT_THROW(build_help_file({{"|A", {}}, {"|A", {}}}), std::invalid_argument);
}

TEST(SystemBuilder, HeaderRecordsAndOldTitle)
{
    const Bytes sys = build_system_file(21, 4, {system_string_record(system_title, "Tt"), {9, {1, 2, 3}}});
    EXPECT_EQ(sys, (Bytes{0x6C, 0x03, 21, 0, 1, 0, 0, 0, 0, 0, 4, 0,  // header
                          1, 0, 3, 0, 'T', 't', 0,                    // title
                          9, 0, 3, 0, 1, 2, 3}));
    const Bytes old = build_old_system_file("Old");
    EXPECT_EQ(get_u16(old, 2), 15);
    EXPECT_EQ(slice(old, 12, old.size() - 12), (Bytes{'O', 'l', 'd', 0}));
}

// ------------------------------------------------------------------ |TOPIC

TEST(TopicBuilder, RecordsReadBackThroughBlocksInEveryLayout)
{
    struct Case {
        uint16_t minor, flags;
        BlockCompression compression;
    };
    for (const Case c : {Case{33, 8, BlockCompression::lz77_greedy}, Case{21, 4, BlockCompression::lz77_literal},
                         Case{33, 0, BlockCompression::stored}, Case{15, 0, BlockCompression::stored}}) {
        TopicLayout layout = topic_layout_for(c.minor, c.flags);
        layout.compression = c.compression;
        const auto records = text_records(12, 900, c.minor + c.flags);
        const TopicFile topic = build_topic_file(records, layout);
        SCOPED_TRACE(testing::Message() << "minor " << c.minor << " flags " << c.flags);
        EXPECT_GT(topic.block_count, 3u);
        ASSERT_EQ(topic.positions.size(), records.size() + 1);  // and the end marker

        const TopicReader reader(topic.data, layout);
        const auto walked = reader.walk(layout.relative_links);
        ASSERT_EQ(walked.size(), records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            EXPECT_EQ(walked[i].position, topic.positions[i]);
            EXPECT_EQ(walked[i].type, records[i].type);
            EXPECT_EQ(walked[i].text, records[i].text);
            EXPECT_EQ(walked[i].text_length, records[i].text.size());
            if (records[i].type != 2) {
                EXPECT_EQ(walked[i].head, records[i].head);
            }
        }
        // Previous links: a position, or in old files a distance back.
        EXPECT_EQ(walked[1].previous, layout.relative_links ? walked[1].position - walked[0].position
                                                            : walked[0].position);
        // Old files are stored: a position is the byte's offset in |TOPIC.
        if (layout.relative_links) {
            EXPECT_EQ(get_u32(topic.data, topic.positions[3] + 16), 21 + records[3].head.size());
        }

        // Each block starts with the last record before it, the first record
        // in it and the last topic header before it.
        for (uint32_t b = 1; b < topic.block_count; ++b) {
            const size_t at = b * layout.block_size;
            uint32_t last = 0, first = 0xFFFFFFFF, header = 0;
            for (size_t i = 0; i < topic.positions.size(); ++i) {
                const uint32_t block = topic.block_of(topic.positions[i]);
                if (block < b) {
                    last = topic.positions[i];
                    if (i >= records.size() || records[i].type == 2)
                        header = topic.positions[i];
                } else if (block == b && first == 0xFFFFFFFF) {
                    first = topic.positions[i];
                }
            }
            EXPECT_EQ(get_u32(topic.data, at), last);
            EXPECT_EQ(get_u32(topic.data, at + 4), first);
            EXPECT_EQ(get_u32(topic.data, at + 8), header);
        }
    }
}

TEST(TopicBuilder, TopicHeadersPointAtTheirScrollRegionAndTheNextTopic)
{
    const auto records = text_records(5, 3000, 11);
    const TopicFile topic = build_topic_file(records, topic_layout_for(33, 4));
    std::vector<uint32_t> headers;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].type == 2)
            headers.push_back(static_cast<uint32_t>(i));
    headers.push_back(static_cast<uint32_t>(records.size()));  // the end marker
    const TopicReader reader(topic.data, topic_layout_for(33, 4));
    const auto walked = reader.walk(false);
    for (size_t h = 0; h + 1 < headers.size(); ++h) {
        const Bytes& head = walked[headers[h]].head;
        EXPECT_EQ(get_u32(head, 12), h);
        EXPECT_EQ(get_u32(head, 20), topic.positions[headers[h] + 1]);
        EXPECT_EQ(get_u32(head, 24), topic.positions[headers[h + 1]]);
    }
}

TEST(TopicBuilder, BlocksStopAtTheDecompressSizeAndKeepOverridesAsGiven)
{
    std::vector<TopicRecord> records = {topic_header_record("Spaces", 0), {}, {}};
    records[1].text = Bytes(40000, ' ');
    records[2].text = bytes_of("xyz");
    records[2].text_length = 9;  // as if phrases made the text shorter
    const TopicLayout layout = topic_layout_for(33, 4);
    const TopicFile topic = build_topic_file(records, layout);
    EXPECT_EQ(topic.block_count, 3u);
    // Two full blocks of 16384 spaces each, then the rest.
    EXPECT_GT(topic.data.size(), 2u * layout.block_size);
    EXPECT_LE(topic.data.size(), 3u * layout.block_size);
    const auto walked = TopicReader(topic.data, layout).walk(false);
    ASSERT_EQ(walked.size(), 3u);
    EXPECT_EQ(walked[1].text, records[1].text);
    EXPECT_EQ(walked[2].text_length, 9u);
    EXPECT_EQ(topic.block_of(walked[2].position), 2u);

    records[1].next_link = -1;  // ends the chain early
    EXPECT_EQ(TopicReader(build_topic_file(records, layout).data, layout).walk(false).size(), 1u);
}

// ------------------------------------------------------------------ sample

TEST(Sample, MakeSampleWritesTheCommittedFile)
{
    std::string program = std::string(HLP_BINARY_DIR) + "/make_sample";
    if (!std::filesystem::exists(program))
        program += ".exe";
    if (!std::filesystem::exists(program))
        GTEST_SKIP() << "make_sample not built";
    const std::string out = testing::TempDir() + "builder_test_sample.hlp";
    ASSERT_EQ(std::system(("\"" + program + "\" \"" + out + "\"").c_str()), 0);
    const Bytes made = read_file(out);
    std::filesystem::remove(out);
    EXPECT_EQ(made, read_file(std::string(HLP_SOURCE_DIR) + "/examples/sample.hlp"));

    // The topics with their titles, readable through the directory.
    const uint32_t dir = get_u32(made, 4);
    const Bytes tree = slice(made, dir + 9, get_u32(made, dir + 4));
    const auto at = get_u32(*TreeReader{tree, 4}.find("|TOPIC"), 0);
    const auto walked = TopicReader(slice(made, at + 9, get_u32(made, at + 4)), topic_layout_for(33, 4)).walk(false);
    std::vector<std::string> titles;
    for (const auto& r : walked)
        if (r.type == 2)
            titles.emplace_back(reinterpret_cast<const char*>(r.text.data()));
    EXPECT_EQ(titles, (std::vector<std::string>{"Welcome", "Formatting text", "Tables", "Pictures", "Hotspot",
                                                "A secondary window"}));
}
