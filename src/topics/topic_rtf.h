// The second pass: every topic as rich text.
#pragma once

#include <cstdio>

struct DecompileContext;
struct MemoryFile;

// The topic file's name: the base name and ".rtf" (buffer of 260 bytes).
void topic_file_name(const DecompileContext& ctx, char* name);
// Converts every topic into the rich-text output and returns it.
MemoryFile* topic_to_rtf(DecompileContext& ctx, std::FILE* file, MemoryFile* rtf);
// Writes text with \, { and } escaped and bytes outside 0x20..0x7E as \'hh.
void escape_rtf_text(MemoryFile* out, const char* text);
// The start of a footnote with the mark: "{\up M}{\footnote\pard\plain{\up M} ".
void write_footnote_start(MemoryFile* out, char mark);
// escape_rtf_text for a counted string.
void escape_rtf_bytes(MemoryFile* out, const char* text, long length);
// Character formatting for a change to font number font.
void font_change(DecompileContext& ctx, MemoryFile* out, int font, bool popup, bool jump);
