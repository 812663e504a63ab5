#include "render/html/html_search.h"

#include <nlohmann/json.hpp>

#include <cstdlib>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>
#include <utility>

#include "core/decompile_context.h"
#include "core/memory_file.h"
#include "render/html/html_search_index.h"
#include "render/html/html_search_text.h"
#include "render/html/html_search_words.h"
#include "render/html/html_text.h"

namespace html_site {

namespace {

size_t find_either(std::string_view text, size_t at, char a, char b) { return html_find_any(text, at, a, b, b); }

// The first words of the text, whitespace made single spaces, the title
// left out where the text begins with it.
std::string snippet_of(std::string_view text, std::string_view title) {
    constexpr size_t longest = 150;
    const size_t wanted = longest + title.size() + 2;  // characters enough with the title
    // Written in place (a character is at most four bytes), then cut to size.
    std::string spaced(4 * wanted, '\0');
    char* const out = spaced.data();
    size_t used = 0;
    for (size_t at = 0, length = 1, kept = 0; at < text.size() && kept < wanted; at += length) {
        const auto b = static_cast<uint8_t>(text[at]);
        length = 1;
        if (b > ' ' && b < 0x80) {  // most text
            out[used++] = static_cast<char>(b);
            ++kept;
            continue;
        }
        const uint32_t c = b < 0x80 ? b : next_character(text, at, length);
        if (c <= ' ' || c == 0xA0) {
            if (used == 0 || out[used - 1] == ' ') continue;
            out[used++] = ' ';
        } else if (length == 1) {
            out[used++] = static_cast<char>(b);
        } else {
            std::memcpy(out + used, text.data() + at, length);
            used += length;
        }
        ++kept;
    }
    spaced.resize(used);
    if (!title.empty() && spaced.compare(0, title.size(), title) == 0) {
        spaced.erase(0, title.size());
        if (!spaced.empty() && spaced.front() == ' ') spaced.erase(0, 1);
    }
    // ASCII (most snippets) is a character a byte.
    size_t cut = std::min(longest, spaced.size());
    const bool ascii = std::all_of(spaced.begin(), spaced.begin() + static_cast<std::ptrdiff_t>(cut),
                                   [](char c) { return static_cast<uint8_t>(c) < 0x80; });
    if (!ascii) {
        cut = 0;
        for (size_t length = 1, count = 0; cut < spaced.size() && count < longest; cut += length, ++count)
            if (static_cast<uint8_t>(spaced[cut]) < 0x80) length = 1;
            else next_character(spaced, cut, length);
    }
    const bool cut_short = cut < spaced.size();
    spaced.erase(cut);
    while (!spaced.empty() && spaced.back() == ' ') spaced.pop_back();
    if (cut_short) spaced += "\xE2\x80\xA6";  // an ellipsis
    return spaced;
}

// JSON text made safe for a script file: what would end a script element
// or a line in older script engines escaped; put(bytes, size) takes the
// pieces in order.
template <class Put>
void script_safe(std::string_view json, Put&& put) {
    size_t copied = 0;
    for (size_t i = find_either(json, 0, '<', '\xE2'); i < json.size(); i = find_either(json, i + 1, '<', '\xE2')) {
        const std::string_view rest = json.substr(i);
        const std::string_view escaped = rest.starts_with("</")               ? "<\\/"
                                         : rest.starts_with("\xE2\x80\xA8") ? "\\u2028"
                                         : rest.starts_with("\xE2\x80\xA9") ? "\\u2029"
                                                                            : "";
        if (escaped.empty()) continue;
        put(json.data() + copied, i - copied);
        put(escaped.data(), escaped.size());
        i += json[i] == '<' ? 1 : 2;
        copied = i + 1;
    }
    put(json.data() + copied, json.size() - copied);
}

// The length of the UTF-8 sequence at text[at] (its first byte 0x80 or
// more), 0 when it is not one: an overlong form, a surrogate, a character
// past U+10FFFF or a sequence cut short.
size_t utf8_sequence(std::string_view text, size_t at) {
    const auto b = static_cast<uint8_t>(text[at]);
    const size_t size = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
    if (size == 0 || at + size > text.size()) return 0;
    const auto second = static_cast<uint8_t>(text[at + 1]);
    const uint8_t low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
    const uint8_t high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
    if (second < low || second > high) return 0;
    for (size_t i = 2; i < size; ++i)
        if ((static_cast<uint8_t>(text[at + i]) & 0xC0) != 0x80) return 0;
    return size;
}

// The bytes a JSON string takes as they are: printable ASCII but '"' and
// '\'.
constexpr auto json_plain = [] {
    std::array<bool, 256> table{};
    for (int c = 0x20; c < 0x80; ++c) table[c] = c != '"' && c != '\\';
    return table;
}();

// text as a JSON string, escaped as the JSON library writes it; text that
// is not UTF-8 is left to the library, which mends it.
void append_json_string(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    const size_t from = out.size();
    out += '"';
    size_t copied = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (json_plain[c]) continue;
        if (c >= 0x80) {
            const size_t size = utf8_sequence(text, i);
            if (size == 0) {
                out.resize(from);
                out += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
                return;
            }
            i += size - 1;
            continue;
        }
        out.append(text.data() + copied, i - copied);
        copied = i + 1;
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\b': out += "\\b"; break;
            case '\f': out += "\\f"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
        }
    }
    out.append(text.data() + copied, text.size() - copied);
    out += '"';
}

