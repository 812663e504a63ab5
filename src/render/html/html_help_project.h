// The HTML Help project beside the edition's pages (ctx.htmlhelp): NAME.hhp,
// the [MAP] numbers as NAME.h, the contents NAME.hhc and the index NAME.hhk,
// as the HTML Help compiler reads them, in the help file's code page. Made
// from what the site collected. Only the site's own files include it.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "render/html/html_site_shared.h"

namespace html_site {

struct KeywordIndex;

// What the project's files share.
struct HelpProject {
    std::string name;          // NAME of NAME.hhp, .h, .hhc, .hhk and .chm
    int code_page;             // the help file's, which the files are written in
    std::string default_page;  // the contents topic's page
};

// Writes the project's files; after the pages, so that [FILES] lists all.
void write_help_project(const Site& site, std::FILE* file, const KeywordIndex& keywords, const SiteContents& contents);

// A help-file string on one line of the project: control characters (CR
// and LF among them) left out, and inside quotes a '"' written as '\''.
void append_project_text(std::string& out, std::string_view text, bool quoted);

// [WINDOWS]: the help file's windows, the main one showing the contents
// and the index beside the topics (html_help_windows.cpp).
void append_help_windows(const Site& site, std::FILE* file, const HelpProject& project, std::string& out);
// [MAP] and [ALIAS]: every number of the help file's map sent to its
// topic's page and anchor; the numbers go into NAME.h (html_help_map.cpp).
void append_help_map(const Site& site, std::FILE* file, const HelpProject& project, std::string& out);

// The sitemaps (html_help_sitemap.cpp).
void write_help_contents(const Site& site, const HelpProject& project, const SiteContents& contents);
void write_help_index(const Site& site, const HelpProject& project, const KeywordIndex& keywords);

}  // namespace html_site
