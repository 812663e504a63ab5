#include "render/html/html_site_shared.h"

#include <algorithm>

#include "core/decompile_context.h"
#include "core/memory_file.h"
#include "render/html/html_keyword_ids.h"
#include "render/html/html_text.h"

namespace html_site {

long topic_at_offset(const Site& site, int32_t offset) {
    const auto& topics = site.topics;
    auto it = std::upper_bound(topics.begin(), topics.end(), offset,
                               [](int32_t value, const HtmlTopic& t) { return value < t.offset; });
    if (it == topics.begin()) return -1;
    return static_cast<long>(it - topics.begin()) - 1;
}

// The topic at a topic offset the [MAP] gives; the oldest format's map
// holds the offsets its topic map lists for the topic numbers.
namespace {

long topic_of_map_offset(const Site& site, int32_t offset) {
    const DecompileContext& ctx = site.ctx;
    if (!ctx.old_format) return topic_at_offset(site, offset);
    const int32_t wanted = offset == 0 && ctx.topic_map_count > 0 ? ctx.topic_map[0] : offset;
    for (int32_t i = 16; i < ctx.topic_map_count; ++i) {
        if (ctx.topic_map[i] != wanted) continue;
        return static_cast<long>(number_map_find(site.topic_of_number, static_cast<uint32_t>(i), -1));
    }
    return -1;
}

}  // namespace

long resolve(const Site& site, char kind, uint32_t value) {
    if (kind == marker_offset) return topic_of_map_offset(site, static_cast<int32_t>(value));
    if (kind == marker_number || site.ctx.old_format)
        return static_cast<long>(number_map_find(site.topic_of_number, value, -1));
    return static_cast<long>(number_map_find(site.topic_of_hash, value, -1));
}

long browse_target(const Site& site, int32_t value, long self) {
    if (value == -1) return -1;
    long target = -1;
    if (site.ctx.old_format) {
        target = static_cast<long>(number_map_find(site.topic_of_number, static_cast<uint32_t>(value), -1));
    } else {
        target = topic_at_offset(site, value);
        if (target >= 0 && site.topics[target].offset != value) target = -1;
    }
    return target == self ? -1 : target;
}

void resolve_body(const Site& site, const HtmlTopic& topic, bool embedded, std::string& out) {
    const std::string& body = topic.body;
    size_t at = 0;
    while (at < body.size()) {
        const size_t marker = body.find(html_marker, at);
        if (marker == std::string::npos) {
            out.append(body, at, std::string::npos);
            break;
        }
        out.append(body, at, marker - at);
        const size_t end = body.find(html_marker, marker + 1);
        if (end == std::string::npos || end < marker + 2) break;
        const char kind = body[marker + 1];
        const std::string_view value(body.data() + marker + 2, end - marker - 2);
        at = end + 1;
        if (kind == marker_anchor) {
            // Shown as a popup elsewhere, the topic's anchors are not that page's.
            if (embedded) continue;
            out += "<span id=\"c";
            out += value;
            out += "\"></span>";
            continue;
        }
        if (kind == marker_keyword) {
            append_keyword_href(site, value, out);
            continue;
        }
        if (kind == marker_popup_box) {
            if (embedded) out += topic.page;
            out += "#p";
            append_popup_box(site, topic, value, out);
            continue;
        }
        // The writer made the digits: eight hexadecimal ones or a decimal number.
        uint32_t number = 0;
        for (char c : value)
            number = kind == marker_jump || kind == marker_offset ? number * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10)
                                         : number * 10 + static_cast<uint32_t>(c - '0');
        const long target = resolve(site, kind, number);
        if (target < 0) {
            out += '#';
            continue;
        }
        out += site.topics[target].page;
        if (kind == marker_jump) append_anchor_fragment(site, target, number, out);
    }
}

void append_popup_box(const Site& site, const HtmlTopic& topic, std::string_view link, std::string& out) {
    const size_t self = static_cast<size_t>(&topic - site.topics.data());
    uint32_t number = 0;
    for (char c : link) number = number * 10 + static_cast<uint32_t>(c - '0');
    if (self < site.popup_boxes.size() && number < site.popup_boxes[self].size()) number = site.popup_boxes[self][number];
    html_append_number(out, number);
}

void append_anchor_fragment(const Site& site, long topic, uint32_t hash, std::string& out) {
    // A context id inside its topic has an anchor there, named by the hash.
    const std::vector<uint32_t>& anchors = site.topics[topic].anchors;
    if (!std::binary_search(anchors.begin(), anchors.end(), hash)) return;
    static constexpr char hex[] = "0123456789abcdef";
    out += "#c";
    for (int shift = 28; shift >= 0; shift -= 4) out += hex[(hash >> shift) & 0xF];
}

