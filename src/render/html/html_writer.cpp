// The events of the record walk as HTML: paragraphs, character formats as
// classes of the stylesheet, tables, hotspots as links and pictures.
#include "render/html/html_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "core/tracked_allocator.h"
#include "helpfile/byte_stream.h"
#include "platform/code_page.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "render/html/html_text.h"

namespace {

// Bodies are held until every page is known; they may grow as large as one
// output file, no larger.
constexpr uint64_t largest_site = 0x40000000;

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

void HtmlWriter::close_page() {
    if (topics.empty()) return;
    close_paragraph();
    close_table();
    close(non_scrolling_open, "</div>\n");
    topics.back().popups = std::move(popups.boxes);
    popups = HtmlPagePopups{};
}

void HtmlWriter::start_page(HtmlTopic topic, const char* name, const char* title, long title_length) {
    if (!topics.empty()) {
        close_page();
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
    current_font = -1;
    span_open = paragraph_open = table_open = cell_open = hotspot_open = false;
}

void HtmlWriter::on(DecompileContext& ctx, const TopicStart& start) {
    HtmlTopic topic{};
    topic.offset = ctx.old_format ? static_cast<int32_t>(start.number) : static_cast<int32_t>(start.offset);
    if (ctx.old_format) topic.keyword_reach = static_cast<int32_t>(start.position);
    topic.browse_next = start.header.browse_next;
    topic.browse_previous = start.header.browse_previous;
    topic.number = start.number;
    start_page(std::move(topic), page_context_name(ctx, topic.offset), start.text, start.title_length);
}

void HtmlWriter::on(DecompileContext& ctx, const RecoveredTopic& recovered) {
    HtmlTopic topic{};
    topic.offset = ctx.old_format ? static_cast<int32_t>(recovered.number) : static_cast<int32_t>(recovered.offset);
    topic.number = recovered.number;
    topic.browse_previous = topic.browse_next = -1;
    start_page(std::move(topic), page_context_name(ctx, topic.offset), recovered.title, recovered.title_length);
}

void HtmlWriter::close(bool& open, const char* tag) {
    if (open) body() += tag;
    open = false;
}

void HtmlWriter::close_span() { close(span_open, "</span>"); }

void HtmlWriter::close_paragraph() {
    if (!paragraph_open) return;
    close_span();
    close(hotspot_open, "</a>");
    close(paragraph_open, "</p>\n");
}

void HtmlWriter::close_row() { close(cell_open, "</td></tr>\n"); }

void HtmlWriter::close_table() {
    if (!table_open) return;
    close_paragraph();
    close_row();
    close(table_open, "</table>\n");
}

void HtmlWriter::on(DecompileContext&, const ParagraphStart& paragraph) {
    if (topics.empty()) return;
    close_paragraph();
    if (!paragraph.in_table) close_table();
    if (paragraph.keep_next && !non_scrolling_open) {
        body() += "<div class=\"nonscroll\">\n";
        non_scrolling_open = true;
    } else if (!paragraph.keep_next && non_scrolling_open) {
        close_table();
        close(non_scrolling_open, "</div>\n");
    }
    paragraph_in_table = paragraph.in_table;
    paragraph_style.clear();
}

void HtmlWriter::on(DecompileContext&, const ParagraphFormat& format) {
    if (format.flags & 0x0400) paragraph_style += "text-align:right;";
    if (format.flags & 0x0800) paragraph_style += "text-align:center;";
    static const char* const properties[] = {"margin-top",  "margin-bottom", "line-height",
                                             "margin-left", "margin-right",  "text-indent"};
    for (int m = 0; m < 6; ++m) {
        if (!(format.flags & (0x0002 << m))) continue;
        const long twips = format.measures[m];
        if (m == 2) {
            // Negative line spacing means exactly that; positive, at least.
            const long value = twips < 0 ? -twips : twips;
            if (value > 0) paragraph_style += "line-height:" + std::to_string(pixels(value)) + "px;";
            continue;
        }
        paragraph_style += properties[m];
        paragraph_style += ':' + std::to_string(pixels(twips)) + "px;";
    }
    if (!(format.flags & 0x0100)) return;
    const uint8_t border = format.border;
    const char* line = (border & 0x40) ? "3px double" : (border & 0x20) ? "2px solid" : "1px solid";
    if (border & 0x01) paragraph_style += std::string("border:") + line + ";";
    if (border & 0x02) paragraph_style += std::string("border-top:") + line + ";";
    if (border & 0x04) paragraph_style += std::string("border-left:") + line + ";";
    if (border & 0x08) paragraph_style += std::string("border-bottom:") + line + ";";
    if (border & 0x10) paragraph_style += std::string("border-right:") + line + ";";
    paragraph_style += "padding:2px;";
}

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

void HtmlWriter::on(DecompileContext& ctx, const TextRun& run) {
    if (topics.empty()) return;
    if (!ctx.old_format) {
        // The offsets run on with the characters while they stay in range.
        const int64_t end = static_cast<int32_t>(run.range_end);
        const int64_t past = static_cast<int32_t>(run.range_start) + int64_t(run.length);
        int64_t& reach = topics.back().keyword_reach;
        reach = std::max(reach, past < end ? past : end - 1);
    }
    if (run.length <= 0) return;
    open_paragraph();
    std::string& out = body();
    if (!span_open && current_font >= 0) {
        out += "<span class=\"f";
        html_append_number(out, static_cast<unsigned long>(current_font));
        out += "\">";
        span_open = true;
    }
    html_append_text(out, code_page, run.text, static_cast<size_t>(run.length));
}

void HtmlWriter::on(DecompileContext& ctx, const FontChange& change) {
    close_span();
    current_font = change.font >= 0 && change.font < ctx.font_count ? change.font : -1;
}

void HtmlWriter::on(DecompileContext& ctx, const TableRow& table) {
    if (topics.empty()) return;
    close_paragraph();
    close_row();
    cell_widths.clear();
    const RowDefinition& row = table.row;
    if (!row.complete) return;
    for (int j = 0; j < row.columns; ++j) {
        const int64_t w = static_cast<int16_t>(get_le16(row.entries + 4 * j));
        const int64_t twips = w * ctx.scale_multiplier - ctx.scale_subtrahend;
        cell_widths.push_back(twips > 0 ? static_cast<int>(pixels(static_cast<long>(twips))) : 0);
    }
}

void HtmlWriter::on(DecompileContext&, const LineBreak&) {
    open_paragraph();
    close_span();
    body() += "<br>";
}

void HtmlWriter::end_paragraph() {
    if (topics.empty()) return;
    open_paragraph();
    close_paragraph();
}

void HtmlWriter::on(DecompileContext&, const ParagraphEnd& end) {
    end_paragraph();
    if (end.kind == ParagraphEndKind::cell && cell_open) {
        ++cell_index;
        body() += cell_index < static_cast<int>(cell_widths.size())
                      ? "</td><td style=\"width:" + std::to_string(cell_widths[cell_index]) + "px\">"
                      : std::string("</td><td>");
    } else if (end.kind == ParagraphEndKind::row) {
        close_row();
    }
}

void HtmlWriter::on(DecompileContext&, const Tab&) {
    open_paragraph();
    body() += "<span class=\"tab\"> </span>";
}

void HtmlWriter::on(DecompileContext&, const NonBreakingSpace&) {
    open_paragraph();
    body() += "&nbsp;";
}

void HtmlWriter::on(DecompileContext&, const SoftHyphen&) {
    open_paragraph();
    body() += "&shy;";
}

void HtmlWriter::on(DecompileContext& ctx, const Picture& picture) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    auto href_of = [this](const HtmlLink& link) { return html_link_href(link, nullptr, popups).href; };
    body() += html_picture_markup(ctx, pictures, picture.number, picture.side, code_page, map_numbers, href_of);
}

void HtmlWriter::on(DecompileContext& ctx, const EmbeddedWindow& window) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    const char* text = window.text;
    std::string label = text[0] == '!' ? std::string(text + 1) : std::string(text);
    std::string converted;
    platform::code_page_append(code_page, label.data(), label.size(), converted);
    std::string& out = body();
    // A button whose macro links (KLink, JumpId...) is a link around its box.
    const char* comma = text[0] == '!' ? std::strchr(text, ',') : nullptr;
    const HtmlLink link = comma != nullptr ? html_macro_link(ctx, comma + 1, map_numbers) : HtmlLink{};
    const bool linked = link.kind != HtmlLink::none && !hotspot_open;
    if (linked) {
        const bool popup = link.kind != HtmlLink::other_file && link.popup;
        out += popup ? "<a class=\"popup\" href=\"" : "<a href=\"";
        out += html_link_href(link, nullptr, popups).href;
        out += "\">";
    }
    out += text[0] == '!' ? "<span class=\"button\" title=\"" : "<span class=\"window\" title=\"";
    html_escape(out, converted);
    out += "\">[";
    if (text[0] == '!') {
        const size_t comma = converted.find(',');
        html_escape(out, converted.substr(0, comma));
    } else {
        html_escape(out, std::string(window.command) + " " + converted);
    }
    out += "]</span>";
    if (linked) out += "</a>";
}

