// The record walk over |TOPIC files made by the builder.
#include <set>
#include <string>
#include <vector>

#include "helpfile/byte_stream.h"
#include "topics/topic_reader.h"
#include "topics/topic_resync.h"
#include "topics_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::PhraseScheme;
using hlptest::TopicFile;
using hlptest::TopicLayout;
using hlptest::TopicRecord;

TopicRecord paragraph(const std::string& text, uint8_t type = 0x20) {
    TopicRecord r;
    r.type = type;
    r.head = Bytes{0x11, 0x22, 0x33, static_cast<uint8_t>(text.size())};
    r.text = hlptest::bytes_of(text);
    r.text.push_back(0);
    return r;
}

std::string text_of(const TopicRecord& r) { return std::string(r.text.begin(), r.text.end()); }

// Letters that LZ77 cannot shrink much, so that the text spans blocks.
std::string letters(size_t n) {
    std::string text(n, ' ');
    uint32_t seed = 7;
    for (auto& c : text) {
        seed = seed * 1103515245 + 12345;
        c = static_cast<char>('a' + (seed >> 16) % 26);
    }
    return text;
}

std::vector<TopicRecord> sample_records() {
    std::vector<TopicRecord> records = {
        hlptest::topic_header_record("First", 0),
        paragraph("Hello"),
        paragraph("a cell", 0x23),
        paragraph("unknown", 0x99),
        hlptest::topic_header_record("Second", 1),
        paragraph(letters(9000) + " across blocks"),
        paragraph("last"),
    };
    hlptest::link_topic_headers(records);
    return records;
}

// Checks that the walk delivered exactly the first `count` records.
void expect_records(const std::vector<WalkedRecord>& walked, const std::vector<TopicRecord>& records,
                    const TopicFile& file, size_t count) {
    ASSERT_EQ(walked.size(), count);
    for (size_t i = 0; i < count; ++i) {
        SCOPED_TRACE("record " + std::to_string(i));
        EXPECT_EQ(walked[i].position, file.positions[i]);
        EXPECT_EQ(walked[i].link.record_type, records[i].type);
        if (records[i].position_refs.empty()) {
            EXPECT_EQ(walked[i].head, records[i].head);
        }
        EXPECT_EQ(walked[i].head.size(), records[i].head.size());
        EXPECT_EQ(walked[i].has_text, !records[i].text.empty());
        EXPECT_EQ(walked[i].text, text_of(records[i]));
        if (i + 1 < file.positions.size()) {
            EXPECT_EQ(walked[i].next_position, file.positions[i + 1]);
        }
    }
}

TEST(TopicWalk, DeliversEveryRecordOfEachLayout) {
    struct Format {
        uint16_t minor, flags;
    };
    for (Format f : {Format{33, 4}, Format{33, 8}, Format{21, 0}, Format{15, 0}}) {
        SCOPED_TRACE("minor " + std::to_string(f.minor) + " flags " + std::to_string(f.flags));
        const auto records = sample_records();
        TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(f.minor, f.flags));
        ASSERT_GT(file.block_count, 1u);
        OpenHelp help({{"|TOPIC", file.data}}, f.minor, f.flags);
        auto walked = walk_all(help.ctx, help.file);
        // The end marker closes the chain and is not delivered.
        expect_records(walked, records, file, records.size());
        if (f.minor == 15) {
            EXPECT_EQ(walked[1].position + walked[1].link.next_link, walked[2].position);
            // Old positions are offsets into |TOPIC.
            for (const auto& r : walked) EXPECT_EQ(hlptest::get_u32(file.data, r.position), uint32_t(r.link.record_length));
        }
    }
}

TEST(TopicWalk, HeadersStraddlingBlocksArriveWhole) {
    std::vector<TopicRecord> records;
    const std::string pool = letters(4000);
    for (size_t i = 0; i < 60; ++i) records.push_back(paragraph(pool.substr(i * 60, i * 7 % 50)));
    for (auto compression : {hlptest::BlockCompression::stored, hlptest::BlockCompression::lz77_greedy}) {
        TopicLayout layout;
        layout.block_size = 256;
        layout.compression = compression;
        TopicFile file = hlptest::build_topic_file(records, layout);
        OpenHelp help({{"|TOPIC", file.data}}, 33, 4);
        help.ctx.block_size = 256;
        help.ctx.topics_compressed = compression != hlptest::BlockCompression::stored;
        if (compression == hlptest::BlockCompression::stored) {
            // Each stored block holds 244 bytes of the stream.
            int straddling = 0;
            for (uint32_t p : file.positions) straddling += (p - 12) % file.decompress_size + 21 > 244;
            EXPECT_GT(straddling, 2);
        }
        auto walked = walk_all(help.ctx, help.file);
        expect_records(walked, records, file, records.size());
        size_t crossing = 0;
        for (size_t i = 0; i + 1 < walked.size(); ++i)
            crossing += file.block_of(walked[i].position) != file.block_of(walked[i].next_position) &&
                        file.block_of(walked[i].position) + 1 == file.block_of(walked[i].next_position);
        EXPECT_GT(crossing, 8u) << "records should cross block borders";
    }
}

