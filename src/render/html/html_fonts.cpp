#include "render/html/html_fonts.h"

#include <cctype>
#include <initializer_list>

namespace {

bool starts_with_folded(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    return true;
}

bool named(std::string_view face, std::initializer_list<std::string_view> prefixes) {
    for (std::string_view prefix : prefixes)
        if (starts_with_folded(face, prefix)) return true;
    return false;
}

}  // namespace

const char* html_generic_family(std::string_view face, uint8_t family) {
    if (named(face, {"courier", "terminal", "lucida console", "lucida sans typewriter", "fixedsys", "consolas",
                     "letter gothic", "lettergothic", "andale mono", "monaco", "ocr-", "ocr "}))
        return "monospace";
    if (named(face, {"times", "tms rmn", "ms serif", "georgia", "book antiqua", "bookman", "garamond",
                     "century schoolbook", "palatino", "new york"}))
        return "serif";
    if (named(face, {"arial", "helvetica", "helv", "ms sans serif", "microsoft sans serif", "tahoma", "verdana",
                     "geneva", "univers", "segoe", "trebuchet"}))
        return "sans-serif";
    static const char* const families[] = {"", "serif", "sans-serif", "monospace", "cursive", "fantasy", "monospace"};
    return family < 7 ? families[family] : "";
}

bool html_face_monospace(std::string_view face, uint8_t family) {
    return std::string_view(html_generic_family(face, family)) == "monospace";
}

std::string html_font_family(std::string_view face, uint8_t family) {
    std::string value;
    if (!face.empty()) {
        // The name is the sender's text (UTF-8): quotes, backslashes,
        // angle brackets and control characters go as CSS escapes, so that
        // it cannot end the string or the rule.
        value += '"';
        static constexpr char hex[] = "0123456789abcdef";
        for (char c : face) {
            const unsigned char u = static_cast<unsigned char>(c);
            if (u >= 0x20 && u != 0x7F && c != '"' && c != '\\' && c != '<' && c != '>') {
                value += c;
                continue;
            }
            value += '\\';
            if (u >= 0x10) value += hex[u >> 4];
            value += hex[u & 0xF];
            value += ' ';
        }
        value += '"';
    }
    const char* generic = html_generic_family(face, family);
    if (generic[0]) {
        if (!value.empty()) value += ',';
        value += generic;
    }
    return value;
}
