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
    // The first pass's start records grouped by sequence number, so that
    // moving a sequence's records down, or into another sequence, is one
    // step: groups form trees whose nodes add to the positions below them,
    // and a record's position is its stored one plus its path's sum. Each
    // sequence number names the root of its records' group.
    int32_t* group_of_sequence;  // tracked, 65536 entries by the number's 16 bits
    int32_t* group_parent;       // tracked, group_capacity entries (-1: a root)
    uint32_t* group_shift;
    uint16_t* group_sequence;  // a root's sequence number
    int32_t group_count;
    int32_t group_capacity;
    int32_t* start_group;  // tracked, start_capacity entries: each record's group
    int32_t starts_settled;  // records before it hold their final values
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
// Records a chain's start topic with its sequence number and position.
void browse_record_start(DecompileContext& ctx, int32_t start, int16_t sequence, int16_t position);
// Moves every start record of the sequence by places.
void browse_shift_sequence(DecompileContext& ctx, int16_t sequence, int32_t places);
// Moves every start record of one sequence into another, places down.
void browse_move_sequence(DecompileContext& ctx, int16_t from, int16_t into, int32_t places);
// Writes each start record's final sequence number and position.
void browse_settle_starts(DecompileContext& ctx);
