// The events of the record walk as HTML: paragraphs, character formats as
// classes of the stylesheet, tables, hotspots as links and pictures.
#include "render/html/html_writer.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "core/tracked_allocator.h"
#include "firstpass/picture_names.h"
#include "firstpass/pictures.h"
#include "helpfile/byte_stream.h"
#include "platform/code_page.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "render/html/html_links.h"
#include "topics/topic_reader.h"

namespace {

// Bodies are held until every page is known; they may grow as large as one
// output file, no larger.
constexpr uint64_t largest_site = 0x40000000;

int32_t head_i32(const TopicWalk& walk, long offset) {
    return walk.head_size >= offset + 4 ? static_cast<int32_t>(get_le32(walk.head + offset)) : -1;
}

int16_t head_i16(const TopicWalk& walk, long offset) {
    return walk.head_size >= offset + 2 ? static_cast<int16_t>(get_le16(walk.head + offset)) : -1;
}

long bounded_length(const char* text, long limit) {
    const void* nul = limit > 0 ? std::memchr(text, 0, static_cast<size_t>(limit)) : nullptr;
    return nul != nullptr ? static_cast<const char*>(nul) - text : (limit > 0 ? limit : 0);
}

// Twips as CSS pixels (96 per inch).
long pixels(long twips) { return twips / 15; }

// The context a page is named by, if one points at the topic. A topic
// without one gets a page name of its own: that is no fault worth the
// complaint the rich text's lookup prints.
const char* page_context_name(DecompileContext& ctx, int32_t topic_offset) {
    const int32_t context = ctx.old_format ? -1 : first_context_of_topic(ctx, topic_offset);
    return context >= 0 ? unhash(ctx, ctx.contexts[context].hash) : nullptr;
}

}  // namespace

void HtmlWriter::walk_started(DecompileContext&) {}

void HtmlWriter::start_page(HtmlTopic topic, const char* name, const char* title, long title_length) {
    if (!topics.empty()) {
        close_paragraph();
        close_table();
        if (non_scrolling_open) body() += "</div>\n";
        non_scrolling_open = false;
        bytes += topics.back().body.size();
        if (bytes > largest_site) fatal_error("Output file exceeds %lu bytes.\n", (unsigned long)largest_site);
    }
    std::string plain;
    for (long i = 0; i < title_length; ++i)
        if (static_cast<uint8_t>(title[i]) < 0x20) plain += ' ';
        else plain += title[i];
    platform::code_page_append(code_page, plain.data(), plain.size(), topic.title);
    topic.page = html_page_name(used_names, name, topic.number - 16);
    topics.push_back(std::move(topic));
    popup_boxes.clear();
    current_font = -1;
    span_open = paragraph_open = table_open = cell_open = hotspot_open = false;
    if (!forwarded) ++s.topic_counter;
}

void HtmlWriter::topic_start(DecompileContext& ctx, const TopicWalk& walk) {
    // Forwarded, the rich-text writer has counted this topic already.
    const long counter = forwarded ? s.topic_counter - 1 : s.topic_counter;
    if (!forwarded) report_topic_progress(counter - 15);
    HtmlTopic topic{};
    if (ctx.old_format) {
        topic.offset = static_cast<int32_t>(counter);
        topic.browse_next = head_i16(walk, 8);
        topic.browse_previous = head_i16(walk, 4);
    } else {
        topic.offset = static_cast<int32_t>(s.topic_offset);
        const int32_t scroll_start = head_i32(walk, 20);
        if (!forwarded) s.non_scroll_end = scroll_start != -1 ? scroll_start : head_i32(walk, 24);
        topic.browse_next = head_i32(walk, 8);
        topic.browse_previous = head_i32(walk, 4);
    }
    topic.number = counter;
    const bool titled = walk.text != nullptr && walk.link.text_length > 0;
    start_page(std::move(topic), page_context_name(ctx, topic.offset), walk.text,
               titled ? bounded_length(walk.text, walk.text_size) : 0);
}

