// Browse sequences: topics met in file order, in any browse order, get the
// same sequence numbers and positions in the second pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "firstpass/browse.h"
#include "firstpass/keyword_window.h"
#include "helpfile_fixture.h"

namespace {

struct Topic {
    int32_t key;
    int32_t next;
    int32_t previous;
};

// Runs both passes over the topics (key also as following value) and
// returns each topic's identifier as "sequence:position", or "-".
std::vector<std::string> number(DecompileContext& ctx, const std::vector<Topic>& topics) {
    browse_first_pass_start(ctx);
    for (const Topic& t : topics) browse_select(ctx, t.key, t.key, t.next, t.previous);
    browse_second_pass_start(ctx);
    std::vector<std::string> out;
    for (const Topic& t : topics) {
        uint32_t id = browse_number_select(ctx, t.key, t.key, t.next, t.previous);
        out.push_back(id ? std::to_string(id & 0xFFFF) + ":" + std::to_string(id >> 16) : "-");
    }
    return out;
}

int open_chains(const DecompileContext& ctx) {
    int open = 0;
    for (int32_t i = 0; i < ctx.browse_chain_count; ++i) open += ctx.browse_chains[i].start != -1;
    return open;
}

// The browse sequence X -> Y -> Z stored in the given file order; keys
// grow with the file order, as topic offsets do.
std::vector<Topic> stored_as(const std::string& order, const std::string& browse = "XYZ") {
    auto key = [&](char name) { return static_cast<int32_t>(100 * (order.find(name) + 1)); };
    std::vector<Topic> topics;
    for (char name : order) {
        size_t at = browse.find(name);
        int32_t next = at + 1 < browse.size() ? key(browse[at + 1]) : -1;
        int32_t previous = at > 0 ? key(browse[at - 1]) : -1;
        topics.push_back({key(name), next, previous});
    }
    return topics;
}

TEST(Browse, SequencesInFileOrderReverseOrderAndMixed) {
    {
        ContextHolder h;
        EXPECT_EQ(number(*h.ctx, stored_as("XYZ")), (std::vector<std::string>{"1:1", "1:2", "1:3"}));
        ASSERT_EQ(h.ctx->browse_start_count, 1);
        EXPECT_EQ(h.ctx->browse_starts[0].start, 100);
        EXPECT_FALSE(h.ctx->had_problems);
    }
    {
        // Stored as Z, Y, X: Z opens the chain, Y and X are backlinks.
        ContextHolder h;
        EXPECT_EQ(number(*h.ctx, stored_as("ZYX")), (std::vector<std::string>{"1:3", "1:2", "1:1"}));
        EXPECT_EQ(h.ctx->browse_starts[0].position, 3);
    }
    {
        // Stored as X, Z, Y: two chains merged by Y, numbers without a gap message.
        ContextHolder h;
        testing::internal::CaptureStderr();
        EXPECT_EQ(number(*h.ctx, stored_as("XZY")), (std::vector<std::string>{"1:1", "1:3", "1:2"}));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(h.ctx->next_browse_number, 3);
        EXPECT_FALSE(h.ctx->had_problems);
    }
}

// One sequence of six topics in every file order: the pieces opened,
// extended at both ends and merged must number it 1 to 6 in browse order.
TEST(Browse, EveryFileOrderOfOneSequence) {
    std::string order = "ABCDEF";
    do {
        ContextHolder h;
        const std::vector<std::string> ids = number(*h.ctx, stored_as(order, "ABCDEF"));
        const std::string sequence = ids[0].substr(0, ids[0].find(':'));
        for (size_t i = 0; i < order.size(); ++i) {
            EXPECT_EQ(ids[i], sequence + ":" + std::to_string(order[i] - 'A' + 1)) << order;
        }
        EXPECT_FALSE(h.ctx->had_problems) << order;
    } while (std::next_permutation(order.begin(), order.end()));
}

TEST(Browse, TwoSequencesAndTopicsWithoutLinks) {
    {
        ContextHolder h;
        std::vector<Topic> topics = {{10, 30, -1}, {20, 40, -1}, {25, -1, -1}, {30, -1, 10}, {40, -1, 20}};
        EXPECT_EQ(number(*h.ctx, topics), (std::vector<std::string>{"1:1", "2:1", "-", "1:2", "2:2"}));
    }
    {
        // Two chains wait for 100; the one in the lower slot (the slot 10's
        // closed chain freed, taken again by 40) gets it, whatever 100 names.
        ContextHolder h;
        testing::internal::CaptureStderr();
        std::vector<Topic> topics = {{10, 30, -1}, {20, 100, -1}, {30, -1, 10}, {40, 100, -1}, {100, -1, 20}};
        EXPECT_EQ(number(*h.ctx, topics), (std::vector<std::string>{"1:1", "-", "1:2", "3:1", "3:2"}));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Browse start 00000014 not found\n");
    }
}

TEST(Browse, UnexpectedLinksAreReportedAndNumberNothing) {
    ContextHolder h;
    testing::internal::CaptureStderr();
    browse_first_pass_start(*h.ctx);
    browse_select(*h.ctx, 10, 10, 50, -1);  // opens a chain waiting for 50
    browse_select(*h.ctx, 20, 20, -1, 15);  // nobody waits for 20
    std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_EQ(messages, "Can not link 00000014 ffffffff 0000000f\nOpen browse ffffffff 00000032\n");
    EXPECT_TRUE(h.ctx->had_problems);
    // The chain never closed, so its start has no record in the second pass.
    browse_second_pass_start(*h.ctx);
    testing::internal::CaptureStderr();
    EXPECT_EQ(browse_number_select(*h.ctx, 10, 10, 50, -1), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Browse start 0000000a not found\n");
    // The start took no slot: the topic that links to it finds no chain,
    // and a later sequence opens in a fresh slot.
    EXPECT_EQ(open_chains(*h.ctx), 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(browse_number_select(*h.ctx, 50, 50, -1, 10), 0u);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Can not link 00000032 ffffffff 0000000a\n");
}

// A file of many broken links and many open chains lists the open chains
// up to a bound, not once for every broken link.
TEST(Browse, OpenChainsListedUpToABound) {
    ContextHolder h;
    testing::internal::CaptureStderr();
    browse_first_pass_start(*h.ctx);
    for (int32_t t = 0; t < 3; ++t) browse_select(*h.ctx, 10 + t, 10 + t, 50, -1);
    for (int32_t t = 0; t < 400; ++t) browse_select(*h.ctx, 100 + t, 100 + t, -1, 60);
    const std::string messages = testing::internal::GetCapturedStderr();
    size_t listed = 0, links = 0;
    for (size_t at = 0; (at = messages.find("Open browse ", at)) != std::string::npos; ++at) ++listed;
    for (size_t at = 0; (at = messages.find("Can not link ", at)) != std::string::npos; ++at) ++links;
    EXPECT_EQ(links, 400u);
    EXPECT_EQ(listed, 1000u);
    EXPECT_NE(messages.find("Open browse: more are not listed\n"), std::string::npos);
}

// Slots the second pass grows into start free, whatever the first pass
// left in its array.
TEST(Browse, SlotsGrownInTheSecondPassStartFree) {
    ContextHolder h;
    testing::internal::CaptureStderr();
    browse_first_pass_start(*h.ctx);
    browse_select(*h.ctx, 10, 10, 30, -1);  // waits for 30, which never links
    browse_select(*h.ctx, 20, 20, 40, -1);  // waits for 40, which never links
    ASSERT_EQ(h.ctx->browse_chain_count, 2);
    browse_second_pass_start(*h.ctx);
    EXPECT_EQ(browse_number_select(*h.ctx, 10, 10, 30, -1), 0u);
    EXPECT_EQ(browse_number_select(*h.ctx, 20, 20, 40, -1), 0u);
    // 30 would match the stale chain of the first pass.
    EXPECT_EQ(browse_number_select(*h.ctx, 30, 30, -1, 10), 0u);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(open_chains(*h.ctx), 0);
}

TEST(Browse, TheFollowingValueNamesATopicToo) {
    ContextHolder h;
    browse_first_pass_start(*h.ctx);
    // The first topic is also known by 0x8000 (its header ended a block).
    browse_select(*h.ctx, 0x10, 0x8000, 0x8010, -1);
    browse_select(*h.ctx, 0x8010, 0x8010, -1, 0x8000);
    EXPECT_EQ(h.ctx->browse_start_count, 1);
    EXPECT_FALSE(h.ctx->had_problems);
}

TEST(Browse, LinksFormingACycleFinish) {
    ContextHolder h;
    testing::internal::CaptureStderr();
    // Each topic names the other as both neighbours.
    std::vector<std::string> ids = number(*h.ctx, {{100, 200, 200}, {200, 100, 100}});
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(ids.size(), 2u);
    // The chain merged with itself is freed: nothing waits for the cycle,
    // so a later topic named by it opens nothing stale.
    EXPECT_EQ(open_chains(*h.ctx), 0);
}

}  // namespace
