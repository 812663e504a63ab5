// Damaged and degenerate font files: empty tables are accepted, tables that
// run past |FONT end the decompile, and numbers out of range stay harmless.
#include <gtest/gtest.h>

#include "font_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::FontDescriptorSpec;
using hlptest::FontFileSpec;
using hlptest::FontLayout;
using hlptest::FontStyleSpec;
using hlptest::put_u16;
namespace field = hlptest::font_field;

const std::string malformed = "\nmalformed |FONT file\n";

FontDescriptorSpec uses(uint16_t name, uint8_t family) {
    FontDescriptorSpec d;
    d.font_name = name;
    d.family = family;
    return d;
}

FontFileSpec one_of_each(FontLayout layout) {
    FontFileSpec recipe;
    recipe.layout = layout;
    recipe.names = {"Arial", "Courier"};
    recipe.descriptors = {uses(0, 2), uses(1, 3)};
    FontStyleSpec s;
    s.name = "Style";
    if (layout != FontLayout::old_layout) recipe.styles = {s};
    if (layout == FontLayout::mediaview) recipe.charmaps = {"M,1"};
    return recipe;
}

TEST(FontFaults, EmptyTablesGiveAnEmptyHeaderInsteadOfFailing) {
    for (FontLayout layout : {FontLayout::old_layout, FontLayout::new_layout, FontLayout::mediaview}) {
        FontFileSpec empty;
        empty.layout = layout;
        auto run = write_header(empty);
        // No descriptor to take the Normal size from: 12 points.
        EXPECT_EQ(run->rtf,
                  "{\\rtf1\\ansi\\ansicpg1252\\deff0\n{\\fonttbl}\n{\\stylesheet{\\fs24 \\snext0 Normal;}\n}\\pard\\plain\n");
        EXPECT_EQ(run->ctx().font_count, 0);
        EXPECT_EQ(run->ctx().fonts, nullptr);
    }

    FontFileSpec nameless;
    nameless.descriptors = {uses(0, 2), uses(3, 1)};  // name numbers with no name behind them
    auto run = write_header(nameless);
    EXPECT_EQ(font_table_of(run->rtf), "}");
    EXPECT_EQ(run->ctx().font_count, 2);
    EXPECT_EQ(run->progress, "0 font names, 2 font descriptors, 0 font styles loaded\n");

    FontFileSpec no_descriptors;
    no_descriptors.names = {"Helv"};
    run = write_header(no_descriptors);
    EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\fnil Helv;}}");
    EXPECT_NE(run->rtf.find("{\\fs24 \\snext0 Normal;}"), std::string::npos);

    // Names with no room at all between header and descriptors are empty.
    Bytes zero_width = hlptest::build_font_file(no_descriptors);
    put_u16(zero_width, field::descriptors_offset, hlptest::get_u16(zero_width, field::names_offset));
    run = write_header({{"|FONT", zero_width}});
    EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\fnil Arial;}}");
}

TEST(FontFaults, TablesRunningPastTheFontFileAreMalformed) {
    FontFileSpec wide = one_of_each(FontLayout::new_layout);
    wide.name_field = 34;
    EXPECT_EQ(header_failure(hlptest::build_font_file(wide)), malformed);

    for (FontLayout layout : {FontLayout::old_layout, FontLayout::new_layout, FontLayout::mediaview}) {
        Bytes font = hlptest::build_font_file(one_of_each(layout));
        Bytes descriptors = font;
        put_u16(descriptors, field::descriptor_count, 60000);
        EXPECT_EQ(header_failure(descriptors), malformed);
        Bytes names = font;
        put_u16(names, field::name_count, 1);  // one name as long as both: past the limit
        EXPECT_EQ(header_failure(names), malformed);
        Bytes backwards = font;
        put_u16(backwards, field::descriptors_offset, 2);
        EXPECT_EQ(header_failure(backwards), malformed);
        Bytes cut = font;
        cut.resize(18);
        EXPECT_EQ(header_failure(cut), malformed);
        if (layout == FontLayout::old_layout) continue;
        Bytes styles = font;
        put_u16(styles, field::style_count, 1000);
        EXPECT_EQ(header_failure(styles), malformed);
        Bytes far_styles = font;
        put_u16(far_styles, field::styles_offset, 0xFFFF);
        EXPECT_EQ(header_failure(far_styles), malformed);
    }

    EXPECT_EQ(header_failure(Bytes{1, 0, 1, 0, 8, 0}), malformed);  // shorter than any header
    hlptest::ByteWriter mediaview_header;
    mediaview_header.u16(0).u16(0).u16(16).u16(16).u16(0).u16(0);  // claims 16 bytes, has 12
    EXPECT_EQ(header_failure(mediaview_header.data()), malformed);

    // Character-map records are read only for the project file.
    Bytes charmaps = hlptest::build_font_file(one_of_each(FontLayout::mediaview));
    put_u16(charmaps, field::charmap_count, 500);
    EXPECT_EQ(header_failure(charmaps, true), malformed);
    auto run = write_header({{"|FONT", charmaps}}, false);
    EXPECT_EQ(run->ctx().font_count, 2);
}

