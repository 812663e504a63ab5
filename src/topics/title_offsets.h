// Salvage: the topic offsets |TTLBTREE lists with each topic's title. After
// dropped records the characters they held are unknown, and a garbled record
// may count too many, so the offsets of the rest of their block would come
// out wrong; a topic header's title finds its offset again.
#pragma once

#include <cstdint>
#include <cstdio>

struct DecompileContext;
struct TopicWalk;

// Reads |TTLBTREE, when the file has one, into ctx.title_offsets.
void load_title_offsets(DecompileContext& ctx, std::FILE* file);
// The offset the table gives the topic header the walk just delivered: the
// first with its title from `from` (past the topic before it) to the end of
// its block, where the context table names a topic and not at `computed`;
// else `computed`.
uint32_t offset_by_title(const DecompileContext& ctx, const TopicWalk& walk, uint32_t computed, uint32_t from,
                         uint32_t block_end);
