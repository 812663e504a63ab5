#include "firstpass/browse_index.h"

#include <cstring>

#include "core/decompile_context.h"
#include "firstpass/keyword_window.h"

namespace {

constexpr int32_t never_used = -1;
constexpr int32_t removed = -2;

BrowseIndex& index_of(DecompileContext& ctx) {
    if (ctx.browse_index == nullptr) {
        ctx.browse_index = tracked_new_array<BrowseIndex>(ctx, 1);
        std::memset(ctx.browse_index, 0, sizeof(BrowseIndex));
    }
    return *ctx.browse_index;
}

uint32_t home(const BrowseKeyTable& table, int32_t key) {
    return (static_cast<uint32_t>(key) * 0x9E3779B1u) & static_cast<uint32_t>(table.capacity - 1);
}

void clear_table(BrowseKeyTable& table) {
    for (int32_t i = 0; i < table.capacity; ++i) table.slots[i] = {0, never_used};
    table.filled = 0;
}

void place(BrowseKeyTable& table, int32_t key, int32_t chain) {
    uint32_t at = home(table, key);
    while (table.slots[at].chain >= 0) at = (at + 1) & static_cast<uint32_t>(table.capacity - 1);
    if (table.slots[at].chain == never_used) ++table.filled;
    table.slots[at] = {key, chain};
}

// Grows (or only sweeps out removed marks) before the table is half full.
void make_room(DecompileContext& ctx, BrowseKeyTable& table, int32_t live) {
    if ((table.filled + 1) * 2 <= table.capacity) return;
    int32_t capacity = 64;
    while (capacity < (live + 1) * 4) capacity *= 2;
    BrowseKeyTable grown{tracked_new_array<BrowseKeySlot>(ctx, capacity), capacity, 0};
    clear_table(grown);
    for (int32_t i = 0; i < table.capacity; ++i) {
        if (table.slots[i].chain >= 0) place(grown, table.slots[i].key, table.slots[i].chain);
    }
    if (table.slots != nullptr) tracked_free(ctx, table.slots);
    table = grown;
}

// Only keys a topic can have are kept; lookups of others walk the chains.
void add(DecompileContext& ctx, BrowseKeyTable& table, int32_t key, int32_t chain) {
    if (key < 0) return;
    make_room(ctx, table, index_of(ctx).open_count);
    place(table, key, chain);
}

void remove(BrowseKeyTable& table, int32_t key, int32_t chain) {
    if (key < 0 || table.capacity == 0) return;
    for (uint32_t at = home(table, key); table.slots[at].chain != never_used;
         at = (at + 1) & static_cast<uint32_t>(table.capacity - 1)) {
        if (table.slots[at].key == key && table.slots[at].chain == chain) {
            table.slots[at].chain = removed;
            return;
        }
    }
}

int32_t lowest(const BrowseKeyTable& table, int32_t key) {
    int32_t best = -1;
    if (table.capacity == 0) return best;
    for (uint32_t at = home(table, key); table.slots[at].chain != never_used;
         at = (at + 1) & static_cast<uint32_t>(table.capacity - 1)) {
        const BrowseKeySlot& slot = table.slots[at];
        if (slot.chain >= 0 && slot.key == key && (best < 0 || slot.chain < best)) best = slot.chain;
    }
    return best;
}

int32_t slot_number(const DecompileContext& ctx, const BrowseChain* chain) {
    return static_cast<int32_t>(chain - ctx.browse_chains);
}

void push_free(DecompileContext& ctx, int32_t slot) {
    BrowseIndex& index = index_of(ctx);
    if (index.free_count == index.free_capacity) {
        index.free_capacity = index.free_capacity == 0 ? 64 : index.free_capacity * 2;
        index.free_slots = static_cast<int32_t*>(
            tracked_realloc(ctx, index.free_slots, index.free_capacity * long(sizeof(int32_t))));
    }
    int32_t* heap = index.free_slots;
    int32_t at = index.free_count++;
    for (; at > 0 && heap[(at - 1) / 2] > slot; at = (at - 1) / 2) heap[at] = heap[(at - 1) / 2];
    heap[at] = slot;
}

int32_t pop_free(BrowseIndex& index) {
    int32_t* heap = index.free_slots;
    const int32_t top = heap[0];
    const int32_t last = heap[--index.free_count];
    int32_t at = 0;
    for (;;) {
        int32_t child = 2 * at + 1;
        if (child >= index.free_count) break;
        if (child + 1 < index.free_count && heap[child + 1] < heap[child]) ++child;
        if (heap[child] >= last) break;
        heap[at] = heap[child];
        at = child;
    }
    heap[at] = last;
    return top;
}

// The original order of lookups: the lowest slot that waits for c or f.
BrowseChain* scan(DecompileContext& ctx, int32_t c, int32_t f, bool next) {
    for (int32_t i = 0; i < ctx.browse_chain_count; ++i) {
        BrowseChain& chain = ctx.browse_chains[i];
        const int32_t expected = next ? chain.expected_next : chain.expected_previous;
        if (chain.start != -1 && (expected == c || expected == f)) return &chain;
    }
    return nullptr;
}

BrowseChain* find(DecompileContext& ctx, int32_t c, int32_t f, bool next) {
    if (c < 0 || f < 0) return scan(ctx, c, f, next);
    const BrowseIndex& index = index_of(ctx);
    const BrowseKeyTable& table = next ? index.by_next : index.by_previous;
    const int32_t at_c = lowest(table, c);
    const int32_t at_f = f == c ? -1 : lowest(table, f);
    const int32_t best = at_c < 0 ? at_f : (at_f < 0 ? at_c : (at_c < at_f ? at_c : at_f));
    return best < 0 ? nullptr : &ctx.browse_chains[best];
}

}  // namespace

