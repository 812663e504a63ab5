#include "rtf_scan.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace e2e {

namespace {

bool is_letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

// Groups whose text a reader never shows: the header's tables.
bool hidden_destination(const std::string& word) {
    return word == "fonttbl" || word == "colortbl" || word == "stylesheet" || word == "info";
}

// Reads a footnote's text from `at` to its closing brace; returns the
// position after that brace, or npos when it never closes.
size_t footnote_text(const std::string& rtf, size_t at, std::string& text) {
    for (size_t i = at; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') {
            ++i;
        } else if (rtf[i] == '}') {
            text = rtf.substr(at, i - at);
            return i + 1;
        } else if (rtf[i] == '{') {
            return std::string::npos;  // the writer puts no group inside
        }
    }
    return std::string::npos;
}

void scan_footnotes(const std::string& rtf, RtfScan& scan) {
    static const char opener[] = "{\\footnote\\pard\\plain";
    for (size_t at = rtf.find("{\\up "); at != std::string::npos; at = rtf.find("{\\up ", at + 1)) {
        // {\up M}{\footnote\pard\plain{\up M} text}, a font (\fN) perhaps
        // named after \plain
        if (at + 7 > rtf.size() || rtf[at + 6] != '}') continue;
        const char mark = rtf[at + 5];
        const size_t inner = at + 7;
        if (rtf.compare(inner, std::strlen(opener), opener) != 0) continue;
        size_t up_at = inner + std::strlen(opener);
        if (rtf.compare(up_at, 2, "\\f") == 0) up_at = rtf.find_first_not_of("0123456789", up_at + 2);
        if (up_at == std::string::npos || rtf.compare(up_at, 5, "{\\up ") != 0) continue;
        const size_t text_at = up_at + 5;
        if (text_at + 3 > rtf.size() || rtf[text_at] != mark || rtf[text_at + 1] != '}' || rtf[text_at + 2] != ' ')
            continue;
        RtfFootnote note{mark, {}};
        const size_t end = footnote_text(rtf, text_at + 3, note.text);
        if (end == std::string::npos) {
            scan.balanced = false;
            return;
        }
        scan.footnotes.push_back(note);
        at = end - 1;
    }
}

// \{bmc name\} and its kin; names that are not pictures' (bm<n>.<ext>,
// missing.bmp) are an author's text, not a reference.
void scan_pictures(const std::string& rtf, RtfScan& scan) {
    for (size_t at = rtf.find("\\{bm"); at != std::string::npos; at = rtf.find("\\{bm", at + 1)) {
        size_t i = at + 4;
        if (i >= rtf.size() || std::strchr("clr", rtf[i]) == nullptr) continue;
        ++i;
        if (i < rtf.size() && rtf[i] == 't') ++i;
        if (i >= rtf.size() || rtf[i] != ' ') continue;
        const size_t end = rtf.find("\\}", i);
        if (end == std::string::npos) continue;
        const std::string name = rtf.substr(i + 1, end - i - 1);
        unsigned number = 0;
        char extension[4] = {};
        int used = 0;
        const bool numbered = std::sscanf(name.c_str(), "bm%u.%3[a-z]%n", &number, extension, &used) == 2 &&
                              used == static_cast<int>(name.size());
        if (numbered || name == "missing.bmp") scan.picture_names.push_back(name);
    }
}

}  // namespace

RtfScan scan_rtf(const std::string& rtf) {
    RtfScan scan;
    std::vector<bool> hidden{false};  // per open group
    std::string run;
    auto end_run = [&] {
        if (!hidden.back() && !run.empty()) scan.text_runs.push_back(run);
        run.clear();
    };
    for (size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '{' || c == '}') {
            end_run();
            if (c == '{') {
                hidden.push_back(hidden.back());
            } else if (hidden.size() > 1) {
                hidden.pop_back();
            } else {
                scan.balanced = false;
            }
        } else if (c == '\\' && i + 1 < rtf.size() && is_letter(rtf[i + 1])) {
            end_run();
            size_t end = i + 1;
            while (end < rtf.size() && is_letter(rtf[end])) ++end;
            const std::string word = rtf.substr(i + 1, end - i - 1);
            if (end < rtf.size() && (rtf[end] == '-' || std::isdigit(static_cast<unsigned char>(rtf[end])))) ++end;
            while (end < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[end]))) ++end;
            if (end < rtf.size() && rtf[end] == ' ') ++end;  // the delimiter belongs to the word
            if (word == "page") ++scan.pages;
            if (hidden_destination(word)) hidden.back() = true;
            i = end - 1;
        } else if (c == '\\') {
            end_run();
            i += (i + 1 < rtf.size() && rtf[i + 1] == '\'') ? 3 : 1;  // \'hh, or a control symbol
        } else if (c == '\r' || c == '\n') {
            end_run();
        } else {
            run += c;
        }
    }
    end_run();
    if (hidden.size() != 1) scan.balanced = false;
    scan_footnotes(rtf, scan);
    scan_pictures(rtf, scan);
    return scan;
}

std::vector<std::string> ascii_pieces(const std::string& escaped) {
    std::vector<std::string> pieces(1);
    for (size_t i = 0; i < escaped.size(); ++i) {
        if (escaped[i] != '\\' || i + 1 >= escaped.size()) {
            pieces.back() += escaped[i];
        } else if (escaped[i + 1] == '\'') {
            pieces.emplace_back();  // not ASCII: how it shows depends on the reader's code page
            i += 3;
        } else if (std::strchr("\\{}", escaped[i + 1]) != nullptr) {
            pieces.back() += escaped[++i];
        } else {
            pieces.emplace_back();  // a control word or symbol
            for (++i; i + 1 < escaped.size() && is_letter(escaped[i + 1]);) ++i;
        }
    }
    std::vector<std::string> kept;
    for (const std::string& piece : pieces)
        if (!squeeze_spaces(piece).empty()) kept.push_back(squeeze_spaces(piece));
    return kept;
}

std::string escape_like_topic_file(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (c == '\\' || c == '{' || c == '}') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c >= 0x20 && c <= 0x7E) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\'%02x", c);
            out += hex;
        }
    }
    return out;
}

std::string squeeze_spaces(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        if (std::isspace(c)) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += static_cast<char>(c);
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

}  // namespace e2e
