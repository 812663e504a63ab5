#include "render/html/html_number_map.h"

namespace html_site {

namespace {

size_t home(uint32_t key, size_t slots) { return (key * 0x9E3779B1u) & (slots - 1); }

// The slot holding key, or the empty one where it would go.
size_t place_of(const NumberMap& map, uint32_t key) {
    const size_t mask = map.slots.size() - 1;
    size_t at = home(key, map.slots.size());
    while (map.slots[at].used && map.slots[at].key != key) at = (at + 1) & mask;
    return at;
}

}  // namespace

void number_map_reserve(NumberMap& map, size_t count) {
    size_t size = 16;
    while (size < 2 * count) size *= 2;
    if (size <= map.slots.size()) return;
    std::vector<NumberMap::Slot> old(size);
    old.swap(map.slots);
    for (const NumberMap::Slot& slot : old)
        if (slot.used) map.slots[place_of(map, slot.key)] = slot;
}

void number_map_add(NumberMap& map, uint32_t key, int64_t value) {
    number_map_reserve(map, map.count + 1);
    NumberMap::Slot& slot = map.slots[place_of(map, key)];
    if (slot.used) return;
    slot = {key, true, value};
    ++map.count;
}

bool number_map_holds(const NumberMap& map, uint32_t key) {
    return !map.slots.empty() && map.slots[place_of(map, key)].used;
}

int64_t number_map_find(const NumberMap& map, uint32_t key, int64_t missing) {
    if (map.slots.empty()) return missing;
    const NumberMap::Slot& slot = map.slots[place_of(map, key)];
    return slot.used ? slot.value : missing;
}

}  // namespace html_site
