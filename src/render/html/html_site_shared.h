// The parts of the HTML edition's site that its pages share: the topics
// with their lookups from link targets to pages, and the page framing.
// Only the site's own files (html_site*.cpp, html_*_page.cpp) include it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "project/contents_file.h"
#include "render/html/html_number_map.h"
#include "render/html/html_search_index.h"
#include "render/html/html_site.h"

struct DecompileContext;
struct MemoryFile;

namespace html_site {

// A popup is a few lines; a larger one is linked, not copied into every
// page that opens it.
constexpr size_t largest_popup = 64 * 1024;

struct KeywordIndex;
// A button the help file adds to its button bar that jumps somewhere.
struct NavButton {
    std::string label;  // UTF-8, accelerator marks removed
    std::string href;
};

struct Site {
    DecompileContext& ctx;
    std::vector<HtmlTopic>& topics;
    platform::CodePageConverter* code_page;
    SearchIndex& search;  // gathered by the writer, written with the pages
    NumberMap offset_of_hash;
    // The topic each context hash leads to, found once: pages resolve
    // every link, and a popup's links again in each page showing it.
    NumberMap topic_of_hash;
    NumberMap topic_of_number;
    const KeywordIndex* k_keywords = nullptr;  // the keyword pages' entries
    const KeywordIndex* a_keywords = nullptr;
    std::vector<NavButton> buttons;
    long contents_topic;  // -1: no topics
    // Each topic's popup links -> the box they open: one box per topic
    // shown, however many links lead to it (empty: box = link).
    std::vector<std::vector<uint32_t>> popup_boxes = {};
    // Bytes of popup text the site may still copy into pages; past them a
    // popup links to its topic's page.
    mutable uint64_t popup_copy_budget = 0;
};

// The topic holding topic offset `offset`: the last one starting at or
// before it; -1 when none does.
long topic_at_offset(const Site& site, int32_t offset);
// The topic a marker names (kind and value as the writer made them); -1
// when none.
long resolve(const Site& site, char kind, uint32_t value);
// The target of a browse link as the header stores it; -1 for none or self.
long browse_target(const Site& site, int32_t value, long self);
// The number of the box that popup link `link` (its decimal digits) of
// topic opens.
void append_popup_box(const Site& site, const HtmlTopic& topic, std::string_view link, std::string& out);
// "#cHASH" when the context hash has an anchor in topic's page (a context
// id that points inside the topic), else nothing.
void append_anchor_fragment(const Site& site, long topic, uint32_t hash, std::string& out);
// Copies a topic's body to out with its markers resolved; `embedded`: the
// body is shown as a popup in another page.
void resolve_body(const Site& site, const HtmlTopic& topic, bool embedded, std::string& out);

void append_page_head(std::string& out, std::string_view title, const char* extra_class);
MemoryFile* open_page(DecompileContext& ctx, const std::string& name);
// `spent` (may be null) is let go once the entry is made and before its
// contents are allocated, so that they can take its room.
void add_output(DecompileContext& ctx, const std::string& name, const std::string& text,
                std::string* spent = nullptr);
// Long pages (the index, the contents) go out to their entry in parts, so
// they are never held twice.
void write_part(MemoryFile* file, std::string& part, bool last);
void append_navigation(std::string& out, const Site& site, long previous, long next, bool keywords);
// The popup boxes of a topic's page; `small[t]`: topic t is shown in a box
// rather than linked.
void append_popup_boxes(const Site& site, const HtmlTopic& topic, const std::vector<bool>& small, std::string& out);
// Topic t's body may be copied into a popup box.
std::vector<bool> popup_sized(const Site& site);
// True when the topic's non-scrolling region shows its title (or it has
// none), or, without a region, its first paragraph is the title: the page
// needs no heading of its own.
bool region_holds_title(const HtmlTopic& topic);

// The chrome the help file defines (html_chrome.cpp): its CreateButton
// jumps, its contents topic (|SYSTEM, else the first) and the colours of
// its main window as style rules.
void read_buttons(Site& site, std::FILE* file);
long find_contents_topic(const Site& site, std::FILE* file);
std::string window_colour_rules(DecompileContext& ctx, std::FILE* file);
std::string_view shown_title(const HtmlTopic& topic);
// A link to a topic's page, its title as the text, as list items show it.
void append_topic_link(std::string& out, const HtmlTopic& topic, const char* open, const char* close);

// What the contents show: the author's tree when a contents file came with
// the help file (ctx.contents_file), else the titled topics in contents
// order (listed); either way the topics listed apart (others: those shown
// only as popups, and untitled ones).
struct SiteContents {
    ContentsTree tree;
    std::vector<long> listed;
    std::vector<long> others;
};
// Reads the topics' bodies: made before the pages let them go.
SiteContents site_contents(const Site& site);
// The page (and anchor) of a contents entry naming a topic of this file;
// empty when it names another help file or no topic.
std::string contents_entry_local(const Site& site, const ContentsEntry& entry, const std::string& base);

// The pages of the site.
// Sets site.popup_boxes: the links of a page that open one topic share a box.
void plan_popup_boxes(Site& site);
void write_pages(const Site& site, bool keywords);
bool write_keywords(const Site& site, const KeywordIndex& index, const char* page_name, const char* heading);
void write_index(const Site& site, std::FILE* file, bool alinks, const SiteContents& contents);
// The author's contents file as a tree of links.
void append_contents_tree(const Site& site, const ContentsTree& tree, std::string& out);
// `window_rules` go after the fixed rules.
void write_stylesheet(DecompileContext& ctx, platform::CodePageConverter* code_page, const std::string& window_rules);

}  // namespace html_site