void HtmlWriter::recovered_topic(DecompileContext& ctx, const TopicWalk& walk) {
    const long counter = forwarded ? s.topic_counter - 1 : s.topic_counter;
    if (!forwarded) {
        report_topic_progress(counter - 15);
        s.non_scroll_end = -1;
    }
    HtmlTopic topic{};
    topic.offset = ctx.old_format ? static_cast<int32_t>(counter) : static_cast<int32_t>(s.topic_offset);
    topic.number = counter;
    topic.browse_previous = topic.browse_next = -1;
    start_page(std::move(topic), page_context_name(ctx, topic.offset), walk.title,
               bounded_length(walk.title, sizeof walk.title));
}

void HtmlWriter::close_span() {
    if (span_open) body() += "</span>";
    span_open = false;
}

void HtmlWriter::close_paragraph() {
    if (!paragraph_open) return;
    close_span();
    if (hotspot_open) body() += "</a>";
    hotspot_open = false;
    body() += "</p>\n";
    paragraph_open = false;
}

void HtmlWriter::close_table() {
    if (!table_open) return;
    close_paragraph();
    if (cell_open) body() += "</td></tr>\n";
    cell_open = false;
    body() += "</table>\n";
    table_open = false;
}

void HtmlWriter::paragraph_start(bool keep_next, bool in_table) {
    if (topics.empty()) return;
    close_paragraph();
    if (!in_table) close_table();
    if (keep_next && !non_scrolling_open) {
        body() += "<div class=\"nonscroll\">\n";
        non_scrolling_open = true;
    } else if (!keep_next && non_scrolling_open) {
        close_table();
        body() += "</div>\n";
        non_scrolling_open = false;
    }
    paragraph_in_table = in_table;
    paragraph_keep_next = keep_next;
    paragraph_style.clear();
}

void HtmlWriter::align(char side) { paragraph_style += side == 'r' ? "text-align:right;" : "text-align:center;"; }

void HtmlWriter::measure(int index, long twips) {
    static const char* const properties[] = {"margin-top",  "margin-bottom", "line-height",
                                             "margin-left", "margin-right",  "text-indent"};
    if (index == 2) {
        // Negative line spacing means exactly that; positive, at least.
        const long value = twips < 0 ? -twips : twips;
        if (value > 0) paragraph_style += "line-height:" + std::to_string(pixels(value)) + "px;";
        return;
    }
    paragraph_style += properties[index];
    paragraph_style += ':' + std::to_string(pixels(twips)) + "px;";
}

void HtmlWriter::border(uint8_t border) {
    const char* line = (border & 0x40) ? "3px double" : (border & 0x20) ? "2px solid" : "1px solid";
    if (border & 0x01) paragraph_style += std::string("border:") + line + ";";
    if (border & 0x02) paragraph_style += std::string("border-top:") + line + ";";
    if (border & 0x04) paragraph_style += std::string("border-left:") + line + ";";
    if (border & 0x08) paragraph_style += std::string("border-bottom:") + line + ";";
    if (border & 0x10) paragraph_style += std::string("border-right:") + line + ";";
    paragraph_style += "padding:2px;";
}

void HtmlWriter::paragraph_text() {}

void HtmlWriter::open_paragraph() {
    if (paragraph_open || topics.empty()) return;
    if (paragraph_in_table && !cell_open) {
        if (!table_open) {
            body() += "<table>\n";
            table_open = true;
        }
        body() += "<tr>";
        cell_index = 0;
        cell_open = true;
        body() += cell_index < static_cast<int>(cell_widths.size())
                      ? "<td style=\"width:" + std::to_string(cell_widths[cell_index]) + "px\">"
                      : std::string("<td>");
    }
    body() += paragraph_style.empty() ? std::string("<p>") : "<p style=\"" + paragraph_style + "\">";
    paragraph_open = true;
}

