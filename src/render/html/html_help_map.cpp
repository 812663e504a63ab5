// [MAP] and [ALIAS] of the HTML Help project, and NAME.h: an application
// that asks HTML Help for the context numbers it gave WinHelp lands on the
// same topic, at the same place in it.
#include <cstdio>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/decompile_context.h"
#include "project/context_map.h"
#include "render/html/html_help_project.h"
#include "render/html/html_links.h"

namespace html_site {

namespace {

// The page (and anchor) of the topic a map entry names; empty for none.
std::string map_target(const Site& site, int32_t topic_offset) {
    const long topic = resolve(site, marker_offset, static_cast<uint32_t>(topic_offset));
    if (topic < 0) return {};
    std::string local = site.topics[topic].page;
    const int32_t first = site.ctx.old_format ? -1 : first_context_of_topic(site.ctx, topic_offset);
    if (first >= 0) append_anchor_fragment(site, topic, site.ctx.contexts[first].hash, local);
    return local;
}

std::string folded(std::string text) {
    for (char& c : text) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return text;
}

// The #define name of an entry: the context name the project file's [MAP]
// gives it, with what a C name cannot hold as '_'; the number added when
// another entry has the name already, and a count after that when that is
// taken too. HTML Help looks aliases up without regard to case. The count
// goes on from where the name's last one stopped, so that a map naming one
// topic many times under one number takes linear time.
std::string map_symbol(DecompileContext& ctx, const MapEntry& entry, std::unordered_set<std::string>& used,
                       std::unordered_map<std::string, unsigned long>& counts) {
    const char* name = topic_offset_name(ctx, entry.topic_offset);
    char fallback[32];
    if (name == nullptr) {
        std::snprintf(fallback, sizeof fallback, "TOPIC%08lx", static_cast<unsigned long>(static_cast<uint32_t>(entry.topic_offset)));
        name = fallback;
    }
    std::string symbol;
    for (const char* c = name; *c != '\0' && symbol.size() < 255; ++c)
        symbol += (*c >= '0' && *c <= '9') || (*c >= 'A' && *c <= 'Z') || (*c >= 'a' && *c <= 'z') ? *c : '_';
    if (symbol.empty() || (symbol[0] >= '0' && symbol[0] <= '9')) symbol.insert(symbol.begin(), '_');
    if (used.insert(folded(symbol)).second) return symbol;
    const std::string numbered = symbol + '_' + std::to_string(static_cast<uint32_t>(entry.number));
    unsigned long& count = counts[folded(numbered)];
    for (count = count < 2 ? 2 : count + 1;; ++count) {
        symbol = count == 2 ? numbered : numbered + '_' + std::to_string(count);
        if (used.insert(folded(symbol)).second) return symbol;
    }
}

}  // namespace

void append_help_map(const Site& site, std::FILE* file, const HelpProject& project, std::string& out) {
    DecompileContext& ctx = site.ctx;
    std::vector<MapEntry> entries;
    read_map_entries(ctx, file, entries, true);
    std::unordered_set<std::string> used;
    std::unordered_map<std::string, unsigned long> counts;
    std::string defines, aliases;
    for (const MapEntry& entry : entries) {
        // A number the map sends to no topic has nowhere to land.
        const std::string target = map_target(site, entry.topic_offset);
        if (target.empty()) continue;
        const std::string symbol = map_symbol(ctx, entry, used, counts);
        defines += "#define " + symbol + ' ' + std::to_string(static_cast<uint32_t>(entry.number)) + "\r\n";
        aliases += symbol + '=' + target + "\r\n";
    }
    if (defines.empty()) return;
    add_output(ctx, project.name + ".h", defines);
    out += "[ALIAS]\r\n" + aliases + "\r\n[MAP]\r\n#include " + project.name + ".h\r\n\r\n";
}

}  // namespace html_site
