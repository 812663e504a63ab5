// Font names, descriptors and colours of |FONT in its three layouts, as the
// descriptor table and the head of the topic file.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "font_fixture.h"
#include "topics/fonts.h"

namespace {

using hlptest::FontDescriptorSpec;
using hlptest::FontFileSpec;
using hlptest::FontLayout;
using hlptest::Rgb;
using hlptest::SystemRecordSpec;

// Bold to small capitals, then size, family and font name number.
std::vector<int> fields_of(const FontDescriptor& f) {
    return {f.bold, f.italic, f.underline, f.strikeout, f.double_underline, f.small_caps, f.size, f.family, f.font_name};
}

FontDescriptorSpec uses(uint16_t name, uint8_t family) {
    FontDescriptorSpec d;
    d.font_name = name;
    d.family = family;
    return d;
}

TEST(FontTable, OldLayoutHeaderScalesMeasurementsAndMapsFamilies) {
    FontFileSpec recipe;
    recipe.layout = FontLayout::old_layout;
    recipe.names = {"Helv", "Tms Rmn", "Courier", "Script", "Decor", "Tech", "Other", "None"};
    // Old family codes 3, 2, 1, 4, 5, 6, 7, 0 for names 0 to 7.
    const uint8_t codes[] = {3, 2, 1, 4, 5, 6, 7, 0};
    for (uint16_t i = 0; i < 8; ++i) recipe.descriptors.push_back(uses(i, codes[i]));
    recipe.descriptors[0].size = 18;
    recipe.descriptors[1].bold = recipe.descriptors[1].double_underline = recipe.descriptors[1].small_caps = true;
    recipe.descriptors[2].italic = recipe.descriptors[2].underline = recipe.descriptors[2].strikeout = true;
    auto run = write_header(recipe);

    EXPECT_EQ(run->rtf,
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\n{\\fonttbl{\\f0\\fswiss Helv;}{\\f1\\froman Tms Rmn;}{\\f2\\fmodern Courier;}"
              "{\\f3\\fscript Script;}{\\f4\\fdecor Decor;}{\\f5\\ftech Tech;}{\\f6\\fnil Other;}{\\f7\\fnil None;}}\n"
              "{\\stylesheet{\\fs18 \\snext0 Normal;}\n}\\pard\\plain\n");
    EXPECT_EQ(run->progress, "8 font names, 8 font descriptors loaded\n");
    DecompileContext& ctx = run->ctx();
    EXPECT_EQ(ctx.scale_multiplier, 10);
    EXPECT_EQ(ctx.scale_subtrahend, 5);
    ASSERT_EQ(ctx.font_count, 8);
    EXPECT_EQ(fields_of(ctx.fonts[0]), (std::vector<int>{0, 0, 0, 0, 0, 0, 18, 2, 0}));
    EXPECT_EQ(fields_of(ctx.fonts[1]), (std::vector<int>{1, 0, 0, 0, 1, 1, 20, 1, 1}));
    EXPECT_EQ(fields_of(ctx.fonts[2]), (std::vector<int>{0, 1, 1, 1, 0, 0, 20, 3, 2}));
    EXPECT_EQ(ctx.fonts[6].family, 7);  // codes from 6 on stay as they are
    EXPECT_EQ(ctx.fonts[7].font_name, 7);
    EXPECT_EQ(ctx.attributes.font_name, 0);
}

TEST(FontTable, NewAndMediaViewDescriptorsReadTheirOwnFieldPlaces) {
    for (FontLayout layout : {FontLayout::new_layout, FontLayout::mediaview}) {
        SCOPED_TRACE(layout == FontLayout::mediaview ? "MediaView" : "new");
        FontFileSpec recipe;
        recipe.layout = layout;
        recipe.names = {"Courier New", "Arial"};
        FontDescriptorSpec a = uses(1, 2);
        a.size = 24;
        a.bold = a.strikeout = a.small_caps = true;
        a.style = 4;
        a.expansion = -3;
        a.vertical_offset = -6;
        FontDescriptorSpec b = uses(0, 3);
        b.height = -200;  // only the low byte of 400 is kept
        b.italic = b.underline = b.double_underline = true;
        recipe.descriptors = {a, b};
        auto run = write_header(recipe);
        DecompileContext& ctx = run->ctx();
        EXPECT_EQ(ctx.scale_multiplier, 1);
        EXPECT_EQ(ctx.scale_subtrahend, 0);
        ASSERT_EQ(ctx.font_count, 2);
        const FontDescriptor& f = ctx.fonts[0];
        EXPECT_EQ(fields_of(f), (std::vector<int>{1, 0, 0, 1, 0, 1, 24, 2, 1}));
        const FontDescriptor& g = ctx.fonts[1];
        EXPECT_EQ(fields_of(g), (std::vector<int>{0, 1, 1, 0, 1, 0, 400 % 256, 3, 0}));
        bool mv = layout == FontLayout::mediaview;
        EXPECT_EQ(f.style, mv ? 4 : 0);
        EXPECT_EQ(f.expansion, mv ? -3 : 0);
        EXPECT_EQ(f.vertical_offset, mv ? -6 : 0);
        EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\fmodern Courier New;}{\\f1\\fswiss Arial;}}");
        EXPECT_EQ(run->rtf.substr(0, 30), "{\\rtf1\\ansi\\ansicpg1252\\deff1\n");
        EXPECT_EQ(ctx.default_font, 1);
        EXPECT_EQ(ctx.attributes.font_name, 1);
        EXPECT_EQ(ctx.attributes.bold, 0);
        EXPECT_EQ(run->progress, "2 font names, 2 font descriptors, 0 font styles loaded\n");
    }
}