void browse_index_reset(DecompileContext& ctx) {
    BrowseIndex& index = index_of(ctx);
    ctx.browse_chain_count = 0;
    clear_table(index.by_next);
    clear_table(index.by_previous);
    index.free_count = 0;
    index.open_count = 0;
}

BrowseChain* browse_take_slot(DecompileContext& ctx) {
    BrowseIndex& index = index_of(ctx);
    if (index.free_count > 0) return &ctx.browse_chains[pop_free(index)];
    if (ctx.browse_chain_count == index.chain_capacity) {
        index.chain_capacity = index.chain_capacity == 0 ? 16 : index.chain_capacity * 2;
        ctx.browse_chains = static_cast<BrowseChain*>(
            tracked_realloc(ctx, ctx.browse_chains, index.chain_capacity * long(sizeof(BrowseChain))));
    }
    BrowseChain* slot = &ctx.browse_chains[ctx.browse_chain_count++];
    *slot = {-1, -1, -1, 0, 0, 0};
    return slot;
}

void browse_open(DecompileContext& ctx, BrowseChain* slot, const BrowseChain& value) {
    *slot = value;
    const int32_t number = slot_number(ctx, slot);
    if (slot->start == -1) return push_free(ctx, number);
    BrowseIndex& index = index_of(ctx);
    ++index.open_count;
    add(ctx, index.by_next, slot->expected_next, number);
    add(ctx, index.by_previous, slot->expected_previous, number);
}

void browse_set_next(DecompileContext& ctx, BrowseChain* chain, int32_t next) {
    BrowseIndex& index = index_of(ctx);
    remove(index.by_next, chain->expected_next, slot_number(ctx, chain));
    chain->expected_next = next;
    add(ctx, index.by_next, next, slot_number(ctx, chain));
}

void browse_set_previous(DecompileContext& ctx, BrowseChain* chain, int32_t previous) {
    BrowseIndex& index = index_of(ctx);
    remove(index.by_previous, chain->expected_previous, slot_number(ctx, chain));
    chain->expected_previous = previous;
    add(ctx, index.by_previous, previous, slot_number(ctx, chain));
}

void browse_free(DecompileContext& ctx, BrowseChain* chain) {
    if (chain->start == -1) return;
    BrowseIndex& index = index_of(ctx);
    const int32_t number = slot_number(ctx, chain);
    remove(index.by_next, chain->expected_next, number);
    remove(index.by_previous, chain->expected_previous, number);
    chain->start = -1;
    --index.open_count;
    push_free(ctx, number);
}

BrowseChain* browse_tail_chain(DecompileContext& ctx, int32_t c, int32_t f) { return find(ctx, c, f, true); }

BrowseChain* browse_head_chain(DecompileContext& ctx, int32_t c, int32_t f) { return find(ctx, c, f, false); }