TEST(TopicWalk, OldFormatStopsWhereTheLinkReachesTheFileEnd) {
    TopicLayout layout = hlptest::topic_layout_for(15, 0);
    layout.end_marker = false;
    const auto records = sample_records();
    TopicFile file = hlptest::build_topic_file(records, layout);
    OpenHelp help({{"|TOPIC", file.data}}, 15, 0);
    expect_records(walk_all(help.ctx, help.file), records, file, records.size() - 1);
}

TEST(TopicWalk, NextLinkMinusOneEndsTheChain) {
    auto records = sample_records();
    records[2].next_link = -1;
    TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(33, 4));
    OpenHelp help({{"|TOPIC", file.data}}, 33, 4);
    expect_records(walk_all(help.ctx, help.file), records, file, 2);
}

TEST(TopicWalk, RecordsWithoutHeadOrText) {
    TopicRecord bare_header;
    bare_header.type = 2;
    bare_header.text = Bytes{'T', 0};
    TopicRecord empty;
    empty.type = 0x20;
    std::vector<TopicRecord> records = {bare_header, empty, paragraph("after")};
    TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(33, 4));
    OpenHelp help({{"|TOPIC", file.data}}, 33, 4);
    auto walked = walk_all(help.ctx, help.file);
    expect_records(walked, records, file, 3);
    EXPECT_EQ(walked[0].link.head_length, 21);
    EXPECT_FALSE(walked[1].has_text);
}

TEST(TopicWalk, SurplusStoredTextIsDropped) {
    auto records = sample_records();
    records[1].text_length = 3;
    records[5].text_length = 5;  // a surplus of more than 3000 bytes
    TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(33, 4));
    OpenHelp help({{"|TOPIC", file.data}}, 33, 4);
    auto walked = walk_all(help.ctx, help.file);
    records[1].text.resize(3);
    records[5].text.resize(5);
    expect_records(walked, records, file, records.size());
}

TEST(TopicWalk, PhraseCompressedTextsInEachTableLayout) {
    const std::vector<std::string> phrases = {"Windows", "help ", "the ", "compiler", "topic"};
    const std::string texts[] = {std::string("Windows help topic") + '\0', std::string("the the the compiler") + '\0',
                                 std::string(300, ' ') + "topic" + std::string(40, '\0')};
    struct Table {
        const char* name;
        uint16_t minor;
        PhraseScheme scheme;
        std::vector<hlptest::InternalFile> files;
    };
    auto index = hlptest::build_phrase_index(phrases);
    std::vector<Table> tables = {
        {"|Phrases", 21, PhraseScheme::phrases, {{"|Phrases", hlptest::build_phrases_file(phrases)}}},
        {"|Phrases, MediaView", 21, PhraseScheme::phrases,
         {{"|Phrases", hlptest::build_phrases_file(phrases, {true, true})}}},
        {"|Phrases, old", 15, PhraseScheme::phrases, {{"|Phrases", hlptest::build_phrases_file(phrases, {false, false})}}},
        {"|PhrIndex", 33, PhraseScheme::packed, {{"|PhrIndex", index.index}, {"|PhrImage", index.image}}},
    };
    for (auto& t : tables) {
        SCOPED_TRACE(t.name);
        std::vector<TopicRecord> records = {hlptest::topic_header_record("Compressed", 0)};
        // The runs of spaces and NULs suit the packed scheme only.
        const size_t count = t.scheme == PhraseScheme::packed ? 3 : 2;
        for (size_t i = 0; i < count; ++i) {
            const std::string& text = texts[i];
            records.push_back(hlptest::phrase_compressed_record(0x20, {1, 2}, text, phrases, t.scheme));
            ASSERT_LT(records.back().text.size(), text.size());
        }
        TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(t.minor, 4));
        t.files.push_back({"|TOPIC", file.data});
        OpenHelp help(t.files, t.minor, 4);
        load_phrase_table(help.ctx, help.file);
        auto walked = walk_all(help.ctx, help.file);
        ASSERT_EQ(walked.size(), records.size());
        for (size_t i = 1; i < records.size(); ++i) EXPECT_EQ(walked[i].text, texts[i - 1]);
    }
}

// Builds sample records with one record's header field replaced; stored
// blocks of one kind keep the stream's bytes at their positions.
struct Damaged {
    std::vector<TopicRecord> records;
    TopicFile file;
};

TopicLayout one_block_layout() {
    TopicLayout layout = hlptest::topic_layout_for(21, 0);
    layout.block_size = 16384 + 12;
    return layout;
}

Damaged damage(size_t record, size_t field, int32_t value, std::vector<TopicRecord> records = sample_records()) {
    TopicFile file = hlptest::build_topic_file(records, one_block_layout());
    EXPECT_EQ(file.block_count, 1u);
    hlptest::put_u32(file.data, file.positions[record] + field, static_cast<uint32_t>(value));
    return {records, file};
}

std::vector<WalkedRecord> walk_damaged(const Damaged& d, uint16_t minor = 21) {
    OpenHelp help({{"|TOPIC", d.file.data}}, minor, 0);
    help.ctx.block_size = 16384 + 12;
    return walk_all(help.ctx, help.file);
}