TEST(FontTable, EmptyNameIsArialAndCanBeTheDefault) {
    FontFileSpec recipe;
    recipe.names = {"Courier", ""};
    recipe.descriptors = {uses(0, 3), uses(1, 2)};
    auto run = write_header(recipe);
    EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\fmodern Courier;}{\\f1\\fswiss Arial;}}");
    EXPECT_EQ(run->ctx().default_font, 1);
    EXPECT_NE(run->rtf.find("\\deff1\n"), std::string::npos);
}

TEST(FontTable, DefaultFontFollowsThePreferenceList) {
    struct Case {
        std::vector<std::string> names;
        std::vector<FontDescriptorSpec> descriptors;
        int expected;
    };
    const Case cases[] = {
        {{"Helv", "Courier", "Symbol", "Arial"}, {uses(0, 2), uses(1, 3), uses(3, 2)}, 3},
        {{"Helv", "Courier", "Symbol", "Arial"}, {uses(0, 2), uses(1, 3)}, 0},       // Arial unused
        {{"Helv", "Arial"}, {uses(0, 2), uses(1, 0)}, 0},                           // no family noted for Arial
        {{"Courier", "ARIAL", "arial"}, {uses(0, 3), uses(1, 2), uses(2, 2)}, 1},   // case-blind, lower number wins
        {{"Courier", "Symbol"}, {uses(0, 3), uses(1, 1)}, 0},                       // nothing preferred
        {{"Courier", "Times", "TmsRmn"}, {uses(0, 3), uses(1, 1), uses(2, 1)}, 2},  // TmsRmn ranks above Times
        // A later descriptor of the same name overwrites the noted family.
        {{"Courier", "Arial"}, {uses(0, 3), uses(1, 2), uses(1, 0)}, 0},
    };
    for (const Case& c : cases) {
        FontFileSpec recipe;
        recipe.names = c.names;
        recipe.descriptors = c.descriptors;
        auto run = write_header(recipe);
        EXPECT_EQ(run->ctx().default_font, c.expected) << c.names[0] << " " << c.names.size();
        EXPECT_EQ(run->ctx().attributes.font_name, c.expected);
    }
}

TEST(FontTable, ColoursAreSharedAndTheAutomaticColourIsIndexZero) {
    FontFileSpec recipe;
    recipe.layout = FontLayout::old_layout;
    recipe.names = {"Arial"};
    FontDescriptorSpec red = uses(0, 3);
    red.foreground = {255, 0, 0};
    FontDescriptorSpec red_on_blue = red;
    red_on_blue.background = {0, 0, 255};
    FontDescriptorSpec automatic = uses(0, 3);
    automatic.background = {0, 0, 255};
    // Black stored as a background means none; it keeps its table entry.
    FontDescriptorSpec on_black = red;
    on_black.background = {0, 0, 0};
    recipe.descriptors = {red, red_on_blue, automatic, on_black};
    auto run = write_header(recipe);
    const FontDescriptor* f = run->ctx().fonts;
    EXPECT_EQ((std::vector<int>{f[0].foreground, f[0].background, f[1].foreground, f[1].background, f[2].foreground,
                      f[2].background, f[3].foreground, f[3].background}),
              (std::vector<int>{1, 0, 1, 2, 0, 2, 1, 0}));
    EXPECT_NE(run->rtf.find("}\n{\\colortbl;\\red255\\green0\\blue0;\\red0\\green0\\blue255;\\red0\\green0\\blue0;}\n"
                            "{\\stylesheet"),
              std::string::npos)
        << run->rtf;
    EXPECT_EQ(run->ctx().colour_count, 4);
}

