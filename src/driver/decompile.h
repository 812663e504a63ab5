#pragma once

#include <cstdio>

struct DecompileContext;

// Turns the open help file into every output file of the context, in one
// fixed order of steps. False when the file is not a help file; a damaged
// file ends with FatalError.
bool decompile_help_file(DecompileContext& ctx, std::FILE* help_file);