void HtmlWriter::open_link(const HtmlHref& href, bool popup) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    close(hotspot_open, "</a>");
    std::string& out = body();
    out += popup ? "<a class=\"popup\" href=\"" : "<a href=\"";
    out += href.href;
    out += '"';
    if (!href.title.empty()) {
        out += " title=\"";
        html_escape_converted(out, code_page, href.title);
        out += '"';
    }
    out += '>';
    hotspot_open = true;
}

void HtmlWriter::on(DecompileContext& ctx, const MacroHotspot& hotspot) {
    if (topics.empty()) return;
    const HtmlLink link = html_macro_link(ctx, hotspot.macro, map_numbers);
    if (link.kind != HtmlLink::none) {
        const bool popup = link.kind != HtmlLink::other_file && link.popup;
        open_link(html_link_href(link, hotspot.macro, popups), popup);
        return;
    }
    open_paragraph();
    close_span();
    close(hotspot_open, "</a>");
    // Inert, with the macro to read.
    body() += "<a class=\"macro\" title=\"";
    html_escape_converted(body(), code_page, hotspot.macro);
    body() += "\">";
    hotspot_open = true;
}

void HtmlWriter::on(DecompileContext&, const TopicHotspot& hotspot) {
    const uint8_t code = hotspot.code;
    HtmlLink link{};
    link.popup = !(code & 1);
    link.kind = code == 0xE0 || code == 0xE1 ? HtmlLink::number : HtmlLink::hash;
    link.value = hotspot.operand;
    if (topics.empty()) return;
    open_link(html_link_href(link, nullptr, popups), link.popup);
}

