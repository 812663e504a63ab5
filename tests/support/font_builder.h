// font_builder: the |FONT internal file in its three layouts, and the
// character-map internal files that MediaView font names refer to.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "help_builder.h"

namespace hlptest {

// The header length selects the layout: 8 old, 12 new, 16 MediaView.
enum class FontLayout { old_layout, new_layout, mediaview };

struct Rgb {
    uint8_t red = 1, green = 1, blue = 0;  // (1, 1, 0) is the automatic colour
};

struct FontDescriptorSpec {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strikeout = false;
    bool double_underline = false;
    bool small_caps = false;
    uint8_t size = 20;  // half points; new layouts store the height -size / 2
    std::optional<int32_t> height;  // new layouts: replaces the one derived from size
    uint8_t family = 0;  // as stored: old layout code, or the high nibble of new layouts
    uint16_t font_name = 0;
    Rgb foreground;
    Rgb background;
    uint16_t style = 0;         // MediaView only
    int16_t expansion = 0;      // MediaView only
    int8_t vertical_offset = 0; // MediaView only
};

// A 146-byte style record. The attribute bytes are stored as given.
struct FontStyleSpec {
    uint16_t number = 1;
    uint16_t based_on = 0;  // 1-based; 0 = none
    int16_t font = 0;
    int16_t expansion = 0;  // MediaView only
    Rgb foreground;
    Rgb background;
    int32_t height = -10;
    int16_t weight = 400;
    uint8_t italic = 0, underline = 0, strikeout = 0, double_underline = 0, small_caps = 0;
    int8_t vertical_offset = 0;  // MediaView only
    std::string name;            // at most 64 characters
};

struct FontFileSpec {
    FontLayout layout = FontLayout::new_layout;
    std::vector<std::string> names;
    size_t name_field = 0;  // 0: 20 for the old layout, 32 otherwise
    std::vector<FontDescriptorSpec> descriptors;
    std::vector<FontStyleSpec> styles;    // new and MediaView layouts
    std::vector<std::string> charmaps;    // MediaView: "name,number", 32 bytes each
};

// Offsets of the |FONT header fields (u16 each) for tests that damage them.
namespace font_field {
constexpr size_t name_count = 0;
constexpr size_t descriptor_count = 2;
constexpr size_t names_offset = 4;
constexpr size_t descriptors_offset = 6;
constexpr size_t style_count = 8;
constexpr size_t styles_offset = 10;
constexpr size_t charmap_count = 12;
constexpr size_t charmaps_offset = 14;
constexpr size_t old_descriptor_size = 11;
constexpr size_t new_descriptor_size = 42;
constexpr size_t style_size = 146;
constexpr size_t charmap_size = 32;
}  // namespace font_field

// Header, names, descriptors, styles, then character-map records.
Bytes build_font_file(const FontFileSpec& recipe);

struct CharMapEntry {
    uint16_t first = 0, second = 0;
    uint8_t bytes[4] = {0, 0, 0, 0};
};

// The 40-byte header (entry count at 8, row count at 10, row length at 12),
// the 10-byte entries, then the rows, each padded or cut to row_length.
Bytes build_charmap_file(const std::vector<CharMapEntry>& entries, const std::vector<Bytes>& rows,
                         uint16_t row_length);

}  // namespace hlptest
