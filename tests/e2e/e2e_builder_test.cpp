// Builder-made help files through the exports, read back by the programs
// people open the results with: unrtf shows the topics, ImageMagick decodes
// the bitmaps pixel for pixel, libwmf draws the metafile, and every picture
// the topic file or [BITMAPS] names is an extracted entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#include "context_builder.h"
#include "decompiled.h"
#include "external_tool.h"
#include "keyword_index_builder.h"
#include "large_help_file.h"
#include "paragraph_builder.h"
#include "picture_builder.h"
#include "picture_checks.h"
#include "rtf_scan.h"

namespace {

using namespace hlptest;
using namespace e2e;

// Red, green, blue and white, stored blue first.
const Bytes four_colours = {0, 0, 255, 0, 0, 255, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0};
const char* const colour_names[] = {"255,0,0", "0,255,0", "0,0,255", "255,255,255"};
unsigned colour_at(uint32_t x, uint32_t stored_row) { return (x + 2 * stored_row) % 4; }

PictureSpec colour_bitmap(uint8_t packing) {
    PictureSpec p;
    p.packing = packing;
    p.bits_per_pixel = 4;
    p.width = 5;
    p.height = 3;
    p.colours_used = 4;
    p.colour_table = four_colours;
    p.data = bitmap_rows(5, 3, 4, 4, colour_at);
    return p;
}

// A metafile of one rectangle, twice as wide as high.
PictureSpec rectangle_metafile() {
    ByteWriter w;
    w.u16(1).u16(9).u16(0x0300).u32(29).u16(0).u32(7).u16(0);  // header: 29 words, longest record 7
    w.u32(5).u16(0x020B).u16(0).u16(0);                        // SetWindowOrg 0, 0
    w.u32(5).u16(0x020C).u16(1000).u16(2000);                  // SetWindowExt 2000 x 1000
    w.u32(7).u16(0x041B).u16(900).u16(1900).u16(100).u16(100); // Rectangle
    w.u32(3).u16(0);                                           // end
    PictureSpec p;
    p.type = metafile_picture;
    p.packing = 2;
    p.metafile_width = 2000;
    p.metafile_height = 1000;
    p.data = w.take();
    return p;
}

TopicRecord paragraphs(const std::vector<Segment>& segments, uint8_t type = 0x20) {
    TextRecordSpec recipe;
    recipe.type = type;
    Paragraph paragraph;
    paragraph.segments = segments;
    recipe.paragraphs = {paragraph};
    return text_record(recipe);
}

Bytes picture_reference_to(uint16_t number) { return picture_reference(0, number); }

TopicRecord titled(const std::string& title) {
    TopicHeaderSpec recipe;
    recipe.title = title;
    return topic_header(recipe);
}

struct BuiltRun {
    TempDir source;
    std::unique_ptr<Decompiled> d;
    RtfScan scan;
    std::string shown;  // unrtf's text, spaces squeezed

