// Font faces of the HTML edition: the stylesheet's font-family for a face
// the help file names, with a generic family that fits it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The generic family: from the face's name where it is a well-known one
// (help files often declare Courier as decorative), else from the declared
// family (0 none ... 6 tech, as |FONT stores it); "" when neither says.
const char* html_generic_family(std::string_view face, uint8_t family);
// True for faces of fixed pitch.
bool html_face_monospace(std::string_view face, uint8_t family);
// The value of font-family: the face (UTF-8), quoted and escaped, then
// the generic family.
std::string html_font_family(std::string_view face, uint8_t family);
