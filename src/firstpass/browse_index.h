// The open browse chains found by the topic each end waits for. Both passes
// look a chain up for every topic with browse links, and a file may leave as
// many chains open as it has topics, so neither a lookup nor taking a free
// slot may walk the whole table.
#pragma once

#include <cstdint>

struct DecompileContext;
struct BrowseChain;

// (key, chain) pairs by open addressing; chain -1 marks a slot never used,
// -2 one whose pair was removed.
struct BrowseKeySlot {
    int32_t key;
    int32_t chain;
};

struct BrowseKeyTable {
    BrowseKeySlot* slots;  // tracked, capacity entries (a power of two)
    int32_t capacity;
    int32_t filled;  // pairs and removed marks
};

struct BrowseIndex {
    BrowseKeyTable by_next;
    BrowseKeyTable by_previous;
    int32_t* free_slots;  // tracked; a min-heap of free chain slots
    int32_t free_count;
    int32_t free_capacity;
    int32_t chain_capacity;  // entries the chain array holds
    int32_t start_capacity;  // entries the start record array holds
    int32_t open_count;      // chains whose start is set
    int32_t listed_open;     // "Open browse" lines printed so far
};

// Empties the open-chain table (its memory is kept).
void browse_index_reset(DecompileContext& ctx);
// A chain slot to fill: the lowest free one, or a new one at the end.
BrowseChain* browse_take_slot(DecompileContext& ctx);
// Fills the slot taken last (a start of -1 leaves it free).
void browse_open(DecompileContext& ctx, BrowseChain* slot, const BrowseChain& value);
void browse_set_next(DecompileContext& ctx, BrowseChain* chain, int32_t next);
void browse_set_previous(DecompileContext& ctx, BrowseChain* chain, int32_t previous);
// Frees an open chain's slot; a free one stays as it is.
void browse_free(DecompileContext& ctx, BrowseChain* chain);
// The open chain in the lowest slot whose expected next (previous) is c or f.
BrowseChain* browse_tail_chain(DecompileContext& ctx, int32_t c, int32_t f);
BrowseChain* browse_head_chain(DecompileContext& ctx, int32_t c, int32_t f);
// Room for one more start record.
void browse_reserve_start(DecompileContext& ctx);
