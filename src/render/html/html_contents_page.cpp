#include "render/html/html_site_shared.h"

#include <cstring>

#include "core/decompile_context.h"
#include "platform/code_page.h"
#include "project/system_file.h"
#include "render/html/html_text.h"

namespace html_site {

// Topics in browse order where sequences exist, else in file order.
namespace {

std::vector<long> contents_order(const Site& site) {
    const auto& topics = site.topics;
    std::vector<long> order;
    std::vector<bool> listed(topics.size(), false);
    for (size_t i = 0; i < topics.size(); ++i) {
        if (listed[i]) continue;
        long head = static_cast<long>(i);
        // Back to the start of the sequence, at most once round any loop.
        for (size_t steps = 0; steps < topics.size(); ++steps) {
            const long previous = browse_target(site, topics[head].browse_previous, head);
            if (previous < 0 || listed[previous] || previous == static_cast<long>(i)) break;
            head = previous;
        }
        for (long t = head; t >= 0 && !listed[t]; t = browse_target(site, topics[t].browse_next, t)) {
            listed[t] = true;
            order.push_back(t);
        }
        if (!listed[i]) {
            listed[i] = true;
            order.push_back(static_cast<long>(i));
        }
    }
    return order;
}

std::string copyright_of(DecompileContext& ctx, std::FILE* file) {
    std::string text;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r))
        if (r->type == 2 && r->length > 0) text = system_record_text(r);
    return text;
}

}  // namespace

void write_index(const Site& site, std::FILE* file, bool alinks) {
    DecompileContext& ctx = site.ctx;
    std::string title;
    platform::code_page_append(site.code_page, ctx.help_title, std::strlen(ctx.help_title), title);
    if (title.empty()) title = ctx.base_name;
    MemoryFile* out = open_page(ctx, "index.html");
    std::string page;
    append_page_head(page, title, "contents");
    page += "<h1>";
    html_escape(page, title);
    page += "</h1>\n";
    const std::string raw = copyright_of(ctx, file);
    if (!raw.empty()) {
        std::string copyright;
        platform::code_page_append(site.code_page, raw.data(), raw.size(), copyright);
        page += "<p class=\"copyright\">";
        html_escape(page, copyright);
        page += "</p>\n";
    }
    page += "<nav><a href=\"keywords.html\">Index</a> <a href=\"search.html\">Search</a>";
    if (alinks) page += " <a href=\"akeywords.html\">A keywords</a>";
    page += "</nav>\n<h2>Contents</h2>\n<ol class=\"contents\">\n";
    for (long t : contents_order(site)) {
        append_topic_link(page, site.topics[t], "<li>", "</li>\n");
        write_part(out, page, false);
    }
    page += "</ol>\n</body>\n</html>\n";
    write_part(out, page, true);
}

}  // namespace html_site