void append_page_head(std::string& out, std::string_view title, const char* extra_class) {
    out += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<title>";
    html_escape(out, title);
    out += "</title>\n<link rel=\"stylesheet\" href=\"style.css\">\n</head>\n<body";
    if (extra_class != nullptr) {
        out += " class=\"";
        out += extra_class;
        out += '"';
    }
    out += ">\n";
}

MemoryFile* open_page(DecompileContext& ctx, const std::string& name) {
    MemoryFile* file = output_open(("html\\" + name).c_str(), "wb");
    output_add(ctx.outputs, file);
    return file;
}

void add_output(DecompileContext& ctx, const std::string& name, const std::string& text, std::string* spent) {
    MemoryFile* file = open_page(ctx, name);
    if (spent != nullptr) std::string().swap(*spent);
    output_reserve(file, text.size());
    output_write(text.data(), 1, text.size(), file);
}

void write_part(MemoryFile* file, std::string& part, bool last) {
    if (!last && part.size() < 64 * 1024) return;
    output_write(part.data(), 1, part.size(), file);
    part.clear();
}

void append_navigation(std::string& out, const Site& site, long previous, long next, bool keywords) {
    out += "<nav><a href=\"index.html\">Contents</a>";
    if (keywords) out += " <a href=\"keywords.html\">Index</a>";
    out += " <a href=\"search.html\">Search</a>";
    if (previous >= 0) {
        out += " <a rel=\"prev\" href=\"";
        out += site.topics[previous].page;
        out += "\">&lt;&lt; Previous</a>";
    }
    if (next >= 0) {
        out += " <a rel=\"next\" href=\"";
        out += site.topics[next].page;
        out += "\">Next &gt;&gt;</a>";
    }
    for (const NavButton& button : site.buttons) {
        out += " <a class=\"button\" href=\"";
        out += button.href;
        out += "\">";
        html_escape(out, button.label);
        out += "</a>";
    }
    out += "</nav>\n";
}

namespace {

// The text of some HTML with its tags and white space left out and ASCII
// letters in lower case: a region's title may differ from the topic's in
// spacing and case alone ("TPtoDP", "ALC_Values").
std::string folded_text(std::string_view html) {
    std::string text(html.size(), '\0');  // written in place, then cut to size
    size_t size = 0;
    bool in_tag = false;
    for (const char c : html) {
        if (c == '<') in_tag = true;
        else if (c == '>') in_tag = false;
        else if (!in_tag && c != ' ' && c != '\n' && c != '\t')
            text[size++] = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
    }
    text.resize(size);
    return text;
}

// Whether folded_text(html) is `folded`, told from as few characters as
// it takes: a first paragraph is mostly not its topic's title.
bool folded_text_is(std::string_view html, std::string_view folded) {
    size_t at = 0;
    bool in_tag = false;
    for (const char c : html) {
        if (c == '<') in_tag = true;
        else if (c == '>') in_tag = false;
        else if (!in_tag && c != ' ' && c != '\n' && c != '\t') {
            const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
            if (at == folded.size() || folded[at] != lower) return false;
            ++at;
        }
    }
    return at == folded.size();
}

}  // namespace

bool region_holds_title(const HtmlTopic& topic) {
    const std::string_view body = topic.body;
    const size_t start = topic.region_at < 0 ? std::string_view::npos : static_cast<size_t>(topic.region_at);
    std::string title;
    html_escape(title, topic.title);
    if (start == std::string::npos) {
        // Without a region, a first paragraph that is the title alone.
        if (title.empty() || !body.starts_with("<p")) return false;
        const size_t end = body.find("</p>");
        return end != std::string::npos && folded_text_is(body.substr(0, end), folded_text(title));
    }
    // An untitled topic's heading would only repeat its page name.
    if (title.empty()) return true;
    const size_t end = body.find("</div>", start);
    return folded_text(body.substr(start, end == std::string::npos ? end : end - start)).find(folded_text(title)) !=
           std::string::npos;
}

std::string_view shown_title(const HtmlTopic& topic) {
    return topic.title.empty() ? std::string_view(topic.page).substr(0, topic.page.size() - 5)
                               : std::string_view(topic.title);
}

void append_topic_link(std::string& out, const HtmlTopic& topic, const char* open, const char* close) {
    out += open;
    out += "<a href=\"";
    out += topic.page;
    out += "\">";
    // Lists name a topic many times (a keyword's, the contents): a title
    // longer than a line is cut there, at a character's start.
    constexpr size_t longest_listed_title = 240;
    std::string_view title = shown_title(topic);
    const bool cut = title.size() > longest_listed_title;
    if (cut) {
        size_t end = longest_listed_title;
        while (end > 0 && (static_cast<unsigned char>(title[end]) & 0xC0) == 0x80) --end;
        title = title.substr(0, end);
    }
    html_escape(out, title);
    if (cut) out += "\xE2\x80\xA6";  // …
    out += "</a>";
    out += close;
}

}  // namespace html_site
