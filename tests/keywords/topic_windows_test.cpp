// The window of each topic, from |VIOLA.
#include <cstdio>
#include <vector>

#include "core/decompile_context.h"
#include "firstpass/keyword_footnotes.h"
#include "keywords_fixture.h"

namespace {

using namespace hlptest;

struct WindowRun {
    ContextHolder holder;
    OpenBytes help;
    explicit WindowRun(const Bytes& file) : help(file) {}
    DecompileContext& ctx() { return *holder.ctx; }
    int32_t window(int32_t t) { return topic_window_number(ctx(), help.file, t); }
};

Bytes help_with_viola(const Bytes& viola) { return help_with({{"|VIOLA", viola}}); }

BTreeOptions leaves_of(int entries) {
    BTreeOptions options;
    options.max_leaf_entries = entries;
    return options;
}

TEST(TopicWindows, WithoutViolaNoTopicHasAWindow) {
    WindowRun run(help_with({}));
    std::fseek(run.help.file, 21, SEEK_SET);
    EXPECT_EQ(run.window(0), -1);
    EXPECT_EQ(run.ctx().window_state, 0);
    EXPECT_EQ(std::ftell(run.help.file), 21);
    EXPECT_EQ(run.window(100), -1);
}

TEST(TopicWindows, EntriesAreFoundAcrossSeveralLeaves) {
    std::vector<WindowEntry> entries = {{0x10, 1}, {0x20, 2}, {0x30, 0}, {0x40, 3},
                                        {0x50, 1}, {0x90, 4}, {0xA0, 2}};
    WindowRun run(help_with_viola(build_viola(entries, leaves_of(2))));
    std::fseek(run.help.file, 50, SEEK_SET);
    EXPECT_EQ(run.window(0x08), -1) << "before the first entry";
    EXPECT_EQ(run.ctx().window_state, 1);
    EXPECT_EQ(std::ftell(run.help.file), 50) << "the topic reader's position is kept";
    EXPECT_EQ(run.window(0x10), 1);
    EXPECT_EQ(run.window(0x10), 1) << "asked twice";
    EXPECT_EQ(run.window(0x30), 0) << "window 0 is a window";
    EXPECT_EQ(run.window(0x38), -1) << "a topic without an entry";
    EXPECT_EQ(run.window(0x90), 4) << "two leaves further on";
    EXPECT_EQ(run.window(0xA0), 2) << "the last entry";
    EXPECT_EQ(run.ctx().window_state, 1);
    EXPECT_EQ(run.window(0xB0), -1) << "past the last entry";
    EXPECT_EQ(run.ctx().window_state, 0) << "the map is exhausted";
    EXPECT_EQ(run.ctx().viola_entries, nullptr);
    EXPECT_EQ(std::ftell(run.help.file), 50);
}

TEST(TopicWindows, EmptyViolaHasNoEntries) {
    WindowRun run(help_with_viola(build_viola({})));
    EXPECT_EQ(run.window(0), -1);
    EXPECT_EQ(run.ctx().window_state, 0);
}

TEST(TopicWindows, LoopingLeafChainEnds) {
    Bytes viola = build_viola({{1, 1}, {2, 2}, {3, 3}}, leaves_of(1));
    put_u16(viola, btree_page_offset(viola, 2) + btree_field::leaf_next, 1);
    WindowRun run(help_with_viola(viola));
    EXPECT_EQ(run.window(3), 3);
    std::string message = fatal_output([&] { run.window(4); });
    EXPECT_NE(message.find("B+ tree leaf chain loops."), std::string::npos) << message;
}

TEST(TopicWindows, LeafClaimingMoreEntriesThanItsFileHoldsIsFatal) {
    Bytes viola = build_viola({{1, 1}, {2, 2}});
    put_u16(viola, btree_page_offset(viola, 0) + btree_field::page_entry_count, 3000);
    WindowRun run(help_with_viola(viola));
    std::string message = fatal_output([&] { run.window(1); });
    EXPECT_NE(message.find("run past their internal file"), std::string::npos) << message;
}

}  // namespace
