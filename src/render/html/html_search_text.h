// The text a reader sees of the HTML edition's markup, for the search
// index: the writer hands over each piece of a page as it writes it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// The place of the first `a`, `b` or `c` in text from `at` on, text.size()
// when none is there.
size_t html_find_any(std::string_view text, size_t at, char a, char b, char c);

// Appends the text a reader sees of a piece of a page body to out: tags
// left out (blocks and columns at tab stops as spaces), entities decoded,
// markers skipped (an anchor's, between letters, is no word and parts
// none). A span closed in a later piece is taken for one of no column.
void html_visible_text(std::string_view html, std::string& out);
