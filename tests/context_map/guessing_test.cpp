// Guessing context names from the keyword indexes, directly and through the
// topic offset aliases, and refusing damaged indexes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_map_fixture.h"
#include "project/context_hash.h"
#include "project/context_map.h"

namespace {

using hlptest::Bytes;
using hlptest::context_string_hash;
using hlptest::KeywordSpec;

constexpr const char* nothing_found =
    "no context ids found\n(you may use option /g to turn off guessing on this help file)\n";

std::vector<hlptest::InternalFile> with_index(std::vector<hlptest::ContextPair> contexts, const char* data_name,
                                              const char* tree_name, const std::vector<KeywordSpec>& keywords,
                                              const hlptest::BTreeOptions& options = {}) {
    hlptest::KeywordIndex index = hlptest::build_keyword_index(keywords, options);
    return {{"|CONTEXT", hlptest::build_context_tree(contexts)}, {data_name, index.data}, {tree_name, index.tree}};
}

void load(Decompile& d) { stderr_of([&] { load_context_map(d.ctx(), d.file()); }); }

void set_aliases(DecompileContext& ctx, const std::vector<TopicOffsetAlias>& aliases) {
    ctx.topic_aliases = tracked_new_array<TopicOffsetAlias>(ctx, static_cast<long>(aliases.size()));
    for (size_t i = 0; i < aliases.size(); ++i) ctx.topic_aliases[i] = aliases[i];
    ctx.topic_alias_count = static_cast<int32_t>(aliases.size());
}

TEST(Guessing, KeywordsNameTheTopicsTheyLeadTo) {
    Decompile d(with_index({{context_string_hash("Intro"), 0x100}, {context_string_hash("Zebra_Crossing"), 0x200}},
                           "|KWDATA", "|KWBTREE", {{"Intro", {0x100, 0x200}}, {"Qx", {0x200}}}));
    load(d);
    d.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(stderr_of([&] { guess_context_names(d.ctx(), d.file()); }), "Guessing....1 context ids found\n");
    EXPECT_EQ(d.ctx().derived_count, 1);
    EXPECT_STREQ(unhash(d.ctx(), context_string_hash("Intro")), "Intro");
}

TEST(Guessing, AliasedTopicOffsetsAreFollowed) {
    // The keyword lists offsets 0x5000, under which both topics also appear.
    auto files = with_index({{context_string_hash("Setup"), 0x100}, {context_string_hash("Setup_2"), 0x200}},
                            "|AWDATA", "|AWBTREE", {{"Setup", {0x5000}}});
    Decompile without(files);
    load(without);
    without.ctx().keyword_file_letters['A'] = true;
    EXPECT_EQ(stderr_of([&] { guess_context_names(without.ctx(), without.file()); }),
              std::string("Guessing....") + nothing_found);

    Decompile d(files);
    load(d);
    d.ctx().keyword_file_letters['A'] = true;
    set_aliases(d.ctx(), {{0x100, 0x5000}, {0x300, 0x4000}, {0x200, 0x5000}});
    EXPECT_EQ(stderr_of([&] { guess_context_names(d.ctx(), d.file()); }), "Guessing....2 context ids found\n");
    EXPECT_STREQ(unhash(d.ctx(), context_string_hash("Setup")), "Setup");
    EXPECT_STREQ(unhash(d.ctx(), context_string_hash("Setup_2")), "Setup_2");
}

TEST(Guessing, MediaViewKeywordIndexesAndLetterSelection) {
    auto files = with_index({{context_string_hash("Alpha"), 0x10}}, "|aKWDATA", "|aKWBTREE", {{"alpha", {0x10}}});
    Decompile unset(files);
    load(unset);
    unset.ctx().keyword_file_letters['a'] = true;  // the WinHelp names are not there
    EXPECT_EQ(stderr_of([&] { guess_context_names(unset.ctx(), unset.file()); }),
              std::string("Guessing...") + nothing_found);

    Decompile d(files);
    load(d);
    d.ctx().keyword_index_letters['a'] = true;
    EXPECT_EQ(stderr_of([&] { guess_context_names(d.ctx(), d.file()); }), "Guessing....1 context ids found\n");
    EXPECT_STREQ(unhash(d.ctx(), context_string_hash("Alpha")), "alpha");
}

TEST(Guessing, OneDotPerLeafPageAndDataWithoutTree) {
    std::vector<KeywordSpec> keywords;
    for (int i = 0; i < 7; ++i) keywords.push_back({"kw" + std::to_string(i), {0x99}});
    hlptest::BTreeOptions options;
    options.max_leaf_entries = 3;
    Decompile d(with_index({{1, 0x100}}, "|KWDATA", "|KWBTREE", keywords, options));
    load(d);
    d.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(stderr_of([&] { guess_context_names(d.ctx(), d.file()); }), std::string("Guessing......") + nothing_found);

    Decompile data_only({{"|KWDATA", Bytes(8, 0)}});
    data_only.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(stderr_of([&] { guess_context_names(data_only.ctx(), data_only.file()); }),
              std::string("Guessing...") + nothing_found);
}

TEST(Guessing, TitleDerivedNamesCount) {
    Decompile d({{"|SYSTEM", hlptest::bytes_of("x")}});
    add_context_name(d.ctx(), "FromTitle", true);
    EXPECT_EQ(stderr_of([&] { guess_context_names(d.ctx(), d.file()); }), "Guessing...1 context ids found\n");
}

TEST(Guessing, DamagedKeywordIndexesAreFatal) {
    auto fatal_for = [](const std::vector<KeywordSpec>& keywords) {
        Decompile d(with_index({{1, 0x100}}, "|KWDATA", "|KWBTREE", keywords));
        load(d);
        d.ctx().keyword_file_letters['K'] = true;
        return fatal_output([&] { guess_context_names(d.ctx(), d.file()); });
    };
    const std::string malformed = "Guessing...\nmalformed keytopic file\n";
    // The data file holds 3 entries.
    EXPECT_EQ(fatal_for({{"a", {1, 2, 3}, 4, 0}}), malformed);
    EXPECT_EQ(fatal_for({{"a", {1, 2, 3}, 1, 12}}), malformed);
    EXPECT_EQ(fatal_for({{"a", {1, 2, 3}, 1, -4}}), malformed);
    EXPECT_EQ(fatal_for({{"a", {1, 2, 3}, 0xFFFF, 8}}), malformed);
    // The last entry exactly, and an offset inside it, are fine.
    Decompile ok(with_index({{1, 0x100}}, "|KWDATA", "|KWBTREE", {{"a", {1, 2, 3}, 1, 11}}));
    load(ok);
    ok.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(stderr_of([&] { guess_context_names(ok.ctx(), ok.file()); }), std::string("Guessing....") + nothing_found);

    EXPECT_EQ(fatal_for({{std::string(511, 'k'), {1}}, {std::string(512, 'k'), {1}}}),
              "Guessing...String length exceeds decompiler limit.\n");

    // An empty data file cannot be allocated.
    Decompile empty({{"|KWDATA", Bytes{}}, {"|KWBTREE", hlptest::build_keyword_index({}).tree}});
    empty.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(fatal_output([&] { guess_context_names(empty.ctx(), empty.file()); }),
              "Guessing...Allocation of 0 bytes failed. File too big.\n");
}

TEST(Guessing, KeywordEntriesRunningPastTheirTreeAreFatal) {
    hlptest::KeywordIndex index = hlptest::build_keyword_index({{"a", {1}}});
    size_t leaf = hlptest::btree_page_offset(index.tree, 0);
    hlptest::put_u16(index.tree, leaf + hlptest::btree_field::page_entry_count, 2000);
    hlptest::put_u32(index.tree, hlptest::btree_field::total_entries, 2000);
    Decompile d({{"|KWDATA", index.data}, {"|KWBTREE", index.tree}});
    d.ctx().keyword_file_letters['K'] = true;
    EXPECT_EQ(fatal_output([&] { guess_context_names(d.ctx(), d.file()); }),
              "Guessing...\nB+ tree entries run past their internal file.\n");
}

}  // namespace
