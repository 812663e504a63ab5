// Tracked allocation: every block of a decompile is freed with its context,
// whatever ends the decompile.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/decompile_context.h"

namespace {

struct Context {
    std::unique_ptr<DecompileContext> ctx = std::make_unique<DecompileContext>();
    Context() { context_init(*ctx); }
    ~Context() { context_release(*ctx); }
};

uint32_t registered(const DecompileContext& ctx) {
    uint32_t n = 0;
    for (const TrackedBucket& b : ctx.allocations.buckets) n += b.count;
    return n;
}

TEST(TrackedMemory, FreshContextHasItsInitialValues) {
    Context c;
    EXPECT_EQ(c.ctx->window_state, -1);
    EXPECT_TRUE(c.ctx->guess_context_ids);
    EXPECT_FALSE(c.ctx->had_problems);
    EXPECT_FALSE(c.ctx->mediaview);
    EXPECT_STREQ(c.ctx->base_name, "");
    EXPECT_EQ(c.ctx->outputs.head, nullptr);
    EXPECT_EQ(registered(*c.ctx), 0u);
}

TEST(TrackedMemory, SizesBelowOneAreFatalWithTheRequestedSize) {
    Context c;
    testing::internal::CaptureStderr();
    EXPECT_THROW(tracked_malloc(*c.ctx, 0), FatalError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Allocation of 0 bytes failed. File too big.\n");
    void* block = tracked_malloc(*c.ctx, 8);
    testing::internal::CaptureStderr();
    EXPECT_THROW(tracked_realloc(*c.ctx, block, -5), FatalError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Reallocation to -5 bytes failed. File too big.\n");
    EXPECT_EQ(registered(*c.ctx), 1u);  // the old block stays and goes with the context
}

TEST(TrackedMemory, ReallocKeepsExactlyOneRegistration) {
    Context c;
    char* block = static_cast<char*>(tracked_realloc(*c.ctx, nullptr, 10));
    std::memcpy(block, "abcdefghi", 10);
    for (long size = 16; size < 1 << 20; size *= 4) {
        block = static_cast<char*>(tracked_realloc(*c.ctx, block, size));
        EXPECT_EQ(registered(*c.ctx), 1u);
    }
    EXPECT_STREQ(block, "abcdefghi");
    char* copy = tracked_strdup(*c.ctx, block);
    EXPECT_STREQ(copy, "abcdefghi");
    EXPECT_EQ(tracked_strdup(*c.ctx, nullptr), nullptr);
    tracked_free(*c.ctx, block);
    tracked_free(*c.ctx, nullptr);
    EXPECT_EQ(registered(*c.ctx), 1u);
}

TEST(TrackedMemory, BucketsGrowByThirtyTwoAndKeepOrderOnRemoval) {
    TrackedAllocator allocator{};
    // Aligned addresses that happen to share one bucket.
    std::vector<void*> same;
    unsigned bucket = tracked_bucket_of(reinterpret_cast<void*>(0x10000));
    for (uintptr_t a = 0x10000; same.size() < 33; a += 16) {
        if (tracked_bucket_of(reinterpret_cast<void*>(a)) == bucket) same.push_back(reinterpret_cast<void*>(a));
    }
    auto fake = [&](size_t i) { return same[i]; };
    for (size_t i = 0; i < 33; ++i) tracked_register(allocator, fake(i));
    EXPECT_EQ(allocator.buckets[bucket].capacity, 64u);
    EXPECT_EQ(allocator.buckets[bucket].count, 33u);
    tracked_unregister(allocator, fake(5));
    tracked_unregister(allocator, reinterpret_cast<void*>(0x12345));  // never registered
    tracked_unregister(allocator, nullptr);
    ASSERT_EQ(allocator.buckets[bucket].count, 32u);
    EXPECT_EQ(allocator.buckets[bucket].entries[4], fake(4));
    EXPECT_EQ(allocator.buckets[bucket].entries[5], fake(6));
    std::free(allocator.buckets[bucket].entries);  // the fake blocks are not real
}

TEST(TrackedMemory, ReleaseFreesBlocksAndOutputsAfterAFatalError) {
    // Under the sanitizer build a leak here fails the run.
    auto ctx = std::make_unique<DecompileContext>();
    context_init(*ctx);
    for (int i = 0; i < 5000; ++i) tracked_malloc(*ctx, 1 + i % 100);
    MemoryFile* file = output_open("a.rtf", "wt");
    output_add(ctx->outputs, file);
    output_puts("text", file);
    testing::internal::CaptureStderr();
    EXPECT_THROW(fatal_error("stop at %d", 7), FatalError);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "\nstop at 7");
    context_release(*ctx);
    EXPECT_EQ(ctx->outputs.head, nullptr);
}

TEST(TrackedMemory, ReleasingAnEmptyContextDoesNothing) {
    auto ctx = std::make_unique<DecompileContext>();
    context_init(*ctx);
    context_release(*ctx);
    SUCCEED();
}

}  // namespace
