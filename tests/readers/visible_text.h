// The text of a topic file as a reader should show it, read apart from the
// decompiler's code: runs of body text, decoded to UTF-8 through the code
// page the header declares (\ansicpg) or the one of the run's font
// (\fcharset).
#pragma once

#include <string>
#include <vector>

namespace readers {

struct VisibleRun {
    std::string text;  // UTF-8
    bool ascii;        // written without \'hh bytes
};

// Body text outside footnotes, hidden text and the header's tables, cut
// at every control word; runs in symbol fonts, and runs that do not
// decode, are left out.
std::vector<VisibleRun> visible_runs(const std::string& rtf);
// The bytes in the code page (an iconv name such as "CP1251"), converted
// to UTF-8 or from it; false when they do not convert.
bool convert_text(const std::string& from, const std::string& to, const std::string& text, std::string& converted);
// White space runs made one space; none at either end.
std::string squeeze(const std::string& text);
// The number of characters of UTF-8 text.
size_t character_count(const std::string& utf8);

}  // namespace readers
