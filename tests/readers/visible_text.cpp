#include "visible_text.h"

#include <iconv.h>

#include <cctype>
#include <map>
#include <regex>

namespace readers {

namespace {

int code_page_of_charset(int charset) {
    static const std::map<int, int> pages = {{0, 1252},   {128, 932},  {129, 949},  {134, 936},  {136, 950},
                                             {161, 1253}, {162, 1254}, {163, 1258}, {177, 1255}, {178, 1256},
                                             {186, 1257}, {204, 1251}, {222, 874},  {238, 1250}};
    auto at = pages.find(charset);
    return at == pages.end() ? 0 : at->second;
}

struct Group {
    int font;
    bool destination;  // a footnote or a table of the header
    bool hidden_text;  // \v
    bool hidden() const { return destination || hidden_text; }
};

bool is_letter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

}  // namespace

bool convert_text(const std::string& from, const std::string& to, const std::string& text, std::string& converted) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1)) return false;
    std::string in = text;
    std::string out(4 * text.size() + 16, '\0');
    char* in_at = in.data();
    size_t in_left = in.size();
    char* out_at = out.data();
    size_t out_left = out.size();
    const bool ok = iconv(cd, &in_at, &in_left, &out_at, &out_left) != static_cast<size_t>(-1) && in_left == 0;
    iconv_close(cd);
    if (ok) converted.assign(out.data(), out.size() - out_left);
    return ok;
}

std::string squeeze(const std::string& text) {
    // Readers keep runs of spaces with the narrow spaces of U+2000 on, and
    // the text export starts with a byte order mark: all white space alike.
    std::string out;
    auto space = [&] {
        if (!out.empty() && out.back() != ' ') out += ' ';
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const unsigned char next = i + 1 < text.size() ? static_cast<unsigned char>(text[i + 1]) : 0;
        const unsigned char third = i + 2 < text.size() ? static_cast<unsigned char>(text[i + 2]) : 0;
        if (std::isspace(c)) {
            space();
        } else if (c == 0xC2 && next == 0xA0) {
            space();
            ++i;
        } else if (c == 0xE2 && next == 0x80 && third <= 0x8B) {
            space();
            i += 2;
        } else if (c == 0xEF && next == 0xBB && third == 0xBF) {
            i += 2;
        } else {
            out += static_cast<char>(c);
        }
    }
    if (!out.empty() && out.back() == ' ') out.pop_back();
    return out;
}

size_t character_count(const std::string& utf8) {
    size_t count = 0;
    for (unsigned char c : utf8) count += (c & 0xC0) != 0x80;
    return count;
}

std::vector<VisibleRun> visible_runs(const std::string& rtf) {
    std::smatch m;
    int document_page = 1252;
    if (std::regex_search(rtf, m, std::regex(R"(\\ansicpg(\d+))"))) document_page = std::stoi(m[1]);
    int default_font = 0;
    if (std::regex_search(rtf, m, std::regex(R"(\\deff(\d+))"))) default_font = std::stoi(m[1]);
    std::map<int, int> font_charsets;
    const size_t table = rtf.find("{\\fonttbl");
    const std::string fonts = rtf.substr(table, rtf.find('\n', table) - table);
    const std::regex entry(R"(\{\\f(\d+)\\f[a-z]+(?:\\fcharset(\d+))?)");
    for (auto it = std::sregex_iterator(fonts.begin(), fonts.end(), entry); it != std::sregex_iterator(); ++it)
        if ((*it)[2].matched) font_charsets[std::stoi((*it)[1])] = std::stoi((*it)[2]);

    std::vector<VisibleRun> runs;
    std::vector<Group> groups{{default_font, false, false}};
    std::string bytes;
    bool ascii = true;
    int run_font = default_font;
    auto end_run = [&] {
        if (!bytes.empty()) {
            const auto charset = font_charsets.find(run_font);
            int page = document_page;
            if (charset != font_charsets.end()) page = charset->second == 2 ? -1 : code_page_of_charset(charset->second);
            std::string text;
            if (page == 0) page = document_page;
            if (page > 0 && convert_text("CP" + std::to_string(page), "UTF-8", bytes, text)) {
                bool control = false;
                for (unsigned char c : text) control |= c < 0x20;
                if (!control && !squeeze(text).empty()) runs.push_back({squeeze(text), ascii});
            }
        }
        bytes.clear();
        ascii = true;
    };
    auto add = [&](char c, bool escaped) {
        if (groups.back().hidden()) return;
        if (bytes.empty()) run_font = groups.back().font;
        bytes += c;
        ascii &= !escaped;
    };
    const size_t body = rtf.find("}\\pard\\plain");
    for (size_t i = body == std::string::npos ? 0 : body + 12; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '{') {
            end_run();
            groups.push_back(groups.back());
        } else if (c == '}') {
            end_run();
            if (groups.size() > 1) groups.pop_back();
        } else if (c == '\r' || c == '\n') {
            continue;
        } else if (c != '\\') {
            add(c, false);
        } else if (i + 1 < rtf.size() && rtf[i + 1] == '\'') {
            add(static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16)), true);
            i += 3;
        } else if (i + 1 < rtf.size() && (rtf[i + 1] == '\\' || rtf[i + 1] == '{' || rtf[i + 1] == '}')) {
            add(rtf[++i], false);
        } else if (i + 1 < rtf.size() && !is_letter(rtf[i + 1])) {
            end_run();  // \- and the other control symbols
            ++i;
        } else {
            end_run();
            size_t end = i + 1;
            while (end < rtf.size() && is_letter(rtf[end])) ++end;
            const std::string word = rtf.substr(i + 1, end - i - 1);
            const size_t digits = end;
            if (end < rtf.size() && rtf[end] == '-') ++end;
            while (end < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[end]))) ++end;
            const bool has_value = end > digits;
            const long value = has_value ? std::stol(rtf.substr(digits, end - digits)) : 1;
            if (end < rtf.size() && rtf[end] == ' ') ++end;
            Group& group = groups.back();
            if (word == "f") {
                group.font = static_cast<int>(value);
            } else if (word == "plain") {
                group.font = default_font;
                group.hidden_text = false;
            } else if (word == "v") {
                group.hidden_text = value != 0;
            } else if (word == "footnote" || word == "fonttbl" || word == "colortbl" || word == "stylesheet") {
                group.destination = true;
            }
            i = end - 1;
        }
    }
    end_run();
    return runs;
}

}  // namespace readers
