// Names with a number each (the page names taken, the next suffix of each
// base name), in open slots of one array over one string of their letters:
// a page name is claimed for every topic.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

struct HtmlNameTable {
    struct Slot {
        uint64_t hash = 0;
        uint32_t at = 0, size = 0;  // of the name in `letters`
        long value = 0;
        bool used = false;
    };
    std::string letters;
    std::vector<Slot> slots = std::vector<Slot>(64);  // a power of two of them, at most half full
    size_t count = 0;
};

// The number of name; when the table lacks the name, it is added with
// `value` and `added` set. The reference holds until the next name is added.
long& html_name_number(HtmlNameTable& table, std::string_view name, long value, bool& added);