void HtmlWriter::on(DecompileContext& ctx, const ExtendedHotspot& hotspot) {
    HtmlLink link{};
    link.popup = !(hotspot.code & 1);
    link.kind = HtmlLink::hash;
    link.value = hotspot.hash;
    const char* file = hotspot.file;
    const uint8_t type = hotspot.link_type;
    if ((type == 4 || type == 6) && file != nullptr && file[0] && !html_is_this_file(ctx, file)) {
        link.kind = HtmlLink::other_file;
        link.file = file;
        link.name = unhash(ctx, hotspot.hash);
    }
    if (topics.empty()) return;
    const bool popup = link.kind != HtmlLink::other_file && link.popup;
    open_link(html_link_href(link, nullptr, popups), popup);
}

void HtmlWriter::on(DecompileContext&, const HotspotEnd&) {
    if (!hotspot_open) return;
    close_span();
    close(hotspot_open, "</a>");
}

void html_writer_start(DecompileContext& ctx, std::FILE* file, HtmlWriter& w) {
    w.code_page = platform::code_page_open(help_code_page(ctx, file));
    // JumpContext and PopupContext name their topic by its [MAP] number.
    std::vector<MapEntry> map;
    read_map_entries(ctx, file, map, true);
    for (const MapEntry& entry : map) w.map_numbers.emplace(entry.number, entry.topic_offset);
}

void html_writer_finish(DecompileContext& ctx, std::FILE* file, HtmlWriter& w) {
    w.close_page();
    html_site_write(ctx, file, w.topics, w.code_page);
}

HtmlWriter::~HtmlWriter() { platform::code_page_close(code_page); }

// The rich text's own: the walk's start, fields and dtypes.
void HtmlWriter::on(DecompileContext&, const WalkStarted&) {}
void HtmlWriter::on(DecompileContext&, const Field&) {}
void HtmlWriter::on(DecompileContext&, const Dtype&) {}
