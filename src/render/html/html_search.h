// The HTML edition's search: search.html, its script and the index of the
// words of every topic, as script files that a page loads from file://
// (a page there may not fetch other files).
#pragma once

#include "render/html/html_site_shared.h"

namespace html_site {

// Writes search.html, search.js and search-index.js; before the pages,
// while the bodies are held.
void write_search(const Site& site);

// The script of search.html (html_search_script.cpp).
extern const char html_search_script[];

}  // namespace html_site
