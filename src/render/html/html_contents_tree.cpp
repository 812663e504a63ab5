// The author's contents file drawn as the tree it describes: headings as
// <details> that open and close without script, topics as links.
#include <string>

#include "core/decompile_context.h"
#include "platform/code_page.h"
#include "project/contents_file.h"
#include "project/context_hash.h"
#include "render/html/html_site_shared.h"
#include "render/html/html_text.h"

namespace html_site {

namespace {

// The help file an entry names ('@' or :Base), its window cut off; empty
// for none.
std::string entry_file(const ContentsEntry& entry, const std::string& base) {
    std::string file = entry.file.empty() ? base : entry.file;
    const size_t window = file.find('>');
    if (window != std::string::npos) file.erase(window);
    return file;
}

// The href of a topic entry; empty when its context id names no topic.
std::string entry_href(const Site& site, const ContentsEntry& entry, const std::string& base) {
    const std::string file = entry_file(entry, base);
    if (!file.empty() && !html_is_this_file(site.ctx, file.c_str())) {
        HtmlPagePopups unused;
        const HtmlLink link{HtmlLink::other_file, 0, false, file, entry.context};
        return html_link_href(link, nullptr, unused).href;
    }
    return contents_entry_local(site, entry, base);
}

void append_entry(const Site& site, const ContentsEntry& entry, const std::string& base, std::string& out) {
    out += "<li>";
    const std::string href = entry.heading || entry.context.empty() ? std::string() : entry_href(site, entry, base);
    if (!href.empty()) {
        out += "<a href=\"";
        html_escape(out, href);
        out += "\">";
    }
    html_escape_converted(out, site.code_page, entry.text);
    if (!href.empty()) out += "</a>";
    out += "</li>\n";
}

}  // namespace

std::string contents_entry_local(const Site& site, const ContentsEntry& entry, const std::string& base) {
    const std::string file = entry_file(entry, base);
    if (!file.empty() && !html_is_this_file(site.ctx, file.c_str())) return {};
    const uint32_t hash = context_hash(entry.context.c_str());
    if (!number_map_holds(site.offset_of_hash, hash)) return {};
    const long topic = topic_at_offset(site, static_cast<int32_t>(number_map_find(site.offset_of_hash, hash, 0)));
    if (topic < 0) return {};
    std::string href = site.topics[topic].page;
    append_anchor_fragment(site, topic, hash, href);
    return href;
}

void append_contents_tree(const Site& site, const ContentsTree& tree, std::string& out) {
    out += "<nav class=\"cnt\">\n";
    if (!tree.title.empty()) {
        out += "<h2>";
        html_escape_converted(out, site.code_page, tree.title);
        out += "</h2>\n";
    }
    out += "<ul>\n";
    int depth = 0;  // headings open
    for (const ContentsEntry& entry : tree.entries) {
        // An entry deeper than the heading above it goes under that heading.
        for (; depth > entry.level - 1; --depth) out += "</ul></details></li>\n";
        if (!entry.heading) {
            append_entry(site, entry, tree.base, out);
            continue;
        }
        out += depth == 0 ? "<li><details open><summary>" : "<li><details><summary>";
        html_escape_converted(out, site.code_page, entry.text);
        out += "</summary><ul>\n";
        ++depth;
    }
    for (; depth > 0; --depth) out += "</ul></details></li>\n";
    out += "</ul>\n</nav>\n";
}

}  // namespace html_site
