// A reading of the topic file that does not share the decompiler's code:
// its groups, pages, footnotes, picture references and plain text runs.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct RtfFootnote {
    char mark;         // '#', '$', 'K', ...
    std::string text;  // up to the footnote's closing brace, escapes as written
};

struct RtfScan {
    bool balanced = true;  // no group closes more than is open, and all close by the end
    long pages = 0;        // \page control words
    std::vector<RtfFootnote> footnotes;
    std::vector<std::string> picture_names;  // of \{bmc name\}, \{bml ...\}, \{bmrt ...\} ...
    std::vector<std::string> text_runs;      // plain text between controls, outside the header tables
};

RtfScan scan_rtf(const std::string& rtf);

// The footnote text as a reader shows it, cut at every character that is
// not plain ASCII (written \'hh): the pieces a text conversion keeps as is.
std::vector<std::string> ascii_pieces(const std::string& escaped);
// Escapes the text as the topic file writes keywords: \\, \{ and \} for
// the three specials, \'hh for anything but printable ASCII.
std::string escape_like_topic_file(const std::string& text);
// Runs of white space made one space, without space at either end.
std::string squeeze_spaces(const std::string& text);

}  // namespace e2e
