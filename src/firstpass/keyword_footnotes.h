// Keyword footnotes (K and the other indexes) and window footnotes of topics.
#pragma once

#include <cstdint>
#include <cstdio>

struct DecompileContext;
struct MemoryFile;

// Writes the keyword footnotes of every keyword reference at or before the
// topic offset (called with non-decreasing offsets).
void write_keyword_footnotes(DecompileContext& ctx, MemoryFile* out, std::FILE* file, int32_t topic_offset);
// The topic's window number, or -1 (called with non-decreasing offsets).
int32_t topic_window_number(DecompileContext& ctx, std::FILE* file, int32_t topic_offset);