constexpr size_t record_length_field = 0, text_length_field = 4, next_link_field = 12, head_length_field = 16;

TEST(TopicWalk, LengthsTheStreamCannotHoldEndTheWalkQuietly) {
    struct Case {
        const char* name;
        size_t field;
        int32_t value;
    };
    for (const Case& c : {Case{"negative record length", record_length_field, -5},
                          Case{"huge record length", record_length_field, 0x7FFFFFF0},
                          Case{"negative head length", head_length_field, -1},
                          Case{"huge head length", head_length_field, 0x7FFFFFF0},
                          Case{"negative text length", text_length_field, -1},
                          Case{"text beyond any expansion", text_length_field, 0x7FFFFFF0},
                          Case{"text of 20 MB from 7 stored bytes", text_length_field, 20 << 20}}) {
        SCOPED_TRACE(c.name);
        Damaged d = damage(2, c.field, c.value);
        expect_records(walk_damaged(d), d.records, d.file, 2);
    }
}

// A |TOPIC whose directory entry claims far more than the help file holds:
// record lengths are measured against the blocks that are there, so a head
// length no file of this size could satisfy ends the walk instead of sizing
// a buffer (and a read into the missing blocks) from the claim.
TEST(TopicWalk, ClaimedTopicSizeBeyondTheFileDoesNotWidenTheLimits) {
    Damaged d = damage(2, head_length_field, 1 << 20);
    d.file.data.resize(16384 + 12, 0);  // one whole block, so that it reads in full
    Bytes help_file = hlptest::build_help_file({{"|TOPIC", d.file.data}});
    hlptest::put_u32(help_file, 16 + 4, 0x7FFFFFF0);  // used space of the first internal file
    OpenBytes bytes(help_file);
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    set_topic_format(ctx, 21, 0);
    ctx.block_size = 16384 + 12;
    TopicWalk walk;
    ASSERT_TRUE(topic_walk_start(ctx, bytes.file, walk));
    EXPECT_EQ(ctx.topic_file_size, 0x7FFFFFF0);  // as the directory says
    EXPECT_LE(walk.stream_limit, 2 * 16384) << "the file holds less than two blocks";
    topic_walk_end(ctx, walk);
    expect_records(walk_all(ctx, bytes.file), d.records, d.file, 2);
}

TEST(TopicWalk, TextLengthWithinTheExpansionBoundIsExpanded) {
    // 7 stored bytes ("a cell" and NUL) may expand to at most 16 each; with
    // no phrase table they are literals, and the rest of the text is zero.
    Damaged d = damage(2, text_length_field, 7 * 16);
    auto walked = walk_damaged(d);
    ASSERT_EQ(walked.size(), d.records.size());
    EXPECT_EQ(walked[2].text, std::string("a cell") + std::string(7 * 16 - 6, '\0'));
    Damaged over = damage(2, text_length_field, 7 * 16 + 1);
    EXPECT_EQ(walk_damaged(over).size(), 2u);
}

TEST(TopicWalk, ChainsThatDoNotAdvanceEnd) {
    const TopicFile plain = hlptest::build_topic_file(sample_records(), one_block_layout());
    for (int32_t target : {int32_t(plain.positions[3]), int32_t(plain.positions[1]), 12, 0}) {
        SCOPED_TRACE(target);
        Damaged d = damage(3, next_link_field, target);
        expect_records(walk_damaged(d), d.records, d.file, 3);
    }
    // Old format links are distances: zero or negative ones loop.
    for (int32_t distance : {0, -21, -1000}) {
        SCOPED_TRACE(distance);
        std::vector<TopicRecord> records = sample_records();
        TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(15, 0));
        hlptest::put_u32(file.data, file.positions[3] + next_link_field, static_cast<uint32_t>(distance));
        OpenHelp help({{"|TOPIC", file.data}}, 15, 0);
        expect_records(walk_all(help.ctx, help.file), records, file, 3);
    }
}

TEST(TopicWalk, ExpansionLongerThanTheTextLengthIsFatal) {
    const std::vector<std::string> phrases = {"Windows", "help "};
    std::vector<TopicRecord> records = {
        hlptest::phrase_compressed_record(0x20, {}, "Windows help Windows", phrases, PhraseScheme::phrases)};
    records[0].text_length = 15;
    TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(21, 4));
    OpenHelp help({{"|TOPIC", file.data}, {"|Phrases", hlptest::build_phrases_file(phrases)}}, 21, 4);
    load_phrase_table(help.ctx, help.file);
    EXPECT_EQ(fatal_output([&] { walk_all(help.ctx, help.file); }),
              "\nPhrase replacement delivers 20 bytes instead of 15");
}

