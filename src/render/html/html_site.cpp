#include "render/html/html_site.h"

#include "core/decompile_context.h"
#include "project/context_map.h"
#include "render/html/html_site_shared.h"

using html_site::Site;

void html_site_write(DecompileContext& ctx, std::FILE* file, std::vector<HtmlTopic>& topics,
                     platform::CodePageConverter* code_page) {
    Site site{ctx, topics, code_page, {}, {}, {}, -1};
    for (int32_t i = 0; i < ctx.context_count && ctx.contexts != nullptr; ++i)
        site.offset_of_hash.emplace(ctx.contexts[i].hash, ctx.contexts[i].topic_offset);
    for (size_t i = 0; i < topics.size(); ++i)
        site.topic_of_number.emplace(static_cast<uint32_t>(topics[i].number), static_cast<long>(i));
    site.contents_topic = html_site::find_contents_topic(site, file);
    html_site::read_buttons(site, file);
    html_site::write_stylesheet(ctx, html_site::window_colour_rules(ctx, file));
    html_site::write_keywords(site, 'K', "keywords.html", "Index");
    const bool alinks = html_site::write_keywords(site, 'A', "akeywords.html", "A keywords");
    html_site::write_index(site, file, alinks);
    html_site::write_pages(site, true);
}
