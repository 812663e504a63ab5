// Helpers for the tests of context names: a |CONTEXT table put straight
// into a context, and the names recorded so far.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "helpfile_fixture.h"
#include "project/context_hash.h"
#include "project/context_map.h"

// Replaces the context's |CONTEXT table; the entries must be sorted by
// topic offset, as the loader leaves them.
void set_context_table(DecompileContext& ctx, const std::vector<ContextEntry>& entries);

struct RecordedName {
    std::string name;
    int32_t hash;
    bool derived;
};
std::vector<RecordedName> recorded_names(const DecompileContext& ctx);
