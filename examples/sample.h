// The parts of examples/sample.hlp that make_sample puts together: topics,
// fonts, pictures and the icon, and the names they share.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "help_builder.h"

namespace sample {

using hlptest::Bytes;

// Topics in file order.
enum Topic : size_t { welcome, formatting, tables, pictures, hotspot_definition, aside, topic_count };

// Window numbers: the order of the window records in |SYSTEM.
enum Window : uint8_t { main_window, aside_window };

// Font descriptor numbers of font_file().
enum Font : int16_t { body, heading, bold, italic, code, serif, highlight };

// Pictures kept in |bm files, by number; the picture stored in topic text
// takes the next free number.
enum Picture : uint16_t { landscape, drawing, buttons, resolutions, picture_files };
constexpr uint16_t button_hotspots = 3;  // hotspots of the buttons picture

// A context id as the author wrote it, the topic it names, and its help id
// in [MAP] (0 for none).
struct ContextId {
    const char* name;
    Topic topic;
    int32_t map_number;
};
extern const std::vector<ContextId> context_ids;

uint32_t hash_of(const std::string& context_id);

// The phrases of |PhrIndex, in table order.
const std::vector<std::string>& phrases();

struct Topics {
    Bytes file;                                 // |TOPIC
    std::array<uint32_t, topic_count> offsets;  // topic offset of each topic
};
Topics topics();

Bytes font_file();  // |FONT

Bytes icon();  // a .ico file
std::vector<hlptest::InternalFile> bitmap_files();  // |bm0 .. |bm3
Bytes embedded_picture();  // the picture file stored in topic text

}  // namespace sample