void HtmlWriter::append_text(const char* text, size_t length) {
    std::string& out = body();
    size_t one = 0;
    if (platform::code_page_byte(code_page, 'a', &one) == nullptr) {
        std::string converted;
        platform::code_page_append(code_page, text, length, converted);
        html_escape(out, converted);
        return;
    }
    // Single-byte text: runs of plain ASCII are copied as they are.
    static constexpr auto plain = [] {
        std::array<bool, 256> table{};
        for (int c = 0x20; c < 0x80; ++c) table[c] = c != '&' && c != '<' && c != '>' && c != '"';
        return table;
    }();
    for (size_t i = 0; i < length;) {
        size_t run = i;
        while (run < length && plain[static_cast<unsigned char>(text[run])]) ++run;
        out.append(text + i, run - i);
        if (run == length) break;
        const unsigned char c = static_cast<unsigned char>(text[run]);
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default:
            if (c >= 0x80) {
                size_t n = 0;
                const char* utf8 = platform::code_page_byte(code_page, c, &n);
                out.append(utf8, n);
            }
        }
        i = run + 1;
    }
}

void HtmlWriter::text(DecompileContext&, const char* text, long length) {
    if (length <= 0 || topics.empty()) return;
    open_paragraph();
    if (!span_open && current_font >= 0) {
        std::string& out = body();
        out += "<span class=\"f";
        html_append_number(out, static_cast<unsigned long>(current_font));
        out += "\">";
        span_open = true;
    }
    append_text(text, static_cast<size_t>(length));
}

void HtmlWriter::font_change(DecompileContext& ctx, int16_t number) {
    close_span();
    current_font = number >= 0 && number < ctx.font_count ? number : -1;
}

void HtmlWriter::row_start() {
    if (topics.empty()) return;
    close_paragraph();
    if (cell_open) body() += "</td></tr>\n";
    cell_open = false;
    cell_widths.clear();
}

void HtmlWriter::row_cells(DecompileContext& ctx, int columns, const uint8_t* entry, int64_t) {
    for (int j = 0; j < columns; ++j) {
        const int64_t w = static_cast<int16_t>(get_le16(entry + 4 * j));
        const int64_t twips = w * ctx.scale_multiplier - ctx.scale_subtrahend;
        cell_widths.push_back(twips > 0 ? static_cast<int>(pixels(static_cast<long>(twips))) : 0);
    }
}

void HtmlWriter::line_break() {
    open_paragraph();
    close_span();
    body() += "<br>";
}

void HtmlWriter::paragraph_end() {
    if (topics.empty()) return;
    open_paragraph();
    close_paragraph();
}

void HtmlWriter::table_paragraph_end() { paragraph_end(); }
void HtmlWriter::cell_paragraph_end() { paragraph_end(); }

void HtmlWriter::cell_end() {
    paragraph_end();
    if (!cell_open) return;
    ++cell_index;
    body() += cell_index < static_cast<int>(cell_widths.size())
                  ? "</td><td style=\"width:" + std::to_string(cell_widths[cell_index]) + "px\">"
                  : std::string("</td><td>");
}

void HtmlWriter::row_end() {
    paragraph_end();
    if (cell_open) body() += "</td></tr>\n";
    cell_open = false;
}

void HtmlWriter::tab() {
    open_paragraph();
    body() += "<span class=\"tab\"> </span>";
}

void HtmlWriter::non_breaking_space() {
    open_paragraph();
    body() += "&nbsp;";
}

void HtmlWriter::soft_hyphen() {
    open_paragraph();
    body() += "&shy;";
}

void HtmlWriter::picture(DecompileContext& ctx, char side, unsigned number) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    body() += html_picture_markup(*this, ctx, number, side);
}

void HtmlWriter::embedded_window(const char* command, const char* text) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    std::string label = text[0] == '!' ? std::string(text + 1) : std::string(text);
    std::string converted;
    platform::code_page_append(code_page, label.data(), label.size(), converted);
    std::string& out = body();
    out += text[0] == '!' ? "<span class=\"button\" title=\"" : "<span class=\"window\" title=\"";
    html_escape(out, converted);
    out += "\">[";
    if (text[0] == '!') {
        const size_t comma = converted.find(',');
        html_escape(out, converted.substr(0, comma));
    } else {
        html_escape(out, std::string(command) + " " + converted);
    }
    out += "]</span>";
}

