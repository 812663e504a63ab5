// The stylesheet of the topic file: Normal from descriptor 0, then each
// character style of the new and MediaView layouts, whole or as the
// differences from its based-on style.
#include <gtest/gtest.h>

#include "font_fixture.h"

namespace {

using hlptest::FontDescriptorSpec;
using hlptest::FontFileSpec;
using hlptest::FontLayout;
using hlptest::FontStyleSpec;

FontStyleSpec style(uint16_t number, const std::string& name) {
    FontStyleSpec s;
    s.number = number;
    s.name = name;
    return s;
}

FontFileSpec with_styles(FontLayout layout, std::vector<FontStyleSpec> styles) {
    FontFileSpec recipe;
    recipe.layout = layout;
    recipe.names = {"Arial"};
    FontDescriptorSpec d;
    d.family = 2;
    d.size = 28;
    recipe.descriptors = {d};
    recipe.styles = std::move(styles);
    return recipe;
}

const std::string normal = "{\\stylesheet{\\fs28 \\snext0 Normal;}\n";

TEST(Stylesheet, StyleOfItsOwnListsEveryAttributeItHas) {
    FontStyleSpec full = style(1, "Heading");
    full.font = 2;
    full.italic = full.underline = full.strikeout = full.double_underline = full.small_caps = 1;
    full.weight = 700;
    full.height = -12;
    full.foreground = {255, 0, 0};
    full.background = {0, 255, 0};
    FontStyleSpec bare = style(7, "Bare");
    bare.weight = 500;  // not above 500: not bold
    bare.background = {0, 0, 0};  // black: no background
    auto run = write_header(with_styles(FontLayout::new_layout, {full, bare}));
    EXPECT_EQ(stylesheet_of(run->rtf),
              normal +
                  "{\\*\\cs10 \\additive\\f2\\i\\b\\ul\\strike\\uldb\\scaps\\fs24\\cf1\\cb2 Heading;}\n"
                  "{\\*\\cs16 \\additive\\f0\\fs20 Bare;}\n");
    EXPECT_NE(run->rtf.find("{\\colortbl;\\red255\\green0\\blue0;\\red0\\green255\\blue0;\\red0\\green0\\blue0;}\n"),
              std::string::npos);
    EXPECT_EQ(run->rtf.substr(run->rtf.size() - 13), "}\\pard\\plain\n");
    EXPECT_EQ(run->progress, "1 font names, 1 font descriptors, 2 font styles loaded\n");
}

TEST(Stylesheet, BasedOnStyleWritesOnlyItsDifferences) {
    FontStyleSpec plain = style(1, "Plain");
    plain.weight = 700;
    plain.italic = 1;
    FontStyleSpec base = style(2, "Base");
    base.font = 1;
    base.height = -12;
    FontStyleSpec emphasis = base;  // differs from style 2 only in italics
    emphasis.number = 3;
    emphasis.based_on = 2;
    emphasis.italic = 1;
    emphasis.name = "Emphasis";
    FontStyleSpec differ = style(4, "Diff");
    differ.based_on = 1;
    differ.font = 3;
    differ.foreground = {0, 0, 128};
    differ.background = {0, 128, 0};
    differ.height = -9;
    differ.underline = 2;  // the byte's value is written
    differ.strikeout = differ.double_underline = differ.small_caps = 1;
    FontStyleSpec same = plain;
    same.number = 5;
    same.based_on = 1;
    same.name = "Same";
    FontStyleSpec bolder = base;
    bolder.number = 6;
    bolder.based_on = 2;
    bolder.weight = 600;
    bolder.name = "Bold";
    auto run = write_header(with_styles(FontLayout::new_layout, {plain, base, emphasis, differ, same, bolder}));
    EXPECT_EQ(stylesheet_of(run->rtf),
              normal +
                  "{\\*\\cs10 \\additive\\f0\\i\\b\\fs20 Plain;}\n"
                  "{\\*\\cs11 \\additive\\f1\\fs24 Base;}\n"
                  "{\\*\\cs12 \\additive\\i1 \\sbasedon11 Emphasis;}\n"
                  "{\\*\\cs13 \\additive\\f3\\cf1\\cb2\\fs18\\b0\\i0\\ul2\\strike1\\uldb1\\scaps1"
                  " \\sbasedon10 Diff;}\n"
                  "{\\*\\cs14 \\additive \\sbasedon10 Same;}\n"
                  "{\\*\\cs15 \\additive\\b1 \\sbasedon11 Bold;}\n");
}

TEST(Stylesheet, MediaViewStylesAddExpansionAndVerticalOffset) {
    FontStyleSpec raised = style(1, "Raised");
    raised.font = 1;
    raised.expansion = 5;
    raised.vertical_offset = 3;
    raised.italic = 1;
    raised.height = -11;
    raised.foreground = {9, 9, 9};
    FontStyleSpec lowered = raised;
    lowered.number = 2;
    lowered.based_on = 1;
    lowered.expansion = -2;
    lowered.vertical_offset = -4;
    lowered.background = {8, 8, 8};
    lowered.name = "Lowered";
    FontStyleSpec level = raised;
    level.number = 3;
    level.based_on = 1;
    level.vertical_offset = 0;
    level.expansion = 0;
    level.name = "Level";
    FontStyleSpec sunk = style(4, "Sunk");
    sunk.vertical_offset = -128;
    auto run = write_header(with_styles(FontLayout::mediaview, {raised, lowered, level, sunk}));
    EXPECT_EQ(stylesheet_of(run->rtf),
              normal +
                  "{\\*\\cs10 \\additive\\f1\\i\\expndtw5\\up3\\fs22\\cf1 Raised;}\n"
                  "{\\*\\cs11 \\additive\\expndtw-2\\cb2\\dn4 \\sbasedon10 Lowered;}\n"
                  "{\\*\\cs12 \\additive\\expndtw0\\up0 \\sbasedon10 Level;}\n"
                  "{\\*\\cs13 \\additive\\f0\\dn128\\fs20 Sunk;}\n");
    EXPECT_EQ(run->progress, "1 font names, 1 font descriptors, 4 font styles loaded\n");
}

TEST(Stylesheet, OldLayoutHasOnlyNormal) {
    FontFileSpec recipe = with_styles(FontLayout::old_layout, {});
    auto run = write_header(recipe);
    EXPECT_EQ(stylesheet_of(run->rtf), normal);
}

TEST(Stylesheet, StyleNamesAreEscapedAndBoundedByTheirRecord) {
    FontStyleSpec braces = style(1, "A}B{\\");
    FontStyleSpec longest = style(2, std::string(64, 'x'));
    auto run = write_header(with_styles(FontLayout::new_layout, {braces, longest}));
    EXPECT_EQ(stylesheet_of(run->rtf),
              normal +
                  "{\\*\\cs10 \\additive\\f0\\fs20 A\\}B\\{\\\\;}\n"
                  "{\\*\\cs11 \\additive\\f0\\fs20 " + std::string(64, 'x') + ";}\n");
}

}  // namespace
