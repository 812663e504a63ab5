// Every block a decompile allocates is registered here, so that a fatal
// error anywhere can end the decompile and free everything in one sweep.
#pragma once

#include <cstdint>

struct DecompileContext;

// Why a decompile ended: the help file's bytes, or a limit of ours (memory,
// the size an output may reach), which says nothing of the file's health.
constexpr int fatal_damage = 1;
constexpr int fatal_memory = 2;
constexpr int fatal_too_large = 3;

// The exception that ends a decompile; its message has been printed already.
struct FatalError {
    int code = fatal_damage;
};

// Writes "\n" and the formatted message to stderr, then throws FatalError.
[[noreturn]] void fatal_error(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Writes the text as it stands (no leading newline), then throws FatalError.
[[noreturn]] void fatal_message(const char* text);

constexpr int tracked_bucket_count = 2048;

struct TrackedBucket {
    void** entries;
    uint32_t capacity;
    uint32_t count;
};

struct TrackedAllocator {
    TrackedBucket buckets[tracked_bucket_count];
};

unsigned tracked_bucket_of(const void* block);
bool tracked_register(TrackedAllocator& allocator, void* block);
void tracked_unregister(TrackedAllocator& allocator, void* block);
void tracked_free_all(TrackedAllocator& allocator);

void* tracked_malloc(DecompileContext& ctx, long size);
void* tracked_realloc(DecompileContext& ctx, void* block, long size);
char* tracked_strdup(DecompileContext& ctx, const char* text);
void tracked_free(DecompileContext& ctx, void* block);

// Typed helper: count elements of T, zero-initialised is not implied.
template <typename T>
T* tracked_new_array(DecompileContext& ctx, long count) {
    return static_cast<T*>(tracked_malloc(ctx, count * static_cast<long>(sizeof(T))));
}
