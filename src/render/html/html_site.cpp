#include "render/html/html_site.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <unordered_map>

#include "core/decompile_context.h"
#include "firstpass/keyword_window.h"
#include "platform/code_page.h"
#include "project/context_map.h"
#include "project/system_file.h"
#include "render/html/html_text.h"

namespace {

constexpr size_t largest_popup = 64 * 1024;

struct Site {
    DecompileContext& ctx;
    std::vector<HtmlTopic>& topics;
    platform::CodePageConverter* code_page;
    std::unordered_map<uint32_t, int32_t> offset_of_hash;
    std::unordered_map<uint32_t, long> topic_of_number;
};

// The topic holding topic offset `offset`: the last one starting at or
// before it; -1 when none does.
long topic_at_offset(const Site& site, int32_t offset) {
    const auto& topics = site.topics;
    auto it = std::upper_bound(topics.begin(), topics.end(), offset,
                               [](int32_t value, const HtmlTopic& t) { return value < t.offset; });
    if (it == topics.begin()) return -1;
    return static_cast<long>(it - topics.begin()) - 1;
}

// The topic at a topic offset the [MAP] gives; the oldest format's map
// holds the offsets its topic map lists for the topic numbers.
long topic_of_map_offset(const Site& site, int32_t offset) {
    const DecompileContext& ctx = site.ctx;
    if (!ctx.old_format) return topic_at_offset(site, offset);
    const int32_t wanted = offset == 0 && ctx.topic_map_count > 0 ? ctx.topic_map[0] : offset;
    for (int32_t i = 16; i < ctx.topic_map_count; ++i) {
        if (ctx.topic_map[i] != wanted) continue;
        auto it = site.topic_of_number.find(static_cast<uint32_t>(i));
        return it != site.topic_of_number.end() ? it->second : -1;
    }
    return -1;
}

long resolve(const Site& site, char kind, uint32_t value) {
    if (kind == marker_offset) return topic_of_map_offset(site, static_cast<int32_t>(value));
    if (kind == marker_number || site.ctx.old_format) {
        auto it = site.topic_of_number.find(value);
        return it != site.topic_of_number.end() ? it->second : -1;
    }
    auto it = site.offset_of_hash.find(value);
    return it != site.offset_of_hash.end() ? topic_at_offset(site, it->second) : -1;
}

// The target of a browse link as the header stores it.
long browse_target(const Site& site, int32_t value, long self) {
    if (value == -1) return -1;
    long target = -1;
    if (site.ctx.old_format) {
        auto it = site.topic_of_number.find(static_cast<uint32_t>(value));
        if (it != site.topic_of_number.end()) target = it->second;
    } else {
        target = topic_at_offset(site, value);
        if (target >= 0 && site.topics[target].offset != value) target = -1;
    }
    return target == self ? -1 : target;
}

// Copies body to out with its markers resolved; `embedded_in` is the page a
// popup's text is shown in (empty: its own page).
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
        if (kind == marker_popup_box) {
            if (embedded) out += topic.page;
            out += "#p";
            out += value;
            continue;
        }
        // The writer made the digits: eight hexadecimal ones or a decimal number.
        uint32_t number = 0;
        for (char c : value)
            number = kind == marker_jump || kind == marker_offset ? number * 16 + static_cast<uint32_t>(c <= '9' ? c - '0' : c - 'a' + 10)
                                         : number * 10 + static_cast<uint32_t>(c - '0');
        const long target = resolve(site, kind, number);
        if (target >= 0) out += site.topics[target].page;
        else out += '#';
    }
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

// `spent` (may be null) is let go once the entry is made and before its
// contents are allocated, so that they can take its room.
void add_output(DecompileContext& ctx, const std::string& name, const std::string& text,
                std::string* spent = nullptr) {
    MemoryFile* file = open_page(ctx, name);
    if (spent != nullptr) std::string().swap(*spent);
    output_reserve(file, text.size());
    output_write(text.data(), 1, text.size(), file);
}

// Long pages (the index, the contents) go out to their entry in parts, so
// they are never held twice.
void write_part(MemoryFile* file, std::string& part, bool last) {
    if (!last && part.size() < 64 * 1024) return;
    output_write(part.data(), 1, part.size(), file);
    part.clear();
}

void append_navigation(std::string& out, const Site& site, long previous, long next, bool keywords) {
    out += "<nav><a href=\"index.html\">Contents</a>";
    if (keywords) out += " <a href=\"keywords.html\">Index</a>";
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
    out += "</nav>\n";
}

