// B+ trees: the directory of a help file and several of its internal files.
#include "help_builder.h"

#include <stdexcept>

namespace hlptest {
namespace {

struct PageRef {
    int number;
    Bytes first_key;  // smallest key in the page's subtree
};

// Cuts items into consecutive groups that fit `room` bytes and `max_items`
// (0 = no limit). Each group takes at least one item.
std::vector<std::vector<size_t>> group_items(const std::vector<size_t>& sizes, size_t room, int max_items)
{
    std::vector<std::vector<size_t>> groups(1);
    size_t used = 0;
    for (size_t i = 0; i < sizes.size(); ++i) {
        if (sizes[i] > room)
            throw std::invalid_argument("B+ tree entry larger than a page");
        auto& current = groups.back();
        bool full = used + sizes[i] > room ||
                    (max_items > 0 && current.size() == static_cast<size_t>(max_items));
        if (!current.empty() && full) {
            groups.emplace_back();
            used = 0;
        }
        groups.back().push_back(i);
        used += sizes[i];
    }
    return groups;
}

}  // namespace

Bytes build_btree(const std::vector<BTreeEntry>& sorted_entries, const BTreeOptions& options)
{
    const size_t page_size = options.page_size;
    if (page_size <= btree_field::leaf_header_size)
        throw std::invalid_argument("B+ tree page too small");
    if (options.structure.size() > 16)
        throw std::invalid_argument("B+ tree structure text longer than 16 bytes");

    std::vector<Bytes> pages;

    // Leaves, chained in key order.
    std::vector<size_t> sizes;
    for (const auto& e : sorted_entries)
        sizes.push_back(e.key.size() + e.value.size());
    const size_t leaf_room = page_size - btree_field::leaf_header_size;
    auto leaves = group_items(sizes, leaf_room, options.max_leaf_entries);
    std::vector<PageRef> level;
    for (size_t n = 0; n < leaves.size(); ++n) {
        ByteWriter page;
        size_t used = 0;
        for (size_t i : leaves[n])
            used += sizes[i];
        int number = static_cast<int>(n);
        page.u16(static_cast<uint16_t>(leaf_room - used))
            .u16(static_cast<uint16_t>(leaves[n].size()))
            .u16(static_cast<uint16_t>(n == 0 ? -1 : number - 1))
            .u16(static_cast<uint16_t>(n + 1 == leaves.size() ? -1 : number + 1));
        for (size_t i : leaves[n])
            page.bytes(sorted_entries[i].key).bytes(sorted_entries[i].value);
        page.zeros(page_size - page.size());
        pages.push_back(page.take());
        level.push_back({number, leaves[n].empty() ? Bytes{} : sorted_entries[leaves[n].front()].key});
    }

    // Index levels: each page's leftmost child goes into its header, every
    // further child becomes an entry keyed by that child's first key.
    int level_count = 1;
    const size_t index_room = page_size - btree_field::index_header_size;
    while (level.size() > 1) {
        std::vector<size_t> child_sizes;
        for (const auto& child : level)
            child_sizes.push_back(child.first_key.size() + 2);
        // The leftmost child costs no entry, so group the entry sizes of the
        // children after it: with a limit of k entries a page takes k + 1 children.
        std::vector<PageRef> upper;
        size_t next = 0;
        while (next < level.size()) {
            size_t first = next++;
            size_t used = 0;
            int entries = 0;
            while (next < level.size() && used + child_sizes[next] <= index_room &&
                   (options.max_index_entries == 0 || entries < options.max_index_entries)) {
                used += child_sizes[next++];
                ++entries;
            }
            if (child_sizes[first] > index_room)
                throw std::invalid_argument("B+ tree key larger than an index page");
            ByteWriter page;
            page.u16(static_cast<uint16_t>(index_room - used))
                .u16(static_cast<uint16_t>(entries))
                .u16(static_cast<uint16_t>(level[first].number));
            for (size_t c = first + 1; c < next; ++c)
                page.bytes(level[c].first_key).u16(static_cast<uint16_t>(level[c].number));
            page.zeros(page_size - page.size());
            upper.push_back({static_cast<int>(pages.size()), level[first].first_key});
            pages.push_back(page.take());
        }
        level = std::move(upper);
        ++level_count;
    }

    ByteWriter tree;
    Bytes structure(16, 0);
    std::copy(options.structure.begin(), options.structure.end(), structure.begin());
    tree.u16(options.magic)
        .u16(options.flags)
        .u16(options.page_size)
        .bytes(structure)
        .u16(0)   // reserved
        .u16(0)   // page splits
        .u16(static_cast<uint16_t>(level.front().number))
        .u16(0xFFFF)
        .u16(static_cast<uint16_t>(pages.size()))
        .u16(static_cast<uint16_t>(level_count))
        .u32(static_cast<uint32_t>(sorted_entries.size()));
    for (const auto& page : pages)
        tree.bytes(page);
    return tree.take();
}

size_t btree_page_offset(const Bytes& tree, int page)
{
    return btree_field::header_size + static_cast<size_t>(page) * get_u16(tree, btree_field::page_size);
}

}  // namespace hlptest
