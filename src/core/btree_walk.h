// Where a walk over one B+ tree stands; the context keeps one open across
// topics (the window map), so the record lives down here with it.
#pragma once

#include <cstdint>

struct BTreeWalk {
    int32_t pages_start;  // stream offset of page 0
    uint16_t page_size;
    int16_t next_page;    // -1 when the current leaf is the last
    long data_end;        // end of the tree's internal file: pages must lie before it
    long leaves_left;     // a leaf chain longer than this loops
};
