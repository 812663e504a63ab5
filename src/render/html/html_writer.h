// The browsable HTML edition's writer, only when asked for (ctx.html): it
// takes the record walk's events beside the rich-text writer. Pages are
// collected with markers where a link's target page is not known yet, and
// finished once every topic has been seen (html_site.h).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_set>
#include <vector>

#include "render/html/html_links.h"
#include "render/html/html_pictures.h"
#include "render/html/html_search_index.h"
#include "render/html/html_site.h"
#include "render/html/html_tabs.h"
#include "render/html/html_text.h"
#include "render/walk/topic_events.h"

namespace platform {
struct CodePageConverter;
}

struct HtmlWriter {
    platform::CodePageConverter* code_page = nullptr;
    std::vector<HtmlTopic> topics = {};
    HtmlPageNames used_names = html_page_names({"index.html", "keywords.html", "akeywords.html", "search.html", "style.css"});
    uint64_t bytes = 0;  // held in the bodies, bounded like an output file
    uint64_t byte_limit = 0;
    bool raw_titles = false;  // keep each title's bytes too (the HTML Help project lists them)
    int16_t current_font = -1;
    bool span_open = false;
    bool paragraph_open = false;
    bool table_open = false;
    bool cell_open = false;
    bool non_scrolling_open = false;
    bool hotspot_open = false;
    bool paragraph_in_table = false;
    std::string paragraph_style = {};
    std::vector<int> cell_widths = {};  // pixels of the row being written
    int cell_index = 0;
    HtmlPictures pictures = {};
    HtmlPagePopups popups = {};  // of the page being written
    HtmlMapNumbers map_numbers = {};  // [MAP]: context number -> topic offset
    HtmlTabLine tab_line = {};
    int font_size = 0;  // of the current font, half points
    bool font_monospace = false;
    const char16_t* symbol_table = nullptr;  // the current face's glyphs, for symbol fonts
    // What each font's face tells, found when the font is first used.
    struct FaceFacts {
        bool known = false;
        bool monospace = false;
        const char16_t* symbol_table = nullptr;
    };
    std::vector<FaceFacts> face_facts = {};
    std::string hotspot_tag = {};  // the open link's tag, opened again after a tab's cell
    int32_t context_cursor = 0;    // the next context id to place in the text
    // The words and snippets of the topics closed so far, and the text a
    // reader sees of the page being written: gathered as it is written,
    // tags as spaces where they part words.
    html_site::SearchIndex search = {};
    std::string search_text = {};
    // The body of the page being written, its room kept from page to page;
    // the topic gets a copy of its own size once the page is closed.
    std::string page_body = {};

    HtmlWriter() = default;
    HtmlWriter(const HtmlWriter&) = delete;
    HtmlWriter& operator=(const HtmlWriter&) = delete;
    ~HtmlWriter();  // closes the code page

    HLP_TOPIC_HANDLERS

    // Helpers of the events.
    std::string& body() { return page_body; }
    // Closes the page before and starts topic's (its offset, number and
    // browse links set; title and page, from name if not null, added here).
    void start_page(HtmlTopic topic, const char* name, const char* title, long title_length);
    void close_page();
    // The closing tag of what is open, once; a block's parts words.
    void close(bool& open, const char* tag, bool block = false);
    // The text a reader sees of the body from `from` on, to search_text.
    void search_visible(size_t from);
    void close_span();
    void close_row();
    void close_paragraph();
    void close_table();
    void open_paragraph();
    // A cell's tag (`tag` and its width, if the row gives one).
    void open_cell(const char* tag);
    void end_paragraph();
    void open_link(const HtmlHref& href, bool popup);
    void open_hotspot(const std::string& tag);
    void append_text(const char* text, long length);
    void lay_out_tabs();
    // Closes the segment since the last tab: a right or centred one in the
    // cell it shares with the text before it; then a cell of that many
    // twips up to the next stop (none when negative).
    void end_tab_segment(long cell_twips);
    void start_tab_segment(long x, uint16_t type);
};

static_assert(TopicWriter<HtmlWriter>);

// The HTML edition's writer for the help file (its code page opened).
void html_writer_start(DecompileContext& ctx, std::FILE* file, HtmlWriter& writer);
// Closes what the last topic left open, writes the site and the code page.
void html_writer_finish(DecompileContext& ctx, std::FILE* file, HtmlWriter& writer, uint64_t rich_text_bytes);
