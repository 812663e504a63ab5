// |CONTEXT (or |TOMAP in the oldest format), |CTXOMAP, [ALIAS], [MAP], and
// the guessing of context names from the keyword indexes.
#pragma once

#include <cstdint>
#include <cstdio>

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
void write_alias_section(DecompileContext& ctx, MemoryFile* project);
void write_map_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void guess_context_names(DecompileContext& ctx, std::FILE* file);