void HtmlWriter::open_link(const std::string& href, const char* title, bool popup) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    if (hotspot_open) body() += "</a>";
    std::string& out = body();
    out += popup ? "<a class=\"popup\" href=\"" : "<a href=\"";
    out += href;
    out += '"';
    if (title != nullptr && title[0]) {
        out += " title=\"";
        std::string converted;
        platform::code_page_append(code_page, title, std::strlen(title), converted);
        html_escape(out, converted);
        out += '"';
    }
    out += '>';
    hotspot_open = true;
}

void HtmlWriter::macro_hotspot(DecompileContext& ctx, uint8_t, const char* macro) {
    if (topics.empty()) return;
    HtmlLink link = html_macro_link(ctx, macro);
    if (link.kind == HtmlLink::context_number) {
        const auto mapped = context_numbers.find(static_cast<int32_t>(link.value));
        // -1 is how a map says the number names no topic.
        if (mapped == context_numbers.end() || mapped->second == -1) link.kind = HtmlLink::none;
        else link = HtmlLink{HtmlLink::offset, static_cast<uint32_t>(mapped->second), link.popup, {}, {}};
    }
    if (link.kind == HtmlLink::none) {
        open_paragraph();
        close_span();
        if (hotspot_open) body() += "</a>";
        // Inert, with the macro to read.
        body() += "<a class=\"macro\" title=\"";
        std::string converted;
        platform::code_page_append(code_page, macro, std::strlen(macro), converted);
        html_escape(body(), converted);
        body() += "\">";
        hotspot_open = true;
        return;
    }
    html_open_link(*this, ctx, link, macro);
}

void HtmlWriter::topic_hotspot(DecompileContext& ctx, uint8_t code, uint32_t operand) {
    HtmlLink link{};
    link.popup = !(code & 1);
    if (code == 0xE0 || code == 0xE1) {
        link.kind = HtmlLink::number;
        link.value = operand;
    } else {
        link.kind = HtmlLink::hash;
        link.value = operand;
    }
    html_open_link(*this, ctx, link, nullptr);
}

void HtmlWriter::extended_hotspot(DecompileContext& ctx, uint8_t code, uint8_t link_type, uint32_t hash, int8_t,
                                  const char*, const char* file) {
    HtmlLink link{};
    link.popup = !(code & 1);
    link.kind = HtmlLink::hash;
    link.value = hash;
    if ((link_type == 4 || link_type == 6) && file != nullptr && file[0] && !html_is_this_file(ctx, file)) {
        link.kind = HtmlLink::other_file;
        link.file = file;
        link.name = unhash(ctx, hash);
    }
    html_open_link(*this, ctx, link, nullptr);
}

void HtmlWriter::hotspot_end(DecompileContext&) {
    if (!hotspot_open) return;
    close_span();
    body() += "</a>";
    hotspot_open = false;
}

void html_writer_start(DecompileContext& ctx, std::FILE* file, HtmlWriter& w) {
    w.code_page = platform::code_page_open(help_code_page(ctx, file));
    // JumpContext and PopupContext name their topic by its [MAP] number.
    std::vector<MapEntry> map;
    read_map_entries(ctx, file, map, true);
    for (const MapEntry& entry : map) w.context_numbers.emplace(entry.number, entry.topic_offset);
}

void html_writer_finish(DecompileContext& ctx, std::FILE* file, HtmlWriter& w) {
    if (!w.topics.empty()) {
        w.close_paragraph();
        w.close_table();
        if (w.non_scrolling_open) w.body() += "</div>\n";
    }
    html_site_write(ctx, file, w);
}

HtmlWriter::~HtmlWriter() { platform::code_page_close(code_page); }
