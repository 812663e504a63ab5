#pragma once

#include <cstdint>

// One character format of |FONT, selected by number in topic text; the
// same record holds the character formatting currently in effect.
struct FontDescriptor {
    uint8_t bold;
    uint8_t italic;
    uint8_t underline;
    uint8_t strikeout;
    uint8_t double_underline;
    uint8_t small_caps;
    uint8_t size;  // half points
    uint8_t family;  // 0 none, 1 roman, 2 swiss, 3 modern, 4 script, 5 decor, 6 tech
    uint16_t font_name;  // index into the font names
    uint8_t foreground;  // colour table indexes
    uint8_t background;
    uint16_t style;  // character style, 0 for none
    int16_t expansion;
    int8_t vertical_offset;
};

using CharacterAttributes = FontDescriptor;
