// The second pass: every topic as rich text.
#pragma once

#include <cstdio>

#include "topics/rtf_escape.h"

struct DecompileContext;
struct MemoryFile;

// The topic file's name: the base name and ".rtf" (buffer of 260 bytes).
void topic_file_name(const DecompileContext& ctx, char* name);
// Converts every topic into the rich-text output and returns it; with
// ctx.html the same walk also writes the HTML edition (html/).
MemoryFile* topic_to_rtf(DecompileContext& ctx, std::FILE* file, MemoryFile* rtf);
// Character formatting for a change to font number font.
void font_change(DecompileContext& ctx, MemoryFile* out, int font, bool popup, bool jump);
