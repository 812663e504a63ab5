// Builder-made help files through the exports, read back by the programs
// people open the results with: unrtf shows the topics, ImageMagick decodes
// the bitmaps pixel for pixel, libwmf draws the metafile, and every picture
// the topic file or [BITMAPS] names is an extracted entry.
#include <gtest/gtest.h>

#include <cstdio>

#include "decompiled.h"
#include "external_tool.h"
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

}  // namespace
