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
#include "render/html/html_fonts.h"
#include "render/html/html_png.h"
#include "render/html/html_search_text.h"
#include "render/html/html_symbol_fonts.h"
#include "render/html/html_text.h"
#include "topics/fonts.h"

namespace {

// Bodies are held until every page is known; they may grow as large as one
// output file, no larger.
constexpr uint64_t largest_site = 0x40000000;

// Twips as CSS pixels (96 per inch).
long pixels(long twips) { return twips / 15; }

// "Npx;" of twips.
void append_pixels(std::string& out, long twips) {
    const long value = pixels(twips);
    if (value < 0) out += '-';
    html_append_number(out, value < 0 ? 0ul - static_cast<unsigned long>(value) : static_cast<unsigned long>(value));
    out += "px;";
}

// The context a page is named by, if one points at the topic. A topic
// without one gets a page name of its own: that is no fault worth the
// complaint the rich text's lookup prints.
const char* page_context_name(DecompileContext& ctx, int32_t topic_offset) {
    const int32_t context = ctx.old_format ? -1 : first_context_of_topic(ctx, topic_offset);
    return context >= 0 ? unhash(ctx, ctx.contexts[context].hash) : nullptr;
}

// Drops a property the writer put in a style ("name:value;").
void erase_property(std::string& style, const char* name) {
    const size_t at = style.find(name);
    if (at == std::string::npos) return;
    const size_t end = style.find(';', at);
    style.erase(at, end == std::string::npos ? std::string::npos : end - at + 1);
}

// Context ids up to a topic's start name its page; those after it get an
// anchor where they point.
void skip_contexts(const DecompileContext& ctx, int32_t& cursor, int32_t up_to) {
    while (cursor < ctx.context_count && ctx.contexts[cursor].topic_offset <= up_to) ++cursor;
}

}  // namespace

void HtmlWriter::close_page() {
    if (topics.empty()) return;
    close_paragraph();
    close_table();
    close(non_scrolling_open, "</div>\n", true);
    topics.back().popups = std::move(popups.boxes);
    std::sort(topics.back().anchors.begin(), topics.back().anchors.end());
    popups = HtmlPagePopups{};
    html_site::search_add_topic(search, topics.back(), search_text, static_cast<uint32_t>(topics.size() - 1));
    search_text.clear();
    topics.back().body = std::string(page_body);
    page_body.clear();
}

void HtmlWriter::start_page(HtmlTopic topic, const char* name, const char* title, long title_length) {
    pictures.page_maps.clear();
    if (!topics.empty()) {
        close_page();
        bytes += topics.back().body.size();
        if (bytes > byte_limit) {
            std::fprintf(stderr, "\nThe HTML edition exceeds %lu bytes.\n", (unsigned long)byte_limit);
            throw FatalError{fatal_too_large};
        }
    }
    std::string plain;
    for (long i = 0; i < title_length; ++i)
        if (static_cast<uint8_t>(title[i]) < 0x20) plain += ' ';
        else plain += title[i];
    platform::code_page_append(code_page, plain.data(), plain.size(), topic.title);
    if (raw_titles) topic.raw_title = std::move(plain);
    topic.page = html_page_name(used_names, name, topic.number - 16);
    topics.push_back(std::move(topic));
    current_font = -1;
    font_size = 0;
    font_monospace = false;
    symbol_table = nullptr;
    span_open = paragraph_open = table_open = cell_open = hotspot_open = false;
}

void HtmlWriter::on(DecompileContext& ctx, const TopicStart& start) {
    HtmlTopic topic{};
    topic.offset = ctx.old_format ? static_cast<int32_t>(start.number) : static_cast<int32_t>(start.offset);
    if (ctx.old_format) topic.keyword_reach = static_cast<int32_t>(start.position);
    topic.browse_next = start.header.browse_next;
    topic.browse_previous = start.header.browse_previous;
    topic.number = start.number;
    if (!ctx.old_format)
        skip_contexts(ctx, context_cursor,
                      std::max(static_cast<int32_t>(start.offset), static_cast<int32_t>(start.known_offset)));
    start_page(std::move(topic), page_context_name(ctx, topic.offset), start.text, start.title_length);
}

