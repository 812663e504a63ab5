// The table of context names: which name wins a hash, the conflict warning,
// the derived count, and the order kept while the table grows.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>

#include "context_fixture.h"

namespace {

// Adds a name and returns what it wrote to stderr.
std::string add(DecompileContext& ctx, const char* name, bool derived) {
    testing::internal::CaptureStderr();
    add_context_name(ctx, name, derived);
    return testing::internal::GetCapturedStderr();
}

TEST(ContextNames, SpellingsOfOneNameKeepTheFirst) {
    ContextHolder h;
    EXPECT_EQ(add(*h.ctx, "Intro", false), "");
    EXPECT_EQ(add(*h.ctx, "INTRO", false), "");
    auto names = recorded_names(*h.ctx);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, "Intro");
    EXPECT_FALSE(names[0].derived);
    EXPECT_EQ(h.ctx->derived_count, 0);
}

TEST(ContextNames, ConflictingNamesFromTheHelpFileWarnAndKeepTheFirst) {
    ContextHolder h;
    ASSERT_EQ(context_hash("Intro_1"), context_hash("Intro]1"));
    EXPECT_EQ(add(*h.ctx, "Intro_1", false), "");
    EXPECT_EQ(add(*h.ctx, "Intro]1", false), "ContextId Intro]1 already defined as Intro_1\n");
    // A derived name neither warns nor replaces.
    EXPECT_EQ(add(*h.ctx, "intro=1", true), "");
    auto names = recorded_names(*h.ctx);
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].name, "Intro_1");
    EXPECT_FALSE(names[0].derived);
    EXPECT_EQ(h.ctx->derived_count, 0);
}

TEST(ContextNames, NamesFromTheHelpFileReplaceDerivedOnes) {
    ContextHolder h;
    EXPECT_EQ(add(*h.ctx, "Intro_1", true), "");
    EXPECT_EQ(add(*h.ctx, "Other", true), "");
    EXPECT_EQ(h.ctx->derived_count, 2);
    // A second derived name for the same hash changes nothing.
    EXPECT_EQ(add(*h.ctx, "Intro]1", true), "");
    EXPECT_STREQ(unhash(*h.ctx, context_hash("Intro_1")), "Intro_1");
    EXPECT_EQ(h.ctx->derived_count, 2);

    EXPECT_EQ(add(*h.ctx, "Intro]1", false), "");
    EXPECT_STREQ(unhash(*h.ctx, context_hash("Intro_1")), "Intro]1");
    EXPECT_EQ(h.ctx->derived_count, 1);
    // Now it is the help file's own name: later ones conflict with it.
    EXPECT_EQ(add(*h.ctx, "Intro_1", false), "ContextId Intro_1 already defined as Intro]1\n");

    // The same spelling from the help file only clears the mark.
    EXPECT_EQ(add(*h.ctx, "OTHER", false), "");
    EXPECT_STREQ(unhash(*h.ctx, context_hash("Other")), "Other");
    EXPECT_EQ(h.ctx->derived_count, 0);
    for (const auto& n : recorded_names(*h.ctx)) EXPECT_FALSE(n.derived) << n.name;
}

TEST(ContextNames, TableStaysSortedBySignedHashWhileGrowing) {
    ContextHolder h;
    std::mt19937 random(27);
    std::set<std::string> added;
    const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_.";
    for (int i = 0; i < 1234; ++i) {
        std::string name;
        for (int j = 0; j < 8; ++j) name += letters[random() % 38];
        if (added.insert(name).second) add_context_name(*h.ctx, name.c_str(), i % 3 == 0);
    }
    add_context_name(*h.ctx, "21KSYK4", false);  // hash -1
    add_context_name(*h.ctx, "1", false);        // hash 1
    auto names = recorded_names(*h.ctx);
    EXPECT_EQ(names.size(), added.size() + 2);
    EXPECT_TRUE(std::is_sorted(names.begin(), names.end(), [](const auto& a, const auto& b) { return a.hash < b.hash; }));
    EXPECT_TRUE(std::adjacent_find(names.begin(), names.end(),
                                   [](const auto& a, const auto& b) { return a.hash == b.hash; }) == names.end());
    bool negative = false, positive = false;
    for (const auto& n : names) {
        EXPECT_EQ(static_cast<uint32_t>(n.hash), context_hash(n.name.c_str()));
        negative |= n.hash < 0;
        positive |= n.hash > 0;
    }
    EXPECT_TRUE(negative && positive);
    for (const auto& name : added) EXPECT_STREQ(unhash(*h.ctx, context_hash(name.c_str())), name.c_str());
    EXPECT_STREQ(unhash(*h.ctx, 0xFFFFFFFF), "21KSYK4");
    long derived = std::count_if(names.begin(), names.end(), [](const auto& n) { return n.derived; });
    EXPECT_EQ(h.ctx->derived_count, derived);
}

}  // namespace
