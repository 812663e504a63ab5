// The first pass over all topics: context names, macro checks, browse
// chains, topic offset aliases and the pictures embedded in topic text.
#pragma once

#include <cstdio>

struct DecompileContext;

void first_pass(DecompileContext& ctx, std::FILE* file);
