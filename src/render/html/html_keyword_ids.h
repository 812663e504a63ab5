// The keywords of the HTML edition's keyword pages, with the ids of their
// entries, and the links that KLink, ALink and JumpKeyword make to them.
// Only the site's own files include it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "render/html/html_site_shared.h"

namespace html_site {

struct KeywordEntry {
    std::string_view raw;     // the keyword in the help file's code page
    std::string_view folded;  // its letters' case folded (KeywordIndex::folded_text)
    std::string id;           // of its <dt>, unique on the page
    std::vector<long> topics;  // in the index's order, repeats kept
};

// One keyword page's entries, in the order the page lists them, and the
// keywords a macro may name, exactly or without regard to case.
struct KeywordIndex {
    uint8_t letter = 'K';
    std::vector<KeywordEntry> entries;
    std::unordered_map<std::string_view, size_t> exact;
    std::unordered_map<std::string_view, size_t> folded;
    uint8_t fold[256] = {};  // the code page's letter case folding
    std::vector<char> folded_text;  // the entries' folded keywords, one after another
};

// "k-" and the keyword's bytes: letters and digits kept, a space as '-',
// any other byte as '_' and two hexadecimal digits, so no two keywords share
// an id.
std::string keyword_id(std::string_view raw);
// The entries of the keywords of the index letter that name a topic.
KeywordIndex build_keyword_index(const Site& site, uint8_t letter);
// Appends where a keyword marker's value (index letter and keyword list)
// leads: the only topic its keywords name, else the entry of the first of
// them on the keyword page. A list naming no keyword leaves the link
// without a target: the href="..." just written becomes class="macro".
void append_keyword_href(const Site& site, std::string_view value, std::string& out);

}  // namespace html_site
