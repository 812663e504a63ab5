// Flattening of entry names: nothing a help file names may leave the
// output folder or reach the terminal as a control sequence.
#include <gtest/gtest.h>

#include "cli/entry_names.h"

using hlpcli::claim_unique_name;
using hlpcli::flatten_entry_name;

TEST(EntryNames, PathPartsAndControlCharactersAreFlattened) {
    EXPECT_EQ(flatten_entry_name("../../etc/passwd"), ".._.._etc_passwd");
    EXPECT_EQ(flatten_entry_name("..\\..\\win.ini"), ".._.._win.ini");
    EXPECT_EQ(flatten_entry_name("C:\\autoexec.bat"), "C__autoexec.bat");
    EXPECT_EQ(flatten_entry_name("/abs"), "_abs");
    EXPECT_EQ(flatten_entry_name(std::string("a\0b", 3)), "a_b");
    EXPECT_EQ(flatten_entry_name("tab\there\nnew\x7f"), "tab_here_new_");
    EXPECT_EQ(flatten_entry_name("\x1b[31mred"), "_[31mred");
    // U+009B is a one-character escape introducer for some terminals.
    EXPECT_EQ(flatten_entry_name("x\xc2\x9b" "2Jy"), "x_2Jy");
}

TEST(EntryNames, OnlyTheHtmlFolderIsKeptAsAFolder) {
    EXPECT_EQ(hlpcli::entry_path("html\\index.html"), "html/index.html");
    EXPECT_EQ(hlpcli::entry_path("html\\..\\..\\x"), "html/.._.._x");
    EXPECT_EQ(hlpcli::entry_path("html\\.."), "html/__");
    EXPECT_EQ(hlpcli::entry_path("html\\a/b"), "html/a_b");
    EXPECT_EQ(hlpcli::entry_path("html\\"), "html_");
    EXPECT_EQ(hlpcli::entry_path("other\\x"), "other_x");
    EXPECT_EQ(hlpcli::entry_path("HTML\\x"), "HTML_x");
}

TEST(EntryNames, SpecialNamesBecomeOrdinaryOnes) {
    EXPECT_EQ(flatten_entry_name(""), "_");
    EXPECT_EQ(flatten_entry_name("."), "_");
    EXPECT_EQ(flatten_entry_name(".."), "__");
    EXPECT_EQ(flatten_entry_name("..."), "...");
}

TEST(EntryNames, OrdinaryNamesAreKeptWhole) {
    EXPECT_EQ(flatten_entry_name("manual.hpj"), "manual.hpj");
    EXPECT_EQ(flatten_entry_name("bm12.shg"), "bm12.shg");
    EXPECT_EQ(flatten_entry_name("r\xc3\xa9sum\xc3\xa9 \xe2\x82\xac.rtf"), "r\xc3\xa9sum\xc3\xa9 \xe2\x82\xac.rtf");
    EXPECT_EQ(flatten_entry_name(".hidden"), ".hidden");
}

TEST(EntryNames, ClashingNamesGetANumberBeforeTheExtension) {
    hlpcli::used_names used;
    EXPECT_EQ(claim_unique_name(used, "a_b.bmp"), "a_b.bmp");
    EXPECT_EQ(claim_unique_name(used, "a_b.bmp"), "a_b~2.bmp");
    EXPECT_EQ(claim_unique_name(used, "A_B.BMP"), "A_B~3.BMP");
    EXPECT_EQ(claim_unique_name(used, "_"), "_");
    EXPECT_EQ(claim_unique_name(used, "_"), "_~2");
    EXPECT_EQ(claim_unique_name(used, ".rc"), ".rc");
    EXPECT_EQ(claim_unique_name(used, ".rc"), ".rc~2");
    EXPECT_EQ(claim_unique_name(used, "other.bmp"), "other.bmp");
}
