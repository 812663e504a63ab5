// UTF-8 and UTF-16, for the POSIX code page and for the command-line tool.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Appends the code point (at most U+10FFFF) as UTF-8.
void append_utf8(std::string& out, uint32_t code);
// Unpaired surrogates become U+FFFD; the result is always valid UTF-8.
std::string utf16_to_utf8(std::u16string_view text);
// Empty result when the input is not well-formed UTF-8.
std::optional<std::u16string> utf8_to_utf16(std::string_view text);
// Length (1 to 4) of the well-formed UTF-8 sequence at text, storing its
// code point; 0 when there is none. Reads at most `available` bytes.
int utf8_sequence(const unsigned char* text, size_t available, uint32_t* code);

}  // namespace platform