    BuiltRun(const std::string& name, const Bytes& help) {
        write_file(source.file(name), help);
        d = std::make_unique<Decompiled>(source.file(name));
        EXPECT_TRUE(d->opened) << d->err;
        scan = scan_rtf(d->contents(d->topic_name));
        const ToolRun unrtf = run_tool({"unrtf", "--text", d->path(d->topic_name)}, source.path.string());
        EXPECT_EQ(unrtf.status, 0) << unrtf.err;
        shown = squeeze_spaces(unrtf.out);
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> t;
        for (const RtfFootnote& note : scan.footnotes)
            if (note.mark == '$') t.push_back(note.text);
        return t;
    }
};

Bytes winhelp4_file() {
    PictureSpec hotspots = colour_bitmap(1);
    hotspots.hotspots = HotspotBlock{.hotspots = {{.kind = 0xE3, .name = "spot", .target = "second_topic"}}};
    std::vector<TopicRecord> records = {
        titled("Pictures of every kind"),
        paragraphs({{"Four pictures follow in this paragraph: ", cmd_picture(0x86, 3, picture_reference_to(1))},
                    {"", cmd_picture(0x87, 3, picture_reference_to(2))},
                    {"", cmd_picture(0x88, 3, picture_reference_to(3))},
                    {"and the last one ", cmd_picture(0x86, 3, picture_reference_to(4))},
                    {"", cmd_end()}}),
        titled("Braces {like} these, a back\\slash and caf\xe9 au lait"),
        paragraphs({{"Plain words of the second topic, {braced} and back\\slashed.", cmd_par()}, {"", cmd_end()}}),
        titled(""),
        paragraphs({{"An untitled topic keeps its text as well.", cmd_end()}}),
    };
    link_topic_headers(records);
    return build_help_file({
        {"|SYSTEM", build_system_file(33, 4, {system_string_record(system_title, "End to end")})},
        {"|TOPIC", build_topic_file(records, topic_layout_for(33, 4)).data},
        picture_internal_file(1, build_picture_file({colour_bitmap(2)}).data),
        picture_internal_file(2, build_picture_file({rectangle_metafile()}).data),
        picture_internal_file(3, build_picture_file({hotspots}).data),
        picture_internal_file(4, build_picture_file({colour_bitmap(0), colour_bitmap(2)}).data),
    });
}

TEST(BuiltE2e, TopicsReadInUnrtfWithTheirTitlesAndText) {
    REQUIRE_TOOL("unrtf", "unrtf");
    BuiltRun run("e2e.hlp", winhelp4_file());
    EXPECT_TRUE(run.scan.balanced);
    EXPECT_EQ(run.scan.pages, 2);
    EXPECT_EQ(run.titles(), (std::vector<std::string>{"Pictures of every kind",
                                                      "Braces \\{like\\} these, a back\\\\slash and caf\\'e9 au lait"}));
    for (const char* text : {"Pictures of every kind", "Braces {like} these, a back\\slash and caf",
                             "Four pictures follow in this paragraph:", "Plain words of the second topic, {braced}",
                             "and back\\slashed.", "An untitled topic keeps its text as well."})
        EXPECT_NE(run.shown.find(text), std::string::npos) << text << " not in\n" << run.shown;
}

TEST(BuiltE2e, PicturesDecodeAsBuiltAndEveryNamedOneIsExtracted) {
    REQUIRE_TOOL("unrtf", "unrtf");
    REQUIRE_TOOL("identify", "imagemagick");
    REQUIRE_TOOL("wmf2svg", "libwmf-bin");
    BuiltRun run("e2e.hlp", winhelp4_file());
    const Decompiled& d = *run.d;
    EXPECT_EQ(run.scan.picture_names,
              (std::vector<std::string>{"bm1.bmp", "bm2.wmf", "bm3.shg", "bm4.mrb"}));
    expect_named_pictures_extracted(d, run.scan);

    const auto bitmaps = expect_bitmaps_decode(d);
    ASSERT_EQ(bitmaps.count("bm1.bmp"), 1u);
    EXPECT_EQ(bitmaps.at("bm1.bmp"), (PictureSize{5, 3}));
    // Rows are stored bottom up; the reader counts from the top.
    for (auto [x, row] : {std::pair{0u, 0u}, {4u, 0u}, {1u, 1u}, {3u, 2u}})
        EXPECT_EQ(pixel_rgb(d, "bm1.bmp", int(x), int(2 - row)), colour_names[colour_at(x, row)]) << x << "," << row;

    const auto metafiles = expect_metafiles_convert(d);
    ASSERT_EQ(metafiles.count("bm2.wmf"), 1u);
    const PictureSize drawing = metafiles.at("bm2.wmf");
    EXPECT_NEAR(double(drawing.width) / double(drawing.height), 2.0, 0.02);
    expect_picture_files_consistent(d);
}

TEST(BuiltE2e, TheClosingLineNamesTheHelpFileThatHadProblems) {
    // The second topic names the first as its browse predecessor, but the
    // first names no successor: the sequence cannot be rebuilt.
    TopicHeaderSpec second;
    second.title = "Second";
    second.browse_previous = 0;
    std::vector<TopicRecord> records = {titled("First"), paragraphs({{"aaa", cmd_end()}}), topic_header(second),
                                        paragraphs({{"bbb", cmd_end()}})};
    link_topic_headers(records);
    TempDir source;
    write_file(source.file("manual.hlp"),
               build_help_file({{"|SYSTEM", build_system_file(33, 4, {system_string_record(system_title, "T")})},
                                {"|TOPIC", build_topic_file(records, topic_layout_for(33, 4)).data}}));
    Decompiled d(source.file("manual.hlp"));
    ASSERT_TRUE(d.opened) << d.err;
    EXPECT_NE(d.err.find("Can not link"), std::string::npos) << d.err;
    EXPECT_NE(d.out.find("hlpunpack had problems with manual.hlp. Rebuilt helpfile may behave bad.\n"),
              std::string::npos)
        << d.out;
}

// Salvage through the exports: a picture that cannot be decoded at all and a
// font table cut to three bytes cost only themselves; the damage report is
// listed beside the sources. Without salvage the same file fails to open.
TEST(BuiltE2e, SalvageSkipsAnUndecodablePictureAndABrokenFontTable) {
    Bytes damaged = build_help_file({
        {"|SYSTEM", build_system_file(33, 4, {system_string_record(system_title, "End to end")})},
        {"|FONT", Bytes{5, 0, 1}},
        {"|TOPIC", build_topic_file({titled("Only topic"), paragraphs({{"Text around ", cmd_picture(0x86, 3, picture_reference_to(2))},
                                                                        {"a lost picture.", cmd_end()}})},
                                    topic_layout_for(33, 4))
                       .data},
        picture_internal_file(1, build_picture_file({colour_bitmap(2)}).data),
        picture_internal_file(2, Bytes{'x', 'y', 1, 0, 8, 0, 0, 0}),
    });
    TempDir source;
    write_file(source.file("broken.hlp"), damaged);
    {
        Decompiled plain(source.file("broken.hlp"));
        EXPECT_FALSE(plain.opened);
    }
    SetHlpunpackOptions(HLPUNPACK_SALVAGE);
    Decompiled d(source.file("broken.hlp"));
    SetHlpunpackOptions(0);
    ASSERT_TRUE(d.opened) << d.err;
    EXPECT_TRUE(d.listed("bm1.bmp"));
    EXPECT_TRUE(d.names_ending(".wmf").empty());
    const std::string rtf = d.contents(d.topic_name);
    EXPECT_NE(rtf.find("{\\fonttbl}"), std::string::npos);
    EXPECT_NE(rtf.find("Text around "), std::string::npos);
    EXPECT_NE(rtf.find("a lost picture."), std::string::npos);
    EXPECT_NE(rtf.find("bm2"), std::string::npos) << "the topic keeps its reference";
    ASSERT_TRUE(d.listed("broken-damage.txt"));
    const std::string report = d.contents("broken-damage.txt");
    EXPECT_NE(report.find("bm2: picture could not be decoded; skipped\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("|FONT: font table damaged; topics written in the default font\r\n"), std::string::npos)
        << report;
}

TEST(BuiltE2e, OldFormatBitmapsSectionNamesExtractedPictures) {
    REQUIRE_TOOL("unrtf", "unrtf");
    REQUIRE_TOOL("identify", "imagemagick");
    std::vector<TopicRecord> records = {
        old_topic_header("An old topic"),
        paragraphs({{"A picture in an old help file ", cmd_picture(0x86, 3, picture_reference_to(1))}, {"", cmd_end()}},
                   1),
        old_topic_header("Another old topic"),
        paragraphs({{"Its second topic says little.", cmd_end()}}, 1),
    };
    Bytes help = build_help_file({{"|SYSTEM", build_old_system_file("Old")},
                                  {"|TOPIC", build_topic_file(records, topic_layout_for(15, 0)).data},
                                  picture_internal_file(1, build_picture_file({colour_bitmap(0)}).data, true)});
    BuiltRun run("old.hlp", help);
    EXPECT_TRUE(run.scan.balanced);
    EXPECT_EQ(run.titles(), (std::vector<std::string>{"An old topic", "Another old topic"}));
    EXPECT_NE(run.d->contents(run.d->project_name).find("[BITMAPS]\r\nbm1.bmp\r\n\r\n"), std::string::npos);
    EXPECT_EQ(run.scan.picture_names, std::vector<std::string>{"bm1.bmp"});
    expect_named_pictures_extracted(*run.d, run.scan);
    EXPECT_EQ(expect_bitmaps_decode(*run.d).at("bm1.bmp"), (PictureSize{5, 3}));
    EXPECT_NE(run.shown.find("Its second topic says little."), std::string::npos) << run.shown;
}

// ---- salvage: a damaged copy of a good file

// Thirty topics of two paragraphs in stored blocks of 4096 bytes: about four
// blocks, with topics on both sides of every border.
struct SalvageSample {
    size_t padding = 120;  // of each paragraph's text, which moves the block borders
    std::vector<TopicRecord> records;
    TopicFile topic;
    Bytes help;
};

std::string salvage_title(int t) { return "Salvage topic " + std::to_string(t); }
std::string salvage_text(int t, int p, size_t padding) {
    return "Paragraph " + std::to_string(p) + " of topic " + std::to_string(t) + std::string(padding, '.');
}

SalvageSample salvage_sample(const std::function<void(SalvageSample&)>& damage, size_t padding = 120) {
    SalvageSample s;
    s.padding = padding;
    for (int t = 0; t < 30; ++t) {
        TopicHeaderSpec header;
        header.title = salvage_title(t);
        header.topic_number = static_cast<uint32_t>(t);
        s.records.push_back(topic_header(header));
        for (int p = 0; p < 2; ++p) s.records.push_back(paragraphs({{salvage_text(t, p, padding), cmd_end()}}));
    }
    link_topic_headers(s.records);
    s.topic = build_topic_file(s.records, topic_layout_for(33, 0));
    damage(s);
    s.help = build_help_file({{"|SYSTEM", build_system_file(33, 0, {system_string_record(system_title, "Salvage")})},
                              {"|TOPIC", s.topic.data}});
    return s;
}

// Offset in the stored |TOPIC of the byte at a topic position; past a
// block's 4084 bytes of data the stream goes on in the next block.
size_t stored_at(const TopicFile& topic, uint32_t position) {
    const uint32_t in_block = (position - 12) % topic.decompress_size;
    return (size_t(topic.block_of(position)) + in_block / 4084) * 4096 + 12 + in_block % 4084;
}

// Decompiles with salvage on (and the HTML edition if asked), and without
// them for comparison.
struct SalvagedRun {
    TempDir source;
    std::unique_ptr<Decompiled> plain, salvaged;
    RtfScan scan;
    std::string rtf, report;
    size_t padding;
    explicit SalvagedRun(const SalvageSample& sample, bool html = false) : padding(sample.padding) {
        write_file(source.file("damaged.hlp"), sample.help);
        plain = std::make_unique<Decompiled>(source.file("damaged.hlp"));
        SetHlpunpackOptions(HLPUNPACK_SALVAGE | (html ? HLPUNPACK_HTML : 0));
        salvaged = std::make_unique<Decompiled>(source.file("damaged.hlp"));
        SetHlpunpackOptions(0);
        EXPECT_TRUE(salvaged->opened) << salvaged->err;
        rtf = salvaged->contents(salvaged->topic_name);
        scan = scan_rtf(rtf);
        if (salvaged->listed("damaged-damage.txt")) report = salvaged->contents("damaged-damage.txt");
    }
    std::vector<std::string> titles() const {
        std::vector<std::string> t;
        for (const RtfFootnote& note : scan.footnotes)
            if (note.mark == '$') t.push_back(note.text);
        return t;
    }
};

// The topics that come out whole: title and both paragraphs.
int whole_topics(const SalvagedRun& run) {
    int whole = 0;
    for (int t = 0; t < 30; ++t) {
        const auto titles = run.titles();
        whole += std::find(titles.begin(), titles.end(), salvage_title(t)) != titles.end() &&
                 run.rtf.find(salvage_text(t, 0, run.padding)) != std::string::npos &&
                 run.rtf.find(salvage_text(t, 1, run.padding)) != std::string::npos;
    }
    return whole;
}

TEST(BuiltSalvage, UnreadableParagraphIsLostAlone) {
    size_t hit = 0;
    const SalvageSample s = salvage_sample([&](SalvageSample& s) {
        // The end code of a paragraph in the second block becomes a code no
        // paragraph holds: without salvage the decompile ends there.
        for (size_t i = 0; i < s.records.size() && hit == 0; ++i)
            if (s.records[i].type == 0x20 && s.topic.block_of(s.topic.positions[i]) == 1 &&
                s.topic.block_of(s.topic.positions[i + 1]) == 1)
                hit = i;
        const uint32_t end_code = s.topic.positions[hit] + 21 + uint32_t(s.records[hit].head.size()) - 1;
        ASSERT_EQ(s.topic.data[stored_at(s.topic, end_code)], 0xFF);
        s.topic.data[stored_at(s.topic, end_code)] = 0x7A;
    });
    SalvagedRun run(s);
    EXPECT_FALSE(run.plain->opened);
    EXPECT_NE(run.plain->err.find("Unknown 7a"), std::string::npos) << run.plain->err;
    EXPECT_TRUE(run.scan.balanced);
    // The paragraph's link still leads to the next record: every other
    // topic comes out whole, and the damaged one keeps its other paragraph.
    const int topic = int(hit / 3), paragraph = int(hit % 3) - 1;
    EXPECT_EQ(whole_topics(run), 29);
    EXPECT_EQ(run.rtf.find(salvage_text(topic, paragraph, run.padding)), std::string::npos);
    EXPECT_NE(run.rtf.find(salvage_text(topic, 1 - paragraph, run.padding)), std::string::npos);
    EXPECT_NE(run.report.find("|TOPIC at offset 4096: block 1 holds paragraph data that cannot be read in the record"),
              std::string::npos)
        << run.report;
    EXPECT_NE(run.report.find("topic " + std::to_string(topic + 1) + " \"" + salvage_title(topic) + "\" cut short"),
              std::string::npos)
        << run.report;
    EXPECT_NE(run.report.find("29 of 30 topics recovered whole\r\n"), std::string::npos) << run.report;
    EXPECT_NE(run.salvaged->err.find("Salvage: |TOPIC: block 1 holds"), std::string::npos);
}

TEST(BuiltSalvage, TopicWithoutItsHeaderIsWrittenUnderARecoveredTitle) {
    // A topic header that is the last record to begin in the second block,
    // its paragraphs in the third, gets a record chain link that points
    // backwards. Paragraph lengths are tried until the borders fall so.
    size_t header = 0;
    SalvageSample s;
    for (size_t padding = 100; padding < 140 && header == 0; ++padding) {
        s = salvage_sample(
            [&](SalvageSample& s) {
                for (size_t i = 0; i + 1 < s.records.size(); ++i)
                    if (s.records[i].type == 2 && s.topic.block_of(s.topic.positions[i]) == 1 &&
                        s.topic.block_of(s.topic.positions[i + 1]) == 2)
                        header = i;
                if (header == 0) return;
                for (uint32_t k = 0; k < 4; ++k)
                    s.topic.data[stored_at(s.topic, s.topic.positions[header] + 12 + k)] = uint8_t(k == 0 ? 12 : 0);
            },
            padding);
    }
    ASSERT_NE(header, 0u) << "no layout puts a topic header last in its block";
    const int lost = int(header / 3);
    SalvagedRun run(s, true);
    auto titles = run.titles();
    ASSERT_EQ(titles.size(), 30u) << run.report;
    EXPECT_EQ(titles[size_t(lost)], "Recovered topic " + std::to_string(lost + 1));
    EXPECT_EQ(titles[size_t(lost) - 1], salvage_title(lost - 1));
    EXPECT_EQ(titles[size_t(lost) + 1], salvage_title(lost + 1));
    // The recovered topic keeps its text on its own page.
    const size_t page = run.rtf.find("Recovered topic");
    EXPECT_LT(page, run.rtf.find(salvage_text(lost, 0, s.padding)));
    EXPECT_GT(run.rtf.rfind("\\page", page), run.rtf.find(salvage_text(lost - 1, 1, s.padding)));
    // In the HTML edition too, named as a topic without a context id, and
    // listed in the contents after the topic before it.
    const std::string html_page = run.salvaged->contents("html\\topic" + std::to_string(lost) + ".html");
    EXPECT_NE(html_page.find("<h1>Recovered topic " + std::to_string(lost + 1) + "</h1>"), std::string::npos);
    EXPECT_NE(html_page.find(salvage_text(lost, 0, s.padding)), std::string::npos);
    const std::string contents = run.salvaged->contents("html\\index.html");
    EXPECT_LT(contents.find(salvage_title(lost - 1)), contents.find("Recovered topic"));
    EXPECT_EQ(whole_topics(run), 29);
    EXPECT_NE(run.report.find("topic " + std::to_string(lost + 1) + " lost its header; its text is written as "
                              "\"Recovered topic " + std::to_string(lost + 1) + "\""),
              std::string::npos)
        << run.report;
    EXPECT_NE(run.report.find("29 of 30 topics recovered whole"), std::string::npos) << run.report;
    // Without salvage the walk ends quietly at the damage.
    EXPECT_TRUE(run.plain->opened);
    EXPECT_FALSE(run.plain->listed("damaged-damage.txt"));
}

// A zeroed sector takes the head of |SYSTEM, which names the version and
// the compression; salvage tells them from the other internal files and
// from how the first topic record reads, and says so. A chain that ends
// early, with blocks after it still naming records, is named for what it is.
TEST(BuiltSalvage, DamagedSystemHeaderIsGuessedAndAnEarlyChainEndNamed) {
    SalvageSample s = salvage_sample([](SalvageSample& s) {
        for (size_t i = 0; i < s.records.size(); ++i)
            if (s.topic.block_of(s.topic.positions[i]) == 2 && s.topic.block_of(s.topic.positions[i + 1]) == 2) {
                for (uint32_t k = 0; k < 4; ++k) s.topic.data[stored_at(s.topic, s.topic.positions[i] + 12 + k)] = 0xFF;
                return;
            }
    });
    const Bytes head = {0x6C, 0x03, 33, 0, 1, 0};
    const auto system = std::search(s.help.begin(), s.help.end(), head.begin(), head.end());
    ASSERT_NE(system, s.help.end());
    std::fill(system, system + 12, 0);
    SalvagedRun run(s);
    EXPECT_FALSE(run.plain->opened);
    EXPECT_NE(run.report.find("|SYSTEM at offset 0: its header is damaged: the version and the compression are "
                              "guessed"),
              std::string::npos)
        << run.report;
    EXPECT_NE(run.report.find("block 2 holds the end of its record chain at topic position"), std::string::npos)
        << run.report;
    EXPECT_GE(whole_topics(run), 27) << run.report;
}

// A garbled offset in an index points where no text starts, or past the
// last topic: the file fails without salvage; with salvage the keyword is
// written at the next text and the report names both.
TEST(BuiltSalvage, IndexEntriesPointingNowhereAreReported) {
    SalvageSample s = salvage_sample([](SalvageSample&) {});
    const std::vector<int32_t> offsets = count_topic_offsets(s.records, s.topic.positions);
    const int32_t between = (1 << 15) + 0x7000, beyond = 10 << 15;  // block 1 holds far less text
    std::vector<ContextPair> pairs{{context_string_hash("first"), offsets[0]}, {context_string_hash("beyond"), beyond}};
    std::vector<InternalFile> files{{"|SYSTEM", build_system_file(33, 0, {})},
                                    {"|TOPIC", s.topic.data},
                                    {"|CONTEXT", build_context_tree(pairs)}};
    const KeywordIndex index = build_keyword_index({{"between", {uint32_t(offsets[3]), uint32_t(between)}}});
    for (InternalFile& f : keyword_index_files('K', false, index)) files.push_back(f);
    s.help = build_help_file(files);
    SalvagedRun run(s);
    EXPECT_FALSE(run.plain->opened);
    EXPECT_NE(run.report.find("|KWDATA: a reference of keyword \"between\" names topic offset 0xF000, where no text "
                              "starts; written at 0x10000"),
              std::string::npos)
        << run.report;
    EXPECT_NE(run.report.find("|CONTEXT: 1 context ids name places past the last topic: left out"), std::string::npos)
        << run.report;
    EXPECT_EQ(whole_topics(run), 30);

    // A keyword of a topic without text, whose header ends a block, is
    // written with the next text, as it always was: the topic's start is a
    // place it may name.
    std::vector<TopicRecord> records;
    TopicFile topic;
    for (size_t padding = 3900; padding < 4100 && (topic.positions.empty() || topic.block_of(topic.positions[3]) == 0);
         ++padding) {
        records = {topic_header_record("First", 0), paragraphs({{std::string(padding, 'x'), cmd_end()}}),
                   topic_header_record("Empty", 1), topic_header_record("Full", 2),
                   paragraphs({{"Some text.", cmd_end()}})};
        link_topic_headers(records);
        topic = build_topic_file(records, topic_layout_for(33, 0));
    }
    ASSERT_EQ(topic.block_of(topic.positions[2]), 0u);
    const int32_t empty_at = count_topic_offsets(records, topic.positions)[2];
    ASSERT_NE(empty_at, count_topic_offsets(records, topic.positions)[3]);
    files = {{"|SYSTEM", build_system_file(33, 0, {})}, {"|TOPIC", topic.data}};
    for (InternalFile& f : keyword_index_files('K', false, build_keyword_index({{"empty", {uint32_t(empty_at)}}})))
        files.push_back(f);
    BuiltRun plain("empty.hlp", build_help_file(files));
    EXPECT_NE(plain.d->contents(plain.d->topic_name).find("{\\up K}{\\footnote"), std::string::npos);
}

// A 3.0 header stores no topic number: the topics a broken chain loses
// whole are told from |TOMAP, which lists each topic's place, so the topics
// after them keep the numbers their jumps use.
TEST(BuiltSalvage, OldTopicsLostWholeAreCountedFromTheTopicMap) {
    SalvageSample s;
    for (int t = 0; t < 30; ++t) {
        s.records.push_back(old_topic_header(salvage_title(t)));
        for (int p = 0; p < 2; ++p) s.records.push_back(paragraphs({{salvage_text(t, p, 60), cmd_end()}}, 1));
    }
    s.topic = build_topic_file(s.records, topic_layout_for(15, 0));
    std::vector<int32_t> map(16, 0);
    size_t broken = 0;
    for (size_t i = 0; i < s.records.size(); i += 3) {
        map.push_back(int32_t(s.topic.positions[i]));
        if (broken == 0 && s.topic.block_of(s.topic.positions[i]) == 1) broken = i;
    }
    // The first topic of the second block links to itself.
    put_u32(s.topic.data, s.topic.positions[broken] + 12, 0);
    s.help = build_help_file({{"|SYSTEM", build_old_system_file("Old")},
                              {"|TOPIC", s.topic.data},
                              {"|TOMAP", build_topic_map(map)}});
    s.padding = 60;
    SalvagedRun run(s);
    int numbered = 0;  // titles, each after its number
    for (size_t n = 1; n < run.scan.footnotes.size(); ++n) {
        if (run.scan.footnotes[n].mark != '$' || run.scan.footnotes[n - 1].mark != '#') continue;
        for (int t = 0; t < 30; ++t)
            if (run.scan.footnotes[n].text == salvage_title(t)) {
                EXPECT_EQ(run.scan.footnotes[n - 1].text, "TOPIC" + std::to_string(16 + t)) << salvage_title(t);
                ++numbered;
            }
    }
    const int lost = 30 - numbered;
    EXPECT_EQ(run.titles().size(), size_t(numbered));
    EXPECT_GT(lost, 0) << run.report;
    EXPECT_NE(run.report.find("lost whole with the dropped records"), std::string::npos) << run.report;
    // The topic whose link broke is cut short as well.
    EXPECT_NE(run.report.find(std::to_string(29 - lost) + " of 30 topics recovered whole"), std::string::npos)
        << run.report;
}

TEST(BuiltSalvage, IntactFileComesOutTheSameWithSalvage) {
    const SalvageSample s = salvage_sample([](SalvageSample&) {});
    SalvagedRun run(s);
    ASSERT_TRUE(run.plain->opened);
    EXPECT_TRUE(run.report.empty());
    EXPECT_EQ(run.plain->entries.size(), run.salvaged->entries.size());
    for (const std::string& name : {run.plain->project_name, run.plain->topic_name})
        EXPECT_EQ(run.plain->contents(name), run.salvaged->contents(name)) << name;
    EXPECT_EQ(run.plain->out, run.salvaged->out);
    EXPECT_EQ(run.plain->err, run.salvaged->err);
    EXPECT_EQ(whole_topics(run), 30);
}

}  // namespace
