// [MACROS]: keywords marked -1 in |KWDATA with their macros from |Rose.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_map_fixture.h"
#include "project/keyword_macros.h"

namespace {

using hlptest::Bytes;
using hlptest::context_string_hash;
using hlptest::KeywordSpec;
using hlptest::RoseSpec;

constexpr uint32_t macro_mark = 0xFFFFFFFFu;

// Pages large enough for the longest macros and titles.
Bytes rose_of(const std::vector<RoseSpec>& entries) {
    hlptest::BTreeOptions options;
    options.page_size = 16384;
    return hlptest::build_rose(entries, options);
}

std::vector<hlptest::InternalFile> macro_files(const std::vector<KeywordSpec>& keywords,
                                               const std::vector<RoseSpec>& rose) {
    hlptest::KeywordIndex index = hlptest::build_keyword_index(keywords);
    return {{"|KWBTREE", index.tree}, {"|KWDATA", index.data}, {"|Rose", rose_of(rose)}};
}

std::string macros_of(std::vector<hlptest::InternalFile> files) {
    Decompile d(std::move(files));
    EXPECT_EQ(stderr_of([&] { write_keyword_macros(d.ctx(), d.file(), d.project); }), "");
    return d.project_text();
}

TEST(KeywordMacros, MarkedKeywordsTakeThreeLinesEach) {
    std::string text = macros_of(macro_files(
        {{"Calculator", {0x100, macro_mark}},
         {"Plain", {0x200}},
         {"Twice", {macro_mark, 0x300, macro_mark}},
         {"Nothing", {}}},
        {{context_string_hash("Calculator"), "ExecFile(calc.exe)", "Run the calculator"},
         {context_string_hash("Plain"), "Never()", "not marked"},
         {context_string_hash("Twice"), "JI(`a.hlp',`x')", "Twice's title"}}));
    EXPECT_EQ(text,
              "[MACROS]\n"
              "Calculator\nExecFile(calc.exe)\nRun the calculator\n"
              "Twice\nJI(`a.hlp',`x')\nTwice's title\n"
              "\n");
}

TEST(KeywordMacros, EveryMatchingRoseEntryInRoseOrderUnderEveryKeyword) {
    // INTRO and intro hash alike; the marked keywords share the two entries.
    uint32_t intro = context_string_hash("intro");
    std::string text = macros_of(macro_files(
        {{"INTRO", {macro_mark}}, {"intro", {macro_mark}}, {"Other", {macro_mark}}},
        {{intro, "First()", "one"}, {intro + 1, "Elsewhere()", "x"}, {intro, "Second()", "two"}}));
    EXPECT_EQ(text,
              "[MACROS]\n"
              "INTRO\nFirst()\none\nINTRO\nSecond()\ntwo\n"
              "intro\nFirst()\none\nintro\nSecond()\ntwo\n"
              "\n");
}

TEST(KeywordMacros, EmptyKeywordHashesToZero) {
    std::string text = macros_of(macro_files({{"", {macro_mark}}}, {{1, "One()", "hash 1"}, {0, "Zero()", "hash 0"}}));
    EXPECT_EQ(text, "[MACROS]\n\nZero()\nhash 0\n\n");
}

TEST(KeywordMacros, NoMarkedKeywordWritesTheHeaderAlone) {
    EXPECT_EQ(macros_of(macro_files({{"a", {1}}, {"b", {2, 3}}}, {{context_string_hash("a"), "M()", "t"}})),
              "[MACROS]\n\n");
    // |Rose is not read then, so its damage does not matter.
    hlptest::KeywordIndex index = hlptest::build_keyword_index({{"a", {1}}});
    EXPECT_EQ(macros_of({{"|KWBTREE", index.tree}, {"|KWDATA", index.data},
                         {"|Rose", rose_of({{1, std::string(5000, 'm'), "t"}})}}),
              "[MACROS]\n\n");
}

TEST(KeywordMacros, MissingFilesWriteNothing) {
    hlptest::KeywordIndex index = hlptest::build_keyword_index({{"a", {macro_mark}}});
    Bytes rose = hlptest::build_rose({{context_string_hash("a"), "M()", "t"}});
    EXPECT_EQ(macros_of({{"|KWBTREE", index.tree}, {"|KWDATA", index.data}}), "");
    EXPECT_EQ(macros_of({{"|KWBTREE", index.tree}, {"|Rose", rose}}), "");
    EXPECT_EQ(macros_of({{"|KWDATA", index.data}, {"|Rose", rose}}), "");
}

TEST(KeywordMacros, LongestMacroAndTitleFit) {
    std::string macro(4095, 'm');
    std::string title(4095, 't');
    std::string keyword(511, 'k');
    EXPECT_EQ(macros_of(macro_files({{keyword, {macro_mark}}}, {{context_string_hash(keyword), macro, title}})),
              "[MACROS]\n" + keyword + "\n" + macro + "\n" + title + "\n\n");
}

TEST(KeywordMacros, DamagedFilesAreFatal) {
    auto fatal_for = [](std::vector<hlptest::InternalFile> files) {
        Decompile d(std::move(files));
        return fatal_output([&] { write_keyword_macros(d.ctx(), d.file(), d.project); });
    };
    const std::string too_long = "String length exceeds decompiler limit.\n";
    uint32_t a = context_string_hash("a");
    EXPECT_EQ(fatal_for(macro_files({{std::string(512, 'k'), {macro_mark}}}, {})), too_long);
    EXPECT_EQ(fatal_for(macro_files({{"a", {macro_mark}}}, {{a, std::string(4096, 'm'), "t"}})), too_long);
    EXPECT_EQ(fatal_for(macro_files({{"a", {macro_mark}}}, {{a, "M()", std::string(4096, 't')}})), too_long);

    // Lists outside |KWDATA (3 entries here), even when a mark comes first.
    const std::string malformed = "\nmalformed keytopic file\n";
    EXPECT_EQ(fatal_for(macro_files({{"a", {macro_mark, 1, 2}, 4, 0}}, {{a, "M()", "t"}})), malformed);
    EXPECT_EQ(fatal_for(macro_files({{"a", {macro_mark, 1, 2}, 1, 12}}, {{a, "M()", "t"}})), malformed);
    EXPECT_EQ(fatal_for(macro_files({{"a", {macro_mark, 1, 2}, 1, -1}}, {{a, "M()", "t"}})), malformed);

    // An empty |KWDATA cannot be allocated.
    hlptest::KeywordIndex index = hlptest::build_keyword_index({});
    EXPECT_EQ(fatal_for({{"|KWBTREE", index.tree}, {"|KWDATA", Bytes{}}, {"|Rose", hlptest::build_rose({})}}),
              "Allocation of 0 bytes failed. File too big.\n");

    // |Rose entries that run past the end of |Rose.
    Bytes rose = hlptest::build_rose({{a, "M()", "t"}});
    hlptest::put_u16(rose, hlptest::btree_page_offset(rose, 0) + hlptest::btree_field::page_entry_count, 3000);
    hlptest::KeywordIndex marked = hlptest::build_keyword_index({{"a", {macro_mark}}});
    EXPECT_EQ(fatal_for({{"|KWBTREE", marked.tree}, {"|KWDATA", marked.data}, {"|Rose", rose}}),
              "\nB+ tree entries run past their internal file.\n");
}

TEST(KeywordMacros, MacrosFromASeveralPageRose) {
    std::vector<RoseSpec> rose;
    std::string expected = "[MACROS]\n";
    for (int i = 0; i < 40; ++i) {
        std::string keyword = "k" + std::to_string(i);
        rose.push_back({context_string_hash(keyword), "M" + std::to_string(i) + "()", "title " + std::to_string(i)});
    }
    std::vector<KeywordSpec> keywords;
    for (int i : {3, 39, 17}) {
        std::string keyword = "k" + std::to_string(i);
        keywords.push_back({keyword, {macro_mark}});
        expected += keyword + "\nM" + std::to_string(i) + "()\ntitle " + std::to_string(i) + "\n";
    }
    hlptest::BTreeOptions small;
    small.max_leaf_entries = 4;
    small.page_size = 128;
    hlptest::KeywordIndex index = hlptest::build_keyword_index(keywords, small);
    EXPECT_EQ(macros_of({{"|KWBTREE", index.tree}, {"|KWDATA", index.data}, {"|Rose", hlptest::build_rose(rose, small)}}),
              expected + "\n");
}

}  // namespace
