// |FONT: font names, descriptors, styles and character maps, and the head
// of the topic file (font table, colour table, stylesheet).
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/font_descriptor.h"

struct DecompileContext;
struct MemoryFile;

constexpr int font_face_size = 34;  // a face name field and its NUL
constexpr int colour_table_size = 256;  // every index a font descriptor's byte can hold

// Index of the colour in the colour table, appending it when new.
int add_colour(DecompileContext& ctx, uint8_t red, uint8_t green, uint8_t blue);
// Writes the rich-text header; with a project file also [CHARMAP] and the
// character-map files. Writes nothing when there is no |FONT.
void rtf_header_write(DecompileContext& ctx, MemoryFile* project, std::FILE* file, MemoryFile* topics);
// The face name of font descriptor `font` as |FONT names it; "" when none.
const char* font_face_name(const DecompileContext& ctx, int font);
