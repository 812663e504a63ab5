// |FONT and character-map seeds, apart from the rest of the seed generator:
// the font and project builders each name their own colour type.
#pragma once

#include "help_builder.h"

enum class SeedFontLayout { old_layout, new_layout, mediaview };

// Two font names, a plain and a bold red descriptor, a style (new and
// MediaView layouts) and a character map (MediaView).
hlptest::Bytes seed_font_file(SeedFontLayout layout);
// |MVCHARTAB,0: one entry and one row.
hlptest::Bytes seed_charmap_file();
