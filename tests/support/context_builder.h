// context_builder: the context map, keyword index and keyword macro files
// of a help file, for tests. Like the rest of the builder it shares no code
// with the decompiler.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "help_builder.h"

namespace hlptest {

// The 32-bit hash a help file stores in place of a context string.
uint32_t context_string_hash(std::string_view name);

// ---------------------------------------------------------------- |CONTEXT, |TOMAP, |CTXOMAP

struct ContextPair {
    uint32_t hash;
    int32_t topic_offset;
};

// |CONTEXT: a B+ tree keyed by hash with the topic offset as value. The
// leaves keep the order given; compilers write them in hash order.
Bytes build_context_tree(const std::vector<ContextPair>& pairs, const BTreeOptions& options = {});

// |TOMAP: the topic offsets back to back.
Bytes build_topic_map(const std::vector<int32_t>& topic_offsets);

struct MapPair {
    int32_t map_number;
    int32_t topic_offset;
};
// |CTXOMAP: a 16-bit count (the number of entries unless given), then the entries.
Bytes build_context_map(const std::vector<MapPair>& entries, std::optional<uint16_t> count = {});

// ---------------------------------------------------------------- keyword indexes

struct KeywordSpec {
    std::string keyword;
    std::vector<uint32_t> topic_offsets;
    // Replace what the tree entry says, for damaged lists.
    std::optional<uint16_t> count = {};
    std::optional<int32_t> byte_offset = {};
};

struct KeywordIndex {
    Bytes tree;  // |cWBTREE, |cKWBTREE, |KWBTREE: keyword, u16 count, i32 byte offset
    Bytes data;  // |cWDATA, |cKWDATA, |KWDATA: the lists back to back, in entry order
};
// Entries are written in the order given.
KeywordIndex build_keyword_index(const std::vector<KeywordSpec>& keywords, const BTreeOptions& options = {});

// ---------------------------------------------------------------- |Rose

struct RoseSpec {
    uint32_t hash;  // of the keyword that runs the macro
    std::string macro;
    std::string title;
};
// Entries are written in the order given.
Bytes build_rose(const std::vector<RoseSpec>& entries, const BTreeOptions& options = {});

}  // namespace hlptest
