// The author's contents file read as its tree, sound and hostile.
#include <gtest/gtest.h>

#include <string>

#include "project/contents_file.h"

namespace {

ContentsTree tree_of(const std::string& text) {
    return read_contents_tree(reinterpret_cast<const uint8_t*>(text.data()), text.size());
}

TEST(ContentsTree, LinesBecomeHeadingsTopicsAndShownCommands) {
    const ContentsTree tree = tree_of(
        ":BASE main.hlp>w\n:Title  My help \n; a comment\n:Index Idx=idx.hlp\n1 Intro\n2 A = b=ctx_a\n"
        "3 Far=id@other.hlp>proc\n2 Near=id2>win@x.hlp\n:Link dll.hlp\n12 Deep\n0 Zero\n1\n");
    EXPECT_EQ(tree.base, "main.hlp>w");
    EXPECT_EQ(tree.title, "My help");
    struct Expected {
        int level;
        bool heading;
        const char *text, *context, *file, *window;
    } expected[] = {
        {1, true, "Intro", "", "", ""},
        {2, false, "A = b", "ctx_a", "", ""},  // the last '=' starts the target
        {3, false, "Far", "id", "other.hlp", "proc"},
        {2, false, "Near", "id2", "x.hlp", "win"},
        {2, false, ":Link dll.hlp", "", "", ""},
        {9, true, "Deep", "", "", ""},  // no level past nine
    };
    ASSERT_EQ(tree.entries.size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        const ContentsEntry& e = tree.entries[i];
        EXPECT_EQ(e.level, expected[i].level) << i;
        EXPECT_EQ(e.heading, expected[i].heading) << i;
        EXPECT_EQ(e.text, expected[i].text) << i;
        EXPECT_EQ(e.context, expected[i].context) << i;
        EXPECT_EQ(e.file, expected[i].file) << i;
        EXPECT_EQ(e.window, expected[i].window) << i;
    }
}

TEST(ContentsTree, HostileFilesStayBounded) {
    // A line of a megabyte is cut.
    ContentsTree tree = tree_of("1 " + std::string(1 << 20, 'x') + "\n9 Nine\n");
    ASSERT_EQ(tree.entries.size(), 2u);
    EXPECT_EQ(tree.entries[0].text.size(), contents_longest_line - 2);
    tree = tree_of("5 Five\n999 Deep\n");
    ASSERT_EQ(tree.entries.size(), 2u);
    EXPECT_EQ(tree.entries[1].level, contents_deepest_level);
    // Control bytes are dropped from the text; NUL does not end the file.
    tree = tree_of(std::string("1 A\0\x01\x7f" "b\n2 C=c\n", 14));
    ASSERT_EQ(tree.entries.size(), 2u);
    EXPECT_EQ(tree.entries[0].text, "A\x7f" "b");
    // More lines than any contents file holds: the first ones are kept.
    std::string many;
    for (size_t i = 0; i < contents_most_entries + 10; ++i) many += "1 T=t\n";
    EXPECT_EQ(tree_of(many).entries.size(), contents_most_entries);
    // Binary junk: whatever it holds, each entry is a line's worth.
    std::string junk;
    for (uint32_t i = 0, x = 1; i < 200000; ++i, x = x * 1103515245 + 12345) junk += static_cast<char>(x >> 16);
    for (const ContentsEntry& e : tree_of(junk).entries) {
        EXPECT_LE(e.text.size(), contents_longest_line);
        EXPECT_TRUE(e.level >= 1 && e.level <= contents_deepest_level);
    }
}

}  // namespace
