// The context-string hash, synthetic names for unknown hashes, jump checks
// against the |CONTEXT table, and finding a topic's first context id.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "context_fixture.h"

namespace {

TEST(ContextHash, KnownValues) {
    EXPECT_EQ(context_hash(""), 1u);
    EXPECT_EQ(context_hash("a"), 0x11u);
    EXPECT_EQ(context_hash("A"), 0x11u);
    EXPECT_EQ(context_hash("idh_"), 0x1EE8E4u);
    EXPECT_EQ(context_hash("21KSYK4"), 0xFFFFFFFFu);
    EXPECT_EQ(context_hash("1"), 1u);
    EXPECT_EQ(context_hash("0"), 10u);
    EXPECT_EQ(context_hash("AB"), 17u * 43 + 18);
}

TEST(ContextHash, CharacterEquivalences) {
    // Either case of a letter, and the punctuation sharing a value.
    for (char c = 'a'; c <= 'z'; ++c) {
        char lower[] = {'x', c, 'y', 0};
        char upper[] = {'x', static_cast<char>(c - 32), 'y', 0};
        EXPECT_EQ(context_hash(lower), context_hash(upper)) << c;
    }
    EXPECT_EQ(context_hash("A0"), context_hash("A:"));
    EXPECT_EQ(context_hash("A!"), context_hash("A["));
    EXPECT_EQ(context_hash("A!"), context_hash("A;"));
    EXPECT_EQ(context_hash("A!"), context_hash("A\xB4"));
    EXPECT_EQ(context_hash("A."), context_hash("A\\"));
    EXPECT_EQ(context_hash("A_"), context_hash("A]"));
    EXPECT_EQ(context_hash("A_"), context_hash("A="));
    EXPECT_EQ(context_hash("A^"), context_hash("A>"));
    EXPECT_EQ(context_hash("A`"), context_hash("A@"));
    // Values past 'z' continue the letters; others wrap as signed bytes.
    EXPECT_EQ(context_hash("{"), 43u);
    EXPECT_EQ(context_hash("\x7F"), 47u);
    EXPECT_EQ(context_hash(" "), static_cast<uint32_t>(-16));
    EXPECT_EQ(context_hash("\xFF"), static_cast<uint32_t>(static_cast<int8_t>(0xFF - 48)));
}

TEST(Unhash, SyntheticNames) {
    ContextHolder h;
    EXPECT_STREQ(unhash(*h.ctx, 0x11), "A");
    EXPECT_STREQ(unhash(*h.ctx, 1), "1");
    EXPECT_STREQ(unhash(*h.ctx, 10), "0");
    // 0 alone is the digit 0, which has no character: a larger number is used.
    std::string zero = unhash(*h.ctx, 0);
    EXPECT_GT(zero.size(), 1u);
    EXPECT_EQ(context_hash(zero.c_str()), 0u);
    // 11 has no character either.
    std::string eleven = unhash(*h.ctx, 11);
    EXPECT_EQ(context_hash(eleven.c_str()), 11u);
    EXPECT_NE(eleven, "!");
    // A synthetic answer lives in the context until the next call.
    const char* first = unhash(*h.ctx, 0x11);
    unhash(*h.ctx, 0x12);
    EXPECT_STREQ(first, "B");
}

TEST(Unhash, RoundTripsOverRandomHashes) {
    ContextHolder h;
    std::mt19937 random(4113);
    for (int i = 0; i < 200000; ++i) {
        uint32_t hash = random();
        const char* name = unhash(*h.ctx, hash);
        ASSERT_EQ(context_hash(name), hash) << name;
        ASSERT_LE(std::strlen(name), 7u);
        for (const char* p = name; *p; ++p)
            ASSERT_TRUE((*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') || *p == '.' || *p == '_') << name;
    }
    for (uint32_t hash : {0u, 1u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu, 0xFFFFFFFEu})
        EXPECT_EQ(context_hash(unhash(*h.ctx, hash)), hash);
}

TEST(Unhash, KnownNamesWin) {
    ContextHolder h;
    add_context_name(*h.ctx, "Contents_Topic", false);
    EXPECT_STREQ(unhash(*h.ctx, context_hash("contents_topic")), "Contents_Topic");
    EXPECT_STREQ(known_context_name(*h.ctx, context_hash("Contents_Topic")), "Contents_Topic");
    EXPECT_EQ(known_context_name(*h.ctx, 0x11), nullptr);
}

TEST(Unhash, JumpTargetsNotInTheContextTableAreReported) {
    ContextHolder h;
    uint32_t intro = context_hash("intro");
    uint32_t index = context_hash("index");
    // Sorted by topic offset, so the hashes are not in order.
    set_context_table(*h.ctx, {{index, 0x100}, {intro, 0x200}, {0xFFFFFFFF, 0x300}});
    add_context_name(*h.ctx, "intro", false);

    testing::internal::CaptureStdout();
    EXPECT_STREQ(unhash_jump_target(*h.ctx, intro), "intro");
    EXPECT_STREQ(unhash_jump_target(*h.ctx, index), unhash(*h.ctx, index));
    EXPECT_STREQ(unhash_jump_target(*h.ctx, 0xFFFFFFFF), unhash(*h.ctx, 0xFFFFFFFF));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

    add_context_name(*h.ctx, "missing", false);
    testing::internal::CaptureStdout();
    EXPECT_STREQ(unhash_jump_target(*h.ctx, context_hash("missing")), "missing");
    EXPECT_STREQ(unhash_jump_target(*h.ctx, 0x11), "A");
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Help Compiler will issue Warning 4113: Unresolved jump or popup 'missing'\n"
              "Help Compiler will issue Warning 4113: Unresolved jump or popup 'A'\n");
}

TEST(Unhash, JumpTargetsAmongManyIdsAndTheZeroHash) {
    for (bool with_zero : {false, true}) {
        ContextHolder h;
        std::mt19937 random(7);
        std::vector<ContextEntry> table;
        std::vector<uint32_t> absent;
        for (int i = 0; i < 3000; ++i) {
            const uint32_t hash = random() | 1;  // odd hashes are ids, even ones are not
            table.push_back({hash, i});
            absent.push_back(hash + 1);
        }
        if (with_zero) table.push_back({0, 5000});
        set_context_table(*h.ctx, table);
        testing::internal::CaptureStdout();
        for (const ContextEntry& entry : table) unhash_jump_target(*h.ctx, entry.hash);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        testing::internal::CaptureStdout();
        for (uint32_t hash : absent) unhash_jump_target(*h.ctx, hash);
        unhash_jump_target(*h.ctx, 0);
        const std::string warnings = testing::internal::GetCapturedStdout();
        EXPECT_EQ(std::count(warnings.begin(), warnings.end(), '\n'), 3000 + (with_zero ? 0 : 1));
    }
}

TEST(Unhash, EveryJumpIsUnresolvedWithoutAContextTable) {
    ContextHolder h;
    testing::internal::CaptureStdout();
    unhash_jump_target(*h.ctx, 0x11);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Help Compiler will issue Warning 4113: Unresolved jump or popup 'A'\n");
}

TEST(FirstContextOfTopic, FindsTheStartOfEachRun) {
    // Searched in the table, and through the index a loaded table gets.
    for (bool indexed : {false, true}) {
        ContextHolder h;
        EXPECT_EQ(first_context_of_topic(*h.ctx, 0), -1);
        set_context_table(*h.ctx, {{1, -5}, {2, 0}, {3, 0x40}, {4, 0x40}, {5, 0x40}, {6, 0x80}, {7, 0x7FFFFFFF}});
        if (indexed) index_context_topics(*h.ctx);
        EXPECT_EQ(first_context_of_topic(*h.ctx, -5), 0);
        EXPECT_EQ(first_context_of_topic(*h.ctx, 0), 1);
        EXPECT_EQ(first_context_of_topic(*h.ctx, 0x40), 2);
        EXPECT_EQ(first_context_of_topic(*h.ctx, 0x80), 5);
        EXPECT_EQ(first_context_of_topic(*h.ctx, 0x7FFFFFFF), 6);
        for (int32_t missing : {-6, -1, 1, 0x3F, 0x41, 0x7FFFFFFE, INT32_MIN}) EXPECT_EQ(first_context_of_topic(*h.ctx, missing), -1);

        // One long run: the answer is its first entry wherever the search lands.
        ContextHolder long_run;
        std::vector<ContextEntry> run(1000, ContextEntry{9, 0x1234});
        run.front().topic_offset = 0x10;
        run.back().topic_offset = 0x9999;
        for (int i = 0; i < 500; ++i) run.push_back(ContextEntry{9, 0x10000 + 4 * i});
        set_context_table(*long_run.ctx, run);
        if (indexed) index_context_topics(*long_run.ctx);
        EXPECT_EQ(first_context_of_topic(*long_run.ctx, 0x1234), 1);
        EXPECT_EQ(first_context_of_topic(*long_run.ctx, 0x9999), 999);
        for (int i = 0; i < 500; ++i) EXPECT_EQ(first_context_of_topic(*long_run.ctx, 0x10000 + 4 * i), 1000 + i);
        EXPECT_EQ(first_context_of_topic(*long_run.ctx, 0x10002), -1);
    }
}

}  // namespace
