// The context-string hash, the table of known context names, and the way
// back from a hash to a name.
#include "project/context_hash.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "project/context_hash_tables.h"
#include "project/context_map.h"

using context_tables::digit_characters;
using context_tables::hash_base;

namespace {

constexpr int32_t name_table_step = 100;

// Slot of the hash in an index of table positions (open addressing, a power
// of two slots); its position is -1 when the hash is not there. The slots
// hold the hashes, so a probe reads no table entry.
// Where a probe for the hash starts in a table of `capacity` slots (a power
// of two); the prefetch asks for the same place.
uint32_t home_slot(uint32_t hash, int32_t capacity) {
    return (hash * 2654435761u) & static_cast<uint32_t>(capacity - 1);
}

uint32_t index_slot(const ContextNameSlot* index, int32_t capacity, int32_t hash) {
    const uint32_t mask = static_cast<uint32_t>(capacity - 1);
    uint32_t slot = home_slot(static_cast<uint32_t>(hash), capacity);
    while (index[slot].position >= 0 && index[slot].hash != hash) slot = (slot + 1) & mask;
    return slot;
}

ContextNameSlot* new_index(DecompileContext& ctx, int32_t capacity) {
    ContextNameSlot* index = tracked_new_array<ContextNameSlot>(ctx, capacity);
    for (int32_t i = 0; i < capacity; ++i) index[i] = ContextNameSlot{0, -1, nullptr};
    return index;
}

uint32_t batch_slot(const DecompileContext& ctx, int32_t hash) {
    return index_slot(ctx.context_batch_index, ctx.context_batch_capacity, hash);
}

// Lookups of the sorted entries go through a hash index: one or two cache
// misses instead of a binary search's dozen on a large table. A batch only
// appends, so the index stays valid through it and is rebuilt when the
// batch is sorted in; an insertion outside a batch moves entries, so it
// drops the index and lookups search again.
void drop_lookup_index(DecompileContext& ctx) {
    if (ctx.context_lookup_index == nullptr) return;
    tracked_free(ctx, ctx.context_lookup_index);
    ctx.context_lookup_index = nullptr;
    ctx.context_lookup_capacity = 0;
}

void build_lookup_index(DecompileContext& ctx) {
    drop_lookup_index(ctx);
    int32_t capacity = 1024;
    while (capacity < 2 * int64_t(ctx.context_name_count)) capacity *= 2;
    ctx.context_lookup_index = new_index(ctx, capacity);
    ctx.context_lookup_capacity = capacity;
    for (int32_t i = 0; i < ctx.context_name_count; ++i) {
        const int32_t hash = ctx.context_names[i].hash;
        ctx.context_lookup_index[index_slot(ctx.context_lookup_index, capacity, hash)] =
            ContextNameSlot{hash, i, ctx.context_names[i].name};
    }
}

// The index slot of the entry with the hash, or null when there is no
// index to ask or the entry is not there (search_names then decides).
const ContextNameSlot* indexed_slot(const DecompileContext& ctx, int32_t hash) {
    if (ctx.context_lookup_index == nullptr) return nullptr;
    const ContextNameSlot* slot =
        &ctx.context_lookup_index[index_slot(ctx.context_lookup_index, ctx.context_lookup_capacity, hash)];
    if (slot->position >= 0 || ctx.context_batch_index == nullptr) return slot;
    return &ctx.context_batch_index[batch_slot(ctx, hash)];
}

// Index of the entry with the hash, or -1 with the sorted insertion point
// stored in *insert_at. During a batch (which always has the lookup index)
// the entries behind the sorted part are found through the batch index, and
// insertions go behind it, so no insertion point is needed.
int32_t search_names(const DecompileContext& ctx, int32_t hash, int32_t* insert_at) {
    if (ctx.context_lookup_index && (insert_at == nullptr || ctx.context_batch_index)) {
        if (insert_at) *insert_at = ctx.context_name_count;
        const int32_t found =
            ctx.context_lookup_index[index_slot(ctx.context_lookup_index, ctx.context_lookup_capacity, hash)].position;
        if (found >= 0 || ctx.context_batch_index == nullptr) return found;
        return ctx.context_batch_index[batch_slot(ctx, hash)].position;
    }
    // Outside a batch, without the lookup index or to find where to insert.
    const int32_t sorted = ctx.context_name_count;
    int32_t low = 0, high = sorted;
    while (low < high) {
        int32_t middle = low + (high - low) / 2;
        if (ctx.context_names[middle].hash < hash) low = middle + 1;
        else high = middle;
    }
    if (insert_at) *insert_at = low;
    return low < sorted && ctx.context_names[low].hash == hash ? low : -1;
}

void grow_batch_index(DecompileContext& ctx) {
    const int32_t capacity = ctx.context_batch_capacity ? 2 * ctx.context_batch_capacity : 1024;
    tracked_free(ctx, ctx.context_batch_index);
    ctx.context_batch_index = new_index(ctx, capacity);
    ctx.context_batch_capacity = capacity;
    for (int32_t i = ctx.context_names_sorted; i < ctx.context_name_count; ++i) {
        const int32_t hash = ctx.context_names[i].hash;
        ctx.context_batch_index[batch_slot(ctx, hash)] = ContextNameSlot{hash, i, ctx.context_names[i].name};
    }
}

// Case-insensitive for ASCII letters only, whatever the locale.
bool same_name(const char* a, const char* b) {
    auto fold = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
    for (; *a && *b; ++a, ++b)
        if (fold(static_cast<unsigned char>(*a)) != fold(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// A copy of the name in the current chunk of name texts (a new chunk when
// it is full; a long name gets a block of its own).
char* copy_name(DecompileContext& ctx, const char* name) {
    constexpr long chunk_size = 64 * 1024;
    const long size = static_cast<long>(std::strlen(name)) + 1;
    if (size > chunk_size / 4) return tracked_strdup(ctx, name);
    if (size > ctx.context_name_chunk_left) {
        ctx.context_name_chunk = static_cast<char*>(tracked_malloc(ctx, chunk_size));
        ctx.context_name_chunk_left = chunk_size;
    }
    char* copy = ctx.context_name_chunk;
    std::memcpy(copy, name, static_cast<size_t>(size));
    ctx.context_name_chunk += size;
    ctx.context_name_chunk_left -= size;
    return copy;
}

void insert_name(DecompileContext& ctx, int32_t at, const char* name, int32_t hash, bool derived) {
    if (ctx.context_name_count == ctx.context_name_capacity) {
        // Doubling: a large table must not be copied again every few
        // hundred names.
        const int32_t capacity = std::max(name_table_step, 2 * ctx.context_name_capacity);
        const long size = capacity * static_cast<long>(sizeof(ContextName));
        ctx.context_names = static_cast<ContextName*>(tracked_realloc(ctx, ctx.context_names, size));
        ctx.context_name_capacity = capacity;
    }
    // The copy is made before the tail moves, so a failing allocation leaves
    // the table intact.
    char* copy = copy_name(ctx, name);
    if (ctx.context_batch_index) {
        // Behind the sorted part until the batch ends; the index finds it.
        if (2 * (ctx.context_name_count - ctx.context_names_sorted + 1) > ctx.context_batch_capacity)
            grow_batch_index(ctx);
        at = ctx.context_name_count;
        ctx.context_batch_index[batch_slot(ctx, hash)] = ContextNameSlot{hash, at, copy};
    } else {
        drop_lookup_index(ctx);
        std::memmove(ctx.context_names + at + 1, ctx.context_names + at,
                     static_cast<size_t>(ctx.context_name_count - at) * sizeof(ContextName));
    }
    ctx.context_names[at] = ContextName{copy, hash, derived};
    ++ctx.context_name_count;
    if (derived) ++ctx.derived_count;
}

// The synthetic name for n in base 43, right-aligned in the buffer; null
// when one of its digits has no character.
const char* spell_base43(DecompileContext& ctx, uint64_t n) {
    char* end = ctx.synthetic_name + sizeof ctx.synthetic_name - 1;
    char* p = end;
    *p = '\0';
    do {
        char c = digit_characters[n % hash_base];
        if (c == '\0') return nullptr;
        *--p = c;
        n /= hash_base;
    } while (n != 0 && p > ctx.synthetic_name);
    return n == 0 ? p : nullptr;
}

uint32_t jump_target_slot(const uint32_t* slots, int32_t capacity, uint32_t hash) {
    const uint32_t mask = static_cast<uint32_t>(capacity - 1);
    uint32_t slot = home_slot(hash, capacity);
    while (slots[slot] != 0 && slots[slot] != hash) slot = (slot + 1) & mask;
    return slot;
}

// A set rather than a sorted array: one probe (one cache miss) per hotspot
// instead of a binary search's dozen.
bool is_jump_target(DecompileContext& ctx, uint32_t hash) {
    if (ctx.context_count <= 0) return false;
    if (ctx.jump_target_hashes == nullptr) {
        int32_t capacity = 16;
        while (capacity < 2 * int64_t(ctx.context_count)) capacity *= 2;
        uint32_t* slots = tracked_new_array<uint32_t>(ctx, capacity);
        std::memset(slots, 0, static_cast<size_t>(capacity) * sizeof(uint32_t));
        for (int32_t i = 0; i < ctx.context_count; ++i) {
            const uint32_t h = ctx.contexts[i].hash;
            if (h == 0) ctx.jump_target_zero = true;
            else slots[jump_target_slot(slots, capacity, h)] = h;
        }
        ctx.jump_target_hashes = slots;
        ctx.jump_target_capacity = capacity;
    }
    if (hash == 0) return ctx.jump_target_zero;
    return ctx.jump_target_hashes[jump_target_slot(ctx.jump_target_hashes, ctx.jump_target_capacity, hash)] == hash;
}

}  // namespace

void context_names_begin_batch(DecompileContext& ctx) {
    if (ctx.context_batch_index) return;
    ctx.context_names_sorted = ctx.context_name_count;
    ctx.context_batch_capacity = 0;
    grow_batch_index(ctx);
    if (ctx.context_lookup_index == nullptr) build_lookup_index(ctx);
}

void context_names_end_batch(DecompileContext& ctx) {
    if (ctx.context_batch_index == nullptr) return;
    auto by_hash = [](const ContextName& a, const ContextName& b) { return a.hash < b.hash; };
    ContextName* names = ctx.context_names;
    std::sort(names + ctx.context_names_sorted, names + ctx.context_name_count, by_hash);
    std::inplace_merge(names, names + ctx.context_names_sorted, names + ctx.context_name_count, by_hash);
    tracked_free(ctx, ctx.context_batch_index);
    ctx.context_batch_index = nullptr;
    ctx.context_batch_capacity = 0;
    ctx.context_names_sorted = ctx.context_name_count;
    build_lookup_index(ctx);
}

uint32_t context_hash(const char* name) {
    if (*name == '\0') return 1;
    return context_tables::running_hash(0, name);
}

void add_context_name(DecompileContext& ctx, const char* name, bool derived) {
    int32_t hash = static_cast<int32_t>(context_hash(name));
    int32_t at = 0;
    int32_t found = search_names(ctx, hash, &at);
    if (found < 0) {
        insert_name(ctx, at, name, hash, derived);
        return;
    }
    ContextName& entry = ctx.context_names[found];
    if (derived) return;  // a derived name never replaces or confirms anything
    if (!same_name(entry.name, name)) {
        if (!entry.derived) {
            std::fprintf(stderr, "ContextId %s already defined as %s\n", name, entry.name);
            return;
        }
        // The replaced text stays in its chunk until the decompile ends.
        entry.name = copy_name(ctx, name);
        // The indexes hold the name too.
        auto rename = [&](ContextNameSlot& slot) {
            if (slot.position == found) slot.name = entry.name;
        };
        if (ctx.context_lookup_index)
            rename(ctx.context_lookup_index[index_slot(ctx.context_lookup_index, ctx.context_lookup_capacity, hash)]);
        if (ctx.context_batch_index) rename(ctx.context_batch_index[batch_slot(ctx, hash)]);
    }
    if (entry.derived) {
        entry.derived = false;
        --ctx.derived_count;
    }
}

const char* known_context_name(const DecompileContext& ctx, uint32_t hash) {
    if (const ContextNameSlot* slot = indexed_slot(ctx, static_cast<int32_t>(hash))) {
        return slot->position >= 0 ? slot->name : nullptr;
    }
    int32_t found = search_names(ctx, static_cast<int32_t>(hash), nullptr);
    return found < 0 ? nullptr : ctx.context_names[found].name;
}

void prefetch_context_name(const DecompileContext& ctx, uint32_t hash) {
    if (ctx.context_lookup_index != nullptr) {
        __builtin_prefetch(&ctx.context_lookup_index[home_slot(hash, ctx.context_lookup_capacity)]);
    }
    if (ctx.jump_target_hashes != nullptr) {
        __builtin_prefetch(&ctx.jump_target_hashes[home_slot(hash, ctx.jump_target_capacity)]);
    }
}

const char* unhash(DecompileContext& ctx, uint32_t hash) {
    if (const char* name = known_context_name(ctx, hash)) return name;
    // Any of the numbers congruent to the hash will do: the first one whose
    // base-43 digits all have characters spells a name with that hash.
    for (uint64_t i = 0; i < hash_base; ++i) {
        if (const char* name = spell_base43(ctx, (i << 32) + hash)) return name;
    }
    fatal_error("Can not find a matching string for hash value %08lx", static_cast<unsigned long>(hash));
}

const char* unhash_jump_target(DecompileContext& ctx, uint32_t hash) {
    const char* name = unhash(ctx, hash);
    if (!is_jump_target(ctx, hash)) std::printf("Help Compiler will issue Warning 4113: Unresolved jump or popup '%s'\n", name);
    return name;
}