TEST(TopicWalk, TopicCutInsideARecordEndsQuietly) {
    const std::vector<std::string> phrases = {"Windows", "help "};
    auto records = sample_records();
    records[5] = hlptest::phrase_compressed_record(0x20, {9}, "help Windows help Windows", phrases,
                                                   PhraseScheme::phrases);
    records[2].text = hlptest::bytes_of(std::string(500, 'z'));
    for (size_t cut_record : {size_t(2), size_t(5)}) {
        SCOPED_TRACE(cut_record);
        TopicFile file = hlptest::build_topic_file(records, hlptest::topic_layout_for(21, 0));
        ASSERT_EQ(file.block_of(file.positions[cut_record]), 0u);
        file.data.resize(file.positions[cut_record] + 21 + 2);
        OpenHelp help({{"|TOPIC", file.data}, {"|Phrases", hlptest::build_phrases_file(phrases)}}, 21, 0);
        load_phrase_table(help.ctx, help.file);
        auto walked = walk_all(help.ctx, help.file);
        EXPECT_EQ(walked.size(), cut_record);
    }
}

TEST(TopicWalk, MissingOrTinyTopic) {
    OpenHelp none({{"|SYSTEM", Bytes(12, 0)}}, 33, 4);
    TopicWalk walk;
    EXPECT_FALSE(topic_walk_start(none.ctx, none.file, walk));
    EXPECT_FALSE(topic_walk_next(none.ctx, none.file, walk));
    for (size_t size : {size_t(0), size_t(7), size_t(12), size_t(30)}) {
        OpenHelp tiny({{"|TOPIC", Bytes(size, 0x41)}}, 33, 4);
        EXPECT_TRUE(walk_all(tiny.ctx, tiny.file).empty()) << size;
    }
}

}  // namespace

// ---- salvage: damaged records are dropped up to the next block's first record

namespace {

constexpr uint32_t small_block = 256;

// Twelve topics of a header and three paragraphs each, over many small blocks.
std::vector<TopicRecord> salvage_records() {
    std::vector<TopicRecord> records;
    const std::string pool = letters(2000);
    for (uint32_t t = 0; t < 12; ++t) {
        records.push_back(hlptest::topic_header_record("Topic " + std::to_string(t), t));
        for (uint32_t p = 0; p < 3; ++p) records.push_back(paragraph(pool.substr(t * 90 + p * 20, 20 + (t + p) % 5 * 11)));
    }
    hlptest::link_topic_headers(records);
    return records;
}

struct SalvageRun {
    std::vector<WalkedRecord> walked;
    size_t recovered = 0;  // records that begin a topic whose header was lost
    int32_t total = 0, whole = 0;
    std::string report;
};

SalvageRun walk_salvaged(const Bytes& topic, const TopicLayout& layout, std::vector<hlptest::InternalFile> extra = {}) {
    extra.push_back({"|TOPIC", topic});
    OpenHelp help(extra, 33, 4);
    help.ctx.block_size = static_cast<int32_t>(layout.block_size);
    help.ctx.topics_compressed = layout.compression != hlptest::BlockCompression::stored;
    help.ctx.salvage = true;
    if (extra.size() > 1) load_phrase_table(help.ctx, help.file);
    SalvageRun run;
    TopicWalk walk;
    testing::internal::CaptureStderr();
    if (topic_walk_start(help.ctx, help.file, walk)) {
        walk.salvage.note_losses = true;
        while (topic_walk_next(help.ctx, help.file, walk)) {
            WalkedRecord r{walk.position, walk.link, walk.next_position, {}, walk.text != nullptr, {}};
            if (walk.head) r.head.assign(walk.head, walk.head + walk.head_size);
            if (walk.text) r.text.assign(walk.text, static_cast<size_t>(walk.text_size));
            run.recovered += walk.salvage.recovered_topic;
            run.walked.push_back(std::move(r));
        }
    }
    testing::internal::GetCapturedStderr();
    run.total = help.ctx.topics_total;
    run.whole = help.ctx.topics_whole;
    if (help.ctx.damage_log.head) {
        const MemoryFile* log = help.ctx.damage_log.head->file;
        run.report.assign(reinterpret_cast<const char*>(log->buffer), log->length);
    }
    return run;
}

TopicLayout stored_small_blocks() {
    TopicLayout layout = hlptest::topic_layout_for(33, 4);
    layout.block_size = small_block;
    layout.compression = hlptest::BlockCompression::stored;
    return layout;
}

// Writes value at a topic position of a stored |TOPIC, byte by byte, so that
// a field that straddles two blocks is written in both.
void put_at(TopicFile& file, uint32_t position, uint32_t value) {
    for (uint32_t i = 0; i < 4; ++i) {
        const uint32_t at = position + i;
        const uint32_t data = small_block - 12;
        const uint32_t in_block = (at - 12) % file.decompress_size;
        // Past a stored block's data the stream goes on in the next block.
        const uint32_t spill = in_block / data;
        const size_t offset = (size_t(file.block_of(at)) + spill) * small_block + 12 + in_block % data;
        file.data[offset] = static_cast<uint8_t>(value >> (8 * i));
    }
}

// The first record that begins in a later block than the record at index.
size_t first_of_next_block(const TopicFile& file, size_t index) {
    size_t i = index;
    while (i < file.positions.size() && file.block_of(file.positions[i]) == file.block_of(file.positions[index])) ++i;
    return i;
}

// Every record but those from `from` up to `to` came out as built.
void expect_all_but(const SalvageRun& run, const std::vector<TopicRecord>& records, const TopicFile& file, size_t from,
                    size_t to) {
    std::vector<size_t> kept;
    for (size_t i = 0; i < records.size(); ++i)
        if (i < from || i >= to) kept.push_back(i);
    ASSERT_EQ(run.walked.size(), kept.size()) << run.report;
    for (size_t k = 0; k < kept.size(); ++k) {
        SCOPED_TRACE("record " + std::to_string(kept[k]));
        EXPECT_EQ(run.walked[k].position, file.positions[kept[k]]);
        EXPECT_EQ(run.walked[k].link.record_type, records[kept[k]].type);
        EXPECT_EQ(run.walked[k].text, text_of(records[kept[k]]));
    }
}

// Forty topics of a header and four paragraphs of 150 letters each.
std::vector<TopicRecord> forty_topics() {
    std::vector<TopicRecord> records;
    const std::string pool = letters(30000);
    for (uint32_t t = 0; t < 40; ++t) {
        records.push_back(hlptest::topic_header_record("Topic " + std::to_string(t), t));
        for (uint32_t p = 0; p < 4; ++p) records.push_back(paragraph(pool.substr((t * 4 + p) * 150, 150)));
    }
    hlptest::link_topic_headers(records);
    return records;
}

}  // namespace

