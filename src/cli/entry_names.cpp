#include "entry_names.h"

#include <cctype>

#include "platform/device_names.h"

namespace hlpcli {

namespace {

bool is_unsafe_ascii(unsigned char c) {
    if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') return true;
#ifdef _WIN32
    // Characters that Windows refuses in file names.
    if (c == '<' || c == '>' || c == '"' || c == '|' || c == '?' || c == '*') return true;
#endif
    return false;
}

std::string fold_case(std::string_view name) {
    std::string folded(name);
    for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return folded;
}

}  // namespace

std::string flatten_entry_name(std::string_view name) {
    if (name.empty() || name == ".") return "_";
    if (name == "..") return "__";
    std::string safe;
    safe.reserve(name.size());
    for (size_t i = 0; i < name.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(name[i]);
        if (is_unsafe_ascii(c)) {
            safe += '_';
        } else if (c == 0xC2 && i + 1 < name.size() && static_cast<unsigned char>(name[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(name[i + 1]) <= 0x9F) {
            // U+0080..U+009F: C1 controls, which some terminals obey.
            safe += '_';
            ++i;
        } else {
            safe += static_cast<char>(c);
        }
    }
#ifdef _WIN32
    // Windows drops trailing dots and spaces, which could merge two names,
    // and opens a device for "PRN.txt".
    while (!safe.empty() && (safe.back() == '.' || safe.back() == ' ')) safe.back() = '_';
    if (platform::is_device_name(safe)) safe.insert(safe.begin(), '_');
#endif
    return safe;
}

std::string entry_path(std::string_view name) {
    constexpr std::string_view html_folder = "html\\";
    if (name.size() > html_folder.size() && name.substr(0, html_folder.size()) == html_folder)
        return "html/" + flatten_entry_name(name.substr(html_folder.size()));
    return flatten_entry_name(name);
}

std::string claim_unique_name(used_names& used, const std::string& name) {
    std::string candidate = name;
    size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string::npos) dot = name.size();
    // The suffixes resume where the last clash of this name stopped, so many
    // entries of one name cost one try each.
    int& n = used.next_suffix.try_emplace(fold_case(name), 2).first->second;
    while (used.folded.count(fold_case(candidate)) != 0)
        candidate = name.substr(0, dot) + "~" + std::to_string(n++) + name.substr(dot);
    used.folded.insert(fold_case(candidate));
    return candidate;
}

}  // namespace hlpcli
