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

    // Salvage only: a walk that meets a broken page or a loop goes on with
    // the leaf pages it has not met yet, found by their headers.
    bool salvage;
    bool scanning;         // the chain broke: leaves are taken in page order
    int16_t root_page;
    int16_t level_count;
    int32_t page_count;
    int32_t scan_next;     // the next page the scan looks at
    const char* tree_name; // for the damage report
    uint8_t visited[4096]; // one bit per page number met
};
