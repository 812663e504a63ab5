// Context strings: the 32-bit hash the help file stores in their place, the
// table of names learned from the help file, and the way back from a hash
// to a name (a known one, a derived one, or a synthetic one).
#pragma once

#include <cstdint>

struct DecompileContext;

struct ContextName {
    char* name;  // copy in a chunk of name texts (a long one in a tracked block of its own)
    int32_t hash;
    bool derived;  // derived from text rather than read from the help file
};

// A slot of the indexes that find table entries by hash.
struct ContextNameSlot {
    int32_t hash;
    int32_t position;  // -1: free
    const char* name;  // the entry's name, so a lookup need not visit the table
};

uint32_t context_hash(const char* name);
// Between these two calls new names are appended and found through a hash
// index instead of being inserted in order, so a pass that learns thousands
// of names does not move the table's tail for each; the end sorts them in.
// Lookups and their results are the same either way.
void context_names_begin_batch(DecompileContext& ctx);
void context_names_end_batch(DecompileContext& ctx);
void add_context_name(DecompileContext& ctx, const char* name, bool derived);
// Never null: a known name or a synthetic one (valid until the next call).
const char* unhash(DecompileContext& ctx, uint32_t hash);
// The name recorded for the hash, or null: no synthetic fallback.
const char* known_context_name(const DecompileContext& ctx, uint32_t hash);
// Asks for the memory a lookup of the hash will read, so that a lookup
// soon after does not wait for it.
void prefetch_context_name(const DecompileContext& ctx, uint32_t hash);
// As unhash, warning when no topic has that context id.
const char* unhash_jump_target(DecompileContext& ctx, uint32_t hash);
// Derives names from text for the topic's context ids that have none.
void derive_context_names(DecompileContext& ctx, const char* text, int32_t topic_offset);
// A name made from text whose hash is the given one, written to output
// (at least 4096 bytes); false when none was found.
bool derive_context_name(DecompileContext& ctx, const char* text, uint32_t hash, char* output);
