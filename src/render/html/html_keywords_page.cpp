#include <string>

#include "core/decompile_context.h"
#include "platform/code_page.h"
#include "render/html/html_keyword_ids.h"
#include "render/html/html_site_shared.h"
#include "render/html/html_text.h"

namespace html_site {

namespace {

// The letter an entry is filed under: A to Z, or '#' for a digit, a sign or
// a letter outside ASCII.
char letter_of(std::string_view raw) {
    const char c = raw.empty() ? '#' : raw.front();
    if (c >= 'a' && c <= 'z') return static_cast<char>(c - 'a' + 'A');
    return c >= 'A' && c <= 'Z' ? c : '#';
}

// A to Z, each letter with entries a link to its first one, the others
// plain; '#' first when any entry is filed there.
void append_letter_bar(std::string& out, const KeywordIndex& index) {
    const std::string letters = "#ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::vector<const KeywordEntry*> first(letters.size(), nullptr);
    for (const KeywordEntry& entry : index.entries) {
        const size_t slot = letters.find(letter_of(entry.raw));
        if (first[slot] == nullptr) first[slot] = &entry;
    }
    out += "<nav class=\"letters\">";
    for (size_t i = 0; i < letters.size(); ++i) {
        if (i == 0 && first[0] == nullptr) continue;
        if (i > 1) out += ' ';
        if (first[i] == nullptr) {
            out += "<span>";
            out += letters[i];
            out += "</span>";
            continue;
        }
        out += "<a href=\"#";
        out += first[i]->id;
        out += "\">";
        out += letters[i];
        out += "</a>";
        if (i == 0) out += ' ';
    }
    out += "</nav>\n";
}

}  // namespace

// Keyword pages: one for K keywords, one for A keywords when there are any.
bool write_keywords(const Site& site, const KeywordIndex& index, const char* page_name, const char* heading) {
    if (index.entries.empty() && index.letter != 'K') return false;
    DecompileContext& ctx = site.ctx;
    MemoryFile* file = open_page(ctx, page_name);
    std::string page, text;
    append_page_head(page, heading, "keywords");
    page += "<nav><a href=\"index.html\">Contents</a> <a href=\"search.html\">Search</a></nav>\n<h1>";
    html_escape(page, heading);
    page += "</h1>\n";
    if (!index.entries.empty()) append_letter_bar(page, index);
    page += "<dl>\n";
    for (const KeywordEntry& entry : index.entries) {
        text.clear();
        platform::code_page_append(site.code_page, entry.raw.data(), entry.raw.size(), text);
        page += "<dt id=\"";
        page += entry.id;
        page += "\">";
        html_escape(page, text);
        page += "</dt>\n";
        for (long t : entry.topics) append_topic_link(page, site.topics[t], "<dd>", "</dd>\n");
        write_part(file, page, false);
    }
    page += "</dl>\n";
    if (index.entries.empty()) page += "<p>This help file has no keywords.</p>\n";
    page += "</body>\n</html>\n";
    write_part(file, page, true);
    return true;
}

}  // namespace html_site
