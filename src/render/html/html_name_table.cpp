#include "render/html/html_name_table.h"

#include <functional>

namespace {

size_t place_of(const HtmlNameTable& table, std::string_view name, uint64_t hash) {
    const size_t mask = table.slots.size() - 1;
    size_t at = hash & mask;
    for (; table.slots[at].used; at = (at + 1) & mask) {
        const HtmlNameTable::Slot& slot = table.slots[at];
        if (slot.hash == hash && std::string_view(table.letters).substr(slot.at, slot.size) == name) break;
    }
    return at;
}

void grow(HtmlNameTable& table) {
    std::vector<HtmlNameTable::Slot> old(table.slots.size() * 2);
    old.swap(table.slots);
    const size_t mask = table.slots.size() - 1;
    for (const HtmlNameTable::Slot& slot : old) {
        if (!slot.used) continue;
        size_t at = slot.hash & mask;
        while (table.slots[at].used) at = (at + 1) & mask;
        table.slots[at] = slot;
    }
}

}  // namespace

long& html_name_number(HtmlNameTable& table, std::string_view name, long value, bool& added) {
    if (2 * (table.count + 1) > table.slots.size()) grow(table);
    const uint64_t hash = std::hash<std::string_view>{}(name);
    HtmlNameTable::Slot& slot = table.slots[place_of(table, name, hash)];
    added = !slot.used;
    if (added) {
        slot = {hash, static_cast<uint32_t>(table.letters.size()), static_cast<uint32_t>(name.size()), value, true};
        table.letters += name;
        ++table.count;
    }
    return slot.value;
}
