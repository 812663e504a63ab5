#include "topic_compare.h"

#include <cctype>
#include <cstdint>
#include <cstring>
#include <map>

namespace {

// The text of each footnote of this kind ({\up #} ID) in one topic's RTF.
std::vector<std::string> footnotes(const std::string& rtf, size_t from, size_t to, char kind) {
    const std::string marker = std::string("{\\up ") + kind + "} ";
    std::vector<std::string> found;
    for (size_t at = rtf.find(marker, from); at < to; at = rtf.find(marker, at + 1)) {
        const size_t start = at + marker.size(), end = rtf.find('}', start);
        if (end == std::string::npos || end > to) break;
        found.push_back(rtf.substr(start, end - start));
    }
    return found;
}

// Reads the control word at rtf[i] ('\\' then letters); returns its end and
// whether it was \page.
size_t skip_control_word(const std::string& rtf, size_t i, bool& page) {
    size_t j = i + 1;
    while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
    page = rtf.compare(i + 1, j - i - 1, "page") == 0;
    if (j < rtf.size() && rtf[j] == '-') ++j;
    while (j < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[j]))) ++j;
    if (j < rtf.size() && rtf[j] == ' ') ++j;
    return j;
}

}  // namespace

std::vector<RtfTopic> rtf_topics(const std::string& rtf, WordDictionary& dictionary) {
    std::vector<RtfTopic> topics(1);
    std::string word;
    size_t topic_start = 0;
    auto flush = [&] {
        if (!word.empty()) topics.back().words.push_back(dictionary.number(word));
        word.clear();
    };
    auto close_topic = [&](size_t end) {
        flush();
        topics.back().ids = footnotes(rtf, topic_start, end, '#');
        const auto titles = footnotes(rtf, topic_start, end, '$');
        if (!titles.empty()) topics.back().title = titles.front();
        topics.emplace_back();
        topic_start = end;
    };
    int skip_depth = 0, depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '{' || c == '}') {
            flush();
            if (c == '{') {
                ++depth;
                for (const char* table : {"{\\fonttbl", "{\\colortbl", "{\\stylesheet"})
                    if (!skip_depth && rtf.compare(i, std::strlen(table), table) == 0) skip_depth = depth;
            } else {
                if (skip_depth == depth) skip_depth = 0;
                --depth;
            }
        } else if (c == '\\' && i + 1 < rtf.size()) {
            const char n = rtf[i + 1];
            if (n == '\'' && i + 3 < rtf.size()) {
                if (!skip_depth) word += static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else if (std::isalpha(static_cast<unsigned char>(n))) {
                flush();
                bool page = false;
                i = skip_control_word(rtf, i, page) - 1;
                if (page && !skip_depth) close_topic(i + 1);
            } else {
                if (!skip_depth && n != '\n') word += n;
                ++i;
            }
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            flush();
        } else if (!skip_depth) {
            word += c;
        }
    }
    close_topic(rtf.size());
    while (!topics.empty() && topics.back().words.empty()) topics.pop_back();
    return topics;
}

namespace {

// The length of the longest common subsequence of a and b, bit-parallel:
// a bit per word of a, one pass over b.
long common_words(const std::vector<int>& a, const std::vector<int>& b) {
    if (a.empty() || b.empty()) return 0;
    const size_t blocks = (a.size() + 63) / 64;
    std::map<int, std::vector<uint64_t>> where;
    for (size_t i = 0; i < a.size(); ++i) {
        auto& bits = where[a[i]];
        if (bits.empty()) bits.assign(blocks, 0);
        bits[i / 64] |= uint64_t(1) << (i % 64);
    }
    std::vector<uint64_t> v(blocks, ~uint64_t(0));
    for (const int w : b) {
        const auto found = where.find(w);
        if (found == where.end()) continue;
        unsigned __int128 carry = 0;
        for (size_t k = 0; k < blocks; ++k) {
            const uint64_t m = found->second[k], u = v[k] & m;
            const unsigned __int128 sum = static_cast<unsigned __int128>(v[k]) + u + carry;
            carry = sum >> 64;
            v[k] = static_cast<uint64_t>(sum) | (v[k] & ~m);
        }
    }
    long ones = 0;
    for (size_t i = 0; i < a.size(); ++i) ones += (v[i / 64] >> (i % 64)) & 1;
    return long(a.size()) - ones;
}

using Index = std::map<std::string, std::vector<size_t>>;

// The first intact topic of the list not yet taken, or -1.
long first_free(const Index& index, const std::string& key, const std::vector<bool>& taken) {
    const auto found = index.find(key);
    if (found != index.end())
        for (const size_t j : found->second)
            if (!taken[j]) return long(j);
    return -1;
}

// The intact topic a recovered topic stands for, or -1.
long counterpart(const Index& ids, const Index& titles, const RtfTopic& topic, const std::vector<bool>& taken,
                 long previous) {
    for (const std::string& id : topic.ids) {
        const long j = first_free(ids, id, taken);
        if (j >= 0) return j;
    }
    if (!topic.title.empty()) {
        const long j = first_free(titles, topic.title, taken);
        if (j >= 0) return j;
    }
    if (previous + 1 < long(taken.size()) && !taken[size_t(previous + 1)]) return previous + 1;
    return -1;
}

}  // namespace

TextComparison compare_topics(const std::vector<RtfTopic>& intact, const std::vector<RtfTopic>& recovered) {
    TextComparison result;
    for (const RtfTopic& topic : intact) result.intact += long(topic.words.size());
    Index ids, titles;
    for (size_t j = 0; j < intact.size(); ++j) {
        for (const std::string& id : intact[j].ids) ids[id].push_back(j);
        if (!intact[j].title.empty()) titles[intact[j].title].push_back(j);
    }
    std::vector<bool> taken(intact.size(), false);
    long previous = -1;
    for (const RtfTopic& topic : recovered) {
        const long j = counterpart(ids, titles, topic, taken, previous);
        const long common = j >= 0 ? common_words(intact[size_t(j)].words, topic.words) : 0;
        if (j >= 0) taken[size_t(j)] = true, previous = j;
        result.kept += common;
        result.wrong += long(topic.words.size()) - common;
    }
    return result;
}
