#include "render/html/html_site_shared.h"

#include <unordered_map>

#include "core/decompile_context.h"
#include "render/html/html_text.h"

namespace html_site {

std::vector<bool> popup_sized(const Site& site) {
    std::vector<bool> small(site.topics.size(), false);
    for (size_t i = 0; i < site.topics.size(); ++i) small[i] = site.topics[i].body.size() <= largest_popup;
    return small;
}

// A popup's text copied into the page, or a link to its topic's page where
// the copy, links filled in, would be large or the site's budget is spent.
void append_popup_text(const Site& site, long target, bool small, std::string& out) {
    const size_t start = out.size();
    if (small) {
        resolve_body(site, site.topics[target], true, out);
        const uint64_t copied = out.size() - start;
        if (copied <= largest_popup && copied <= site.popup_copy_budget) {
            site.popup_copy_budget -= copied;
            return;
        }
        out.resize(start);
    }
    append_topic_link(out, site.topics[target], "<p>", "</p>\n");
}

void append_popup_boxes(const Site& site, const HtmlTopic& topic, const std::vector<bool>& small, std::string& out) {
    const size_t self = static_cast<size_t>(&topic - site.topics.data());
    for (size_t p = 0; p < topic.popups.size(); ++p) {
        if (site.popup_boxes[self][p] != p) continue;  // another link's box shows it
        const long target = resolve(site, topic.popups[p].kind, topic.popups[p].value);
        // The close link names a fragment no element has: the box closes
        // and the page stays where it was.
        out += "<div class=\"popup-box\" id=\"p";
        html_append_number(out, p);
        out += "\"><a class=\"close\" href=\"#_\">&#215;</a>\n";
        if (target >= 0) append_popup_text(site, target, small[target], out);
        else out += "<p>(The popup's topic is not in this file.)</p>\n";
        out += "</div>\n";
    }
}

void plan_popup_boxes(Site& site) {
    site.popup_boxes.resize(site.topics.size());
    std::unordered_map<long, uint32_t> first_box;
    for (size_t t = 0; t < site.topics.size(); ++t) {
        const std::vector<HtmlPopup>& popups = site.topics[t].popups;
        std::vector<uint32_t>& boxes = site.popup_boxes[t];
        boxes.resize(popups.size());
        first_box.clear();
        for (size_t p = 0; p < popups.size(); ++p)
            boxes[p] = first_box.try_emplace(resolve(site, popups[p].kind, popups[p].value), uint32_t(p)).first->second;
    }
}

void write_pages(const Site& site, bool keywords) {
    auto& topics = site.topics;
    // A body shown as a popup elsewhere is kept until the last page; any
    // other is let go once its page is written, so the pages reuse its room.
    std::vector<bool> shown_elsewhere(topics.size(), false);
    const std::vector<bool> small = popup_sized(site);
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
        // The title once: the non-scrolling region usually shows it.
        if (!region_holds_title(topic)) {
            page += "<h1>";
            html_escape(page, shown_title(topic));
            page += "</h1>\n";
        }
        page += "<main>\n";
        resolve_body(site, topic, false, page);
        page += "</main>\n";
        append_popup_boxes(site, topic, small, page);
        page.append(page, nav_start, nav_length);
        page += "</body>\n</html>\n";
        add_output(site.ctx, topic.page, page, shown_elsewhere[i] ? nullptr : &topic.body);
    }
}

}  // namespace html_site