TEST(TopicWalkSalvage, DamagedRecordLosesItsBlocksRecordsUpToTheLastOnly) {
    const auto records = salvage_records();
    const TopicLayout layout = stored_small_blocks();
    const TopicFile built = hlptest::build_topic_file(records, layout);
    ASSERT_GT(built.block_count, 10u);
    // A paragraph in the middle of the third topic, and one where the chain
    // reaches it.
    const size_t hit = 10;
    ASSERT_EQ(records[hit].type, 0x20);
    struct Case {
        const char* name;
        size_t field;
        int32_t value;
        const char* why;
    };
    for (const Case& c : {Case{"link backwards", next_link_field, int32_t(built.positions[2]), "goes backwards"},
                          Case{"link out of the file", next_link_field, 0x7FFF0000, "does not lead to the next record"},
                          Case{"link skipping records", next_link_field, int32_t(built.positions[hit + 2]),
                               "does not lead to the next record"},
                          Case{"record length", record_length_field, 0x7FFFFFF0, "impossible record lengths"},
                          Case{"text length", text_length_field, 0x7FFFFFF0, "impossible record lengths"}}) {
        SCOPED_TRACE(c.name);
        TopicFile file = built;
        put_at(file, file.positions[hit] + static_cast<uint32_t>(c.field), static_cast<uint32_t>(c.value));
        const SalvageRun run = walk_salvaged(file.data, layout);
        // The block's last record is found again through the next block's
        // header, which names it.
        const size_t next_block = first_of_next_block(file, hit);
        const size_t resume = next_block - 1 > hit ? next_block - 1 : next_block;
        expect_all_but(run, records, file, hit, resume);
        EXPECT_NE(run.report.find(c.why), std::string::npos) << run.report;
        EXPECT_NE(run.report.find("|TOPIC at offset " + std::to_string(file.block_of(file.positions[hit]) * small_block)),
                  std::string::npos)
            << run.report;
        // The topic of the damaged record is cut short, no other.
        EXPECT_NE(run.report.find("topic 3 \"Topic 2\" cut short"), std::string::npos) << run.report;
        EXPECT_EQ(run.total, 12);
        ASSERT_LE(resume, 12u) << "the next topic's header should survive";
        EXPECT_EQ(run.whole, 11) << run.report;
        EXPECT_EQ(run.recovered, 0u);
    }
}

TEST(TopicWalkSalvage, GarbledTopicNumbersCountNoLostTopics) {
    // A garbled topic header may hold any number; the next header after
    // damage must not count topics from it (nor overflow working it out):
    // the lowest integer, or a number below the one before (numbers only
    // go up).
    for (const uint32_t garbled : {0x80000000u, 0u}) {
        SCOPED_TRACE(garbled);
        auto records = salvage_records();
        records[4] = hlptest::topic_header_record("Topic 1", garbled);
        hlptest::link_topic_headers(records);
        const TopicLayout layout = stored_small_blocks();
        TopicFile file = hlptest::build_topic_file(records, layout);
        const size_t hit = 6;
        put_at(file, file.positions[hit] + static_cast<uint32_t>(next_link_field), file.positions[2]);
        const SalvageRun run = walk_salvaged(file.data, layout);
        EXPECT_NE(run.report.find("goes backwards"), std::string::npos) << run.report;
        EXPECT_EQ(run.report.find("lost whole"), std::string::npos) << run.report;
        EXPECT_EQ(run.total, 12);
        EXPECT_EQ(run.whole, 11) << run.report;
    }
}