TEST(FontTable, AddColourNeverGrowsPastTheTable) {
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    EXPECT_EQ(add_colour(ctx, 1, 1, 0), 0);  // the automatic entry exists from the start
    for (int i = 1; i < colour_table_size; ++i) EXPECT_EQ(add_colour(ctx, static_cast<uint8_t>(i), 0, 7), i);
    EXPECT_EQ(ctx.colour_count, colour_table_size);
    EXPECT_FALSE(ctx.had_problems);
    EXPECT_EQ(add_colour(ctx, 20, 0, 7), 20);  // known colours still match exactly
    // New colours take the nearest real colour, never the automatic entry,
    // with one warning for all of them.
    testing::internal::CaptureStderr();
    EXPECT_EQ(add_colour(ctx, 21, 0, 8), 21);
    EXPECT_EQ(add_colour(ctx, 255, 255, 255), 255);
    EXPECT_EQ(add_colour(ctx, 0, 0, 0), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "More than 255 colours: the rest are written as the nearest ones\n");
    EXPECT_TRUE(ctx.had_problems);
    EXPECT_EQ(ctx.colour_count, colour_table_size);
}

TEST(FontTable, ManyDistinctColoursFromTheFontFileStayInTheTable) {
    FontFileSpec recipe;
    recipe.names = {"Arial"};
    for (int i = 0; i < 150; ++i) {
        FontDescriptorSpec d = uses(0, 2);
        d.foreground = {static_cast<uint8_t>(i), 7, 9};
        d.background = {static_cast<uint8_t>(i), 9, 7};
        recipe.descriptors.push_back(d);
    }
    auto run = write_header(recipe);
    EXPECT_EQ(run->ctx().colour_count, colour_table_size);
    EXPECT_TRUE(run->ctx().had_problems);
    for (int i = 0; i < 150; ++i) {
        EXPECT_LT(run->ctx().fonts[i].foreground, colour_table_size);
        EXPECT_LT(run->ctx().fonts[i].background, colour_table_size);
    }
    // Entry 255 is the last one written.
    std::string table = run->rtf.substr(run->rtf.find("{\\colortbl;"));
    table = table.substr(0, table.find('\n'));
    EXPECT_EQ(std::count(table.begin(), table.end(), ';'), colour_table_size);
}

