// The HTML edition's search index as the writer gathers it, topic by topic
// as each is closed, so no page body is read again for its words.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "render/html/html_search_words.h"

struct HtmlTopic;

namespace html_site {

struct SearchIndex {
    SearchWords words;
    std::string snippets = "[";  // a JSON array, an item for each topic so far
};

// Adds the next topic, `number`, with the text a reader sees of its body
// (html_search.cpp).
void search_add_topic(SearchIndex& index, const HtmlTopic& topic, std::string_view text, uint32_t number);

}  // namespace html_site
