// Windows opens a device, not a file, for a name whose part before the
// first dot is CON, PRN, AUX, NUL, COM1-COM9 or LPT1-LPT9 (any case, any
// extension): "PRN.html" cannot be created there. Names that come from a
// help file are checked on every system, so outputs are named alike.
#pragma once

#include <cctype>
#include <string_view>

namespace platform {

inline bool is_device_name(std::string_view name) {
    const std::string_view stem = name.substr(0, name.find('.'));
    auto upper = [&stem](size_t i) { return static_cast<char>(std::toupper(static_cast<unsigned char>(stem[i]))); };
    auto is = [&](const char* word) {
        for (size_t i = 0; i < 3; ++i)
            if (upper(i) != word[i]) return false;
        return true;
    };
    if (stem.size() == 3) return is("CON") || is("PRN") || is("AUX") || is("NUL");
    if (stem.size() == 4 && (is("COM") || is("LPT"))) return stem[3] >= '1' && stem[3] <= '9';
    return false;
}

}  // namespace platform
