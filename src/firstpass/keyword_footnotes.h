// Keyword footnotes (K and the other indexes) and window footnotes of topics.
#pragma once

#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "core/decompile_context.h"
#include "firstpass/keyword_window.h"

struct MemoryFile;

// keyword_upper_bound once the last collection has reached the end.
constexpr int32_t keyword_window_end = INT32_MAX;

// Writes the keyword footnotes of every keyword reference at or before the
// topic offset (called with non-decreasing offsets). References name the
// offset or one of the topic starts (the topics begun since the last call:
// a topic's text starts in the next block when its header ends one, and a
// topic may have no text); one below the offset naming neither is damage.
// Without topic starts (null) the caller does not know where text starts,
// and no reference is taken for misplaced.
void write_keyword_footnotes(DecompileContext& ctx, MemoryFile* out, std::FILE* file, int32_t topic_offset,
                             const int32_t* topic_starts = nullptr, size_t topic_start_count = 0);
// False when write_keyword_footnotes would neither write nor collect for
// this offset, so the text conversion can skip the call for most characters.
inline bool keyword_footnotes_due(const DecompileContext& ctx, int32_t topic_offset) {
    if (ctx.keyword_cursor < ctx.keyword_count) return ctx.keyword_window[ctx.keyword_cursor].topic_offset <= topic_offset;
    return ctx.keyword_upper_bound != keyword_window_end;
}
// The keyword references no topic offset reached (after the walk: those
// naming places past the last topic); 0 when no keyword was asked for.
int64_t keyword_references_left(const DecompileContext& ctx);
// The topic's window number, or -1 (called with non-decreasing offsets).
int32_t topic_window_number(DecompileContext& ctx, std::FILE* file, int32_t topic_offset);