TEST(TopicWalkSalvage, DamagedRecordInALargeStoredBlockCostsThatRecordOnly) {
    // The records after the damaged one are found in the same block by
    // their headers, which name each other.
    const auto records = salvage_records();
    TopicLayout layout = stored_small_blocks();
    layout.block_size = 4096;
    const TopicFile built = hlptest::build_topic_file(records, layout);
    const size_t hit = 10;
    ASSERT_EQ(built.block_of(built.positions[hit]), built.block_of(built.positions[hit + 3]));
    for (const auto& [field, value] : {std::pair{next_link_field, int32_t(built.positions[2])},
                                       std::pair{record_length_field, 0x7FFFFFF0},
                                       std::pair{text_length_field, 0x7FFFFFF0}}) {
        SCOPED_TRACE(field);
        TopicFile file = built;
        const size_t at = size_t(file.block_of(file.positions[hit])) * 4096 + 12 +
                          (file.positions[hit] - 12) % file.decompress_size + field;
        for (size_t i = 0; i < 4; ++i) file.data[at + i] = static_cast<uint8_t>(uint32_t(value) >> (8 * i));
        const SalvageRun run = walk_salvaged(file.data, layout);
        expect_all_but(run, records, file, hit, hit + 1);
        EXPECT_NE(run.report.find("its records up to topic position 0x"), std::string::npos) << run.report;
        EXPECT_EQ(run.whole, 11) << run.report;
    }
}

TEST(TopicWalkSalvage, RecordsPastGarbledExpansionAreFoundWithTheirShift) {
    // A garbled expansion puts other bytes, mostly of another length, in
    // place of the true ones: the records after them lie shifted.
    const auto records = salvage_records();
    TopicLayout layout = stored_small_blocks();
    layout.block_size = 4096;
    const TopicFile file = hlptest::build_topic_file(records, layout);
    const Bytes truth(file.data.begin() + 12, file.data.end());
    const size_t hit = 10, last = 47;
    const uint32_t at = file.positions[hit] - 12, span_end = 12 + file.decompress_size;
    for (const auto& [garbled, dropped] : {std::pair{37, 10}, std::pair{5, 40}, std::pair{16, 16}}) {
        SCOPED_TRACE(garbled - dropped);
        Bytes bytes(truth.begin(), truth.begin() + at + 3);
        bytes.insert(bytes.end(), size_t(garbled), 0xA5);
        bytes.insert(bytes.end(), truth.begin() + at + 3 + dropped, truth.end());
        const BlockResync found =
            find_block_resync(bytes.data(), long(bytes.size()), 12, file.positions[hit] + 21, span_end, 0, 0);
        EXPECT_EQ(found.position, file.positions[hit + 1]);
        EXPECT_EQ(found.shift, dropped - garbled);
        // Past the last pair only the next block's header names the last record.
        const long cut = long(file.positions[last] - 12 + garbled - dropped + 30);
        const BlockResync tail =
            find_block_resync(bytes.data(), cut, 12, file.positions[last - 1] + 21, span_end, file.positions[last],
                              get_le32(truth.data() + file.positions[last] - 12 + 12));
        EXPECT_EQ(tail.position, file.positions[last]);
        EXPECT_EQ(tail.shift, dropped - garbled);
    }
    // Intact records before the damage are not taken for records after it.
    EXPECT_EQ(find_block_resync(truth.data(), long(at), 12, file.positions[hit] + 21, span_end, 0, 0).position, 0u);
}

TEST(TopicWalkSalvage, PhraseNumberOutsideTheTableDropsThatRecordOnly) {
    const std::vector<std::string> phrases = {"Windows", "help ", "topic"};
    auto records = salvage_records();
    // Codes 0x0F 0xFF name phrase 1919 of three.
    const size_t hit = 18;
    records[hit].text = Bytes{'a', 0x0F, 0xFF, 'b', 0};
    records[hit].text_length = 40;
    const TopicLayout layout = stored_small_blocks();
    const TopicFile file = hlptest::build_topic_file(records, layout);
    const SalvageRun run = walk_salvaged(file.data, layout, {{"|Phrases", hlptest::build_phrases_file(phrases)}});
    // The record's link still leads to the next one: it is lost alone.
    expect_all_but(run, records, file, hit, hit + 1);
    EXPECT_NE(run.report.find("phrase codes naming no phrase in the record at topic position"), std::string::npos)
        << run.report;
    EXPECT_EQ(run.whole, 11);
}

TEST(TopicWalkSalvage, GarbledCompressedBlockCostsOnlyItsRecords) {
    // Longer topics in LZ77 blocks of 4096 bytes: bytes written over the
    // middle of one block's compressed data.
    const std::vector<TopicRecord> records = forty_topics();
    const TopicLayout layout = hlptest::topic_layout_for(33, 4);
    TopicFile file = hlptest::build_topic_file(records, layout);
    ASSERT_GT(file.block_count, 4u);
    const uint32_t damaged_block = 2;
    uint32_t seed = 99;
    for (size_t i = 0; i < 16; ++i) {
        seed = seed * 1103515245 + 12345;
        file.data[damaged_block * layout.block_size + 2000 + i] = static_cast<uint8_t>(seed >> 16);
    }
    const SalvageRun run = walk_salvaged(file.data, layout);
    // Records of other blocks come out as built; of the damaged block's, at
    // most those before the damage.
    size_t k = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const uint32_t block = file.block_of(file.positions[i]);
        if (block == damaged_block) {
            if (k < run.walked.size() && run.walked[k].position == file.positions[i]) ++k;
            continue;
        }
        ASSERT_LT(k, run.walked.size()) << "record " << i << " missing\n" << run.report;
        EXPECT_EQ(run.walked[k].position, file.positions[i]) << "record " << i;
        EXPECT_EQ(run.walked[k].text, text_of(records[i])) << "record " << i;
        ++k;
    }
    EXPECT_EQ(k, run.walked.size());
    EXPECT_NE(run.report.find("block 2 holds"), std::string::npos) << run.report;
    // Lost: the topics with a record in the damaged block, and one more
    // whose header may have been the block's last record.
    std::set<size_t> touched;
    for (size_t i = 0; i < records.size(); ++i)
        if (file.block_of(file.positions[i]) == damaged_block) touched.insert(i / 5);
    EXPECT_EQ(run.total, 40);
    EXPECT_GE(run.whole, run.total - int32_t(touched.size()) - 1) << run.report;
}

