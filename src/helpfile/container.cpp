#include "helpfile/container.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "core/tracked_allocator.h"
#include "helpfile/byte_stream.h"

namespace {

constexpr int max_levels = 16;
constexpr long name_limit = 19;  // internal file names hold at most 18 characters

struct TreeHeader {
    uint16_t page_size;
    int16_t root_page;
    int16_t level_count;
    int32_t total_entries;
};

TreeHeader read_tree_header(std::FILE* file) {
    uint8_t raw[tree_header_size];
    my_fread(tree_header_size, file, raw);
    TreeHeader header;
    header.page_size = get_le16(raw + 4);
    header.root_page = static_cast<int16_t>(get_le16(raw + 26));
    header.level_count = static_cast<int16_t>(get_le16(raw + 32));
    header.total_entries = static_cast<int32_t>(get_le32(raw + 34));
    // With 2-byte page numbers and at least two children per index entry no
    // tree is deeper than this; more levels only mean a damaged header.
    if (header.level_count > max_levels) fatal_error("B+ tree with %d levels.\n", header.level_count);
    return header;
}

// Seeks to a page, refusing pages whose header would lie outside the tree.
void seek_page(std::FILE* file, long pages_start, int16_t page, uint16_t page_size, long data_end, int header) {
    long offset = pages_start + long(page) * long(page_size);
    if (page < 0 || page_size < header || offset + header > data_end) {
        fatal_error("B+ tree page %d lies outside its internal file.\n", page);
    }
    std::fseek(file, offset, SEEK_SET);
}

void check_inside(std::FILE* file, long data_end) {
    if (std::ftell(file) > data_end) fatal_error("B+ tree entries run past their internal file.\n");
}

// Reads past the end of the file do not move the position, so a page must
// have room for its claimed entries before they are read: at least a NUL
// and the entry's value each.
void check_room(std::FILE* file, long data_end, int count, long value_size) {
    if (count > 0 && count > (data_end - std::ftell(file)) / (1 + value_size)) {
        fatal_error("B+ tree entries run past their internal file.\n");
    }
}

// Every entry takes at least one byte of its page, so a leaf claiming more
// entries than its page has bytes is damaged; reading them would only go on
// past the page (and past the end of the file) thousands of times over.
int leaf_entry_count(const uint8_t* leaf, uint16_t page_size) {
    int count = static_cast<int16_t>(get_le16(leaf + 2));
    if (count > page_size - tree_leaf_header_size) fatal_error("B+ tree leaf with %d entries.\n", count);
    return count;
}

}  // namespace

bool find_internal_file(std::FILE* file, long* length, const char* name) {
    uint8_t raw[16];
    std::fseek(file, 0, SEEK_SET);
    my_fread(16, file, raw);
    if (get_le32(raw) != help_file_magic) return false;
    std::fseek(file, static_cast<long>(get_le32(raw + 4)), SEEK_SET);
    uint8_t internal[internal_header_size];
    my_fread(internal_header_size, file, internal);
    long used = static_cast<long>(get_le32(internal + 4));
    if (name == nullptr) {
        if (length) *length = used;
        return true;
    }
    long data_start = std::ftell(file);
    // A directory claiming more than the help file holds ends with the file.
    long data_end = data_start + std::min(used < 0 ? 0 : used, bytes_left_in_file(file));
    TreeHeader tree = read_tree_header(file);
    long pages_start = std::ftell(file);
    seek_page(file, pages_start, tree.root_page, tree.page_size, data_end, tree_index_header_size);
    char key[name_limit];
    for (int level = 1; level < tree.level_count; ++level) {
        uint8_t index[tree_index_header_size];
        my_fread(tree_index_header_size, file, index);
        int16_t count = static_cast<int16_t>(get_le16(index + 2));
        int16_t child = static_cast<int16_t>(get_le16(index + 4));
        check_room(file, data_end, count, 2);
        for (int i = 0; i < count; ++i) {
            read_cstring(key, file, name_limit);
            if (std::strcmp(name, key) < 0) break;
            child = static_cast<int16_t>(read_word(file));
            check_inside(file, data_end);
        }
        seek_page(file, pages_start, child, tree.page_size, data_end, tree_index_header_size);
    }
    uint8_t leaf[tree_leaf_header_size];
    if (std::ftell(file) + tree_leaf_header_size > data_end) fatal_error("B+ tree page lies outside its internal file.\n");
    my_fread(tree_leaf_header_size, file, leaf);
    int16_t count = static_cast<int16_t>(get_le16(leaf + 2));
    check_room(file, data_end, count, 4);
    for (int i = 0; i < count; ++i) {
        read_cstring(key, file, name_limit);
        uint32_t offset = read_dword(file);
        check_inside(file, data_end);
        if (std::strcmp(name, key) == 0) {
            std::fseek(file, static_cast<long>(offset), SEEK_SET);
            my_fread(internal_header_size, file, internal);
            if (length) *length = static_cast<long>(get_le32(internal + 4));
            return true;
        }
    }
    return false;
}

