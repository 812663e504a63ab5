// Names learned in a batch (the first pass, the guessing) are found, warned
// about and replaced exactly as names inserted in order one by one, and the
// table is in order again when the batch ends; lookups between and after
// batches see every name too.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "helpfile_fixture.h"
#include "project/context_hash.h"

namespace {

struct Step {
    std::string name;
    bool derived;
};

struct Outcome {
    std::vector<std::string> names;  // in table order
    std::vector<int32_t> hashes;
    std::vector<bool> derived;
    std::string warnings;
    std::vector<std::string> unhashed;
    int32_t derived_count;
};

Outcome run(const std::vector<Step>& steps, bool batch) {
    ContextHolder h;
    DecompileContext& ctx = *h.ctx;
    add_context_name(ctx, "Before", false);  // a name from before the batch
    Outcome o;
    testing::internal::CaptureStderr();
    // In batches: the first and last thirds of the steps each in a batch,
    // the middle third one by one in between (as the first pass, project
    // names and the guessing would add them).
    const size_t third = steps.size() / 3;
    for (size_t i = 0; i < steps.size(); ++i) {
        if (batch && (i == 0 || i == 2 * third)) context_names_begin_batch(ctx);
        add_context_name(ctx, steps[i].name.c_str(), steps[i].derived);
        if (batch && i + 1 == third) context_names_end_batch(ctx);
        // Lookups while the batch runs see every name added so far.
        o.unhashed.emplace_back(unhash(ctx, context_hash(steps[i / 2].name.c_str())));
        o.unhashed.emplace_back(unhash(ctx, static_cast<uint32_t>(i * 2654435761u)));
    }
    if (batch) context_names_end_batch(ctx);
    for (const Step& step : steps) o.unhashed.emplace_back(unhash(ctx, context_hash(step.name.c_str())));
    o.warnings = testing::internal::GetCapturedStderr();
    for (int32_t i = 0; i < ctx.context_name_count; ++i) {
        o.names.emplace_back(ctx.context_names[i].name);
        o.hashes.push_back(ctx.context_names[i].hash);
        o.derived.push_back(ctx.context_names[i].derived);
    }
    o.derived_count = ctx.derived_count;
    return o;
}

TEST(ContextNameBatch, SameTableLookupsAndWarningsAsInsertingInOrder) {
    std::mt19937 random(11);
    std::vector<Step> steps;
    const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
    for (int i = 0; i < 5000; ++i) {
        std::string name;
        for (int j = 0; j < 1 + static_cast<int>(random() % 6); ++j) name += letters[random() % 37];
        steps.push_back({name, random() % 3 != 0});
    }
    // Repeats: the same spelling, another case, and a derived name confirmed
    // or replaced by one from the help file.
    for (int i = 0; i < 400; ++i) {
        std::string name = steps[random() % steps.size()].name;
        if (i % 2) for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        steps.push_back({name, i % 3 == 0});
    }
    steps.push_back({"21KSYK4", false});  // hash -1, the smallest signed value of these
    steps.push_back({"Intro]1", false});  // the same hash as Intro_1: a warning
    steps.push_back({"Intro_1", false});
    steps.push_back({"BEFORE", false});
    // A derived name replaced by a name with the same hash, spelled
    // otherwise: in a batch, and between batches (the middle third).
    steps.push_back({"Intro]2", true});
    steps.push_back({"Intro_2", false});
    const std::vector<Step> between = {{"Intro]3", true}, {"Intro_3", false}};
    steps.insert(steps.begin() + static_cast<long>(steps.size() / 2), between.begin(), between.end());
    const Outcome one_by_one = run(steps, false);
    const Outcome batch = run(steps, true);
    EXPECT_EQ(batch.names, one_by_one.names);
    EXPECT_EQ(batch.hashes, one_by_one.hashes);
    EXPECT_EQ(batch.derived, one_by_one.derived);
    EXPECT_EQ(batch.warnings, one_by_one.warnings);
    EXPECT_EQ(batch.unhashed, one_by_one.unhashed);
    EXPECT_EQ(batch.derived_count, one_by_one.derived_count);
    EXPECT_TRUE(std::is_sorted(batch.hashes.begin(), batch.hashes.end()));
    EXPECT_NE(one_by_one.warnings.find("already defined"), std::string::npos);
}

TEST(ContextNameBatch, ReplacedDerivedNamesAreFoundAtOnce) {
    ContextHolder h;
    DecompileContext& ctx = *h.ctx;
    const uint32_t in_batch = context_hash("Intro_4");
    const uint32_t after_batch = context_hash("Intro_5");
    context_names_begin_batch(ctx);
    add_context_name(ctx, "Intro]4", true);
    add_context_name(ctx, "Intro]5", true);
    EXPECT_STREQ(unhash(ctx, in_batch), "Intro]4");
    add_context_name(ctx, "Intro_4", false);
    EXPECT_STREQ(unhash(ctx, in_batch), "Intro_4");
    context_names_end_batch(ctx);
    EXPECT_STREQ(unhash(ctx, after_batch), "Intro]5");
    add_context_name(ctx, "Intro_5", false);
    EXPECT_STREQ(unhash(ctx, after_batch), "Intro_5");
    EXPECT_STREQ(unhash(ctx, in_batch), "Intro_4");
}

TEST(ContextNameBatch, EndWithoutBeginAndEmptyBatchChangeNothing) {
    ContextHolder h;
    add_context_name(*h.ctx, "Intro", false);
    context_names_end_batch(*h.ctx);
    context_names_begin_batch(*h.ctx);
    context_names_end_batch(*h.ctx);
    ASSERT_EQ(h.ctx->context_name_count, 1);
    EXPECT_STREQ(h.ctx->context_names[0].name, "Intro");
    EXPECT_EQ(h.ctx->context_batch_index, nullptr);
}

}  // namespace
