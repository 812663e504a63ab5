// MediaView character maps: the [CHARMAP] project lines for font names with
// a map suffix, and the text dump of each character-map internal file.
#include <gtest/gtest.h>

#include "font_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::CharMapEntry;
using hlptest::FontDescriptorSpec;
using hlptest::FontFileSpec;
using hlptest::FontLayout;
using hlptest::InternalFile;

FontFileSpec mediaview_font(std::vector<std::string> names, std::vector<std::string> charmaps) {
    FontFileSpec recipe;
    recipe.layout = FontLayout::mediaview;
    recipe.names = std::move(names);
    for (uint16_t i = 0; i < recipe.names.size(); ++i) {
        FontDescriptorSpec d;
        d.font_name = i;
        d.family = 2;
        recipe.descriptors.push_back(d);
    }
    recipe.charmaps = std::move(charmaps);
    return recipe;
}

Bytes small_map() {
    CharMapEntry e{1, 65535, {1, 2, 3, 255}};
    return hlptest::build_charmap_file({e, {7, 8, {0, 0, 0, 0}}}, {{1, 2, 3}, {4, 5, 6}}, 3);
}

const std::string small_map_text =
    "2,\n"
    "    1,65535,  1,  2,  3,255,\n"
    "    7,    8,  0,  0,  0,  0,\n"
    "2,\n"
    "  1,  2,  3,\n"
    "  4,  5,  6,\n";

TEST(CharMap, FontSuffixesPickTheirMapAndTheDefault) {
    FontFileSpec recipe = mediaview_font({"F,1", "G,0", "H", "K,9"}, {"|MVCHARTAB,0", "M,1", "N,0", "P,1"});
    auto run = write_header({{"|FONT", hlptest::build_font_file(recipe)}, {"M", small_map()}, {"N", small_map()}});
    EXPECT_EQ(run->project, "[CHARMAP]\nF=M\nDEFAULT=N\n\n");
    // The names are cut at their comma in the font table.
    EXPECT_EQ(font_table_of(run->rtf), "{\\f0\\fswiss F;}{\\f1\\fswiss G;}{\\f2\\fswiss H;}{\\f3\\fswiss K;}}");
    EXPECT_EQ(run->output("M"), small_map_text);
    EXPECT_EQ(run->output("N"), small_map_text);
    // P is named but missing: skipped without a word; the built-in table is never dumped.
    EXPECT_EQ(run->output("P"), "absent");
    EXPECT_EQ(run->output("|MVCHARTAB"), "absent");
    EXPECT_EQ(run->output_count(), 4);
    EXPECT_EQ(run->progress, "4 font names, 4 font descriptors, 0 font styles loaded\n");
}

TEST(CharMap, NoSectionWithoutMatchesOrWithoutAProject) {
    FontFileSpec recipe = mediaview_font({"F,2", "Plain"}, {"|MVCHARTAB,0", "M,1"});
    auto run = write_header({{"|FONT", hlptest::build_font_file(recipe)}, {"M", small_map()}});
    EXPECT_EQ(run->project, "");
    EXPECT_EQ(run->output("M"), small_map_text);  // named maps are dumped even when unused

    auto quiet = write_header({{"|FONT", hlptest::build_font_file(recipe)}, {"M", small_map()}}, false);
    EXPECT_EQ(quiet->output("M"), "absent");
    EXPECT_EQ(font_table_of(quiet->rtf), "{\\f0\\fswiss F;}{\\f1\\fswiss Plain;}}");

    // Only MediaView names carry a map suffix.
    FontFileSpec newer = recipe;
    newer.layout = FontLayout::new_layout;
    auto plain = write_header(newer);
    EXPECT_EQ(font_table_of(plain->rtf), "{\\f0\\fswiss F,2;}{\\f1\\fswiss Plain;}}");
    EXPECT_EQ(plain->project, "");
}

TEST(CharMap, MapNamesFromTheHelpFileBecomeSafeEntryNames) {
    FontFileSpec recipe = mediaview_font({"F,1", "G,0"}, {"sub/map,1", "..,0"});
    auto run = write_header(
        {{"|FONT", hlptest::build_font_file(recipe)}, {"sub/map", small_map()}, {"..", small_map()}});
    EXPECT_EQ(run->project, "[CHARMAP]\nF=sub_map\nDEFAULT=__\n\n");
    EXPECT_EQ(run->output("sub_map"), small_map_text);
    EXPECT_EQ(run->output("__"), small_map_text);
    EXPECT_EQ(run->output("sub/map"), "absent");
    EXPECT_EQ(run->output(".."), "absent");
    // A map record with no name before its comma, and an internal file
    // with no name, found by the fuzzer: the entry still has a name.
    FontFileSpec unnamed = mediaview_font({"F,1"}, {",1"});
    auto nameless = write_header({{"|FONT", hlptest::build_font_file(unnamed)}, {"", small_map()}});
    EXPECT_EQ(nameless->project, "[CHARMAP]\nF=_\n\n");
    EXPECT_EQ(nameless->output("_"), small_map_text);
    EXPECT_EQ(nameless->output(""), "absent");
}

TEST(CharMap, CountsAreBoundedByTheMapFile) {
    Bytes overstated = small_map();
    hlptest::put_u16(overstated, 8, 1000);  // two entries are there
    hlptest::put_u16(overstated, 10, 50);   // and two rows
    Bytes short_rows = small_map();
    short_rows.resize(short_rows.size() - 1);  // the last row is cut short
    Bytes no_rows_length = small_map();
    hlptest::put_u16(no_rows_length, 12, 0);
    Bytes headless(39, 0);
    FontFileSpec recipe = mediaview_font({"F,1"}, {"A,1", "B,1", "C,1", "D,1"});
    auto run = write_header({{"|FONT", hlptest::build_font_file(recipe)},
                             {"A", overstated},
                             {"B", short_rows},
                             {"C", no_rows_length},
                             {"D", headless}});
    EXPECT_EQ(run->output("A"), small_map_text);
    EXPECT_EQ(run->output("B"), "2,\n    1,65535,  1,  2,  3,255,\n    7,    8,  0,  0,  0,  0,\n1,\n  1,  2,  3,\n");
    EXPECT_EQ(run->output("C"), "2,\n    1,65535,  1,  2,  3,255,\n    7,    8,  0,  0,  0,  0,\n2,\n\n\n");
    EXPECT_EQ(run->output("D"), "absent");
    EXPECT_EQ(run->project, "[CHARMAP]\nF=A\n\n");
}

}  // namespace
