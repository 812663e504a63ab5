// Character maps of MediaView font names: the [CHARMAP] project section and
// a text dump of every character-map internal file that |FONT names.
#pragma once

#include <cstdio>

struct DecompileContext;
struct MemoryFile;

// One record of |FONT, "name,number", NUL-terminated within 33 bytes.
constexpr int charmap_record_size = 32;
using CharMapRecord = char[charmap_record_size + 1];

// Writes the [CHARMAP] line of a font name cut at its comma, whose part
// after the comma was suffix, for the first record with the same suffix.
// The section heading is written before the first line; section_started
// keeps track of it between calls.
void charmap_write_font_line(MemoryFile* project, const CharMapRecord* records, int count, const char* font_name,
                             const char* suffix, bool& section_started);
// Dumps every internal file the records name as a text output of that name.
void charmap_write_files(DecompileContext& ctx, std::FILE* file, const CharMapRecord* records, int count);
