#pragma once

#include <cstdint>

// A keyword reference held in the keyword window, sorted by topic offset.
struct KeywordReference {
    int32_t kind;  // 0 simple index, 1 multi-key index
    uint8_t letter;
    const char* keyword;  // in the keyword text pool
    int32_t topic_offset;
    int32_t length;  // of the keyword, so writing it needs no look ahead
};

// Every reference of the keyword indexes in index order, and the keywords
// they name (a keyword's text is at its offset in the keyword text pool).
struct KeywordOccurrence {
    int32_t topic_offset;
    int32_t keyword;
};

struct KeywordSource {
    int32_t kind;
    uint8_t letter;
    int64_t text;
    int32_t length;
};

// Open browse chain and browse start record.
struct BrowseChain {
    int32_t start;  // -1: free slot
    int32_t expected_next;
    int32_t expected_previous;
    int16_t sequence;
    int16_t head_position;
    int16_t tail_position;
};

struct BrowseStart {
    int32_t start;
    int16_t sequence;
    int16_t position;
};
