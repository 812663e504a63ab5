// The references of a help file's simple keyword indexes (|xWBTREE with
// |xWDATA), read here apart from the footnote writer.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace e2e {

struct IndexReference {
    char letter;  // the index: 'K', 'A', ...
    std::string keyword;
    int32_t topic_offset;
};

// In index order: letters ascending, keywords in tree order, each
// keyword's references in data-file order. Damage fails the test.
std::vector<IndexReference> keyword_references(const std::string& help_path);
// The |CONTEXT entries: topic offset by context-name hash.
std::map<uint32_t, int32_t> context_offsets(const std::string& help_path);
// The number of topics |VIOLA assigns a window.
size_t window_map_size(const std::string& help_path);
// True when the help file has a multi-key index (|xKWBTREE).
bool has_multikey_index(const std::string& help_path);

}  // namespace e2e