TEST(TopicWalkSalvage, ShiftedRecordsPastAGarbledExpansionAreMendedInPlace) {
    // Blocks of literals only: a control byte 0x00 and eight letters, nine
    // bytes for eight. Three such groups are written over with two groups of
    // back references that consume the same 27 bytes but expand to more, so
    // every record after them in the block comes out shifted.
    const std::vector<TopicRecord> records = forty_topics();
    TopicLayout layout = hlptest::topic_layout_for(33, 4);
    layout.compression = hlptest::BlockCompression::lz77_literal;
    const TopicFile built = hlptest::build_topic_file(records, layout);
    ASSERT_GT(built.block_count, 4u);
    const uint32_t block = 2, group = 222;
    // Output offsets in the block that the garbled groups stood for.
    const uint32_t garbled_from = block * built.decompress_size + 12 + group * 8, garbled_to = garbled_from + 24;
    for (const uint8_t high : {uint8_t(0x00), uint8_t(0x70)}) {  // references of 3 or of 10 bytes
        SCOPED_TRACE(int(high));
        TopicFile file = built;
        Bytes garble = {0xFF};
        for (int i = 0; i < 8; ++i) garble.insert(garble.end(), {0x00, high});
        garble.insert(garble.end(), {0x01, 0x00, high, 'x', 'x', 'x', 'x', 'x', 'x', 'x'});
        ASSERT_EQ(garble.size(), 27u);
        const size_t at = size_t(block) * layout.block_size + 12 + size_t(group) * 9;
        ASSERT_EQ(file.data[at], 0x00);
        ASSERT_EQ(file.data[at + 18], 0x00);
        std::copy(garble.begin(), garble.end(), file.data.begin() + long(at));
        const SalvageRun run = walk_salvaged(file.data, layout);
        // Every record that the garbled bytes do not touch comes out as
        // built, those after them in the same block too.
        size_t k = 0, after_in_block = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            const uint32_t end = i + 1 < file.positions.size() ? file.positions[i + 1] : UINT32_MAX;
            if (file.positions[i] < garbled_to && end > garbled_from) {
                if (k < run.walked.size() && run.walked[k].position == file.positions[i]) ++k;
                continue;
            }
            ASSERT_LT(k, run.walked.size()) << "record " << i << " missing\n" << run.report;
            EXPECT_EQ(run.walked[k].position, file.positions[i]) << "record " << i << "\n" << run.report;
            EXPECT_EQ(run.walked[k].text, text_of(records[i])) << "record " << i;
            after_in_block += file.positions[i] >= garbled_to && file.block_of(file.positions[i]) == block;
            ++k;
        }
        EXPECT_EQ(k, run.walked.size());
        EXPECT_GT(after_in_block, 10u);
        EXPECT_NE(run.report.find("block 2 holds"), std::string::npos) << run.report;
    }
}

TEST(TopicWalkSalvage, OldFormatGoesOnAtTheNextBlocksFirstRecord) {
    // Old positions are offsets into |TOPIC, links are distances, and a
    // block header may name a record that began in an earlier block (as 3.0
    // compilers write them: the record that runs into the block).
    std::vector<TopicRecord> records;
    const std::string pool = letters(9000);
    for (uint32_t t = 0; t < 10; ++t) {
        records.push_back(paragraph("Old topic " + std::to_string(t), 2));
        for (uint32_t p = 0; p < 3; ++p) records.push_back(paragraph(pool.substr((t * 3 + p) * 200, 200)));
    }
    const TopicLayout layout = hlptest::topic_layout_for(15, 0);
    for (const bool running_in : {false, true}) {
        SCOPED_TRACE(running_in ? "the header names the record running into the block" : "the first record in it");
        TopicFile file = hlptest::build_topic_file(records, layout);
        ASSERT_GT(file.block_count, 3u);
        const size_t hit = 9, next = first_of_next_block(file, hit);
        ASSERT_LT(file.positions[hit] % 2048 + 16, 2048u);
        ASSERT_GT(next, hit + 1);
        hlptest::put_u32(file.data, file.positions[hit] + next_link_field, 0);
        const size_t resumed = running_in ? next - 1 : next;
        if (running_in) hlptest::put_u32(file.data, (file.block_of(file.positions[hit]) + 1) * 2048 + 4, file.positions[resumed]);
        OpenHelp help({{"|TOPIC", file.data}}, 15, 0);
        help.ctx.salvage = true;
        TopicWalk walk;
        std::vector<uint32_t> positions;
        ASSERT_TRUE(topic_walk_start(help.ctx, help.file, walk));
        while (topic_walk_next(help.ctx, help.file, walk)) positions.push_back(walk.position);
        std::vector<uint32_t> expected;
        for (size_t i = 0; i < records.size(); ++i)
            if (i < hit || i >= resumed) expected.push_back(file.positions[i]);
        EXPECT_EQ(positions, expected);
    }
}

