#include "text_convert.h"

#include "platform/unicode.h"

namespace hlpcli {

std::optional<std::u16string> utf8_to_utf16(std::string_view text) { return platform::utf8_to_utf16(text); }

std::string utf16_to_utf8(std::u16string_view text) { return platform::utf16_to_utf8(text); }

std::filesystem::path path_from_utf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

std::string utf8_from_path(const std::filesystem::path& path) {
    std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

}  // namespace hlpcli