void HtmlWriter::on(DecompileContext& ctx, const RecoveredTopic& recovered) {
    HtmlTopic topic{};
    topic.offset = ctx.old_format ? static_cast<int32_t>(recovered.number) : static_cast<int32_t>(recovered.offset);
    topic.number = recovered.number;
    topic.browse_previous = topic.browse_next = -1;
    if (!ctx.old_format) skip_contexts(ctx, context_cursor, static_cast<int32_t>(recovered.offset));
    start_page(std::move(topic), page_context_name(ctx, topic.offset), recovered.title, recovered.title_length);
}

void HtmlWriter::close(bool& open, const char* tag, bool block) {
    if (open) {
        body() += tag;
        if (block) search_text += ' ';
    }
    open = false;
}

void HtmlWriter::search_visible(size_t from) { html_visible_text(std::string_view(body()).substr(from), search_text); }

void HtmlWriter::close_span() { close(span_open, "</span>"); }

void HtmlWriter::close_paragraph() {
    if (!paragraph_open) return;
    close_span();
    close(hotspot_open, "</a>");
    if (tab_line.laid_out) end_tab_segment(-1);
    close(paragraph_open, "</p>\n", true);
}

void HtmlWriter::close_row() { close(cell_open, "</td></tr>\n", true); }

void HtmlWriter::close_table() {
    if (!table_open) return;
    close_paragraph();
    close_row();
    close(table_open, "</table>\n", true);
}

void HtmlWriter::on(DecompileContext&, const ParagraphStart& paragraph) {
    if (topics.empty()) return;
    close_paragraph();
    if (!paragraph.in_table) close_table();
    if (paragraph.keep_next && !non_scrolling_open) {
        if (topics.back().region_at < 0) topics.back().region_at = static_cast<int64_t>(body().size());
        body() += "<div class=\"nonscroll\">\n";
        search_text += ' ';
        non_scrolling_open = true;
    } else if (!paragraph.keep_next && non_scrolling_open) {
        close_table();
        close(non_scrolling_open, "</div>\n", true);
    }
    paragraph_in_table = paragraph.in_table;
    paragraph_style.clear();
}

void HtmlWriter::on(DecompileContext&, const ParagraphFormat& format) {
    tab_line.ruler = html_ruler(format);
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
            if (value > 0) {
                paragraph_style += "line-height:";
                append_pixels(paragraph_style, value);
            }
            continue;
        }
        paragraph_style += properties[m];
        paragraph_style += ':';
        append_pixels(paragraph_style, twips);
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
        open_cell("<td");
    }
    std::string& out = body();
    tab_line.paragraph_at = out.size();
    if (paragraph_style.empty()) {
        out += "<p>";
    } else {
        out += "<p style=\"";
        out += paragraph_style;
        out += "\">";
    }
    search_text += ' ';
    paragraph_open = true;
    tab_line.laid_out = false;
    tab_line.first_line = true;
    start_tab_segment(tab_line.ruler.left + tab_line.ruler.first, 0);
}

void HtmlWriter::append_text(const char* text, long length) {
    if (length <= 0) return;
    open_paragraph();
    std::string& out = body();
    if (!span_open && current_font >= 0) {
        out += "<span class=\"f";
        html_append_number(out, static_cast<unsigned long>(current_font));
        out += "\">";
        span_open = true;
    }
    const size_t size = static_cast<size_t>(length);
    const size_t from = out.size();
    // Escaped text of the code page is read as it is but for its entities.
    if (symbol_table != nullptr) {
        html_append_symbol_text(out, symbol_table, code_page, text, size);
        search_visible(from);
    } else if (html_append_text(out, code_page, text, size)) {
        search_visible(from);
    } else {
        search_text.append(out, from, std::string::npos);
    }
    tab_line.segment_width += html_estimated_width(length, font_size, font_monospace);
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
    const long length = std::max(run.length, 0L);
    long done = 0;
    // Context ids that point inside the topic: an anchor at their character.
    while (!ctx.old_format && context_cursor < ctx.context_count &&
           ctx.contexts[context_cursor].topic_offset < static_cast<int32_t>(run.range_end)) {
        const int64_t at = int64_t(ctx.contexts[context_cursor].topic_offset) - static_cast<int32_t>(run.range_start);
        const long place = static_cast<long>(std::clamp<int64_t>(at, done, length));
        append_text(run.text + done, place - done);
        done = place;
        open_paragraph();
        html_append_marker(body(), marker_anchor, ctx.contexts[context_cursor].hash);
        topics.back().anchors.push_back(ctx.contexts[context_cursor].hash);
        ++context_cursor;
    }
    append_text(run.text + done, length - done);
}

