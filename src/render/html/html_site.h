// Finishing the HTML edition once every topic is known: link targets
// resolved to pages, popups placed in their pages, browse links, the
// stylesheet, the contents page and the keyword index.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "render/html/html_links.h"

struct DecompileContext;
namespace platform {
struct CodePageConverter;
}
namespace html_site {
struct SearchIndex;
}

// A topic's page as the writer collected it.
struct HtmlTopic {
    std::string page;   // file name inside html/
    std::string title;  // UTF-8, plain text
    std::string raw_title;  // in the help file's code page; kept for the HTML Help project only
    std::string body;   // HTML with markers
    int32_t offset;     // topic offset (old format: the topic number)
    // The last topic offset the rich text reaches in the topic (old format:
    // the header's position), where it writes the keyword footnotes up to
    // it; -1 for none.
    int64_t keyword_reach = -1;
    long number;        // the walk's topic counter
    int32_t browse_previous;  // as the header stores them (-1: none)
    int32_t browse_next;
    std::vector<HtmlPopup> popups;
    std::vector<uint32_t> anchors;  // context hashes with an anchor in the body, in order
    // Where the body's first non-scrolling region starts; -1 for none.
    int64_t region_at = -1;
};

// Writes the pages, the stylesheet, index.html and the keyword pages as
// outputs; the bodies are let go as their pages are written.
// Popups copied into the pages stay within a few times rich_text_bytes
// (the topic file's size). The search index holds the words and snippets
// of every topic.
void html_site_write(DecompileContext& ctx, std::FILE* file, std::vector<HtmlTopic>& topics,
                     platform::CodePageConverter* code_page, html_site::SearchIndex& search,
                     uint64_t rich_text_bytes);
