#include "render/html/html_keyword_ids.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "core/decompile_context.h"
#include "firstpass/keyword_window.h"
#include "platform/code_page.h"
#include "render/html/html_text.h"

namespace html_site {

std::string keyword_id(std::string_view raw) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string id = "k-";
    for (const char c : raw) {
        const auto b = static_cast<uint8_t>(c);
        if ((b >= '0' && b <= '9') || (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z')) {
            id += c;
        } else if (b == ' ') {
            id += '-';
        } else {
            id += '_';
            id += hex[b >> 4];
            id += hex[b & 0xF];
        }
    }
    return id;
}

namespace {

std::string_view text_of(const DecompileContext& ctx, const KeywordSource& source) {
    const bool inside = source.text >= 0 && source.length > 0 && source.text + source.length <= ctx.keyword_text_size;
    return inside ? std::string_view(ctx.keyword_texts + source.text, static_cast<size_t>(source.length))
                  : std::string_view();
}

// How far the rich text has reached after each topic. It writes a
// keyword reference's footnote at the first offset it reaches at or past
// the reference, so the reference belongs to the first topic whose reach
// gets there; one past every topic is in none.
std::vector<int64_t> topic_reaches(const Site& site) {
    std::vector<int64_t> reaches;
    int64_t reach = -1;
    for (const HtmlTopic& topic : site.topics) {
        reach = std::max(reach, topic.keyword_reach);
        reaches.push_back(reach);
    }
    return reaches;
}

long topic_of_reference(const std::vector<int64_t>& reaches, int32_t offset) {
    auto it = std::lower_bound(reaches.begin(), reaches.end(), int64_t(offset));
    if (it != reaches.end()) return static_cast<long>(it - reaches.begin());
    // Past the text of the last topic (the index still lists the keyword):
    // WinHelp shows the last topic, so the entry is kept and leads there.
    return offset >= 0 && !reaches.empty() ? static_cast<long>(reaches.size()) - 1 : -1;
}

// Each keyword's first occurrence: occurrences come keyword by keyword.
std::vector<int64_t> first_occurrences(const DecompileContext& ctx) {
    std::vector<int64_t> first_of(static_cast<size_t>(ctx.keyword_source_count) + 1, -1);
    for (int64_t i = ctx.keyword_occurrence_count - 1; i >= 0; --i) {
        const int32_t k = ctx.keyword_occurrences[i].keyword;
        if (k >= 0 && k < ctx.keyword_source_count) first_of[k] = i;
    }
    return first_of;
}

// The entries' keywords folded, one after another in the index's own text
// (its memory stays where it is when the index is moved).
void fold_keywords(KeywordIndex& index) {
    size_t size = 0;
    for (const KeywordEntry& entry : index.entries) size += entry.raw.size();
    index.folded_text.resize(size);
    char* out = index.folded_text.data();
    for (KeywordEntry& entry : index.entries) {
        for (size_t i = 0; i < entry.raw.size(); ++i) out[i] = static_cast<char>(index.fold[static_cast<uint8_t>(entry.raw[i])]);
        entry.folded = std::string_view(out, entry.raw.size());
        out += entry.raw.size();
    }
}

std::string folded(std::string_view raw, const uint8_t fold[256]) {
    std::string out(raw);
    for (char& c : out) c = static_cast<char>(fold[static_cast<uint8_t>(c)]);
    return out;
}

}  // namespace

KeywordIndex build_keyword_index(const Site& site, uint8_t letter) {
    const DecompileContext& ctx = site.ctx;
    KeywordIndex index;
    index.letter = letter;
    if (!ctx.keyword_table_loaded || ctx.keyword_sources == nullptr) return index;
    const std::vector<int64_t> first_of = first_occurrences(ctx);
    const std::vector<int64_t> reaches = topic_reaches(site);
    // The keyword each topic was last listed under.
    std::vector<int64_t> listed_under(site.topics.size(), -1);
    for (int64_t k = 0; k < ctx.keyword_source_count; ++k) {
        const KeywordSource& source = ctx.keyword_sources[k];
        if (source.kind != 0 || source.letter != letter) continue;
        KeywordEntry entry{text_of(ctx, source), {}, {}, {}};
        for (int64_t i = first_of[k]; i >= 0 && i < ctx.keyword_occurrence_count &&
                                      ctx.keyword_occurrences[i].keyword == k; ++i) {
            const long t = topic_of_reference(reaches, ctx.keyword_occurrences[i].topic_offset);
            // A topic is listed once under a keyword, however often the
            // index names it there.
            if (t < 0 || listed_under[static_cast<size_t>(t)] == k) continue;
            listed_under[static_cast<size_t>(t)] = k;
            entry.topics.push_back(t);
        }
        if (!entry.topics.empty()) index.entries.push_back(std::move(entry));
    }
    platform::code_page_fold_table(site.code_page, index.fold);
    fold_keywords(index);
    // Alphabetical without regard to case; keywords that differ only in case
    // keep the index's order.
    std::stable_sort(index.entries.begin(), index.entries.end(),
                     [](const KeywordEntry& a, const KeywordEntry& b) { return a.folded < b.folded; });
    // A keyword listed twice (a damaged index read again) keeps ids apart:
    // its id is its bytes', so the count goes by the keyword.
    std::unordered_map<std::string_view, int> repeats;
    index.exact.reserve(index.entries.size());
    index.folded.reserve(index.entries.size());
    for (size_t i = 0; i < index.entries.size(); ++i) {
        KeywordEntry& entry = index.entries[i];
        entry.id = keyword_id(entry.raw);
        if (!index.exact.emplace(entry.raw, i).second) {
            entry.id += '-';
            html_append_number(entry.id, static_cast<unsigned long>(++repeats[entry.raw] + 1));
        }
        index.folded.emplace(entry.folded, i);
    }
    return index;
}

namespace {

const KeywordEntry* find_keyword(const KeywordIndex& index, std::string_view keyword) {
    auto exact = index.exact.find(keyword);
    if (exact != index.exact.end()) return &index.entries[exact->second];
    auto found = index.folded.find(folded(keyword, index.fold));
    return found != index.folded.end() ? &index.entries[found->second] : nullptr;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

}  // namespace

void append_keyword_href(const Site& site, std::string_view value, std::string& out) {
    const bool a = !value.empty() && value.front() == 'A';
    const KeywordIndex* index = a ? site.a_keywords : site.k_keywords;
    if (!value.empty()) value.remove_prefix(1);
    const KeywordEntry* first = nullptr;
    long only = -1;
    bool several = false;
    while (index != nullptr && !value.empty()) {
        const size_t end = std::min(value.find(';'), value.size());
        const KeywordEntry* entry = find_keyword(*index, trimmed(value.substr(0, end)));
        value.remove_prefix(std::min(end + 1, value.size()));
        if (entry == nullptr) continue;
        if (first == nullptr) first = entry;
        for (long t : entry->topics) {
            several = several || (only >= 0 && t != only);
            only = t;
        }
    }
    if (first != nullptr && !several) {
        out += site.topics[only].page;
    } else if (first != nullptr) {
        out += a ? "akeywords.html#" : "keywords.html#";
        out += first->id;
    } else if (out.size() >= 6 && out.compare(out.size() - 6, 6, "href=\"") == 0) {
        out.replace(out.size() - 6, 6, "class=\"macro");
    } else {
        out += '#';
    }
}

}  // namespace html_site
