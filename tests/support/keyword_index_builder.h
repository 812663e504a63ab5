// keyword_index_builder: |VIOLA window maps, and the internal files of a
// keyword index under its names, for tests. The index contents themselves
// come from build_keyword_index (context_builder.h).
#pragma once

#include <cstdint>
#include <vector>

#include "context_builder.h"
#include "help_builder.h"

namespace hlptest {

struct WindowEntry {
    int32_t topic_offset;
    int32_t window;
};
// |VIOLA: a B+ tree keyed by topic offset with the window number as value,
// leaves in the order given.
Bytes build_viola(const std::vector<WindowEntry>& entries, const BTreeOptions& options = {});

// The two internal files of index `letter`: "|cWBTREE" and "|cWDATA", or for
// a multi-key index "|cKWBTREE" and "|cKWDATA".
std::vector<InternalFile> keyword_index_files(char letter, bool multi_key, const KeywordIndex& index);

}  // namespace hlptest
