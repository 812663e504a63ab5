#include "keyword_references.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

namespace e2e {

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FilePtr open_help(const std::string& path) { return FilePtr(std::fopen(path.c_str(), "rb"), std::fclose); }

std::vector<uint8_t> read_internal(std::FILE* file, const std::string& name) {
    long length = 0;
    if (!find_internal_file(file, &length, name.c_str()) || length <= 0) return {};
    std::vector<uint8_t> data(static_cast<size_t>(length));
    if (std::fread(data.data(), 1, data.size(), file) != data.size()) data.clear();
    return data;
}

// Leaf entries: the keyword and its NUL, a 16-bit count, a 32-bit byte
// offset into the data file.
void read_leaf(const std::vector<uint8_t>& leaf, int count, char letter, const std::vector<uint8_t>& data,
               std::vector<IndexReference>& references) {
    size_t at = 0;
    for (int i = 0; i < count; ++i) {
        const auto nul = std::find(leaf.begin() + long(at), leaf.end(), 0);
        ASSERT_LE(size_t(nul - leaf.begin()) + 7, leaf.size()) << "keyword entry past its page";
        const std::string keyword(leaf.begin() + long(at), nul);
        const size_t fields = size_t(nul - leaf.begin()) + 1;
        const uint16_t references_count = get_le16(leaf.data() + fields);
        const uint32_t offset = get_le32(leaf.data() + fields + 2);
        ASSERT_LE(uint64_t(offset) + 4 * uint64_t(references_count), data.size()) << keyword;
        for (uint16_t k = 0; k < references_count; ++k)
            references.push_back({letter, keyword, static_cast<int32_t>(get_le32(data.data() + offset + 4 * k))});
        at = fields + 6;
    }
}

}  // namespace

std::vector<IndexReference> keyword_references(const std::string& help_path) {
    std::vector<IndexReference> references;
    FilePtr file = open_help(help_path);
    if (!file) {
        ADD_FAILURE() << "cannot open " << help_path;
        return references;
    }
    for (char letter = '0'; letter <= 'z'; ++letter) {
        const std::string tree_name = std::string("|") + letter + "WBTREE";
        const std::vector<uint8_t> data = read_internal(file.get(), std::string("|") + letter + "WDATA");
        long tree_length = 0;
        if (data.empty() || !find_internal_file(file.get(), &tree_length, tree_name.c_str())) continue;
        BTreeWalk walk{};
        for (int count = btree_first_leaf(walk, file.get(), nullptr, tree_length); count > 0;
             count = btree_next_leaf(walk, file.get())) {
            const long room = std::min<long>(walk.page_size - 8, walk.data_end - std::ftell(file.get()));
            std::vector<uint8_t> leaf(static_cast<size_t>(std::max(room, 0L)));
            my_fread(long(leaf.size()), file.get(), leaf.data());
            read_leaf(leaf, count, letter, data, references);
            if (testing::Test::HasFatalFailure()) return references;
        }
    }
    return references;
}

namespace {

// The entries of a B-tree of two 32-bit numbers, in tree order.
std::vector<std::pair<uint32_t, uint32_t>> pair_entries(const std::string& help_path, const char* tree) {
    std::vector<std::pair<uint32_t, uint32_t>> entries;
    FilePtr file = open_help(help_path);
    long length = 0;
    if (!file || !find_internal_file(file.get(), &length, tree)) return entries;
    BTreeWalk walk{};
    for (int count = btree_first_leaf(walk, file.get(), nullptr, length); count > 0;
         count = btree_next_leaf(walk, file.get())) {
        for (int i = 0; i < count; ++i) {
            uint8_t entry[8];
            my_fread(8, file.get(), entry);
            entries.emplace_back(get_le32(entry), get_le32(entry + 4));
        }
    }
    return entries;
}

}  // namespace

std::map<uint32_t, int32_t> context_offsets(const std::string& help_path) {
    std::map<uint32_t, int32_t> offsets;
    for (const auto& [hash, offset] : pair_entries(help_path, "|CONTEXT")) offsets[hash] = static_cast<int32_t>(offset);
    return offsets;
}

size_t window_map_size(const std::string& help_path) { return pair_entries(help_path, "|VIOLA").size(); }

bool has_multikey_index(const std::string& help_path) {
    FilePtr file = open_help(help_path);
    for (char letter = '0'; file && letter <= 'z'; ++letter) {
        const std::string name = std::string("|") + letter + "KWBTREE";
        if (find_internal_file(file.get(), nullptr, name.c_str())) return true;
    }
    return false;
}

}  // namespace e2e
