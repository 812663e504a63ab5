// The page chrome the help file defines: the contents topic, the buttons
// its |SYSTEM macros add, and the main window's colours.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/decompile_context.h"
#include "platform/code_page.h"
#include "project/context_map.h"
#include "project/project_sections.h"
#include "project/system_file.h"
#include "render/html/html_site_shared.h"
#include "render/html/html_text.h"

namespace html_site {

namespace {

// The macros of a list separated by ';' outside quotes and parentheses,
// each split into its name and arguments (quotes removed from the outer
// level only: `JumpId(`a.hlp',`x')' keeps its inner quotes).
struct Macro {
    std::string name;
    std::vector<std::string> args;
};

void end_argument(std::string& arg, Macro& macro) {
    while (!arg.empty() && arg.back() == ' ') arg.pop_back();
    macro.args.push_back(arg);
    arg.clear();
}

std::vector<Macro> split_macros(const std::string& text) {
    std::vector<Macro> macros(1);
    std::string arg;
    int depth = 0;     // parentheses
    int quotes = 0;    // open `...' and "..." quotes
    bool double_quote = false;
    for (const char c : text) {
        Macro& macro = macros.back();
        const bool outer = depth == 1 && quotes == 0;
        // Inside "...", an apostrophe is text unless it closes a nested `...'.
        const bool closes = c == '"' ? double_quote && quotes == 1 : c == '\'' && (quotes > 1 || !double_quote);
        if (quotes > 0 && closes) {
            if (--quotes > 0 || depth > 1) arg += c;
            if (quotes == 0) double_quote = false;
        } else if (c == '`' || (c == '"' && quotes == 0)) {
            if (++quotes > 1 || depth > 1) arg += c;
            double_quote = double_quote || (c == '"' && quotes == 1);
        } else if (quotes > 0) {
            arg += c;
        } else if (c == '(') {
            if (depth++ > 0) arg += c;
        } else if (c == ')' && depth > 0) {
            if (--depth > 0) arg += c;
            else end_argument(arg, macro);
        } else if (c == ',' && outer) {
            end_argument(arg, macro);
        } else if (c == ';' && depth == 0) {
            if (macros.size() >= 64) break;
            macros.emplace_back();
        } else if (depth == 0) {
            if (c != ' ') macro.name += c;
        } else if (c != ' ' || !arg.empty()) {
            arg += c;
        }
    }
    return macros;
}

bool same_word(std::string_view a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// "&Up" shows as "Up"; "&&" is an ampersand.
std::string without_accelerators(const std::string& label) {
    std::string shown;
    for (size_t i = 0; i < label.size(); ++i) {
        if (label[i] == '&' && i + 1 < label.size()) ++i;
        else if (label[i] == '&') continue;
        shown += label[i];
    }
    return shown;
}

// Where a button's macro leads, as an href; empty for anything but a jump.
std::string button_href(const Site& site, const std::string& macro, const HtmlMapNumbers& map) {
    const HtmlLink link = html_macro_link(site.ctx, macro.c_str(), map);
    if (link.kind == HtmlLink::none || (link.popup && link.kind != HtmlLink::other_file)) return {};
    if (link.kind == HtmlLink::other_file) {
        HtmlPagePopups unused;
        return html_link_href(link, nullptr, unused).href;
    }
    const char kind = link.kind == HtmlLink::number ? marker_number
                      : link.kind == HtmlLink::offset ? marker_offset
                                                        : marker_jump;
    const long target = resolve(site, kind, link.value);
    return target >= 0 ? site.topics[target].page : std::string();
}

}  // namespace

void read_buttons(Site& site, std::FILE* file) {
    DecompileContext& ctx = site.ctx;
    if (ctx.old_format) return;
    std::vector<Macro> buttons;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r))
        if (r->type == 4)
            for (Macro& macro : split_macros(system_record_text(r)))
                if ((same_word(macro.name, "CreateButton") || same_word(macro.name, "CB")) && macro.args.size() >= 3 &&
                    buttons.size() < 32)
                    buttons.push_back(std::move(macro));
    if (buttons.empty()) return;
    // JumpContext buttons name their topic by its [MAP] number.
    HtmlMapNumbers map;
    std::vector<MapEntry> entries;
    read_map_entries(ctx, file, entries, true);
    for (const MapEntry& entry : entries) map.emplace(entry.number, entry.topic_offset);
    for (const Macro& macro : buttons) {
        NavButton button{{}, button_href(site, macro.args[2], map)};
        if (button.href.empty()) continue;
        const std::string label = without_accelerators(macro.args[1]);
        platform::code_page_append(site.code_page, label.data(), label.size(), button.label);
        site.buttons.push_back(std::move(button));
    }
}

long find_contents_topic(const Site& site, std::FILE* file) {
    DecompileContext& ctx = site.ctx;
    if (site.topics.empty()) return -1;
    if (ctx.old_format) return 0;
    long found = 0;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r))
        if (r->type == 3 && r->length >= 4) {
            const long topic = topic_at_offset(site, static_cast<int32_t>(record_dword(r, 0)));
            if (topic >= 0) found = topic;
        }
    return found;
}

std::string window_colour_rules(DecompileContext& ctx, std::FILE* file) {
    std::string rules;
    if (ctx.old_format) return rules;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        // The main window of a WinHelp window record (90 bytes, its name at 12).
        if (r->type != 6 || r->length != 90 || !rules.empty()) continue;
        const uint16_t flags = static_cast<uint16_t>(record_short(r, 0));
        if (!(flags & 0x0002) || !same_word(record_string(r, 12), "main")) continue;
        auto colour = [&](const char* selector, long offset) {
            char rule[64];
            std::snprintf(rule, sizeof rule, "%s{background:#%02x%02x%02x}\n", selector, record_byte(r, offset),
                          record_byte(r, offset + 1), record_byte(r, offset + 2));
            rules += rule;
        };
        if (flags & 0x0100) colour("body", 82);
        if (flags & 0x0200) colour(".nonscroll", 86);
    }
    return rules;
}

}  // namespace html_site