std::string_view shown_title(const HtmlTopic& topic) {
    return topic.title.empty() ? std::string_view(topic.page).substr(0, topic.page.size() - 5)
                               : std::string_view(topic.title);
}

// A link to a topic's page, its title as the text, as list items show it.
void append_topic_link(std::string& out, const HtmlTopic& topic, const char* open, const char* close) {
    out += open;
    out += "<a href=\"";
    out += topic.page;
    out += "\">";
    html_escape(out, shown_title(topic));
    out += "</a>";
    out += close;
}

void write_pages(const Site& site, bool keywords) {
    auto& topics = site.topics;
    // A body shown as a popup elsewhere is kept until the last page; any
    // other is let go once its page is written, so the pages reuse its room.
    std::vector<bool> shown_elsewhere(topics.size(), false);
    std::vector<bool> small(topics.size(), false);
    for (size_t i = 0; i < topics.size(); ++i) small[i] = topics[i].body.size() <= largest_popup;
    for (const HtmlTopic& topic : topics)
        for (const HtmlPopup& popup : topic.popups) {
            const long target = resolve(site, popup.kind, popup.value);
            if (target >= 0 && small[target]) shown_elsewhere[target] = true;
        }
    // One buffer for every page: its room is allocated once, not per page.
    std::string page;
    for (size_t i = 0; i < topics.size(); ++i) {
        HtmlTopic& topic = topics[i];
        const long self = static_cast<long>(i);
        page.clear();
        append_page_head(page, shown_title(topic), nullptr);
        const size_t nav_start = page.size();
        append_navigation(page, site, browse_target(site, topic.browse_previous, self),
                          browse_target(site, topic.browse_next, self), keywords);
        const size_t nav_length = page.size() - nav_start;
        page += "<h1>";
        html_escape(page, shown_title(topic));
        page += "</h1>\n<main>\n";
        resolve_body(site, topic, false, page);
        page += "</main>\n";
        for (size_t p = 0; p < topic.popups.size(); ++p) {
            const long target = resolve(site, topic.popups[p].kind, topic.popups[p].value);
            page += "<div class=\"popup-box\" id=\"p";
            html_append_number(page, p);
            page += "\"><a class=\"close\" href=\"#\">&#215;</a>\n";
            // A popup is a few lines; a large one is linked, not copied into
            // every page that opens it.
            if (target >= 0 && small[target]) {
                resolve_body(site, topics[target], true, page);
            } else if (target >= 0) {
                append_topic_link(page, topics[target], "<p>", "</p>\n");
            }
            else
                page += "<p>(The popup's topic is not in this file.)</p>\n";
            page += "</div>\n";
        }
        page.append(page, nav_start, nav_length);
        page += "</body>\n</html>\n";
        add_output(site.ctx, topic.page, page, shown_elsewhere[i] ? nullptr : &topic.body);
    }
}

// Topics in browse order where sequences exist, else in file order.
std::vector<long> contents_order(const Site& site) {
    const auto& topics = site.topics;
    std::vector<long> order;
    std::vector<bool> listed(topics.size(), false);
    for (size_t i = 0; i < topics.size(); ++i) {
        if (listed[i]) continue;
        long head = static_cast<long>(i);
        // Back to the start of the sequence, at most once round any loop.
        for (size_t steps = 0; steps < topics.size(); ++steps) {
            const long previous = browse_target(site, topics[head].browse_previous, head);
            if (previous < 0 || listed[previous] || previous == static_cast<long>(i)) break;
            head = previous;
        }
        for (long t = head; t >= 0 && !listed[t]; t = browse_target(site, topics[t].browse_next, t)) {
            listed[t] = true;
            order.push_back(t);
        }
        if (!listed[i]) {
            listed[i] = true;
            order.push_back(static_cast<long>(i));
        }
    }
    return order;
}

std::string copyright_of(DecompileContext& ctx, std::FILE* file) {
    std::string text;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r))
        if (r->type == 2 && r->length > 0) text = system_record_text(r);
    return text;
}