int btree_first_leaf(BTreeWalk& walk, std::FILE* file, long* total, long data_length) {
    walk.salvage = false;
    long start = std::ftell(file);
    TreeHeader tree = read_tree_header(file);
    if (total) *total = tree.total_entries;
    if (tree.total_entries == 0) return 0;
    walk.pages_start = static_cast<int32_t>(std::ftell(file));
    walk.page_size = tree.page_size;
    walk.data_end = start + (data_length < 0 ? 0 : data_length);
    // However long the internal file claims to be, its pages end with the
    // help file; this also bounds the leaf count below by the input's size.
    walk.data_end = std::min(walk.data_end, std::ftell(file) + bytes_left_in_file(file));
    // No chain can visit more leaves than the file has pages.
    walk.leaves_left = tree.page_size ? (walk.data_end - walk.pages_start) / tree.page_size + 1 : 1;
    seek_page(file, walk.pages_start, tree.root_page, tree.page_size, walk.data_end, tree_index_header_size);
    for (int level = 1; level < tree.level_count; ++level) {
        uint8_t index[tree_index_header_size];
        my_fread(tree_index_header_size, file, index);
        int16_t child = static_cast<int16_t>(get_le16(index + 4));
        seek_page(file, walk.pages_start, child, tree.page_size, walk.data_end, tree_leaf_header_size);
    }
    long here = std::ftell(file);
    if (here + tree_leaf_header_size > walk.data_end) fatal_error("B+ tree page lies outside its internal file.\n");
    uint8_t leaf[tree_leaf_header_size];
    my_fread(tree_leaf_header_size, file, leaf);
    walk.next_page = static_cast<int16_t>(get_le16(leaf + 6));
    --walk.leaves_left;
    return leaf_entry_count(leaf, walk.page_size);
}

int btree_next_leaf(BTreeWalk& walk, std::FILE* file) {
    if (walk.next_page == -1) return 0;
    if (--walk.leaves_left < 0) fatal_error("B+ tree leaf chain loops.\n");
    seek_page(file, walk.pages_start, walk.next_page, walk.page_size, walk.data_end, tree_leaf_header_size);
    uint8_t leaf[tree_leaf_header_size];
    my_fread(tree_leaf_header_size, file, leaf);
    walk.next_page = static_cast<int16_t>(get_le16(leaf + 6));
    return leaf_entry_count(leaf, walk.page_size);
}

