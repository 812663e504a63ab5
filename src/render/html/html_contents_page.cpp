#include "render/html/html_site_shared.h"

#include <charconv>
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
    // A topic a backward walk has passed stops every later walk: links that
    // do not agree (each "previous" pointing further on) would otherwise
    // send each walk over all the topics after it.
    std::vector<bool> walked(topics.size(), false);
    for (size_t i = 0; i < topics.size(); ++i) {
        if (listed[i]) continue;
        long head = static_cast<long>(i);
        walked[i] = true;
        // Back to the start of the sequence, at most once round any loop.
        for (;;) {
            const long previous = browse_target(site, topics[head].browse_previous, head);
            if (previous < 0 || listed[previous] || walked[previous]) break;
            walked[previous] = true;
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

namespace {

// Topics shown only as popups: popup targets that no hotspot or macro of
// any page jumps to.
std::vector<bool> popup_only(const Site& site) {
    const auto& topics = site.topics;
    std::vector<bool> jumped(topics.size(), false), popped(topics.size(), false);
    for (const HtmlTopic& topic : topics) {
        for (const HtmlPopup& popup : topic.popups) {
            const long target = resolve(site, popup.kind, popup.value);
            if (target >= 0) popped[target] = true;
        }
        const std::string& body = topic.body;
        for (size_t at = body.find(html_marker); at != std::string::npos && at + 1 < body.size();) {
            const size_t end = body.find(html_marker, at + 1);
            if (end == std::string::npos) break;
            const char kind = body[at + 1];
            if (kind == marker_jump || kind == marker_number || kind == marker_offset) {
                uint32_t value = 0;
                std::from_chars(body.data() + at + 2, body.data() + end, value, kind == marker_number ? 10 : 16);
                const long target = resolve(site, kind, value);
                if (target >= 0) jumped[target] = true;
            }
            at = body.find(html_marker, end + 1);
        }
    }
    if (site.contents_topic >= 0) jumped[site.contents_topic] = true;
    std::vector<bool> only(topics.size(), false);
    for (size_t i = 0; i < topics.size(); ++i) only[i] = popped[i] && !jumped[i];
    return only;
}

// The contents topic as its page shows it, at the head of the contents.
void append_contents_topic(const Site& site, std::string& page) {
    if (site.contents_topic < 0) return;
    const HtmlTopic& topic = site.topics[site.contents_topic];
    page += "<section class=\"start\">\n";
    if (!region_holds_title(topic)) {
        page += "<h2><a href=\"";
        page += topic.page;
        page += "\">";
        html_escape(page, shown_title(topic));
        page += "</a></h2>\n";
    }
    resolve_body(site, topic, false, page);
    append_popup_boxes(site, topic, popup_sized(site), page);
    page += "</section>\n";
}

}  // namespace

SiteContents site_contents(const Site& site) {
    const DecompileContext& ctx = site.ctx;
    SiteContents contents;
    if (ctx.contents_file != nullptr)
        contents.tree = read_contents_tree(ctx.contents_file, static_cast<size_t>(ctx.contents_file_size));
    const std::vector<bool> other = popup_only(site);
    for (long t : contents_order(site)) {
        if (other[t] || site.topics[t].title.empty()) contents.others.push_back(t);
        else if (ctx.contents_file == nullptr) contents.listed.push_back(t);
    }
    return contents;
}

void write_index(const Site& site, std::FILE* file, bool alinks, const SiteContents& contents) {
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
    page += "</nav>\n";
    append_contents_topic(site, page);
    if (ctx.contents_file != nullptr) append_contents_tree(site, contents.tree, page);
    else page += "<h2>Contents</h2>\n<ol class=\"contents\">\n";
    for (long t : contents.listed) {
        append_topic_link(page, site.topics[t], "<li>", "</li>\n");
        write_part(out, page, false);
    }
    if (ctx.contents_file == nullptr) page += "</ol>\n";
    if (!contents.others.empty()) page += "<h2>Other topics</h2>\n<ul class=\"other-topics\">\n";
    for (long t : contents.others) {
        append_topic_link(page, site.topics[t], "<li>", "</li>\n");
        write_part(out, page, false);
    }
    if (!contents.others.empty()) page += "</ul>\n";
    page += "</body>\n</html>\n";
    write_part(out, page, true);
}

}  // namespace html_site