// Keyword pages: one for K keywords, one for A keywords when there are any.
bool write_keywords(const Site& site, uint8_t letter, const char* page_name, const char* heading) {
    DecompileContext& ctx = site.ctx;
    const bool loaded = ctx.keyword_table_loaded && ctx.keyword_sources != nullptr;
    if (!loaded && letter != 'K') return false;
    // Occurrences come keyword by keyword: each keyword's are one run.
    std::vector<int64_t> first_of(loaded ? static_cast<size_t>(ctx.keyword_source_count) + 1 : 1, -1);
    for (int64_t i = ctx.keyword_occurrence_count - 1; loaded && i >= 0; --i) {
        const int32_t k = ctx.keyword_occurrences[i].keyword;
        if (k >= 0 && k < ctx.keyword_source_count) first_of[k] = i;
    }
    // A keyword's topics are a run of `targets`.
    struct Entry {
        const KeywordSource* source;
        size_t first, count;
    };
    std::vector<Entry> entries;
    std::vector<long> targets;
    for (int64_t k = 0; loaded && k < ctx.keyword_source_count; ++k) {
        const KeywordSource& source = ctx.keyword_sources[k];
        if (source.kind != 0 || source.letter != letter) continue;
        Entry entry{&source, targets.size(), 0};
        for (int64_t i = first_of[k]; i >= 0 && i < ctx.keyword_occurrence_count &&
                                      ctx.keyword_occurrences[i].keyword == k; ++i) {
            const int32_t offset = ctx.keyword_occurrences[i].topic_offset;
            const long t = ctx.old_format ? resolve(site, marker_number, static_cast<uint32_t>(offset))
                                          : topic_at_offset(site, offset);
            if (t >= 0) targets.push_back(t);
        }
        entry.count = targets.size() - entry.first;
        if (entry.count != 0) entries.push_back(entry);
    }
    if (entries.empty() && letter != 'K') return false;
    // Alphabetical without regard to case; keywords that differ only in case
    // keep the index's order.
    uint8_t fold[256];
    platform::code_page_fold_table(site.code_page, fold);
    auto text_of = [&ctx](const KeywordSource& source) {
        const bool inside = source.text >= 0 && source.length > 0 && source.text + source.length <= ctx.keyword_text_size;
        return inside ? std::string_view(ctx.keyword_texts + source.text, static_cast<size_t>(source.length))
                      : std::string_view();
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const std::string_view x = text_of(*a.source), y = text_of(*b.source);
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [&fold](char p, char q) {
            return fold[static_cast<uint8_t>(p)] < fold[static_cast<uint8_t>(q)];
        });
    });
    MemoryFile* file = open_page(ctx, page_name);
    std::string page, text;
    append_page_head(page, heading, "keywords");
    page += "<nav><a href=\"index.html\">Contents</a></nav>\n<h1>";
    html_escape(page, heading);
    page += "</h1>\n<dl>\n";
    for (const Entry& entry : entries) {
        const KeywordSource& source = *entry.source;
        text.clear();
        const std::string_view raw = text_of(source);
        platform::code_page_append(site.code_page, raw.data(), raw.size(), text);
        page += "<dt>";
        html_escape(page, text);
        page += "</dt>\n";
        for (size_t i = entry.first; i < entry.first + entry.count; ++i)
            append_topic_link(page, site.topics[targets[i]], "<dd>", "</dd>\n");
        write_part(file, page, false);
    }
    page += "</dl>\n";
    if (entries.empty()) page += "<p>This help file has no keywords.</p>\n";
    page += "</body>\n</html>\n";
    write_part(file, page, true);
    return true;
}

void write_index(const Site& site, std::FILE* file, bool alinks) {
    DecompileContext& ctx = site.ctx;
    std::string title;
    platform::code_page_append(site.code_page, ctx.help_title, std::strlen(ctx.help_title), title);
    if (title.empty()) title = ctx.base_name;
    MemoryFile* out = open_page(ctx, "index.html");
    std::string page;
    append_page_head(page, title, "contents");
    page += "<h1>";
    html_escape(page, title);
    page += "</h1>\n";
    const std::string raw = copyright_of(ctx, file);
    if (!raw.empty()) {
        std::string copyright;
        platform::code_page_append(site.code_page, raw.data(), raw.size(), copyright);
        page += "<p class=\"copyright\">";
        html_escape(page, copyright);
        page += "</p>\n";
    }
    page += "<nav><a href=\"keywords.html\">Index</a>";
    if (alinks) page += " <a href=\"akeywords.html\">A keywords</a>";
    page += "</nav>\n<h2>Contents</h2>\n<ol class=\"contents\">\n";
    for (long t : contents_order(site)) {
        append_topic_link(page, site.topics[t], "<li>", "</li>\n");
        write_part(out, page, false);
    }
    page += "</ol>\n</body>\n</html>\n";
    write_part(out, page, true);
}