namespace {

bool page_met(const BTreeWalk& walk, long page) { return (walk.visited[page >> 3] >> (page & 7)) & 1; }
void meet_page(BTreeWalk& walk, long page) { walk.visited[page >> 3] |= uint8_t(1u << (page & 7)); }

long page_offset(const BTreeWalk& walk, long page) { return walk.pages_start + page * long(walk.page_size); }

// A page number inside the tree whose header can be read.
bool page_inside(const BTreeWalk& walk, long page, int header) {
    return page >= 0 && page < walk.page_count && page_offset(walk, page) + header <= walk.data_end;
}

bool link_inside(const BTreeWalk& walk, int16_t page) { return page == -1 || (page >= 0 && page < walk.page_count); }

// Reads the leaf header of a page; true with the count and the stream at
// the first entry when it looks like a leaf that holds entries. A page the
// scan meets must also link only to pages of the tree; one the chain names
// is read even when its own next link is broken (the walk notes that next).
bool read_leaf(BTreeWalk& walk, std::FILE* file, long page, int* count, int16_t* next, bool scanned) {
    meet_page(walk, page);
    std::fseek(file, page_offset(walk, page), SEEK_SET);
    uint8_t leaf[tree_leaf_header_size];
    if (std::fread(leaf, 1, tree_leaf_header_size, file) != tree_leaf_header_size) return false;
    *count = static_cast<int16_t>(get_le16(leaf + 2));
    *next = static_cast<int16_t>(get_le16(leaf + 6));
    const int16_t previous = static_cast<int16_t>(get_le16(leaf + 4));
    // Every entry takes at least two bytes (a key byte and a value byte).
    const bool counted = *count > 0 && *count <= (walk.page_size - tree_leaf_header_size) / 2;
    return counted && (!scanned || (link_inside(walk, previous) && link_inside(walk, *next)));
}

// The next page in page order that looks like a leaf not met yet. Only in
// trees of at most two levels are all pages but the root leaves.
int scan_for_leaf(BTreeWalk& walk, std::FILE* file) {
    if (walk.level_count > 2) return 0;
    while (walk.scan_next < walk.page_count) {
        const long page = walk.scan_next++;
        if (page_met(walk, page) || (walk.level_count == 2 && page == walk.root_page)) continue;
        if (!page_inside(walk, page, tree_leaf_header_size)) return 0;
        int count = 0;
        int16_t next = -1;
        if (read_leaf(walk, file, page, &count, &next, true)) {
            walk.next_page = next;
            return count;
        }
    }
    return 0;
}

// Takes the leaf the chain names next, or, when the chain is broken or
// loops, goes on with the scan.
int salvage_next_leaf(DecompileContext& ctx, BTreeWalk& walk, std::FILE* file) {
    for (;;) {
        if (walk.scanning) {
            if (walk.next_page == -1 || !page_inside(walk, walk.next_page, tree_leaf_header_size) ||
                page_met(walk, walk.next_page)) {
                return scan_for_leaf(walk, file);
            }
        } else {
            if (walk.next_page == -1) return 0;
            if (!page_inside(walk, walk.next_page, tree_leaf_header_size) || page_met(walk, walk.next_page)) {
                note_damage(ctx, walk.tree_name, -1,
                            "B+ tree leaf chain broken at page %d; the leaves not yet read are taken by their headers",
                            walk.next_page);
                walk.scanning = true;
                walk.next_page = -1;
                continue;
            }
        }
        const long page = walk.next_page;
        int count = 0;
        int16_t next = -1;
        if (read_leaf(walk, file, page, &count, &next, walk.scanning)) {
            walk.next_page = next;
            return count;
        }
        if (!walk.scanning) {
            note_damage(ctx, walk.tree_name, page_offset(walk, page) - walk.pages_start,
                        "B+ tree leaf page %ld damaged; skipped", page);
            walk.scanning = true;
        }
        walk.next_page = -1;
    }
}

// A tree whose header is lost: its leaves are still linked one to the next.
// At page size `size`, how many pages look like leaves whose next leaf
// links back to them.
long linked_leaves(BTreeWalk& walk, std::FILE* file, uint16_t size) {
    walk.page_size = size;
    walk.page_count = static_cast<int32_t>(std::min<long>((walk.data_end - walk.pages_start) / size, 0x8000));
    std::vector<int32_t> previous(static_cast<size_t>(walk.page_count), -2), next(previous.size(), -2);
    for (long page = 0; page < walk.page_count; ++page) {
        std::fseek(file, page_offset(walk, page), SEEK_SET);
        uint8_t leaf[tree_leaf_header_size];
        if (std::fread(leaf, 1, tree_leaf_header_size, file) != tree_leaf_header_size) break;
        const int count = static_cast<int16_t>(get_le16(leaf + 2));
        const int16_t after = static_cast<int16_t>(get_le16(leaf + 6));
        const int16_t before = static_cast<int16_t>(get_le16(leaf + 4));
        if (count <= 0 || count > (size - tree_leaf_header_size) / 2 || !link_inside(walk, before) || !link_inside(walk, after))
            continue;
        previous[size_t(page)] = before;
        next[size_t(page)] = after;
    }
    long linked = 0;
    for (long page = 0; page < walk.page_count; ++page) {
        const int32_t after = next[size_t(page)];
        linked += after >= 0 && previous[size_t(after)] == page;
    }
    // Pages that look like leaves but link up with none (index pages, most
    // likely) are left out of the scan; a lone leaf links to no other.
    std::memset(walk.visited, 0, sizeof walk.visited);
    for (long page = 0; page < walk.page_count; ++page) {
        const int32_t after = next[size_t(page)], before = previous[size_t(page)];
        const bool lone = after == -1 && before == -1;
        const bool joined = (after >= 0 && previous[size_t(after)] == page) || (before >= 0 && next[size_t(before)] == page);
        if (after != -2 && !lone && !joined) meet_page(walk, page);
    }
    return linked;
}

// The page size the leaves link up best at, the one the header gives
// first; false when no leaves link up at any.
bool recover_layout(BTreeWalk& walk, std::FILE* file, uint16_t stored_size) {
    uint16_t best = 0;
    long most = 0;
    const bool stored_plausible = stored_size >= 256 && stored_size <= 16384 && (stored_size & (stored_size - 1)) == 0;
    for (const uint16_t size : {stored_plausible ? stored_size : uint16_t(0), uint16_t(512), uint16_t(1024),
                                uint16_t(2048), uint16_t(4096), uint16_t(8192)}) {
        if (size == 0 || (walk.data_end - walk.pages_start) / size == 0) continue;
        const long linked = linked_leaves(walk, file, size);
        if (linked > most) most = linked, best = size;
    }
    if (best == 0) return false;
    linked_leaves(walk, file, best);
    walk.level_count = 2;  // so that the scan takes every page but the excluded ones
    walk.root_page = -1;
    walk.scanning = true;
    walk.scan_next = 0;
    return true;
}

}  // namespace

