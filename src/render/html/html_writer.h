// The browsable HTML edition, only when asked for (ctx.html): this writer
// takes the record walk's events beside the rich-text writer (both_writers.h).
// Pages are collected with markers where a link's target page is not known
// yet, and finished once every topic has been seen (html_site.cpp).
#pragma once

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <map>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "render/rtf/rtf_writer.h"

namespace platform {
struct CodePageConverter;
}

// Markers in a page body under construction: "\x01" kind value "\x01".
// Text never holds a byte below 0x20, so they cannot be forged.
constexpr char html_marker = '\x01';
constexpr char marker_jump = 'J';       // hexadecimal context hash: its page
constexpr char marker_number = 'N';     // decimal topic number: its page
constexpr char marker_popup_box = 'Q';  // decimal popup number of this page
constexpr char marker_offset = 'O';     // hexadecimal topic offset: its page

// Appends value in decimal, as printf's %lu would.
inline void html_append_number(std::string& out, unsigned long value) {
    char digits[24];
    out.append(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}

// Appends a marker: a context hash or topic offset as eight hexadecimal digits, any other
// value in decimal.
inline void html_append_marker(std::string& out, char kind, unsigned long value) {
    out += html_marker;
    out += kind;
    if (kind == marker_jump || kind == marker_offset) {
        static constexpr char hex[] = "0123456789abcdef";
        for (int shift = 28; shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xF];
    } else {
        html_append_number(out, value);
    }
    out += html_marker;
}

struct HtmlPopup {
    char kind;  // marker_jump, marker_number or marker_offset
    uint32_t value;
};

struct HtmlTopic {
    std::string page;   // file name inside html/
    std::string title;  // UTF-8, plain text
    std::string body;   // HTML with markers
    int32_t offset;     // topic offset (old format: the topic number)
    long number;        // the walk's topic counter
    int32_t browse_previous;  // as the header stores them (-1: none)
    int32_t browse_next;
    std::vector<HtmlPopup> popups;
};

struct HtmlWriter {
    RtfConversion& s;
    platform::CodePageConverter* code_page = nullptr;
    bool forwarded = false;  // beside the rich-text writer, which counts the topics
    std::vector<HtmlTopic> topics = {};
    std::unordered_set<std::string> used_names = {"index.html", "keywords.html", "akeywords.html", "style.css"};  // folded to lower case
    uint64_t bytes = 0;  // held in the bodies, bounded like an output file
    int16_t current_font = -1;
    bool span_open = false;
    bool paragraph_open = false;
    bool table_open = false;
    bool cell_open = false;
    bool non_scrolling_open = false;
    bool hotspot_open = false;
    bool paragraph_in_table = false;
    bool paragraph_keep_next = false;
    std::string paragraph_style = {};
    std::vector<int> cell_widths = {};  // pixels of the row being written
    int cell_index = 0;
    std::map<std::string, const MemoryFile*> outputs = {};  // by entry name, made at the first picture
    long next_map = 0;
    std::unordered_map<uint64_t, size_t> popup_boxes = {};  // of the page being written: kind and target
    std::unordered_map<int32_t, int32_t> context_numbers = {};  // [MAP]: context number -> topic offset

    ~HtmlWriter();  // closes the code page
    void walk_started(DecompileContext& ctx);
    void topic_start(DecompileContext& ctx, const TopicWalk& walk);
    void recovered_topic(DecompileContext& ctx, const TopicWalk& walk);
    void paragraph_start(bool keep_next, bool in_table);
    void keep() {}
    void align(char side);
    void measure(int index, long twips);
    void border(uint8_t border);
    void tab_stop(uint16_t, long) {}
    void paragraph_text();
    void text(DecompileContext& ctx, const char* text, long length);
    void row_start();
    void row_centered() {}
    void row_cells(DecompileContext& ctx, int columns, const uint8_t* entry, int64_t width);
    void field(int32_t) {}
    void dtype(int16_t) {}
    void font_change(DecompileContext& ctx, int16_t font);
    void font(DecompileContext& ctx, int16_t number) { font_change(ctx, number); }
    void line_break();
    void paragraph_end();
    void table_paragraph_end();
    void cell_paragraph_end();
    void cell_end();
    void row_end();
    void tab();
    void non_breaking_space();
    void soft_hyphen();
    void picture(DecompileContext& ctx, char side, unsigned number);
    void embedded_window(const char* command, const char* text);
    void macro_hotspot(DecompileContext& ctx, uint8_t code, const char* macro);
    void topic_hotspot(DecompileContext& ctx, uint8_t code, uint32_t operand);
    void extended_hotspot(DecompileContext& ctx, uint8_t code, uint8_t link_type, uint32_t hash,
                          int8_t window_number, const char* window, const char* file);
    void hotspot_end(DecompileContext& ctx);

    // Helpers of the events.
    std::string& body() { return topics.back().body; }
    // Closes the page before and starts topic's (its offset, number and
    // browse links set; title and page, from name if not null, added here).
    void start_page(HtmlTopic topic, const char* name, const char* title, long title_length);
    void close_span();
    void close_paragraph();
    void close_table();
    void open_paragraph();
    void append_text(const char* text, size_t length);
    void open_link(const std::string& href_markup, const char* title, bool popup);
};

// Appends text with &, <, > and " escaped.
void html_escape(std::string& out, std::string_view text);
// A page name from a context name: letters, digits, '_', '-' and '.' kept,
// everything else '_'; unique among used (case folded); ".html" added.
std::string html_page_name(std::unordered_set<std::string>& used, const char* name, long topic_number);
// The Windows code page of the help file's language (|SYSTEM), 1252 when
// none is named.
int help_code_page(DecompileContext& ctx, std::FILE* file);
// Writes the pages, the stylesheet, index.html and keywords.html as outputs.
void html_site_write(DecompileContext& ctx, std::FILE* file, HtmlWriter& writer);
// The HTML edition's writer for the help file (its code page opened).
void html_writer_start(DecompileContext& ctx, std::FILE* file, HtmlWriter& writer);
// Closes what the last topic left open, writes the site and the code page.
void html_writer_finish(DecompileContext& ctx, std::FILE* file, HtmlWriter& writer);