TEST(FontFaults, NumbersOutOfRangeStayInsideTheirTables) {
    FontFileSpec recipe = one_of_each(FontLayout::new_layout);
    recipe.descriptors.push_back(uses(500, 1));  // beyond the names: no family noted
    recipe.descriptors.push_back(uses(0xFFFF, 1));
    FontStyleSpec orphan;
    orphan.number = 2;
    orphan.based_on = 7;  // beyond the two styles: written as a style of its own
    orphan.name = "Orphan";
    recipe.styles.push_back(orphan);
    auto run = write_header(recipe);
    EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\fswiss Arial;}{\\f1\\fmodern Courier;}}");
    EXPECT_NE(run->rtf.find("{\\*\\cs11 \\additive\\f0\\fs20 Orphan;}\n"), std::string::npos);

    // A style name that fills its record to the end stops there.
    Bytes font = hlptest::build_font_file(one_of_each(FontLayout::new_layout));
    size_t styles_at = hlptest::get_u16(font, field::styles_offset);
    std::fill(font.begin() + static_cast<long>(styles_at + 81), font.begin() + static_cast<long>(styles_at + 146), 'y');
    run = write_header({{"|FONT", font}});
    EXPECT_NE(run->rtf.find(" " + std::string(65, 'y') + ";}\n}\\pard\\plain\n"), std::string::npos);
}

TEST(FontFaults, SalvagePlainsGarbledDescriptorsOnly) {
    // Garbled descriptors would put their text in small capitals (written
    // lower case), struck out or huge; salvage writes it in the default font.
    for (FontLayout layout : {FontLayout::old_layout, FontLayout::new_layout, FontLayout::mediaview}) {
        SCOPED_TRACE(int(layout));
        FontFileSpec recipe = one_of_each(layout);
        FontDescriptorSpec garbled = uses(500, 1);
        garbled.small_caps = garbled.strikeout = true;
        garbled.size = 200;
        recipe.descriptors.push_back(garbled);
        Bytes font = hlptest::build_font_file(recipe);
        for (bool salvage : {false, true}) {
            auto run = write_header({{"|FONT", font}}, true, salvage);
            const FontDescriptor& d = run->ctx().fonts[2];
            EXPECT_EQ(d.small_caps, salvage ? 0 : 1);
            EXPECT_EQ(d.font_name, salvage ? run->ctx().default_font : 500);
            EXPECT_EQ(run->ctx().fonts[1].font_name, 1) << "sound descriptors stay as they are";
            EXPECT_EQ(run->ctx().had_problems, salvage);
        }
    }
}

TEST(FontFaults, FatalErrorsLeaveNothingBehind) {
    // A failure after names and descriptors were allocated frees them with
    // the context (the sanitizer build checks for leaks).
    Bytes font = hlptest::build_font_file(one_of_each(FontLayout::mediaview));
    put_u16(font, field::style_count, 2);
    EXPECT_EQ(header_failure(font, true), malformed);
}

}  // namespace
