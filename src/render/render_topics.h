// The second pass: one record walk over every topic, feeding the rich-text
// writer and, when the HTML edition is on, the HTML writer beside it.
#pragma once

#include <cstdio>

struct DecompileContext;
struct MemoryFile;

// The topic file's name: the base name and ".rtf" (buffer of 260 bytes).
void topic_file_name(const DecompileContext& ctx, char* name);
// Converts every topic into the rich-text output and returns it; with
// ctx.html the same walk also writes the HTML edition (html/).
MemoryFile* topic_to_rtf(DecompileContext& ctx, std::FILE* file, MemoryFile* rtf);
