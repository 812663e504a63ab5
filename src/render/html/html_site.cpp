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
    for (int32_t i = 0; i < ctx.context_count && ctx.contexts != nullptr; ++i)
        site.offset_of_hash.emplace(ctx.contexts[i].hash, ctx.contexts[i].topic_offset);
    site.topic_of_hash.reserve(site.offset_of_hash.size());
    for (const auto& [hash, offset] : site.offset_of_hash)
        site.topic_of_hash.emplace(hash, html_site::topic_at_offset(site, offset));
    for (size_t i = 0; i < topics.size(); ++i)
        site.topic_of_number.emplace(static_cast<uint32_t>(topics[i].number), static_cast<long>(i));
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