void HtmlWriter::on(DecompileContext& ctx, const FontChange& change) {
    close_span();
    current_font = change.font >= 0 && change.font < ctx.font_count ? change.font : -1;
    const FontDescriptor* font = current_font >= 0 && ctx.fonts != nullptr ? &ctx.fonts[current_font] : nullptr;
    font_size = font != nullptr ? font->size : 0;
    // Faces are told apart by their names: once for each font.
    face_facts.resize(static_cast<size_t>(std::max<int>(ctx.font_count, 0)) + 1);
    FaceFacts& facts = face_facts[static_cast<size_t>(current_font + 1)];
    if (!facts.known) {
        const char* face = font_face_name(ctx, current_font);
        facts = {true, html_face_monospace(face, font != nullptr ? font->family : 0), html_symbol_table(face)};
    }
    font_monospace = facts.monospace;
    symbol_table = facts.symbol_table;
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
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    const bool link = hotspot_open && tab_line.laid_out;
    if (link) close(hotspot_open, "</a>");
    if (tab_line.laid_out) end_tab_segment(-1);
    body() += "<br>";
    search_text += ' ';
    // Lines after the first start at the left indent.
    tab_line.first_line = false;
    start_tab_segment(tab_line.ruler.left, 0);
    if (link) open_hotspot(hotspot_tag);
}

void HtmlWriter::open_cell(const char* tag) {
    std::string& out = body();
    out += tag;
    if (cell_index < static_cast<int>(cell_widths.size())) {
        out += " style=\"width:";
        html_append_number(out, static_cast<unsigned long>(cell_widths[cell_index]));
        out += "px\"";
    }
    out += '>';
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
        open_cell("</td><td");
        search_text += ' ';
    } else if (end.kind == ParagraphEndKind::row) {
        close_row();
    }
}

void HtmlWriter::start_tab_segment(long x, uint16_t type) {
    tab_line.segment_at = body().size();
    tab_line.search_segment_at = search_text.size();
    tab_line.segment_x = std::max(0L, x);
    tab_line.segment_type = type <= 2 ? type : 0;
    tab_line.segment_width = 0;
}

// A paragraph with tabs measures them from the margin: its box starts
// there, the first line after a spacer as wide as its indent, the others
// at the left indent (a hanging text-indent). The browser's own tab
// characters then stop every half inch from the margin, as WinHelp's
// default stops do.
void HtmlWriter::lay_out_tabs() {
    HtmlTabLine& t = tab_line;
    if (t.laid_out) return;
    t.laid_out = true;
    std::string& out = body();
    const size_t old_length = out.find('>', t.paragraph_at) + 1 - t.paragraph_at;
    std::string tag = "<p style=\"";
    std::string style = paragraph_style;
    erase_property(style, "margin-left:");
    erase_property(style, "text-indent:");
    tag += style + "text-indent:";
    html_append_points(tag, std::max(0L, t.ruler.left));
    tag += " hanging\">";
    const long first = std::max(0L, t.ruler.left + t.ruler.first);
    if (first > 0) {
        tag += "<span class=\"tab-cell\" style=\"min-width:";
        html_append_points(tag, first);
        tag += "\"></span>";
    }
    out.replace(t.paragraph_at, old_length, tag);
    const size_t grown = tag.size() - old_length;  // wraps round when shorter, as the sums below do
    t.segment_at += grown;
    if (t.first_line) t.segment_x = first;
}

// Cells are made at tabs and line ends, where no link is open (one that
// goes on is closed before and opened again after), so they nest.
void HtmlWriter::end_tab_segment(long cell_twips) {
    HtmlTabLine& t = tab_line;
    std::string& out = body();
    if (t.segment_type == 1 || t.segment_type == 2) {
        // The text before the stop at its start, the aligned text at its end.
        out.insert(t.segment_at, "</span><span>");
        search_text.insert(t.search_segment_at, 1, ' ');
        std::string open = t.segment_type == 1 ? "<span class=\"tab-right\" style=\"min-width:"
                                               : "<span class=\"tab-centre\" style=\"min-width:";
        html_append_points(open, t.segment_x - t.aligned_x);
        open += "\"><span>";
        out.insert(t.aligned_at, open);
        search_text.insert(t.search_aligned_at, 1, ' ');
        out += "</span></span>";
        search_text += ' ';
        t.segment_at = out.size();
        t.search_segment_at = search_text.size();
    }
    if (cell_twips < 0) return;
    std::string open = "<span class=\"tab-cell\" style=\"min-width:";
    html_append_points(open, cell_twips);
    open += "\">";
    out.insert(t.segment_at, open);
    search_text.insert(t.search_segment_at, 1, ' ');
    out += "</span>";
    search_text += ' ';
}

