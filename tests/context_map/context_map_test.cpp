// Loading |CONTEXT and |TOMAP, naming topics, and the [ALIAS] and [MAP]
// sections, on intact and damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "context_map_fixture.h"
#include "helpfile/container.h"
#include "project/context_hash.h"
#include "project/context_map.h"

namespace {

using hlptest::Bytes;
using hlptest::context_string_hash;

uint32_t h(const char* name) { return context_string_hash(name); }

// Three topics: 0x1000 with the ids main, second and third (in that hash
// order), 0x40 with first, 0x2000 with last. Two entries per leaf, so the
// table spans several leaves under an index page.
std::vector<hlptest::ContextPair> three_topics() {
    return {{0x00000100, 0x1000}, {0x00000200, 0x40}, {0x00000300, 0x1000},
            {0x00000400, 0x2000}, {0x00000500, 0x1000}};
}

Bytes context_tree(const std::vector<hlptest::ContextPair>& pairs) {
    hlptest::BTreeOptions options;
    options.max_leaf_entries = 2;
    options.page_size = 256;
    return hlptest::build_context_tree(pairs, options);
}

// The ids of named_topics() with their names known, as the first pass
// would leave them.
void name_hashes(DecompileContext& ctx) {
    for (const char* name : {"main", "first", "second", "last", "third"}) add_context_name(ctx, name, false);
}

// As three_topics(), with ids whose names are known.
std::vector<hlptest::ContextPair> named_topics() {
    return {{h("main"), 0x1000}, {h("first"), 0x40}, {h("second"), 0x1000},
            {h("last"), 0x2000}, {h("third"), 0x1000}};
}

TEST(ContextMap, BuilderHashMatchesTheDecompiler) {
    EXPECT_EQ(h(""), 1u);
    EXPECT_EQ(h("a"), 0x11u);
    EXPECT_EQ(h("idh_"), 0x1EE8E4u);
    EXPECT_EQ(h("21KSYK4"), 0xFFFFFFFFu);
    for (const char* name : {"Intro", "idh_setup", "x.y_z!0`"}) EXPECT_EQ(h(name), context_hash(name)) << name;
}

TEST(ContextMap, LoadsEveryLeafAndSortsStablyByTopicOffset) {
    Decompile d({{"|CONTEXT", context_tree(three_topics())}});
    EXPECT_EQ(stderr_of([&] { load_context_map(d.ctx(), d.file()); }), "5 topic offsets and hash values loaded\n");
    ASSERT_EQ(d.ctx().context_count, 5);
    const ContextEntry* c = d.ctx().contexts;
    std::vector<std::pair<uint32_t, int32_t>> got;
    for (int i = 0; i < 5; ++i) got.push_back({c[i].hash, c[i].topic_offset});
    std::vector<std::pair<uint32_t, int32_t>> want = {
        {0x200, 0x40}, {0x100, 0x1000}, {0x300, 0x1000}, {0x500, 0x1000}, {0x400, 0x2000}};
    EXPECT_EQ(got, want);
    EXPECT_EQ(first_context_of_topic(d.ctx(), 0x1000), 1);
    EXPECT_EQ(d.ctx().topic_map_count, 0);
}

TEST(ContextMap, NegativeTopicOffsetsSortFirst) {
    Decompile d({{"|CONTEXT", context_tree({{1, 0x10}, {2, -1}, {3, 0}})}});
    stderr_of([&] { load_context_map(d.ctx(), d.file()); });
    ASSERT_EQ(d.ctx().context_count, 3);
    EXPECT_EQ(d.ctx().contexts[0].topic_offset, -1);
    EXPECT_EQ(d.ctx().contexts[1].topic_offset, 0);
    EXPECT_EQ(d.ctx().contexts[2].topic_offset, 0x10);
}

TEST(ContextMap, EmptyOrMissingMapsLoadNothing) {
    // An empty |CONTEXT stops the load: a |TOMAP beside it is not read.
    Decompile empty({{"|CONTEXT", context_tree({})}, {"|TOMAP", hlptest::build_topic_map({1, 2, 3})}});
    EXPECT_EQ(stderr_of([&] { load_context_map(empty.ctx(), empty.file()); }), "");
    EXPECT_EQ(empty.ctx().context_count, 0);
    EXPECT_EQ(empty.ctx().topic_map_count, 0);

    Decompile none({{"|SYSTEM", hlptest::bytes_of("x")}});
    EXPECT_EQ(stderr_of([&] { load_context_map(none.ctx(), none.file()); }), "");
    EXPECT_EQ(none.ctx().contexts, nullptr);
    EXPECT_EQ(none.ctx().topic_map, nullptr);

    Decompile empty_map({{"|TOMAP", Bytes{}}});
    EXPECT_EQ(stderr_of([&] { load_context_map(empty_map.ctx(), empty_map.file()); }), "");
    EXPECT_EQ(empty_map.ctx().topic_map_count, 0);
}

TEST(ContextMap, DamagedContextFilesAreFatal) {
    // More leaf entries than the header announces.
    Bytes more = context_tree(three_topics());
    hlptest::put_u32(more, hlptest::btree_field::total_entries, 4);
    Decompile d1({{"|CONTEXT", more}});
    EXPECT_EQ(fatal_output([&] { load_context_map(d1.ctx(), d1.file()); }), "\nmalformed |CONTEXT file\n");

    // A total the internal file cannot hold is refused before allocating.
    Bytes huge = context_tree(three_topics());
    hlptest::put_u32(huge, hlptest::btree_field::total_entries, 0x7FFFFFF0);
    Decompile d2({{"|CONTEXT", huge}});
    EXPECT_EQ(fatal_output([&] { load_context_map(d2.ctx(), d2.file()); }), "\nmalformed |CONTEXT file\n");
    hlptest::put_u32(huge, hlptest::btree_field::total_entries, 0x80000000u);
    Decompile d3({{"|CONTEXT", huge}});
    EXPECT_EQ(fatal_output([&] { load_context_map(d3.ctx(), d3.file()); }), "\nmalformed |CONTEXT file\n");

    // A leaf whose entries would run past the end of the file, within the
    // announced total.
    Bytes tree = hlptest::build_context_tree({{1, 1}, {2, 2}});
    hlptest::put_u32(tree, hlptest::btree_field::total_entries, 600);
    hlptest::put_u16(tree, hlptest::btree_page_offset(tree, 0) + hlptest::btree_field::page_entry_count, 600);
    Decompile d4({{"|CONTEXT", tree}});
    EXPECT_EQ(fatal_output([&] { load_context_map(d4.ctx(), d4.file()); }), "\nmalformed |CONTEXT file\n");

    // A negative leaf entry count.
    Bytes negative = hlptest::build_context_tree({{1, 1}, {2, 2}});
    hlptest::put_u16(negative, hlptest::btree_page_offset(negative, 0) + hlptest::btree_field::page_entry_count,
                     0xFFFF);
    Decompile d5({{"|CONTEXT", negative}});
    EXPECT_EQ(fatal_output([&] { load_context_map(d5.ctx(), d5.file()); }), "\nmalformed |CONTEXT file\n");

    // A garbled hash out of the table's order (0x200 made 0x7F000200): its
    // id's name is lost. Salvage keeps the table and says so.
    Bytes garbled = hlptest::build_context_tree({{0x100, 1}, {0x200, 2}, {0x300, 3}});
    const Bytes entry = {0x00, 0x02, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00};
    const auto at = std::search(garbled.begin(), garbled.end(), entry.begin(), entry.end());
    ASSERT_NE(at, garbled.end());
    at[3] = 0x7F;
    Decompile d6({{"|CONTEXT", garbled}});
    const std::string why = "1 hash values out of order, the first between entries 2 and 3: their context ids may "
                            "come out under other names";
    EXPECT_NE(fatal_output([&] { load_context_map(d6.ctx(), d6.file()); }).find("\n" + why), std::string::npos);
    Decompile d7({{"|CONTEXT", garbled}});
    d7.ctx().salvage = true;
    EXPECT_NE(stderr_of([&] { load_context_map(d7.ctx(), d7.file()); }).find("Salvage: |CONTEXT: " + why),
              std::string::npos);
    EXPECT_EQ(d7.ctx().context_count, 3);
}

// |CONTEXT claiming gigabytes, with a total that fits the claim but not the
// help file: the total once sized a table of hundreds of megabytes.
TEST(ContextMap, TotalBeyondWhatTheHelpFileHoldsIsFatal) {
    Bytes tree = context_tree(three_topics());
    hlptest::put_u32(tree, hlptest::btree_field::total_entries, 0x00FFFFFF);
    Bytes help = hlptest::build_help_file({{"|CONTEXT", tree}});
    long at = internal_header_offset(help, "|CONTEXT");
    ASSERT_GT(at, 0);
    hlptest::put_u32(help, static_cast<size_t>(at) + 4, 0x7FFFFFF0);
    ContextHolder holder;
    OpenBytes f(help);
    EXPECT_EQ(fatal_output([&] { load_context_map(*holder.ctx, f.file); }), "\nmalformed |CONTEXT file\n");
    EXPECT_EQ(holder.ctx->contexts, nullptr);
}

TEST(ContextMap, FewerEntriesThanAnnouncedLoadsWhatIsThere) {
    Bytes tree = context_tree(three_topics());
    hlptest::put_u32(tree, hlptest::btree_field::total_entries, 9);
    Decompile d({{"|CONTEXT", tree}});
    EXPECT_EQ(stderr_of([&] { load_context_map(d.ctx(), d.file()); }), "5 topic offsets and hash values loaded\n");
    EXPECT_EQ(d.ctx().context_count, 5);
}

TEST(ContextMap, TopicNames) {
    Decompile d({{"|CONTEXT", context_tree(named_topics())}});
    stderr_of([&] { load_context_map(d.ctx(), d.file()); });
    name_hashes(d.ctx());
    std::string err = stderr_of([&] {
        EXPECT_STREQ(topic_offset_name(d.ctx(), 0x1000), "main");  // the run's first id
        EXPECT_STREQ(topic_offset_name(d.ctx(), 0x40), "first");
        EXPECT_STREQ(topic_offset_name(d.ctx(), 0x2000), "last");
        EXPECT_EQ(topic_offset_name(d.ctx(), 0), nullptr);  // silently
        EXPECT_FALSE(d.ctx().map_undefined);
        EXPECT_STREQ(topic_offset_name(d.ctx(), -1), "21KSYK4");
        EXPECT_TRUE(d.ctx().map_undefined);
        EXPECT_EQ(topic_offset_name(d.ctx(), 0x1234), nullptr);
        EXPECT_EQ(topic_offset_name(d.ctx(), static_cast<int32_t>(0x80000001u)), nullptr);
    });
    EXPECT_EQ(err, "Can not find topic offset 00001234\nCan not find topic offset 80000001\n");
}

TEST(ContextMap, UnnamedHashesGetSyntheticNames) {
    Decompile d({{"|CONTEXT", context_tree({{0x11, 0x100}, {0x12, 0x100}})}});
    stderr_of([&] { load_context_map(d.ctx(), d.file()); });
    EXPECT_STREQ(topic_offset_name(d.ctx(), 0x100), "A");
    EXPECT_EQ(stderr_of([&] { write_alias_section(d.ctx(), d.project); }), "Creating [ALIAS] section...\n");
    EXPECT_EQ(d.project_text(), "[ALIAS]\nB=A\n\n");
}

TEST(ContextMap, OldFormatTopicNumbers) {
    std::vector<int32_t> map;
    for (int i = 0; i < 20; ++i) map.push_back(0x100 * i);
    map[0] = 0x1200;  // the map's first entry names topic 18
    Bytes tomap = hlptest::build_topic_map(map);
    tomap.push_back(0x55);  // a partial entry is not part of the map
    Decompile d({{"|TOMAP", tomap}});
    d.ctx().old_format = true;
    EXPECT_EQ(stderr_of([&] { load_context_map(d.ctx(), d.file()); }), "");
    ASSERT_EQ(d.ctx().topic_map_count, 20);
    std::string err = stderr_of([&] {
        EXPECT_STREQ(topic_offset_name(d.ctx(), 0x1000), "TOPIC16");
        EXPECT_STREQ(topic_offset_name(d.ctx(), 0x1300), "TOPIC19");
        EXPECT_STREQ(topic_offset_name(d.ctx(), 0), "TOPIC18");
        EXPECT_EQ(topic_offset_name(d.ctx(), 0x100), nullptr);  // below index 16: not a topic
        EXPECT_EQ(topic_offset_name(d.ctx(), -1), nullptr);     // no 21KSYK4 in this format
    });
    EXPECT_EQ(err, "Can not find topic offset 00000100\nCan not find topic offset ffffffff\n");
    EXPECT_FALSE(d.ctx().map_undefined);

    // Without a |CONTEXT table there are no aliases.
    EXPECT_EQ(stderr_of([&] { write_alias_section(d.ctx(), d.project); }), "");
    EXPECT_EQ(d.project_text(), "");
}

TEST(ContextMap, AliasSectionNamesLaterIdsOfEachTopic) {
    Decompile d({{"|CONTEXT", context_tree(named_topics())}});
    stderr_of([&] { load_context_map(d.ctx(), d.file()); });
    name_hashes(d.ctx());
    EXPECT_EQ(stderr_of([&] { write_alias_section(d.ctx(), d.project); }), "Creating [ALIAS] section...\n");
    EXPECT_EQ(d.project_text(), "[ALIAS]\nthird=main\nsecond=main\n\n");

    // One id per topic: no section, no progress line.
    Decompile single({{"|CONTEXT", context_tree({{h("a"), 1}, {h("b"), 2}})}});
    stderr_of([&] { load_context_map(single.ctx(), single.file()); });
    EXPECT_EQ(stderr_of([&] { write_alias_section(single.ctx(), single.project); }), "");
    EXPECT_EQ(single.project_text(), "");
}

TEST(ContextMap, MapSection) {
    Decompile d({{"|CONTEXT", context_tree(named_topics())},
                 {"|CTXOMAP", hlptest::build_context_map({{10, 0x1000}, {-5, 0x2000}, {7, -1}, {3, 0x4444}})}});
    stderr_of([&] { load_context_map(d.ctx(), d.file()); });
    name_hashes(d.ctx());
    EXPECT_EQ(stderr_of([&] { write_map_section(d.ctx(), d.file(), d.project); }),
              "Creating [MAP] section...\nCan not find topic offset 00004444\n");
    EXPECT_EQ(d.project_text(), "[MAP]\nmain 10\nlast -5\n21KSYK4 7\nTOPIC00004444 3\n\n");
    EXPECT_TRUE(d.ctx().map_undefined);
    EXPECT_FALSE(d.ctx().had_problems);
}

TEST(ContextMap, MapSectionAbsentOrEmpty) {
    Decompile zero({{"|CTXOMAP", hlptest::build_context_map({})}});
    EXPECT_EQ(stderr_of([&] { write_map_section(zero.ctx(), zero.file(), zero.project); }), "");
    EXPECT_EQ(zero.project_text(), "");

    // A count of 0 hides the entries that follow it.
    Decompile hidden({{"|CTXOMAP", hlptest::build_context_map({{1, 0}}, 0)}});
    EXPECT_EQ(stderr_of([&] { write_map_section(hidden.ctx(), hidden.file(), hidden.project); }), "");
    EXPECT_EQ(hidden.project_text(), "");

    Decompile none({{"|SYSTEM", hlptest::bytes_of("x")}});
    write_map_section(none.ctx(), none.file(), none.project);
    EXPECT_EQ(none.project_text(), "");

    // Too short to hold its count.
    Decompile tiny({{"|CTXOMAP", Bytes{3}}, {"|Z", Bytes(40, 0xEE)}});
    EXPECT_EQ(stderr_of([&] { write_map_section(tiny.ctx(), tiny.file(), tiny.project); }), "");
    EXPECT_EQ(tiny.project_text(), "");
}

TEST(ContextMap, MapCountBeyondItsFileStopsAtTheEnd) {
    // Three entries announced, one and a half present; the internal file
    // after it must not be read as map entries.
    Bytes map = hlptest::build_context_map({{1, 0x1000}, {2, 0x2000}}, 3);
    map.resize(map.size() - 4);
    Decompile d({{"|CONTEXT", context_tree(named_topics())}, {"|CTXOMAP", map}, {"|ZZ", Bytes(64, 0)}});
    stderr_of([&] { load_context_map(d.ctx(), d.file()); });
    name_hashes(d.ctx());
    EXPECT_EQ(stderr_of([&] { write_map_section(d.ctx(), d.file(), d.project); }), "Creating [MAP] section...\n");
    EXPECT_EQ(d.project_text(), "[MAP]\nmain 1\n\n");
    EXPECT_TRUE(d.ctx().had_problems);
}

TEST(ContextMap, InternalFileLongerThanTheHelpFileFailsAsAShortRead) {
    std::vector<int32_t> map(20, 7);
    Bytes help = hlptest::build_help_file({{"|TOMAP", hlptest::build_topic_map(map)}});
    long at = internal_header_offset(help, "|TOMAP");
    ASSERT_GT(at, 0);
    hlptest::put_u32(help, static_cast<size_t>(at) + 4, 0x7FFFFFF0);
    ContextHolder holder;
    OpenBytes f(help);
    std::string err = fatal_output([&] { load_context_map(*holder.ctx, f.file); });
    EXPECT_EQ(err.rfind("\nmy_fread(2147483632) at ", 0), 0u) << err;
}

}  // namespace