namespace {

int32_t new_group(DecompileContext& ctx, BrowseIndex& index, uint16_t sequence) {
    if (index.group_count == index.group_capacity) {
        index.group_capacity = index.group_capacity == 0 ? 64 : index.group_capacity * 2;
        const long n = index.group_capacity;
        index.group_parent = static_cast<int32_t*>(tracked_realloc(ctx, index.group_parent, n * long(sizeof(int32_t))));
        index.group_shift = static_cast<uint32_t*>(tracked_realloc(ctx, index.group_shift, n * long(sizeof(uint32_t))));
        index.group_sequence =
            static_cast<uint16_t*>(tracked_realloc(ctx, index.group_sequence, n * long(sizeof(uint16_t))));
    }
    const int32_t group = index.group_count++;
    index.group_parent[group] = -1;
    index.group_shift[group] = 0;
    index.group_sequence[group] = sequence;
    return group;
}

// The root group of a sequence number's records (made on first use).
int32_t sequence_group(DecompileContext& ctx, int16_t sequence) {
    BrowseIndex& index = index_of(ctx);
    const uint16_t number = static_cast<uint16_t>(sequence);
    if (index.group_of_sequence == nullptr) {
        index.group_of_sequence = tracked_new_array<int32_t>(ctx, 65536);
        std::memset(index.group_of_sequence, 0xFF, 65536 * sizeof(int32_t));
    }
    if (index.group_of_sequence[number] < 0) index.group_of_sequence[number] = new_group(ctx, index, number);
    return index.group_of_sequence[number];
}

// The root above a group, with the sum of the shifts on the way (its own
// included); the path is made to point at the root straight away.
int32_t find_root(BrowseIndex& index, int32_t group, uint32_t& sum) {
    int32_t root = group;
    uint32_t total = 0;
    for (; index.group_parent[root] >= 0; root = index.group_parent[root]) total += index.group_shift[root];
    sum = total + index.group_shift[root];
    // Second walk: each node on the path takes the sum from it to below the root.
    for (int32_t at = group; index.group_parent[at] >= 0;) {
        const int32_t up = index.group_parent[at];
        const uint32_t own = index.group_shift[at];
        index.group_shift[at] = total;
        index.group_parent[at] = root;
        total -= own;
        at = up;
    }
    return root;
}

}  // namespace

void browse_record_start(DecompileContext& ctx, int32_t start, int16_t sequence, int16_t position) {
    BrowseIndex& index = index_of(ctx);
    if (ctx.browse_start_count == index.start_capacity) {
        index.start_capacity = index.start_capacity == 0 ? 16 : index.start_capacity * 2;
        const long n = index.start_capacity;
        ctx.browse_starts = static_cast<BrowseStart*>(tracked_realloc(ctx, ctx.browse_starts, n * long(sizeof(BrowseStart))));
        index.start_group = static_cast<int32_t*>(tracked_realloc(ctx, index.start_group, n * long(sizeof(int32_t))));
    }
    const int32_t group = sequence_group(ctx, sequence);
    uint32_t sum = 0;
    find_root(index, group, sum);
    // Stored less what the group adds, so that the record reads as given.
    const auto stored = static_cast<uint16_t>(static_cast<uint32_t>(position) - sum);
    index.start_group[ctx.browse_start_count] = group;
    ctx.browse_starts[ctx.browse_start_count++] = {start, sequence, static_cast<int16_t>(stored)};
}

void browse_shift_sequence(DecompileContext& ctx, int16_t sequence, int32_t places) {
    const int32_t group = sequence_group(ctx, sequence);  // may grow the arrays
    index_of(ctx).group_shift[group] += static_cast<uint32_t>(places);
}

void browse_move_sequence(DecompileContext& ctx, int16_t from, int16_t into, int32_t places) {
    BrowseIndex& index = index_of(ctx);
    const int32_t moved = sequence_group(ctx, from);
    const int32_t target = sequence_group(ctx, into);
    if (moved == target) return browse_shift_sequence(ctx, from, places);
    // Below the target's root, the moved records read the target's shift
    // as well: take it off theirs.
    index.group_shift[moved] += static_cast<uint32_t>(places) - index.group_shift[target];
    index.group_parent[moved] = target;
    // The number moved from starts a group of its own again.
    index.group_of_sequence[static_cast<uint16_t>(from)] = new_group(ctx, index, static_cast<uint16_t>(from));
}

void browse_settle_starts(DecompileContext& ctx) {
    BrowseIndex* index = ctx.browse_index;
    if (index == nullptr) return;
    for (int32_t i = index->starts_settled; i < ctx.browse_start_count; ++i) {
        uint32_t sum = 0;
        const int32_t root = find_root(*index, index->start_group[i], sum);
        BrowseStart& record = ctx.browse_starts[i];
        record.sequence = static_cast<int16_t>(index->group_sequence[root]);
        record.position = static_cast<int16_t>(static_cast<uint16_t>(record.position) + sum);
    }
    index->starts_settled = ctx.browse_start_count;
}