TEST(TopicWalkSalvage, RecordsCopyingTextFromBeforeAGarbledStretchReadTheTrueText) {
    // One block written by hand: literals, but the paragraphs of topics 3 to
    // 5 copy those of topics 0 to 2 by back references, and eight literals in
    // topic 2 are eight 3-byte references: all after them expands 16 bytes
    // off its place, and the copies reach 16 bytes past their source. When
    // the record after the garbled one is lost as well (its link broken),
    // its copy in topic 5 copies bytes nothing tells: those show as '?'.
    const std::string pool = letters(600);
    std::vector<TopicRecord> records;
    for (uint32_t t = 0; t < 6; ++t) {
        records.push_back(hlptest::topic_header_record("Topic " + std::to_string(t), t));
        for (uint32_t p = 0; p < 3; ++p) records.push_back(paragraph(pool.substr((t % 3 * 3 + p) * 60, 60)));
    }
    hlptest::link_topic_headers(records);
    TopicLayout layout = hlptest::topic_layout_for(33, 4);
    layout.compression = hlptest::BlockCompression::stored;
    for (const bool next_lost : {false, true}) {
        SCOPED_TRACE(next_lost ? "the next record lost too" : "only the garbled record");
        layout.compression = hlptest::BlockCompression::stored;
        TopicFile built = hlptest::build_topic_file(records, layout);
        ASSERT_EQ(built.block_count, 1u);
        if (next_lost) hlptest::put_u32(built.data, built.positions[10] + next_link_field, 0x7FFFFFF0);
        const std::vector<uint32_t>& place = built.positions;
        const size_t garbled = place[9] - 12 + 30;  // inside topic 2's first paragraph
        Bytes topic(built.data.begin(), built.data.begin() + 12);
        size_t control = 0, items = 0;
        const auto item = [&](bool reference, uint32_t value, uint32_t distance) {  // a literal, or a length
            if (items++ % 8 == 0) control = topic.size(), topic.push_back(0);
            if (!reference) return topic.push_back(uint8_t(value));
            topic[control] |= uint8_t(1u << ((items - 1) % 8));
            const uint32_t w = (value - 3) << 12 | (distance - 1);
            topic.insert(topic.end(), {uint8_t(w), uint8_t(w >> 8)});
        };
        for (size_t at = 0; at + 12 < built.data.size();) {
            const size_t r = size_t(std::upper_bound(place.begin(), place.end(), at + 12) - place.begin()) - 1;
            const bool copy = r >= 12 && r < records.size() && records[r].type == 0x20;
            const size_t text = copy ? place[r] - 12 + 21 + records[r].head.size() : 0;
            const size_t end = copy ? text + records[r].text.size() : 0;
            if (at == garbled) {
                for (int i = 0; i < 8; ++i) item(true, 3, 1);
                at += 8;
            } else if (copy && at >= text && at + 3 <= end) {
                const uint32_t length = uint32_t(std::min<size_t>(18, end - at));
                item(true, length, place[r] - place[r - 12]);
                at += length;
            } else {
                item(false, built.data[12 + at++], 0);
            }
        }
        layout.compression = hlptest::BlockCompression::lz77_literal;
        const SalvageRun run = walk_salvaged(topic, layout);
        EXPECT_NE(run.report.find("moved back"), std::string::npos) << run.report;
        // All records but the garbled one and its copy (and the lost one)
        // come out as built; the lost one's copy as built or '?', its
        // letters copied from what was lost all '?'.
        size_t k = 0, copies = 0, marked = 0;
        for (size_t i = 0; i < records.size(); ++i) {
            if ((place[i] - 12 <= garbled && place[i + 1] - 12 > garbled) || i == 9 + 12 || (next_lost && i == 10)) {
                k += k < run.walked.size() && run.walked[k].position == place[i];
                continue;
            }
            ASSERT_LT(k, run.walked.size()) << "record " << i << " missing\n" << run.report;
            EXPECT_EQ(run.walked[k].position, place[i]) << "record " << i << "\n" << run.report;
            const std::string expected = text_of(records[i]);
            if (next_lost && i == 10 + 12) {
                const std::string& got = run.walked[k].text;
                ASSERT_EQ(got.size(), expected.size());
                for (size_t c = 0; c < got.size(); ++c) {
                    EXPECT_TRUE(got[c] == expected[c] || got[c] == '?') << "letter " << c << " of " << got;
                    marked += got[c] == '?';
                }
                EXPECT_GE(marked, 40u) << got;
            } else {
                EXPECT_EQ(run.walked[k].text, expected) << "record " << i;
            }
            copies += i >= 12 && records[i].type == 0x20;
            ++k;
        }
        EXPECT_EQ(copies, 8u);
    }
}