int btree_first_leaf(DecompileContext& ctx, BTreeWalk& walk, std::FILE* file, long* total, long data_length,
                     const char* tree_name) {
    if (!ctx.salvage) return btree_first_leaf(walk, file, total, data_length);
    const long start = std::ftell(file);
    uint8_t raw[tree_header_size];
    if (total) *total = 0;
    if (data_length < tree_header_size || std::fread(raw, 1, tree_header_size, file) != tree_header_size) {
        note_damage(ctx, tree_name, 0, "B+ tree header cut off; the tree is empty");
        return 0;
    }
    const int32_t entries = static_cast<int32_t>(get_le32(raw + 34));
    if (total) *total = entries;
    // A tree of no entries has none to read, unless its header is zeroed.
    if (entries == 0 && get_le16(raw) == tree_magic) return 0;
    walk.pages_start = static_cast<int32_t>(start + tree_header_size);
    walk.page_size = get_le16(raw + 4);
    walk.data_end = std::min(start + data_length, walk.pages_start + bytes_left_in_file(file));
    walk.leaves_left = 0;
    walk.salvage = true;
    walk.scanning = false;
    walk.root_page = static_cast<int16_t>(get_le16(raw + 26));
    walk.level_count = static_cast<int16_t>(get_le16(raw + 32));
    walk.tree_name = tree_name;
    walk.scan_next = 0;
    std::memset(walk.visited, 0, sizeof walk.visited);
    walk.page_count = 0;
    if (walk.page_size >= tree_leaf_header_size) {
        walk.page_count = static_cast<int32_t>(std::min<long>((walk.data_end - walk.pages_start) / walk.page_size, 0x8000));
    }
    if (walk.page_count == 0 || walk.level_count < 1 || walk.level_count > max_levels || entries == 0) {
        if (!recover_layout(walk, file, walk.page_size)) {
            note_damage(ctx, tree_name, 0, "B+ tree header damaged; the tree is empty");
            return 0;
        }
        note_damage(ctx, tree_name, 0, "B+ tree header damaged; its leaves are taken by their headers, in pages of %u bytes",
                    unsigned(walk.page_size));
        if (total) *total = -1;
        return scan_for_leaf(walk, file);
    }
    // Down the leftmost children to the first leaf.
    long page = walk.root_page;
    for (int level = 1; level < walk.level_count; ++level) {
        if (!page_inside(walk, page, tree_index_header_size) || page_met(walk, page)) break;
        meet_page(walk, page);
        std::fseek(file, page_offset(walk, page), SEEK_SET);
        uint8_t index[tree_index_header_size];
        if (std::fread(index, 1, tree_index_header_size, file) != tree_index_header_size) break;
        page = static_cast<int16_t>(get_le16(index + 4));
        if (level + 1 == walk.level_count) {
            walk.next_page = static_cast<int16_t>(page);
            return salvage_next_leaf(ctx, walk, file);
        }
    }
    if (walk.level_count == 1) {
        walk.next_page = static_cast<int16_t>(page);
        return salvage_next_leaf(ctx, walk, file);
    }
    note_damage(ctx, tree_name, -1, "B+ tree index pages damaged; the leaves are taken by their headers");
    walk.scanning = true;
    return scan_for_leaf(walk, file);
}

int btree_next_leaf(DecompileContext& ctx, BTreeWalk& walk, std::FILE* file) {
    if (!ctx.salvage || !walk.salvage) return btree_next_leaf(walk, file);
    return salvage_next_leaf(ctx, walk, file);
}
