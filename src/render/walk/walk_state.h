// What the record walk of the second pass knows at each record. The walk
// alone updates it; writers learn what they need from the events' details.
#pragma once

#include <cstdint>
#include <vector>

#include "core/decompile_context.h"
#include "render/walk/topic_events.h"
#include "topics/topic_records.h"

struct DecompileContext;
struct TopicWalk;

constexpr long first_topic_number = 16;

struct WalkState {
    uint32_t position = 12;     // topic position of the record being walked
    uint32_t topic_offset = 0;  // running topic offset; wraps like the format's 32 bits
    uint32_t range_start = 0;   // the record's character range; the start follows the text
    uint32_t range_end = 0;
    long topic_number = first_topic_number;  // the next topic's number, as the progress line counts
    int64_t non_scroll_end = -1;  // paragraphs before this position are in the non-scrolling region
    uint8_t record_type = 0;
    int16_t current_column = -1;
    int32_t next_embedded_picture = 1;
    // The text cursor: strings of the record's text part are taken in order.
    const char* text = nullptr;
    long text_size = 0;
    long text_used = 0;
    // Tab stops of the paragraph being read; the buffers only grow.
    std::vector<FormatTab> tabs;
};

// Twips from a measure as the help file stores it (the scale of |SYSTEM).
// The next string of the text part; empty strings once it is used up.
inline void next_text_string(WalkState& s, const char*& text, long& length) {
    if (s.text == nullptr || s.text_used >= s.text_size) {
        text = "";
        length = 0;
        return;
    }
    text = s.text + s.text_used;
    length = bounded_length(text, s.text_size - s.text_used);
    s.text_used += length + 1;
}
// Moves the character range on by count characters, no further than its end.
inline void advance_text_range(WalkState& s, uint32_t count) {
    const uint32_t room = static_cast<int32_t>(s.range_start) < static_cast<int32_t>(s.range_end)
                              ? s.range_end - s.range_start
                              : 0;
    s.range_start += count < room ? count : room;
}
// The picture a kind-1 reference means: the next one the first pass took
// from topic text; -1 (salvage only) when there is none left.
int32_t next_embedded_picture(DecompileContext& ctx, WalkState& state);
// The paragraph end that command 0x82 means here; false (the cursor
// overrun) when a table paragraph's end marker is cut.
bool paragraph_end_kind(const WalkState& state, HeadCursor& c, ParagraphEndKind& kind);