void HtmlWriter::on(DecompileContext&, const Tab&) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    lay_out_tabs();
    const bool link = hotspot_open;
    close(hotspot_open, "</a>");
    HtmlTabLine& t = tab_line;
    const bool aligned = t.segment_type == 1 || t.segment_type == 2;
    // Where the segment's text likely ends.
    const long reach = t.segment_x + (t.segment_type == 1   ? 0
                                      : t.segment_type == 2 ? t.segment_width / 2
                                                            : t.segment_width);
    const std::optional<FormatTab> stop = html_next_tab_stop(t.ruler, reach, t.first_line);
    if (stop && (stop->type == 1 || stop->type == 2)) {
        // Right and centred text shares a cell with the text before it.
        const long from = t.segment_x;
        if (aligned) end_tab_segment(-1);
        t.aligned_at = aligned ? body().size() : t.segment_at;
        t.search_aligned_at = aligned ? search_text.size() : t.search_segment_at;
        t.aligned_x = from;
        start_tab_segment(stop->twips, stop->type);
    } else if (stop) {
        end_tab_segment(stop->twips - t.segment_x);
        start_tab_segment(stop->twips, 0);
    } else {
        end_tab_segment(-1);
        body() += '\t';
        search_text += ' ';
        start_tab_segment(html_next_default_stop(reach), 0);
    }
    if (link) open_hotspot(hotspot_tag);
}

void HtmlWriter::on(DecompileContext&, const NonBreakingSpace&) {
    if (topics.empty()) return;
    open_paragraph();
    body() += "&nbsp;";
    search_text += ' ';
}

void HtmlWriter::on(DecompileContext&, const SoftHyphen&) {
    if (topics.empty()) return;
    open_paragraph();
    body() += "&shy;";
}

void HtmlWriter::on(DecompileContext& ctx, const Picture& picture) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    auto href_of = [this](const HtmlLink& link) { return html_link_href(link, nullptr, popups).href; };
    const size_t from = body().size();
    body() += html_picture_markup(ctx, pictures, picture.number, picture.side, code_page, map_numbers, href_of);
    search_visible(from);
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
    const size_t from = out.size();
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
    search_visible(from);
}

void HtmlWriter::open_link(const HtmlHref& href, bool popup) {
    if (topics.empty()) return;
    open_paragraph();
    close_span();
    close(hotspot_open, "</a>");
    // Made in the kept tag's own room: most text has links.
    std::string& tag = hotspot_tag;
    tag = popup ? "<a class=\"popup\" href=\"" : "<a href=\"";
    tag += href.href;
    tag += '"';
    if (!href.title.empty()) {
        tag += " title=\"";
        html_escape_converted(tag, code_page, href.title);
        tag += '"';
    }
    tag += '>';
    open_hotspot(tag);
}

void HtmlWriter::open_hotspot(const std::string& tag) {
    body() += tag;
    if (&tag != &hotspot_tag) hotspot_tag = tag;
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
    std::string& tag = hotspot_tag;
    tag = "<a class=\"macro\" title=\"";
    html_escape_converted(tag, code_page, hotspot.macro);
    tag += "\">";
    open_hotspot(tag);
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
    w.byte_limit = ctx.html_limit != 0 ? ctx.html_limit : largest_site;
    w.raw_titles = ctx.htmlhelp;
    // JumpContext and PopupContext name their topic by its [MAP] number.
    std::vector<MapEntry> map;
    read_map_entries(ctx, file, map, true);
    for (const MapEntry& entry : map) w.map_numbers.emplace(entry.number, entry.topic_offset);
}

void html_writer_finish(DecompileContext& ctx, std::FILE* file, HtmlWriter& w, uint64_t rich_text_bytes) {
    w.close_page();
    html_pictures_finish(ctx, w.pictures);
    html_site_write(ctx, file, w.topics, w.code_page, w.search, rich_text_bytes);
}

HtmlWriter::~HtmlWriter() {
    platform::code_page_close(code_page);
    html_png_let_go();
}

// The rich text's own: the walk's start, fields and dtypes.
void HtmlWriter::on(DecompileContext&, const WalkStarted&) {}
void HtmlWriter::on(DecompileContext&, const Field&) {}
void HtmlWriter::on(DecompileContext&, const Dtype&) {}
