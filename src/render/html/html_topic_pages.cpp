#include "render/html/html_site_shared.h"

#include "core/decompile_context.h"
#include "render/html/html_text.h"

namespace html_site {

void write_pages(const Site& site, bool keywords) {
    auto& topics = site.topics;
    // A body shown as a popup elsewhere is kept until the last page; any
    // other is let go once its page is written, so the pages reuse its room.
    std::vector<bool> shown_elsewhere(topics.size(), false);
    std::vector<bool> small(topics.size(), false);
    for (size_t i = 0; i < topics.size(); ++i) small[i] = topics[i].body.size() <= largest_popup;
    for (const HtmlTopic& topic : topics)
        for (const HtmlPopup& popup : topic.popups) {
            const long target = resolve(site, popup.kind, popup.value);
            if (target >= 0 && small[target]) shown_elsewhere[target] = true;
        }
    // One buffer for every page: its room is allocated once, not per page.
    std::string page;
    for (size_t i = 0; i < topics.size(); ++i) {
        HtmlTopic& topic = topics[i];
        const long self = static_cast<long>(i);
        page.clear();
        append_page_head(page, shown_title(topic), nullptr);
        const size_t nav_start = page.size();
        append_navigation(page, site, browse_target(site, topic.browse_previous, self),
                          browse_target(site, topic.browse_next, self), keywords);
        const size_t nav_length = page.size() - nav_start;
        page += "<h1>";
        html_escape(page, shown_title(topic));
        page += "</h1>\n<main>\n";
        resolve_body(site, topic, false, page);
        page += "</main>\n";
        for (size_t p = 0; p < topic.popups.size(); ++p) {
            const long target = resolve(site, topic.popups[p].kind, topic.popups[p].value);
            // The close link names a fragment no element has: the box
            // closes and the page stays where it was.
            page += "<div class=\"popup-box\" id=\"p";
            html_append_number(page, p);
            page += "\"><a class=\"close\" href=\"#_\">&#215;</a>\n";
            if (target >= 0 && small[target]) {
                resolve_body(site, topics[target], true, page);
            } else if (target >= 0) {
                append_topic_link(page, topics[target], "<p>", "</p>\n");
            }
            else
                page += "<p>(The popup's topic is not in this file.)</p>\n";
            page += "</div>\n";
        }
        page.append(page, nav_start, nav_length);
        page += "</body>\n</html>\n";
        add_output(site.ctx, topic.page, page, shown_elsewhere[i] ? nullptr : &topic.body);
    }
}

}  // namespace html_site
