#include "core/tracked_allocator.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/decompile_context.h"

void fatal_error(const char* format, ...) {
    std::fputc('\n', stderr);
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    throw FatalError{};
}

void fatal_message(const char* text) {
    std::fputs(text, stderr);
    throw FatalError{};
}

namespace {

unsigned bucket_of_address(uint64_t a) {
    // Fold every group of 11 address bits into the bucket number.
    return static_cast<unsigned>((a ^ (a >> 11) ^ (a >> 22) ^ (a >> 33) ^ (a >> 44) ^ (a >> 55)) &
                                 (tracked_bucket_count - 1));
}

// Works on the address alone, so it can run after the block was moved.
void unregister_address(TrackedAllocator& allocator, uintptr_t address) {
    TrackedBucket& bucket = allocator.buckets[bucket_of_address(address)];
    // From the newest entry back: most blocks are freed soon after they were
    // made, while long-lived ones (names, keywords) pile up in front of them.
    // A live address is in its bucket once, so the entry found is the same.
    for (uint32_t i = bucket.count; i-- > 0;) {
        if (reinterpret_cast<uintptr_t>(bucket.entries[i]) == address) {
            std::memmove(bucket.entries + i, bucket.entries + i + 1, (bucket.count - i - 1) * sizeof(void*));
            --bucket.count;
            return;
        }
    }
}

}  // namespace

unsigned tracked_bucket_of(const void* block) { return bucket_of_address(reinterpret_cast<uintptr_t>(block)); }

bool tracked_register(TrackedAllocator& allocator, void* block) {
    TrackedBucket& bucket = allocator.buckets[tracked_bucket_of(block)];
    if (bucket.count >= bucket.capacity) {
        uint32_t capacity = bucket.capacity + 32;
        void** entries = static_cast<void**>(std::malloc(capacity * sizeof(void*)));
        if (entries == nullptr) throw std::bad_alloc();
        if (bucket.count) std::memcpy(entries, bucket.entries, bucket.count * sizeof(void*));
        std::free(bucket.entries);
        bucket.entries = entries;
        bucket.capacity = capacity;
    }
    bucket.entries[bucket.count++] = block;
    return true;
}

void tracked_unregister(TrackedAllocator& allocator, void* block) {
    unregister_address(allocator, reinterpret_cast<uintptr_t>(block));
}

void tracked_free_all(TrackedAllocator& allocator) {
    for (TrackedBucket& bucket : allocator.buckets) {
        if (bucket.entries == nullptr) continue;
        for (uint32_t i = 0; i < bucket.count; ++i) std::free(bucket.entries[i]);
        std::free(bucket.entries);
    }
}

namespace {

// Registers a fresh block; if the bucket cannot grow the block is freed
// before the failure propagates, so nothing escapes the allocator.
void* register_or_free(TrackedAllocator& allocator, void* block) {
    try {
        tracked_register(allocator, block);
    } catch (...) {
        std::free(block);
        throw;
    }
    return block;
}

}  // namespace

void* tracked_malloc(DecompileContext& ctx, long size) {
    void* block = size < 1 ? nullptr : std::malloc(static_cast<size_t>(size));
    if (block == nullptr) {
        std::fprintf(stderr, "Allocation of %ld bytes failed. File too big.\n", size);
        // A size below one comes from damaged counts, not from want of memory.
        throw FatalError{size < 1 ? fatal_damage : fatal_memory};
    }
    return register_or_free(ctx.allocations, block);
}

void* tracked_realloc(DecompileContext& ctx, void* block, long size) {
    if (block == nullptr) return tracked_malloc(ctx, size);
    uintptr_t old_address = reinterpret_cast<uintptr_t>(block);
    void* moved = size < 1 ? nullptr : std::realloc(block, static_cast<size_t>(size));
    if (moved == nullptr) {
        std::fprintf(stderr, "Reallocation to %ld bytes failed. File too big.\n", size);
        throw FatalError{size < 1 ? fatal_damage : fatal_memory};
    }
    if (reinterpret_cast<uintptr_t>(moved) != old_address) {
        unregister_address(ctx.allocations, old_address);
        register_or_free(ctx.allocations, moved);
    }
    return moved;
}

char* tracked_strdup(DecompileContext& ctx, const char* text) {
    if (text == nullptr) return nullptr;
    size_t length = std::strlen(text);
    char* copy = static_cast<char*>(tracked_malloc(ctx, static_cast<long>(length + 1)));
    std::memcpy(copy, text, length + 1);
    return copy;
}

void tracked_free(DecompileContext& ctx, void* block) {
    tracked_unregister(ctx.allocations, block);
    std::free(block);
}
