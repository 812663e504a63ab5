#include "render/html/html_site_shared.h"

#include <algorithm>

#include "core/decompile_context.h"
#include "firstpass/keyword_window.h"
#include "platform/code_page.h"
#include "render/html/html_text.h"

namespace html_site {

// Keyword pages: one for K keywords, one for A keywords when there are any.
bool write_keywords(const Site& site, uint8_t letter, const char* page_name, const char* heading) {
    DecompileContext& ctx = site.ctx;
    const bool loaded = ctx.keyword_table_loaded && ctx.keyword_sources != nullptr;
    if (!loaded && letter != 'K') return false;
    // Occurrences come keyword by keyword: each keyword's are one run.
    std::vector<int64_t> first_of(loaded ? static_cast<size_t>(ctx.keyword_source_count) + 1 : 1, -1);
    for (int64_t i = ctx.keyword_occurrence_count - 1; loaded && i >= 0; --i) {
        const int32_t k = ctx.keyword_occurrences[i].keyword;
        if (k >= 0 && k < ctx.keyword_source_count) first_of[k] = i;
    }
    // A keyword's topics are a run of `targets`.
    struct Entry {
        const KeywordSource* source;
        size_t first, count;
    };
    std::vector<Entry> entries;
    std::vector<long> targets;
    for (int64_t k = 0; loaded && k < ctx.keyword_source_count; ++k) {
        const KeywordSource& source = ctx.keyword_sources[k];
        if (source.kind != 0 || source.letter != letter) continue;
        Entry entry{&source, targets.size(), 0};
        for (int64_t i = first_of[k]; i >= 0 && i < ctx.keyword_occurrence_count &&
                                      ctx.keyword_occurrences[i].keyword == k; ++i) {
            const int32_t offset = ctx.keyword_occurrences[i].topic_offset;
            const long t = ctx.old_format ? resolve(site, marker_number, static_cast<uint32_t>(offset))
                                          : topic_at_offset(site, offset);
            if (t >= 0) targets.push_back(t);
        }
        entry.count = targets.size() - entry.first;
        if (entry.count != 0) entries.push_back(entry);
    }
    if (entries.empty() && letter != 'K') return false;
    // Alphabetical without regard to case; keywords that differ only in case
    // keep the index's order.
    uint8_t fold[256];
    platform::code_page_fold_table(site.code_page, fold);
    auto text_of = [&ctx](const KeywordSource& source) {
        const bool inside = source.text >= 0 && source.length > 0 && source.text + source.length <= ctx.keyword_text_size;
        return inside ? std::string_view(ctx.keyword_texts + source.text, static_cast<size_t>(source.length))
                      : std::string_view();
    };
    std::stable_sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
        const std::string_view x = text_of(*a.source), y = text_of(*b.source);
        return std::lexicographical_compare(x.begin(), x.end(), y.begin(), y.end(), [&fold](char p, char q) {
            return fold[static_cast<uint8_t>(p)] < fold[static_cast<uint8_t>(q)];
        });
    });
    MemoryFile* file = open_page(ctx, page_name);
    std::string page, text;
    append_page_head(page, heading, "keywords");
    page += "<nav><a href=\"index.html\">Contents</a></nav>\n<h1>";
    html_escape(page, heading);
    page += "</h1>\n<dl>\n";
    for (const Entry& entry : entries) {
        const KeywordSource& source = *entry.source;
        text.clear();
        const std::string_view raw = text_of(source);
        platform::code_page_append(site.code_page, raw.data(), raw.size(), text);
        page += "<dt>";
        html_escape(page, text);
        page += "</dt>\n";
        for (size_t i = entry.first; i < entry.first + entry.count; ++i)
            append_topic_link(page, site.topics[targets[i]], "<dd>", "</dd>\n");
        write_part(file, page, false);
    }
    page += "</dl>\n";
    if (entries.empty()) page += "<p>This help file has no keywords.</p>\n";
    page += "</body>\n</html>\n";
    write_part(file, page, true);
    return true;
}

}  // namespace html_site
