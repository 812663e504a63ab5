#include "render/html/html_search.h"

#include <nlohmann/json.hpp>

#include <cctype>
#include <cstdlib>
#include <algorithm>
#include <array>
#include <cstring>
#include <vector>
#include <utility>

#include "core/decompile_context.h"
#include "render/html/html_text.h"

namespace html_site {

namespace {

// One character of UTF-8 at text[at], its length in `length`; a broken
// sequence is U+FFFD, one byte long.
uint32_t next_character(std::string_view text, size_t at, size_t& length) {
    const auto b = static_cast<uint8_t>(text[at]);
    const size_t size = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    length = 1;
    if (size == 0 || at + size > text.size()) return size == 1 ? b : 0xFFFD;
    uint32_t c = size == 1 ? b : b & (0x7F >> size);
    for (size_t i = 1; i < size; ++i) {
        const auto more = static_cast<uint8_t>(text[at + i]);
        if ((more & 0xC0) != 0x80) return 0xFFFD;
        c = c << 6 | (more & 0x3F);
    }
    length = size;
    return c;
}

// c as UTF-8 at out (room for four bytes); the bytes written.
size_t utf8_bytes(char* out, uint32_t c) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | c >> 6);
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | c >> 18);
    out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

void append_utf8(std::string& out, uint32_t c) {
    char bytes[4];
    out.append(bytes, utf8_bytes(bytes, c));
}

// Lower case for the scripts help files are written in: ASCII, Latin-1 and
// Latin Extended-A, Greek, Cyrillic, full-width Latin. search.js folds the
// same way, so words and queries always meet.
uint32_t folded(uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
        return (c % 2 == 1) == odd_upper ? c + 1 : c;
    }
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

constexpr bool cjk(uint32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F);
}

// Signs and spaces of the ranges above, which part words.
constexpr bool separator(uint32_t c) {
    if (c < 0x80) return !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_');
    return c < 0xC0 || c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
           (c >= 0xFF00 && c <= 0xFF20 && !(c >= 0xFF10 && c <= 0xFF19)) || (c >= 0xFF3B && c <= 0xFF40) ||
           (c >= 0xFF5B && c <= 0xFF65) || c == 0xFFFD || c == 0xFEFF;
}

constexpr size_t longest_word = 40;

