// More references than one keyword window holds: the window is refilled from
// where it ended, and every reference comes out once, at its topic, in the
// order of collection.
#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "firstpass/keyword_footnotes.h"
#include "keywords_fixture.h"

namespace {

using namespace hlptest;

constexpr size_t window_capacity = 16384;

// An index letter with its keywords; the references of a topic come out in
// the order of the indexes given, then of their keywords and lists.
struct IndexSpec {
    char letter;
    bool multi_key;
    std::vector<KeywordSpec> keywords;
};

struct Expected {
    std::map<int32_t, std::vector<WrittenKeyword>> by_topic;
    std::vector<int32_t> offsets;  // every reference's topic offset
};

Expected expected_output(const std::vector<IndexSpec>& indexes) {
    Expected e;
    for (const IndexSpec& index : indexes) {
        for (const KeywordSpec& k : index.keywords) {
            for (uint32_t t : k.topic_offsets) {
                auto& list = e.by_topic[static_cast<int32_t>(t)];
                std::string mark = index.multi_key ? "K" : std::string(1, index.letter);
                // A multi-key footnote starts with its letter; the test's
                // topics have one multi-key keyword at most.
                std::string word = index.multi_key ? std::string(1, index.letter) + ":" + k.keyword : k.keyword;
                list.push_back({mark, word});
                e.offsets.push_back(static_cast<int32_t>(t));
            }
        }
    }
    std::sort(e.offsets.begin(), e.offsets.end());
    return e;
}

// The upper bounds of the windows, from the rule that a window ends at the
// smallest topic offset whose references no longer fit into it.
std::vector<int32_t> window_bounds(const std::vector<int32_t>& sorted_offsets) {
    std::vector<int32_t> bounds;
    size_t first = 0;
    while (sorted_offsets.size() - first > window_capacity) {
        int32_t bound = sorted_offsets[first + window_capacity];
        bounds.push_back(bound);
        first = std::lower_bound(sorted_offsets.begin(), sorted_offsets.end(), bound) - sorted_offsets.begin();
    }
    bounds.push_back(INT32_MAX);
    return bounds;
}

Bytes build(const std::vector<IndexSpec>& indexes) {
    std::vector<InternalFile> files;
    for (const IndexSpec& index : indexes) {
        for (InternalFile& f : keyword_index_files(index.letter, index.multi_key, build_keyword_index(index.keywords))) {
            files.push_back(std::move(f));
        }
    }
    return help_with(std::move(files));
}

void flag(KeywordRun& run, const std::vector<IndexSpec>& indexes) {
    for (const IndexSpec& index : indexes) {
        (index.multi_key ? run.ctx().keyword_index_letters : run.ctx().keyword_file_letters)[uint8_t(index.letter)] = true;
    }
}

// Calls the writer at every topic that has references (and between them)
// and checks that each topic gets exactly its own references, in order.
void expect_each_reference_once(KeywordRun& run, const Expected& e) {
    size_t total = 0;
    int32_t previous = -1;
    for (const auto& [topic, words] : e.by_topic) {
        if (topic > previous + 1) {
            EXPECT_EQ(run.write(topic - 1), "") << "before topic " << topic;
        }
        std::vector<WrittenKeyword> got = written_keywords(run.write(topic));
        EXPECT_EQ(got.size(), words.size()) << "topic " << topic;
        EXPECT_TRUE(got == words) << "topic " << topic;
        total += got.size();
        EXPECT_EQ(run.write(topic), "") << "topic " << topic << " again";
        previous = topic;
    }
    EXPECT_EQ(run.write(INT32_MAX - 1), "");
    EXPECT_EQ(total, e.offsets.size());
}

uint32_t next_random(uint32_t& state) {
    state = state * 1103515245u + 12345u;
    return state >> 8;
}

TEST(KeywordRefill, ManyReferencesAreCollectedInSeveralWindows) {
    // 3000 topics; K keywords list topics mostly in ascending order, every
    // seventh one descending; an A index and a multi-key index besides.
    std::vector<IndexSpec> indexes = {{'A', false, {}}, {'K', false, {}}, {'L', true, {}}};
    uint32_t state = 7;
    for (int j = 0; j < 700; ++j) {
        KeywordSpec k{"k" + std::to_string(j), {}};
        uint32_t topic = (j * 4) % 3000;
        for (int n = 0; n < 35; ++n) {
            topic = (topic + 1 + next_random(state) % 80) % 3000;
            k.topic_offsets.push_back(0x40 * (topic + 1));
        }
        if (j % 7 == 0) std::sort(k.topic_offsets.rbegin(), k.topic_offsets.rend());
        indexes[1].keywords.push_back(k);
    }
    for (int j = 0; j < 300; ++j) {
        KeywordSpec k{"a" + std::to_string(j), {}};
        for (int n = 0; n < 30; ++n) k.topic_offsets.push_back(0x40 * (next_random(state) % 3000 + 1));
        indexes[0].keywords.push_back(k);
    }
    for (int j = 0; j < 3000; j += 3) indexes[2].keywords.push_back({"m" + std::to_string(j), {0x40u * (j + 1)}});
    Expected e = expected_output(indexes);
    std::vector<int32_t> bounds = window_bounds(e.offsets);
    ASSERT_GE(bounds.size(), 3u) << "the test wants several refills";

    KeywordRun run(build(indexes));
    flag(run, indexes);
    EXPECT_EQ(run.write(0), "");
    EXPECT_EQ(run.ctx().keyword_upper_bound, bounds[0]) << "the first window ends where references stop fitting";
    EXPECT_LE(run.ctx().keyword_count, int32_t(window_capacity));
    expect_each_reference_once(run, e);
    EXPECT_EQ(run.collections(), int(bounds.size()));
}

TEST(KeywordRefill, WindowOfReferencesBelowTheCallIsRefilledWithinTheCall) {
    // Calls only at the end: every window is written by one call.
    std::vector<IndexSpec> indexes = {{'K', false, {}}};
    for (int j = 0; j < 40; ++j) {
        KeywordSpec k{"w" + std::to_string(j), {}};
        for (uint32_t t = 1; t <= 1000; ++t) k.topic_offsets.push_back(t * 8);
        indexes[0].keywords.push_back(k);
    }
    Expected e = expected_output(indexes);
    KeywordRun run(build(indexes));
    flag(run, indexes);
    std::vector<WrittenKeyword> all;
    for (const auto& [topic, words] : e.by_topic) all.insert(all.end(), words.begin(), words.end());
    std::vector<WrittenKeyword> got = written_keywords(run.write(INT32_MAX - 1));
    EXPECT_EQ(got.size(), all.size());
    EXPECT_TRUE(got == all);
    EXPECT_EQ(run.collections(), int(window_bounds(e.offsets).size()));
}

TEST(KeywordRefill, TopicWithMoreReferencesThanTheWindowHoldsComesOutWhole) {
    // Topic 500 has 3 x 14000 references, spread over keywords that also
    // lead to topics before and after it.
    std::vector<IndexSpec> indexes = {{'A', false, {{"anchor", {500, 900, 500}}}}, {'K', false, {}}};
    for (int j = 0; j < 3; ++j) {
        KeywordSpec k{"kw" + std::to_string(j), {100, 900}};
        for (int n = 0; n < 14000; ++n) k.topic_offsets.push_back(500);
        k.topic_offsets.push_back(100 + j);
        indexes[1].keywords.push_back(k);
    }
    Expected e = expected_output(indexes);
    ASSERT_GT(e.by_topic[500].size(), 2 * window_capacity);

    KeywordRun run(build(indexes));
    flag(run, indexes);
    expect_each_reference_once(run, e);
    EXPECT_LE(run.collections(), 6);
}

TEST(KeywordRefill, TopicThatFillsTheWindowExactly) {
    std::vector<IndexSpec> indexes = {{'K', false, {}}};
    KeywordSpec full{"full", {}};
    for (size_t n = 0; n < window_capacity; ++n) full.topic_offsets.push_back(500);
    indexes[0].keywords = {{"before", {20}}, full, {"after", {600, 500}}};
    Expected e = expected_output(indexes);
    KeywordRun run(build(indexes));
    flag(run, indexes);
    expect_each_reference_once(run, e);
}

TEST(KeywordRefill, LaterWindowFilledExactlyEndsWhereArrivalOrderEndsIt) {
    // The second window from 16 holds topics 16, 24 and 32 exactly; the
    // reference to 40 arrives once it is full, which pushes 32 out too.
    std::vector<IndexSpec> indexes = {{'K', false, {}}};
    KeywordSpec first{"a", {}}, second{"c", {}};
    for (size_t n = 0; n + 1 < window_capacity; ++n) first.topic_offsets.push_back(8);
    for (size_t n = 0; n + 3 < window_capacity; ++n) second.topic_offsets.push_back(24);
    indexes[0].keywords = {first, {"b", {16, 16}}, second, {"d", {32}}, {"e", {40}}};
    KeywordRun run(build(indexes));
    flag(run, indexes);
    EXPECT_EQ(written_keywords(run.write(8)).size(), window_capacity - 1);
    EXPECT_EQ(run.ctx().keyword_upper_bound, 16);
    EXPECT_EQ(written_keywords(run.write(16)).size(), 2u);
    EXPECT_EQ(run.ctx().keyword_upper_bound, 32);

    KeywordRun again(build(indexes));
    flag(again, indexes);
    expect_each_reference_once(again, expected_output(indexes));
    EXPECT_EQ(again.collections(), 3);
}

TEST(KeywordRefill, OverfullTopicWrittenByOneLateCall) {
    std::vector<IndexSpec> indexes = {{'K', false, {}}};
    KeywordSpec many{"many", {}};
    for (size_t n = 0; n < 3 * window_capacity + 5; ++n) many.topic_offsets.push_back(n % 2 ? 64 : 32);
    indexes[0].keywords = {many, {"last", {64}}};
    Expected e = expected_output(indexes);
    KeywordRun run(build(indexes));
    flag(run, indexes);
    std::vector<WrittenKeyword> got = written_keywords(run.write(1000));
    std::vector<WrittenKeyword> all = e.by_topic[32];
    all.insert(all.end(), e.by_topic[64].begin(), e.by_topic[64].end());
    EXPECT_EQ(got.size(), all.size());
    EXPECT_TRUE(got == all);
    EXPECT_EQ(run.write(2000), "");
}

}  // namespace
