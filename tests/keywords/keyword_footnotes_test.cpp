// Keyword footnotes of topics, from simple and multi-key keyword indexes.
#include <cstdio>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "firstpass/keyword_footnotes.h"
#include "keywords_fixture.h"

namespace {

using namespace hlptest;

std::vector<InternalFile> index_files(char letter, bool multi_key, const std::vector<KeywordSpec>& keywords,
                                      const BTreeOptions& options = {}) {
    return keyword_index_files(letter, multi_key, build_keyword_index(keywords, options));
}

std::vector<InternalFile> join(std::vector<InternalFile> a, const std::vector<InternalFile>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(KeywordFootnotes, TopicWithKAndAKeywordsGetsOneFootnoteOfEach) {
    Bytes file = help_with(join(index_files('K', false, {{"alpha", {100}}, {"beta", {100, 200}}}),
                                index_files('A', false, {{"anchor", {100}}})));
    KeywordRun run(file);
    run.ctx().keyword_file_letters['A'] = run.ctx().keyword_file_letters['K'] = true;
    std::fseek(run.help.file, 37, SEEK_SET);
    EXPECT_EQ(run.write(0), "");
    EXPECT_EQ(std::ftell(run.help.file), 37) << "the topic reader's position is kept";
    EXPECT_EQ(run.write(100),
              "{\\up A}{\\footnote\\pard\\plain{\\up A} anchor}\n"
              "{\\up K}{\\footnote\\pard\\plain{\\up K} alpha;beta}\n");
    EXPECT_EQ(run.write(100), "") << "each reference is written once";
    EXPECT_EQ(run.write(150), "");
    EXPECT_EQ(run.write(200), "{\\up K}{\\footnote\\pard\\plain{\\up K} beta}\n");
    EXPECT_EQ(run.write(300), "");
    EXPECT_EQ(run.collections(), 1) << "one window holds everything";
    std::string erase;
    for (int i = 0; i < 22; ++i) erase += "\b \b";
    EXPECT_EQ(run.progress, "Collecting keywords..." + erase);
}

TEST(KeywordFootnotes, LaterCallsWriteEverythingUpToTheirOffset) {
    Bytes file = help_with(index_files('K', false, {{"one", {10, 20}}, {"two", {20, 30}}}));
    KeywordRun run(file);
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(run.write(25), "{\\up K}{\\footnote\\pard\\plain{\\up K} one;one;two}\n");
    EXPECT_EQ(run.write(30), "{\\up K}{\\footnote\\pard\\plain{\\up K} two}\n");
}

TEST(KeywordFootnotes, KeywordsAreEscapedAsRichText) {
    Bytes file = help_with(index_files('K', false, {{"a{b}\\c", {4}}}));
    KeywordRun run(file);
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(run.write(4), "{\\up K}{\\footnote\\pard\\plain{\\up K} a\\{b\\}\\\\c}\n");
}

std::vector<KeywordSpec> ten_long_keywords(uint32_t topic) {
    std::vector<KeywordSpec> keywords;
    for (int i = 0; i < 10; ++i) keywords.push_back({std::string(29, char('a' + i)) + std::to_string(i), {topic}});
    return keywords;
}

TEST(KeywordFootnotes, LongKeywordListsSplitAt254OrAt1023Characters) {
    Bytes file = help_with(index_files('K', false, ten_long_keywords(64)));
    // 30 characters and a separator each: after 8 keywords (248) the 9th
    // would pass 254.
    KeywordRun old_file(file, false);
    old_file.ctx().keyword_file_letters['K'] = true;
    std::vector<Footnote> notes = parse_footnotes(old_file.write(64));
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(split_keywords(notes[0].text).size(), 8u);
    EXPECT_EQ(split_keywords(notes[1].text).size(), 2u);
    EXPECT_EQ(notes[1].mark, "K");

    KeywordRun new_file(file, true);
    new_file.ctx().keyword_file_letters['K'] = true;
    notes = parse_footnotes(new_file.write(64));
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(split_keywords(notes[0].text).size(), 10u);
}

TEST(KeywordFootnotes, AKeywordLongerThanTheLimitStillGetsItsOwnFootnote) {
    std::string long_keyword(300, 'x');
    Bytes file = help_with(index_files('K', false, {{"short", {8}}, {long_keyword, {8}}, {"tail", {8}}}));
    KeywordRun run(file, false);
    run.ctx().keyword_file_letters['K'] = true;
    std::vector<Footnote> notes = parse_footnotes(run.write(8));
    ASSERT_EQ(notes.size(), 3u);
    EXPECT_EQ(notes[0].text, "short");
    EXPECT_EQ(notes[1].text, long_keyword);
    EXPECT_EQ(notes[2].text, "tail");
}

TEST(KeywordFootnotes, MultiKeyIndexWritesKFootnotesWithItsLetter) {
    Bytes file = help_with(join(join(index_files('L', true, {{"first", {50}}, {"second", {50}}}),
                                     index_files('K', false, {{"plain", {50}}})),
                                index_files('M', true, {{"other", {50}}})));
    KeywordRun run(file);
    run.ctx().keyword_file_letters['K'] = true;
    run.ctx().keyword_index_letters['L'] = run.ctx().keyword_index_letters['M'] = true;
    EXPECT_EQ(run.write(50),
              "{\\up K}{\\footnote\\pard\\plain{\\up K} plain}\n"
              "{\\up K}{\\footnote\\pard\\plain{\\up K} L:first;second}\n"
              "{\\up K}{\\footnote\\pard\\plain{\\up K} M:other}\n");
}

TEST(KeywordFootnotes, LettersWithoutFilesOrFlagsAreSkipped) {
    Bytes file = help_with(join(join(index_files('K', false, {{"kept", {5}}}),
                                     {{"|BWDATA", Bytes{5, 0, 0, 0}}}),  // no |BWBTREE
                                index_files('C', false, {{"unflagged", {5}}})));
    KeywordRun run(file);
    run.ctx().keyword_file_letters['K'] = run.ctx().keyword_file_letters['B'] = true;
    run.ctx().keyword_file_letters['D'] = true;       // no files at all
    run.ctx().keyword_index_letters['K'] = true;      // no |KKWDATA
    EXPECT_EQ(run.write(5), "{\\up K}{\\footnote\\pard\\plain{\\up K} kept}\n");
}

TEST(KeywordFootnotes, WithoutIndexesNothingIsWrittenAndNothingIsCollectedTwice) {
    KeywordRun run(help_with({}));
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(run.write(0), "");
    EXPECT_EQ(run.write(1000), "");
    EXPECT_EQ(run.write(INT32_MAX - 1), "");
    EXPECT_EQ(run.collections(), 1);
}

TEST(KeywordFootnotes, ReferencesOutsideTheTopicOffsetsAreNeverWritten) {
    Bytes file = help_with(index_files('K', false, {{"odd", {0x80000000u, 7, 0x7FFFFFFFu}}}));
    KeywordRun run(file);
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(run.write(INT32_MAX - 1), "{\\up K}{\\footnote\\pard\\plain{\\up K} odd}\n");
    EXPECT_EQ(run.write(INT32_MAX), "");
}

// ---------------------------------------------------------------- damaged indexes

std::string fatal_write(KeywordRun& run, int32_t t) {
    return fatal_output([&] { write_keyword_footnotes(run.ctx(), run.rtf, run.help.file, t); });
}

TEST(KeywordFootnotesDamaged, ListsOutsideTheDataFileAreFatalOrCostTheirKeywordAlone) {
    struct Case {
        const char* name;
        KeywordSpec recipe;
    };
    std::vector<Case> cases = {
        {"offset past the end", {"far", {1}, std::nullopt, 4096}},
        {"count past the end", {"long", {1, 2}, 40, std::nullopt}},
        {"negative offset", {"before", {1}, std::nullopt, -8}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = help_with(index_files('K', false, {{"fine", {2}}, c.recipe, {"later", {2}}}));
        KeywordRun run(file);
        run.ctx().keyword_file_letters['K'] = true;
        EXPECT_EQ(fatal_write(run, 10), "Collecting keywords...\nmalformed keytopic file\n");
        // With salvage the keywords after it are kept, the loss noted.
        KeywordRun salvaged(file);
        salvaged.ctx().keyword_file_letters['K'] = true;
        salvaged.ctx().salvage = true;
        EXPECT_EQ(salvaged.write(2), "{\\up K}{\\footnote\\pard\\plain{\\up K} fine;later}\n");
        ASSERT_NE(salvaged.ctx().damage_log.head, nullptr);
        const MemoryFile* log = salvaged.ctx().damage_log.head->file;
        EXPECT_NE(std::string(log->buffer, log->buffer + log->length).find("1 keywords (the first \"" +
                                                                             c.recipe.keyword + "\") name topic lists"),
                  std::string::npos);
    }
}

TEST(KeywordFootnotesDamaged, EmptyDataFileFailsItsAllocation) {
    KeywordIndex index = build_keyword_index({{"none", {}}});
    index.data.clear();
    KeywordRun run(help_with(keyword_index_files('K', false, index)));
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(fatal_write(run, 0), "Collecting keywords...Allocation of 0 bytes failed. File too big.\n");
}

TEST(KeywordFootnotesDamaged, OverlongKeywordIsFatal) {
    KeywordRun run(help_with(index_files('K', false, {{std::string(512, 'k'), {1}}})));
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(fatal_write(run, 1), "Collecting keywords...String length exceeds decompiler limit.\n");
}

TEST(KeywordFootnotesDamaged, LoopingLeafChainEnds) {
    BTreeOptions one_per_leaf;
    one_per_leaf.max_leaf_entries = 1;
    KeywordIndex index = build_keyword_index({{"a", {1}}, {"b", {2}}, {"c", {3}}}, one_per_leaf);
    // The last leaf points back to the first.
    put_u16(index.tree, btree_page_offset(index.tree, 2) + btree_field::leaf_next, 0);
    KeywordRun run(help_with(keyword_index_files('K', false, index)));
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_NE(fatal_write(run, 10).find("B+ tree leaf chain loops."), std::string::npos);
}

TEST(KeywordFootnotesDamaged, TreeEntriesPastTheTreeFileAreFatal) {
    KeywordIndex index = build_keyword_index({{"a", {1}}, {"b", {2}}});
    // The leaf claims more entries than the tree file holds.
    put_u16(index.tree, btree_page_offset(index.tree, 0) + btree_field::page_entry_count, 400);
    index.tree.resize(btree_page_offset(index.tree, 0) + btree_field::leaf_header_size + 14);
    KeywordRun run(help_with(keyword_index_files('K', false, index)));
    run.ctx().keyword_file_letters['K'] = true;
    EXPECT_NE(fatal_write(run, 10).find("run past their internal file"), std::string::npos);
}

}  // namespace
