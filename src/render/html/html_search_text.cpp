#include "render/html/html_search_text.h"

#include <bit>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "render/html/html_links.h"
#include "render/html/html_search_words.h"

// Eight bytes are tested at once: bodies are mostly text between tags.
size_t html_find_any(std::string_view text, size_t at, char a, char b, char c) {
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    const uint64_t as = ones * static_cast<uint8_t>(a), bs = ones * static_cast<uint8_t>(b);
    const uint64_t cs = ones * static_cast<uint8_t>(c);
    if constexpr (std::endian::native == std::endian::little) {
        for (; at + 8 <= text.size(); at += 8) {
            uint64_t bytes;
            std::memcpy(&bytes, text.data() + at, 8);
            const uint64_t x = bytes ^ as, y = bytes ^ bs, z = bytes ^ cs;
            // A byte that is zero in x, y or z sets its top bit; a borrow
            // can only mark bytes above the first match.
            const uint64_t found = (((x - ones) & ~x) | ((y - ones) & ~y) | ((z - ones) & ~z)) & highs;
            if (found != 0) return at + static_cast<size_t>(std::countr_zero(found) / 8);
        }
    }
    while (at < text.size() && text[at] != a && text[at] != b && text[at] != c) ++at;
    return at;
}

namespace {

size_t find_either(std::string_view text, size_t at, char a, char b) { return html_find_any(text, at, a, b, b); }

constexpr bool ascii_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Tags that start a block: the words on either side are apart (p, br,
// td, tr, div, table, li, dt, dd, h1, h2, h3). Every tag of a body is
// asked, so the names are told apart by their length first.
bool block_tag(std::string_view name) {
    switch (name.size()) {
        case 1: return name[0] == 'p';
        case 2: {
            const char pair[] = {name[0], name[1]};
            for (const char* block : {"br", "td", "tr", "li", "dt", "dd", "h1", "h2", "h3"})
                if (pair[0] == block[0] && pair[1] == block[1]) return true;
            return false;
        }
        case 3: return name == "div";
        case 5: return name == "table";
        default: return false;
    }
}

// The spans open where a tag is read, each true when it holds a column of
// text laid out at tab stops: the writer's tab cells (class "tab-...") and
// the plain spans of aligned text inside them. Their text is apart from
// the next column's, as the reader sees it.
using TabSpans = std::vector<bool>;

void note_span(std::string_view body, size_t at, bool closing, TabSpans& spans, std::string& out) {
    if (closing) {
        if (!spans.empty() && spans.back()) out += ' ';
        if (!spans.empty()) spans.pop_back();
        return;
    }
    const std::string_view tag = body.substr(at);
    const bool tab = tag.starts_with("<span class=\"tab-") || tag.starts_with("<span>");
    if (tab) out += ' ';
    spans.push_back(tab);
}

// Skips the tag at body[at] ('<'); markers inside it may hold any byte.
size_t skip_tag(std::string_view body, size_t at, TabSpans& spans, std::string& out) {
    const bool closing = at + 1 < body.size() && body[at + 1] == '/';
    size_t name_start = at + 1 + closing;
    size_t name_end = name_start;
    while (name_end < body.size() && ascii_alnum(body[name_end])) ++name_end;
    const std::string_view name = body.substr(name_start, name_end - name_start);
    if (block_tag(name)) out += ' ';
    else if (name == "span") note_span(body, at, closing, spans, out);
    for (size_t i = find_either(body, name_end, '>', html_marker); i < body.size();) {
        if (body[i] == '>') return i + 1;
        const size_t end = body.find(html_marker, i + 1);
        if (end == std::string_view::npos) return body.size();
        i = find_either(body, end + 1, '>', html_marker);
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
        char bytes[4];
        if (c > 0 && c < 0x110000) out.append(bytes, html_site::utf8_bytes(bytes, static_cast<uint32_t>(c)));
    }
    return end + 1;
}

}  // namespace

void html_visible_text(std::string_view body, std::string& out) {
    TabSpans spans;
    size_t at = 0;
    while (at < body.size()) {
        const size_t stop = html_find_any(body, at, '<', '&', html_marker);
        out.append(body.data() + at, stop - at);
        if (stop == body.size()) break;
        if (body[stop] == html_marker) {
            const size_t end = body.find(html_marker, stop + 1);
            at = end == std::string_view::npos ? body.size() : end + 1;
            continue;
        }
        at = body[stop] == '<' ? skip_tag(body, stop, spans, out) : decode_entity(body, stop, out);
    }
}
