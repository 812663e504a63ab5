// UTF-8 <-> UTF-16 conversion between the tool's own strings and the
// plug-in's wide strings.
#ifndef HLPUNPACK_CLI_TEXT_CONVERT_H
#define HLPUNPACK_CLI_TEXT_CONVERT_H

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace hlpcli {

// Empty result when the input is not well-formed UTF-8: a path that does
// not convert cannot be handed to the plug-in faithfully.
std::optional<std::u16string> utf8_to_utf16(std::string_view text);

// Unpaired surrogates become U+FFFD; the result is always valid UTF-8.
std::string utf16_to_utf8(std::u16string_view text);

// Paths are built from UTF-8 on every platform (on Windows a plain string
// would be taken in the ANSI code page).
std::filesystem::path path_from_utf8(const std::string& text);
std::string utf8_from_path(const std::filesystem::path& path);

}  // namespace hlpcli

#endif
