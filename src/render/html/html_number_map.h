// Numbers of the help file (context hashes, topic numbers) mapped to a topic
// or a topic offset, in open slots of one array: the site's pages look one
// up for every link they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace html_site {

struct NumberMap {
    struct Slot {
        uint32_t key = 0;
        bool used = false;
        int64_t value = 0;
    };
    std::vector<Slot> slots;  // a power of two of them, at most half full
    size_t count = 0;
};

// Room for `count` numbers without growing.
void number_map_reserve(NumberMap& map, size_t count);
// key -> value, unless key is there already: the first value stays.
void number_map_add(NumberMap& map, uint32_t key, int64_t value);
bool number_map_holds(const NumberMap& map, uint32_t key);
// The value of key; `missing` when the map does not hold it.
int64_t number_map_find(const NumberMap& map, uint32_t key, int64_t missing);

}  // namespace html_site
