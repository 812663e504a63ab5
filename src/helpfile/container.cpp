#include "helpfile/container.h"

#include <algorithm>
#include <cstring>

#include "core/tracked_allocator.h"
#include "helpfile/byte_stream.h"

namespace {

constexpr int tree_header_size = 38;
constexpr int index_header_size = 6;
constexpr int leaf_header_size = 8;
constexpr int internal_header_size = 9;
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
    if (count > page_size - leaf_header_size) fatal_error("B+ tree leaf with %d entries.\n", count);
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
    seek_page(file, pages_start, tree.root_page, tree.page_size, data_end, index_header_size);
    char key[name_limit];
    for (int level = 1; level < tree.level_count; ++level) {
        uint8_t index[index_header_size];
        my_fread(index_header_size, file, index);
        int16_t count = static_cast<int16_t>(get_le16(index + 2));
        int16_t child = static_cast<int16_t>(get_le16(index + 4));
        check_room(file, data_end, count, 2);
        for (int i = 0; i < count; ++i) {
            read_cstring(key, file, name_limit);
            if (std::strcmp(name, key) < 0) break;
            child = static_cast<int16_t>(read_word(file));
            check_inside(file, data_end);
        }
        seek_page(file, pages_start, child, tree.page_size, data_end, index_header_size);
    }
    uint8_t leaf[leaf_header_size];
    if (std::ftell(file) + leaf_header_size > data_end) fatal_error("B+ tree page lies outside its internal file.\n");
    my_fread(leaf_header_size, file, leaf);
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
    seek_page(file, walk.pages_start, tree.root_page, tree.page_size, walk.data_end, index_header_size);
    for (int level = 1; level < tree.level_count; ++level) {
        uint8_t index[index_header_size];
        my_fread(index_header_size, file, index);
        int16_t child = static_cast<int16_t>(get_le16(index + 4));
        seek_page(file, walk.pages_start, child, tree.page_size, walk.data_end, leaf_header_size);
    }
    long here = std::ftell(file);
    if (here + leaf_header_size > walk.data_end) fatal_error("B+ tree page lies outside its internal file.\n");
    uint8_t leaf[leaf_header_size];
    my_fread(leaf_header_size, file, leaf);
    walk.next_page = static_cast<int16_t>(get_le16(leaf + 6));
    --walk.leaves_left;
    return leaf_entry_count(leaf, walk.page_size);
}

int btree_next_leaf(BTreeWalk& walk, std::FILE* file) {
    if (walk.next_page == -1) return 0;
    if (--walk.leaves_left < 0) fatal_error("B+ tree leaf chain loops.\n");
    seek_page(file, walk.pages_start, walk.next_page, walk.page_size, walk.data_end, leaf_header_size);
    uint8_t leaf[leaf_header_size];
    my_fread(leaf_header_size, file, leaf);
    walk.next_page = static_cast<int16_t>(get_le16(leaf + 6));
    return leaf_entry_count(leaf, walk.page_size);
}
