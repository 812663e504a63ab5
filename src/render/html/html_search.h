// The HTML edition's search: search.html, its script and the index of the
// words of every topic, as script files that a page loads from file://
// (a page there may not fetch other files).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "render/html/html_site_shared.h"

namespace html_site {

// The search's words of some UTF-8 text, in order: letters and digits (and
// '_') folded to lower case, at most 40 characters a word; each Chinese,
// Japanese or Korean character is a word of its own (a word of those
// scripts is found as the topics that hold all its characters). search.js
// splits a query the same way.
void search_words(std::string_view text, std::vector<std::string>& words);
// The text a reader sees of a page body: tags left out (blocks as spaces),
// entities decoded, markers skipped.
std::string body_text(std::string_view body);
// Writes search.html, search.js and search-index.js; before the pages,
// while the bodies are held.
void write_search(const Site& site);

// The script of search.html (html_search_script.cpp).
extern const char html_search_script[];

}  // namespace html_site