// Appends text to a JSON array being written ('[' and its items so far).
void append_item(std::string& array, std::string_view text) {
    if (array.size() > 1) array += ',';
    append_json_string(array, text);
}

void write_search_page(const Site& site) {
    std::string page;
    append_page_head(page, "Search", "search");
    page += "<nav><a href=\"index.html\">Contents</a> <a href=\"keywords.html\">Index</a></nav>\n"
            "<h1>Search</h1>\n"
            "<form action=\"search.html\" method=\"get\"><input type=\"search\" name=\"q\" id=\"q\" "
            "aria-label=\"Words to find\"> <button type=\"submit\">Search</button></form>\n"
            "<p id=\"summary\"></p>\n<ol id=\"results\"></ol>\n"
            "<noscript><p>Searching needs JavaScript.</p></noscript>\n"
            "<script src=\"search-index.js\"></script>\n<script src=\"search.js\"></script>\n"
            "</body>\n</html>\n";
    add_output(site.ctx, "search.html", page);
    add_output(site.ctx, "search.js", html_search_script);
}


}  // namespace

void search_add_topic(SearchIndex& index, const HtmlTopic& topic, std::string_view text, uint32_t number) {
    append_item(index.snippets, snippet_of(text, topic.title));
    // A word of the title counts as five of the text.
    search_words_add(index.words, topic.title, number, 5);
    search_words_add(index.words, text, number, 1);
}

void write_search(const Site& site) {
    std::string pages = "[", titles = "[";
    // Room made once: grown by doubling, each list would be copied into
    // new memory again and again. Room not written costs no memory.
    size_t names = 0, title_bytes = 0;
    for (const HtmlTopic& topic : site.topics) names += topic.page.size() + 3, title_bytes += topic.title.size() + 3;
    pages.reserve(names + 2);
    titles.reserve(title_bytes + site.topics.size() * 8 + 2);
    for (const HtmlTopic& topic : site.topics) {
        append_item(pages, topic.page);
        append_item(titles, shown_title(topic));
    }
    pages += ']';
    titles += ']';
    std::string& snippets = site.search.snippets;
    snippets += ']';
    const std::string word_list = search_words_json(site.search.words);
    site.search.words = SearchWords{};
    // Written in its parts as they are: the index is the largest file of the
    // site, and joining them first would hold it twice more. The members go
    // in the order of their names, as a JSON object is written; no part
    // ends in what a neighbour's start would make unsafe.
    const std::string_view parts[] = {"var hlpSearchIndex = {\"pages\":", pages, ",\"snippets\":", snippets,
                                      ",\"titles\":", titles, ",\"words\":"};
    MemoryFile* file = open_page(site.ctx, "search-index.js");
    output_reserve(file, pages.size() + titles.size() + snippets.size() + word_list.size() + 128);
    const auto put = [file](const char* bytes, size_t size) { output_write(bytes, 1, size, file); };
    for (const std::string_view part : parts) script_safe(part, put);
    output_write(word_list.data(), 1, word_list.size(), file);
    output_write("};\n", 1, 3, file);
    write_search_page(site);
}

}  // namespace html_site
