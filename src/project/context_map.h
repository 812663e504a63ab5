// |CONTEXT (or |TOMAP in the oldest format), |CTXOMAP, [ALIAS], [MAP], and
// the guessing of context names from the keyword indexes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

struct DecompileContext;
struct MemoryFile;

struct ContextEntry {
    uint32_t hash;
    int32_t topic_offset;
};

// A topic offset by which keyword lists may refer to a topic, beside its own.
struct TopicOffsetAlias {
    int32_t topic_offset;
    int32_t other_offset;
};

void load_context_map(DecompileContext& ctx, std::FILE* file);
// The topic's name, or null.
const char* topic_offset_name(DecompileContext& ctx, int32_t topic_offset);
// Index of the first |CONTEXT entry of the topic, or -1.
int32_t first_context_of_topic(const DecompileContext& ctx, int32_t topic_offset);
// Indexes the loaded table (sorted by topic offset) by spans of topic
// offsets, so the lookups above search a few neighbouring entries instead
// of the whole table.
void index_context_topics(DecompileContext& ctx);
void write_alias_section(DecompileContext& ctx, MemoryFile* project);
// An entry of |CTXOMAP, the [MAP] section: a context number and its topic.
struct MapEntry {
    int32_t number;
    int32_t topic_offset;
};
// The entries |CTXOMAP holds (none when it is absent) and the count it
// claims; entries past the internal file's end are left out, and with
// within_help_file those past the help file's end too (else a short read
// is fatal).
long read_map_entries(DecompileContext& ctx, std::FILE* file, std::vector<MapEntry>& entries, bool within_help_file);
void write_map_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void guess_context_names(DecompileContext& ctx, std::FILE* file);

// Shared by the readers of the context map and the keyword indexes.

// The internal file at the stream position, length bytes, read whole into a
// tracked block. A length the help file cannot hold fails as the short read
// it would be, before anything is allocated; a length of 0 fails the
// allocation.
uint8_t* read_internal_file(DecompileContext& ctx, std::FILE* file, long length);

// Entries of a B-tree must end before data_end, the end of its internal file.
// A NUL-terminated string of at most limit - 1 characters; fatal when longer
// or when it does not end before data_end.
void read_entry_string(std::FILE* file, long data_end, char* destination, long limit);
// Fatal unless size more bytes of the entry lie before data_end.
void check_entry_room(std::FILE* file, long data_end, long size);

// A leaf entry of a keyword B-tree: the keyword, the count of its topic
// offsets and the byte offset of the first in the data file.
constexpr long keyword_limit = 512;  // keywords hold at most 511 characters
struct KeywordEntry {
    char keyword[keyword_limit];
    uint16_t count;
    int32_t offset;
};
// Reads the entry at the stream position; fatal when it runs past data_end.
void read_keyword_entry(std::FILE* file, long data_end, KeywordEntry& entry);
// Index of the entry's first topic offset in a data file of entry_count
// 4-byte entries; fatal "malformed keytopic file" when the list does not lie
// wholly inside it, or with salvage -1: a garbled count or place costs its
// keyword alone.
long keyword_list_start(const DecompileContext& ctx, const KeywordEntry& entry, long entry_count);

// Walks one keyword index: its data file read whole, then every keyword of
// its B-tree in leaf order, calling on_reference(keyword, topic_offset) for
// each of the keyword's topic offsets and on_leaf() after each leaf page.
// Does nothing when the data file is absent. With salvage, the keywords
// whose topic lists do not lie in the data file are passed over: their
// number, with the first of them in `first_lost` (when given).
template <typename OnReference, typename OnLeaf>
long walk_keyword_index(DecompileContext& ctx, std::FILE* file, const char* data_name, const char* tree_name,
                        OnReference on_reference, OnLeaf on_leaf, char* first_lost = nullptr);
#include "project/keyword_index_walk.h"