void write_stylesheet(DecompileContext& ctx) {
    std::string css =
        "body{font-family:Arial,Helvetica,sans-serif;font-size:10pt;margin:1em 2em;max-width:60em}\n"
        "p{margin:0;min-height:1em}\n"
        "nav{margin:.5em 0;padding:.3em 0;border-bottom:1px solid #ccc}\n"
        "nav a{margin-right:1em}\n"
        "h1{font-size:1.4em}\n"
        ".nonscroll{background:#ffffe0;border-bottom:1px solid #999;padding:.3em;margin-bottom:.5em}\n"
        "table{border-collapse:collapse}\n"
        "td{vertical-align:top;padding:2px 4px}\n"
        ".tab{display:inline-block;width:3em}\n"
        "img.left{float:left;margin-right:.5em}\n"
        "img.right{float:right;margin-left:.5em}\n"
        "a.popup{text-decoration:underline dotted;color:#060}\n"
        "a.macro{color:inherit;text-decoration:underline dashed}\n"
        ".button{border:1px outset #999;padding:0 .3em;background:#eee}\n"
        ".window,.missing{border:1px dashed #999;padding:0 .3em;color:#666}\n"
        ".popup-box{display:none}\n"
        ".popup-box:target{display:block;position:fixed;top:15%;left:15%;right:15%;max-height:60%;overflow:auto;"
        "background:#ffffe8;border:1px solid #333;box-shadow:4px 4px 12px #888;padding:.5em 1em}\n"
        ".popup-box .close{float:right;text-decoration:none;font-size:1.4em}\n"
        "dt{margin-top:.3em}\n";
    static const char* const families[] = {"", "serif", "sans-serif", "monospace", "cursive", "fantasy", "monospace"};
    for (int32_t i = 0; i < ctx.font_count && ctx.fonts != nullptr; ++i) {
        const FontDescriptor& f = ctx.fonts[i];
        css += ".f" + std::to_string(i) + "{";
        if (f.family > 0 && f.family < 7) css += std::string("font-family:") + families[f.family] + ";";
        if (f.size > 0) css += "font-size:" + std::to_string(f.size / 2) + (f.size & 1 ? ".5" : "") + "pt;";
        if (f.bold) css += "font-weight:bold;";
        if (f.italic) css += "font-style:italic;";
        if (f.underline || f.double_underline || f.strikeout) {
            css += "text-decoration:";
            if (f.underline || f.double_underline) css += " underline";
            if (f.strikeout) css += " line-through";
            if (f.double_underline) css += " double";
            css += ";";
        }
        if (f.small_caps) css += "font-variant:small-caps;";
        auto colour = [&](int index, const char* property) {
            if (index <= 0 || index >= ctx.colour_count) return;
            char value[16];
            std::snprintf(value, sizeof value, "#%02x%02x%02x", ctx.colours[index][0], ctx.colours[index][1],
                          ctx.colours[index][2]);
            css += std::string(property) + ":" + value + ";";
        };
        colour(f.foreground, "color");
        colour(f.background, "background-color");
        if (f.vertical_offset > 0) css += "vertical-align:super;";
        if (f.vertical_offset < 0) css += "vertical-align:sub;";
        css += "}\n";
    }
    add_output(ctx, "style.css", css);
}

}  // namespace

void html_site_write(DecompileContext& ctx, std::FILE* file, std::vector<HtmlTopic>& topics,
                     platform::CodePageConverter* code_page) {
    Site site{ctx, topics, code_page, {}, {}};
    for (int32_t i = 0; i < ctx.context_count && ctx.contexts != nullptr; ++i)
        site.offset_of_hash.emplace(ctx.contexts[i].hash, ctx.contexts[i].topic_offset);
    for (size_t i = 0; i < topics.size(); ++i)
        site.topic_of_number.emplace(static_cast<uint32_t>(topics[i].number), static_cast<long>(i));
    write_stylesheet(ctx);
    write_keywords(site, 'K', "keywords.html", "Index");
    const bool alinks = write_keywords(site, 'A', "akeywords.html", "A keywords");
    write_index(site, file, alinks);
    write_pages(site, true);
}
