#include "render/html/html_site.h"

#include "core/decompile_context.h"
#include "project/context_map.h"
#include "render/html/html_help_project.h"
#include "render/html/html_keyword_ids.h"
#include "render/html/html_search.h"
#include "render/html/html_site_shared.h"

using html_site::Site;

void html_site_write(DecompileContext& ctx, std::FILE* file, std::vector<HtmlTopic>& topics,
                     platform::CodePageConverter* code_page, html_site::SearchIndex& search,
                     uint64_t rich_text_bytes) {
    Site site{ctx, topics, code_page, search, {}, {}, {}, nullptr, nullptr, {}, -1};
    const size_t contexts = ctx.contexts != nullptr && ctx.context_count > 0 ? size_t(ctx.context_count) : 0;
    html_site::number_map_reserve(site.offset_of_hash, contexts);
    html_site::number_map_reserve(site.topic_of_hash, contexts);
    for (size_t i = 0; i < contexts; ++i) {
        // A hash named twice leads where its first context does.
        const uint32_t hash = ctx.contexts[i].hash;
        if (html_site::number_map_holds(site.offset_of_hash, hash)) continue;
        html_site::number_map_add(site.offset_of_hash, hash, ctx.contexts[i].topic_offset);
        html_site::number_map_add(site.topic_of_hash, hash, html_site::topic_at_offset(site, ctx.contexts[i].topic_offset));
    }
    html_site::number_map_reserve(site.topic_of_number, topics.size());
    for (size_t i = 0; i < topics.size(); ++i)
        html_site::number_map_add(site.topic_of_number, static_cast<uint32_t>(topics[i].number), static_cast<long>(i));
    // Popups copied into pages stay within a few times the rich text: a
    // large popup opened from every page is linked past that.
    site.popup_copy_budget = 4 * rich_text_bytes + (1u << 20);
    html_site::plan_popup_boxes(site);
    site.contents_topic = html_site::find_contents_topic(site, file);
    html_site::read_buttons(site, file);
    html_site::write_stylesheet(ctx, code_page, html_site::window_colour_rules(ctx, file));
    // KLink and ALink hotspots link to the keyword pages' entries.
    const html_site::KeywordIndex k_keywords = html_site::build_keyword_index(site, 'K');
    const html_site::KeywordIndex a_keywords = html_site::build_keyword_index(site, 'A');
    site.k_keywords = &k_keywords;
    site.a_keywords = &a_keywords;
    html_site::write_keywords(site, k_keywords, "keywords.html", "Index");
    const bool alinks = html_site::write_keywords(site, a_keywords, "akeywords.html", "A keywords");
    // The contents read the bodies, which the pages let go.
    const html_site::SiteContents contents = html_site::site_contents(site);
    html_site::write_index(site, file, alinks, contents);
    html_site::write_search(site);
    html_site::write_pages(site, true);
    if (ctx.htmlhelp) html_site::write_help_project(site, file, k_keywords, contents);
}