// An ASCII byte as it is in a word (folded), 0 for one that parts words.
constexpr auto ascii_words = [] {
    std::array<char, 128> table{};
    for (int c = 0; c < 128; ++c)
        if (!separator(static_cast<uint32_t>(c))) table[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    return table;
}();

// Calls word(std::string_view) for each of the search's words of UTF-8
// text, in order: letters and digits (and '_') folded to lower case, at
// most 40 characters a word; each Chinese, Japanese or Korean character is
// a word of its own (a word of those scripts is found as the topics that
// hold all its characters). search.js splits a query the same way.
template <class Word>
void for_each_word(std::string_view text, Word&& found) {
    // A word of 40 characters of four bytes at most: a fixed buffer spares
    // the appends to a string, the scanner's inner loop.
    char word[longest_word * 4];
    size_t used = 0, characters = 0;
    auto end_word = [&] {
        if (used != 0) found(std::string_view(word, used));
        used = 0;
        characters = 0;
    };
    for (size_t at = 0, length = 1; at < text.size(); at += length) {
        const auto b = static_cast<uint8_t>(text[at]);
        length = 1;
        if (b < 0x80) {
            // Most text is ASCII: a table says what each byte is in a word.
            const char lower = ascii_words[b];
            if (lower == 0) end_word();
            else if (characters++ < longest_word) word[used++] = lower;
            continue;
        }
        const uint32_t c = next_character(text, at, length);
        if (cjk(c)) {
            end_word();
            found(text.substr(at, length));
        } else if (separator(c)) {
            end_word();
        } else if (characters++ < longest_word) {
            used += utf8_bytes(word + used, folded(c));
        }
    }
    end_word();
}


// Tags that start a block: the words on either side are apart.
bool block_tag(std::string_view name) {
    if (name.empty() || std::strchr("pbtdlh", name[0]) == nullptr) return false;
    static constexpr std::string_view blocks[] = {"p", "br", "td", "tr", "div", "table", "li", "dt", "dd", "h1", "h2", "h3"};
    for (std::string_view block : blocks)
        if (name == block) return true;
    return false;
}

// Skips the tag at body[at] ('<'); markers inside it may hold any byte.
size_t skip_tag(std::string_view body, size_t at, std::string& out) {
    size_t name_start = at + 1 + (at + 1 < body.size() && body[at + 1] == '/');
    size_t name_end = name_start;
    while (name_end < body.size() && std::isalnum(static_cast<unsigned char>(body[name_end]))) ++name_end;
    if (block_tag(body.substr(name_start, name_end - name_start))) out += ' ';
    for (size_t i = name_end; i < body.size(); ++i) {
        if (body[i] == html_marker) {
            const size_t end = body.find(html_marker, i + 1);
            if (end == std::string_view::npos) return body.size();
            i = end;
        } else if (body[i] == '>') {
            return i + 1;
        }
    }
    return body.size();
}

size_t decode_entity(std::string_view body, size_t at, std::string& out) {
    const size_t end = body.find(';', at);
    if (end == std::string_view::npos || end - at > 10) {
        out += '&';
        return at + 1;
    }
    const std::string_view name = body.substr(at + 1, end - at - 1);
    if (name == "amp") out += '&';
    else if (name == "lt") out += '<';
    else if (name == "gt") out += '>';
    else if (name == "quot") out += '"';
    else if (name == "nbsp") out += ' ';
    else if (name.size() > 1 && name[0] == '#') {
        const unsigned long c = std::strtoul(std::string(name.substr(1)).c_str(), nullptr, 10);
        if (c > 0 && c < 0x110000) append_utf8(out, static_cast<uint32_t>(c));
    }
    return end + 1;
}

// The text a reader sees of a page body into out: tags left out (blocks as
// spaces), entities decoded, markers skipped.
void body_text(std::string_view body, std::string& out) {
    out.clear();
    size_t at = 0;
    while (at < body.size()) {
        size_t stop = at;
        while (stop < body.size() && body[stop] != '<' && body[stop] != '&') ++stop;
        out.append(body.data() + at, stop - at);
        if (stop == body.size()) break;
        at = body[stop] == '<' ? skip_tag(body, stop, out) : decode_entity(body, stop, out);
    }
}

void append_base36(std::string& out, uint32_t value) {
    char digits[8];
    int count = 0;
    do {
        const uint32_t digit = value % 36;
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        value /= 36;
    } while (value != 0);
    while (count > 0) out += digits[--count];
}


// The first words of the text, whitespace made single spaces, the title
// left out where the text begins with it.
std::string snippet_of(std::string_view text, std::string_view title) {
    constexpr size_t longest = 150;
    std::string spaced;
    const size_t wanted = longest + title.size() + 2;  // characters enough with the title
    spaced.reserve(wanted + 8);
    for (size_t at = 0, length = 1, kept = 0; at < text.size() && kept < wanted; at += length) {
        const auto b = static_cast<uint8_t>(text[at]);
        length = 1;
        const uint32_t c = b < 0x80 ? b : next_character(text, at, length);
        const bool space = c <= ' ' || c == 0xA0;
        if (space && (spaced.empty() || spaced.back() == ' ')) continue;
        if (space) spaced += ' ';
        else spaced.append(text.data() + at, length);
        ++kept;
    }
    if (!title.empty() && spaced.compare(0, title.size(), title) == 0) {
        spaced.erase(0, title.size());
        if (!spaced.empty() && spaced.front() == ' ') spaced.erase(0, 1);
    }
    size_t cut = 0, count = 0;
    while (cut < spaced.size() && count < longest) {
        size_t length = 0;
        next_character(spaced, cut, length);
        cut += length;
        ++count;
    }
    const bool cut_short = cut < spaced.size();
    spaced.erase(cut);
    while (!spaced.empty() && spaced.back() == ' ') spaced.pop_back();
    if (cut_short) spaced += "\xE2\x80\xA6";  // an ellipsis
    return spaced;
}

// JSON text made safe for a script file: what would end a script element
// or a line in older script engines escaped.
void append_script_safe(std::string& out, std::string_view json) {
    size_t copied = 0;
    for (size_t i = 0; i < json.size(); ++i) {
        if (json[i] != '<' && json[i] != '\xE2') continue;
        const std::string_view rest = json.substr(i);
        const char* escaped = rest.starts_with("</")               ? "<\\/"
                              : rest.starts_with("\xE2\x80\xA8") ? "\\u2028"
                              : rest.starts_with("\xE2\x80\xA9") ? "\\u2029"
                                                                 : nullptr;
        if (escaped == nullptr) continue;
        out.append(json.data() + copied, i - copied);
        out += escaped;
        i += json[i] == '<' ? 1 : 2;
        copied = i + 1;
    }
    out.append(json.data() + copied, json.size() - copied);
}

// Whether text is UTF-8 throughout: no overlong forms, surrogates or
// characters past U+10FFFF.
bool valid_utf8(std::string_view text) {
    for (size_t at = 0; at < text.size();) {
        const auto b = static_cast<uint8_t>(text[at]);
        if (b < 0x80) {
            ++at;
            continue;
        }
        const size_t size = b >= 0xC2 && b <= 0xDF ? 2 : b >= 0xE0 && b <= 0xEF ? 3 : b >= 0xF0 && b <= 0xF4 ? 4 : 0;
        if (size == 0 || at + size > text.size()) return false;
        const auto second = static_cast<uint8_t>(text[at + 1]);
        const uint8_t low = b == 0xE0 ? 0xA0 : b == 0xF0 ? 0x90 : 0x80;
        const uint8_t high = b == 0xED ? 0x9F : b == 0xF4 ? 0x8F : 0xBF;
        if (second < low || second > high) return false;
        for (size_t i = 2; i < size; ++i)
            if ((static_cast<uint8_t>(text[at + i]) & 0xC0) != 0x80) return false;
        at += size;
    }
    return true;
}

// text as a JSON string, escaped as the JSON library writes it; text that
// is not UTF-8 is left to the library, which mends it.
void append_json_string(std::string& out, std::string_view text) {
    if (!valid_utf8(text)) {
        out += nlohmann::json(std::string(text)).dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        return;
    }
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    size_t copied = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<uint8_t>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\') continue;
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


// A word's topics: "DELTA[*COUNT]" items apart by ',', in base 36, each
// topic number the one before plus DELTA, COUNT (1 when left out) the
// times the word is in that topic. The topic being read is added when the
// word is met in a later one, or at the end.
struct Postings {
    std::string items;
    uint32_t last = 0;     // the topic of the last item
    uint32_t topic = 0;    // being counted
    uint32_t count = 0;
    void add_item() {
        if (!items.empty()) items += ',';
        append_base36(items, topic - last);
        if (count > 1) {
            items += '*';
            append_base36(items, count);
        }
        last = topic;
    }
};

// FNV-1a: words are short, and this is cheaper than a general hash.
uint32_t word_hash(std::string_view word) {
    uint32_t hash = 0x811C9DC5u;
    for (const char c : word) hash = (hash ^ static_cast<uint8_t>(c)) * 0x01000193u;
    return hash;
}

struct WordEntry {
    std::string word;
    Postings postings;
};

// Words are looked up as the scanner holds them, without a copy, in a table
// of open slots (a power of two of them, at most half full): each slot holds
// its word's hash and its entry's place plus one, 0 when empty. Most words
// are met many times, so the lookup is what counts.
struct WordTable {
    std::vector<WordEntry> entries;
    std::vector<std::pair<uint32_t, uint32_t>> slots = std::vector<std::pair<uint32_t, uint32_t>>(1024);
    void grow() {
        std::vector<std::pair<uint32_t, uint32_t>> larger(slots.size() * 2);
        const size_t mask = larger.size() - 1;
        for (const auto& slot : slots) {
            if (slot.second == 0) continue;
            size_t at = slot.first & mask;
            while (larger[at].second != 0) at = (at + 1) & mask;
            larger[at] = slot;
        }
        slots.swap(larger);
    }
    Postings& postings_of(std::string_view found, uint32_t topic) {
        const uint32_t hash = word_hash(found);
        const size_t mask = slots.size() - 1;
        size_t at = hash & mask;
        for (; slots[at].second != 0; at = (at + 1) & mask) {
            WordEntry& entry = entries[slots[at].second - 1];
            if (slots[at].first == hash && entry.word == found) return entry.postings;
        }
        entries.push_back(WordEntry{std::string(found), Postings{{}, 0, topic, 0}});
        slots[at] = {hash, static_cast<uint32_t>(entries.size())};
        if (entries.size() * 2 > slots.size()) grow();
        return entries.back().postings;
    }
    void add(std::string_view text, uint32_t topic, uint32_t weight) {
        for_each_word(text, [&](std::string_view found) {
            Postings& p = postings_of(found, topic);
            if (p.topic != topic) {
                p.add_item();
                p.topic = topic;
                p.count = 0;
            }
            p.count += weight;
        });
    }
    // The words in order, each with its items: words are letters and
    // digits only, and items base-36 digits and signs, so neither needs
    // escaping in JSON.
    std::string json() {
        std::vector<const WordEntry*> sorted;
        sorted.reserve(entries.size());
        size_t size = 2;
        for (WordEntry& entry : entries) {
            entry.postings.add_item();
            sorted.push_back(&entry);
            size += entry.word.size() + entry.postings.items.size() + 6;
        }
        std::sort(sorted.begin(), sorted.end(), [](const auto* a, const auto* b) { return a->word < b->word; });
        std::string out = "{";
        out.reserve(size);
        for (const WordEntry* entry : sorted) {
            if (out.size() > 1) out += ',';
            out += '"';
            out += entry->word;
            out += "\":\"";
            out += entry->postings.items;
            out += '"';
        }
        out += '}';
        return out;
    }
};

}  // namespace

void write_search(const Site& site) {
    std::string pages = "[", titles = "[", snippets = "[";
    WordTable words;
    std::string text;
    for (size_t t = 0; t < site.topics.size(); ++t) {
        const HtmlTopic& topic = site.topics[t];
        body_text(topic.body, text);
        append_item(pages, topic.page);
        append_item(titles, shown_title(topic));
        append_item(snippets, snippet_of(text, topic.title));
        // A word of the title counts as five of the text.
        words.add(topic.title, static_cast<uint32_t>(t), 5);
        words.add(text, static_cast<uint32_t>(t), 1);
    }
    // The members in the order of their names, as a JSON object is written.
    const std::string head = "{\"pages\":" + pages + "],\"snippets\":" + snippets + "],\"titles\":" + titles + "]";
    std::string script = "var hlpSearchIndex = ";
    append_script_safe(script, head);
    script += ",\"words\":";
    script += words.json();
    script += "};\n";
    add_output(site.ctx, "search-index.js", script);
    write_search_page(site);
}

}  // namespace html_site
