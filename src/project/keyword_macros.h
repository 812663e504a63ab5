// Keywords that run a macro instead of leading to a topic: [MACROS].
#pragma once

#include <cstdio>

struct DecompileContext;
struct MemoryFile;

void write_keyword_macros(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