// |SYSTEM's language (record 9, LCID at offset 8) and the character set of
// each font name (record 11, one byte per name) give the header's code page
// and the fonts' character sets.
TEST(FontTable, CodePageAndCharacterSetsFromTheSystemFile) {
    auto language = [](uint16_t lcid) {
        return SystemRecordSpec{9, {0, 0, 0, 0, 0, 0, 0, 0, uint8_t(lcid & 0xFF), uint8_t(lcid >> 8)}};
    };
    // Three fonts, Cyrillic, western and symbol; `cyrillic` of the four
    // descriptors use the first.
    auto header_of = [&](std::vector<SystemRecordSpec> records, int cyrillic) {
        FontFileSpec recipe;
        recipe.names = {"Arial Cyr", "Arial", "Symbol"};
        for (int i = 0; i < 4; ++i) recipe.descriptors.push_back(uses(i < cyrillic ? 0 : 1, 2));
        recipe.descriptors.push_back(uses(2, 1));
        auto run = write_header({{"|SYSTEM", build_system_file(33, 0, records)}, {"|FONT", build_font_file(recipe)}});
        return run->rtf.substr(0, run->rtf.find("}}\n") + 2);
    };
    const SystemRecordSpec charsets{11, {204, 0, 2, 0}};  // one byte more than names, as compilers write
    EXPECT_EQ(header_of({language(0x419)}, 0),
              "{\\rtf1\\ansi\\ansicpg1251\\deff1\n"
              "{\\fonttbl{\\f0\\fnil Arial Cyr;}{\\f1\\fswiss Arial;}{\\f2\\froman Symbol;}}");
    EXPECT_EQ(header_of({language(0x411), charsets}, 0),
              "{\\rtf1\\ansi\\ansicpg932\\deff1\n"
              "{\\fonttbl{\\f0\\fnil\\fcharset204 Arial Cyr;}{\\f1\\fswiss\\fcharset0 Arial;}"
              "{\\f2\\froman\\fcharset2 Symbol;}}");
    // A western language: one national character set that a good part of
    // the descriptors use decides; a national font for a few samples, or
    // fonts of several national sets, leave it western.
    EXPECT_EQ(header_of({language(0x409), charsets}, 1).substr(0, 30), "{\\rtf1\\ansi\\ansicpg1251\\deff1\n");
    const SystemRecordSpec several{11, {204, 0, 238}};
    EXPECT_EQ(header_of({language(0x409), several}, 1).substr(0, 30), "{\\rtf1\\ansi\\ansicpg1252\\deff1\n");
    std::vector<SystemRecordSpec> sample = {language(0x409), charsets};
    FontFileSpec recipe;
    recipe.names = {"Arial Cyr", "Arial", "Symbol"};
    recipe.descriptors.push_back(uses(0, 2));
    for (int i = 0; i < 4; ++i) recipe.descriptors.push_back(uses(1, 2));
    auto western = write_header({{"|SYSTEM", build_system_file(33, 0, sample)}, {"|FONT", build_font_file(recipe)}});
    EXPECT_EQ(western->rtf.substr(0, 30), "{\\rtf1\\ansi\\ansicpg1252\\deff1\n");
    EXPECT_EQ(header_of({charsets}, 3).substr(0, 30), "{\\rtf1\\ansi\\ansicpg1251\\deff1\n");
    EXPECT_EQ(header_of({language(0x405)}, 3).substr(0, 30), "{\\rtf1\\ansi\\ansicpg1250\\deff1\n");
}

TEST(FontTable, NameFieldsUpToTheLimitAndEscapedNames) {
    FontFileSpec recipe;
    recipe.names = {std::string(33, 'N'), "A{b}\\c"};
    recipe.name_field = 33;  // no room for a NUL
    recipe.descriptors = {uses(0, 1), uses(1, 2)};
    auto run = write_header(recipe);
    EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\froman " + std::string(33, 'N') + ";}{\\f1\\fswiss A\\{b\\}\\\\c;}}");
}

TEST(FontTable, NoFontFileWritesAnEmptyTableAndLeavesUsableScaling) {
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    ctx.scale_multiplier = 7;
    ctx.scale_subtrahend = 3;
    OpenBytes help(hlptest::build_help_file({{"|SYSTEM", hlptest::build_old_system_file("t")}}));
    MemoryFile* topics = output_open("t.rtf", "wt");
    output_add(ctx.outputs, topics);
    MemoryFile* project = output_open("t.hpj", "wt");
    output_add(ctx.outputs, project);
    testing::internal::CaptureStderr();
    rtf_header_write(ctx, project, help.file, topics);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    // The topic file is still rich text whose groups balance.
    EXPECT_EQ(std::string(reinterpret_cast<char*>(topics->buffer), topics->length),
              "{\\rtf1\\ansi\\ansicpg1252\\deff0\r\n{\\fonttbl}\r\n{\\stylesheet{\\fs24 \\snext0 Normal;}\r\n}\\pard\\plain\r\n");
    EXPECT_EQ(project->length, 0u);
    EXPECT_EQ(ctx.font_count, 0);
    EXPECT_EQ(ctx.scale_multiplier, 1);
    EXPECT_EQ(ctx.scale_subtrahend, 0);
}

TEST(FontTable, WithoutAProjectNoSummaryIsPrinted) {
    FontFileSpec recipe;
    recipe.names = {"Arial"};
    recipe.descriptors = {uses(0, 2)};
    auto run = write_header(recipe, false);
    EXPECT_EQ(run->progress, "");
    EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\fswiss Arial;}}");
}

}  // namespace
