// Link targets of the HTML edition: what a macro or a hotspot's target
// links to, and the href that leads there.
#include "render/html/html_links.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/decompile_context.h"
#include "project/context_hash.h"
#include "render/html/html_text.h"

namespace {

bool same_word(const std::string& a, const char* b) {
    if (a.size() != std::strlen(b)) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The macro's name and its arguments without their quotes (`...', "...").
// Only the first macro of a list separated by ';' counts.
bool split_macro(const char* macro, std::string& name, std::string args[3], int& count) {
    const char* p = macro;
    while (*p == ' ') ++p;
    while (std::isalnum(static_cast<unsigned char>(*p)) || *p == '_') name += *p++;
    while (*p == ' ') ++p;
    count = 0;
    if (*p != '(') return !name.empty();
    ++p;
    while (*p && *p != ')' && count < 3) {
        while (*p == ' ') ++p;
        std::string& arg = args[count++];
        if (*p == '`' || *p == '"') {
            const char close = *p == '`' ? '\'' : '"';
            ++p;
            while (*p && *p != close) arg += *p++;
            if (*p) ++p;
        } else {
            while (*p && *p != ',' && *p != ')') arg += *p++;
            while (!arg.empty() && arg.back() == ' ') arg.pop_back();
        }
        while (*p == ' ') ++p;
        if (*p == ',') ++p;
    }
    return !name.empty();
}

// The file part of a macro argument: "" and qchPath mean this file.
bool names_other_file(const DecompileContext& ctx, std::string& file) {
    const size_t window = file.find('>');
    if (window != std::string::npos) file.erase(window);
    return !file.empty() && !same_word(file, "qchPath") && !html_is_this_file(ctx, file.c_str());
}

std::string file_stem(const std::string& file) {
    size_t start = file.find_last_of("/\\:");
    start = start == std::string::npos ? 0 : start + 1;
    size_t dot = file.rfind('.');
    if (dot == std::string::npos || dot < start) dot = file.size();
    return html_safe_name(file.substr(start, dot - start));
}

}  // namespace

void html_append_marker(std::string& out, char kind, unsigned long value) {
    out += html_marker;
    out += kind;
    if (kind == marker_jump || kind == marker_offset || kind == marker_anchor) {
        static constexpr char hex[] = "0123456789abcdef";
        for (int shift = 28; shift >= 0; shift -= 4) out += hex[(value >> shift) & 0xF];
    } else {
        html_append_number(out, value);
    }
    out += html_marker;
}

bool html_is_this_file(const DecompileContext& ctx, const char* file) {
    std::string stem = file_stem(file);
    return same_word(stem, html_safe_name(ctx.base_name).c_str());
}

namespace {

// KLink and ALink name a list of keywords; JumpKeyword one K keyword of a
// help file, this one or another (inert: its keywords are not known here).
HtmlLink keyword_link(const DecompileContext& ctx, const std::string& name, std::string args[3], int count) {
    HtmlLink link{HtmlLink::none, 0, false, {}, {}};
    const bool k = same_word(name, "KLink") || same_word(name, "KL");
    const bool a = same_word(name, "ALink") || same_word(name, "AL");
    const bool jump = same_word(name, "JumpKeyword") || same_word(name, "JK");
    if ((k || a) && count >= 1) {
        link.name = args[0];
    } else if (jump && count >= 2 && !names_other_file(ctx, args[0])) {
        link.name = args[1];
    } else {
        return link;
    }
    link.kind = HtmlLink::keyword;
    link.value = a ? 'A' : 'K';
    return link;
}

HtmlLink macro_link(DecompileContext& ctx, const char* macro) {
    HtmlLink link{};
    link.kind = HtmlLink::none;
    std::string name, args[3];
    int count = 0;
    if (!split_macro(macro, name, args, count)) return link;
    const bool jump_id = same_word(name, "JumpId") || same_word(name, "JI");
    const bool popup_id = same_word(name, "PopupId") || same_word(name, "PI");
    const bool jump_hash = same_word(name, "JumpHash") || same_word(name, "JH");
    const bool popup_hash = same_word(name, "PopupHash") || same_word(name, "PH");
    if ((jump_id || popup_id || jump_hash || popup_hash) && count >= 2) {
        link.popup = popup_id || popup_hash;
        if (names_other_file(ctx, args[0])) {
            if (jump_hash || popup_hash) return link;
            link.kind = HtmlLink::other_file;
            link.file = args[0];
            link.name = args[1];
            return link;
        }
        link.kind = HtmlLink::hash;
        link.value = jump_id || popup_id ? context_hash(args[1].c_str())
                                         : static_cast<uint32_t>(std::strtoul(args[1].c_str(), nullptr, 0));
        return link;
    }
    const bool jump_context = same_word(name, "JumpContext") || same_word(name, "JC");
    const bool popup_context = same_word(name, "PopupContext") || same_word(name, "PC");
    if ((jump_context || popup_context) && count >= 2 && !names_other_file(ctx, args[0])) {
        char* end = nullptr;
        const long number = std::strtol(args[1].c_str(), &end, 0);
        if (args[1].empty() || *end != '\0') return link;
        link.kind = HtmlLink::context_number;
        link.value = static_cast<uint32_t>(number);
        link.popup = popup_context;
        return link;
    }
    if (same_word(name, "Contents") || same_word(name, "JumpContents") || same_word(name, "Finder")) {
        link.kind = HtmlLink::other_file;  // a page of this site, by name
        link.name = "index.html";
        return link;
    }
    if (same_word(name, "Search") || same_word(name, "Find")) {
        link.kind = HtmlLink::other_file;
        link.name = "search.html";
        return link;
    }
    return keyword_link(ctx, name, args, count);
}

}  // namespace

HtmlLink html_macro_link(DecompileContext& ctx, const char* macro, const HtmlMapNumbers& map) {
    HtmlLink link = macro_link(ctx, macro);
    if (link.kind != HtmlLink::context_number) return link;
    const auto mapped = map.find(static_cast<int32_t>(link.value));
    // -1 is how a map says the number names no topic.
    if (mapped == map.end() || mapped->second == -1) return HtmlLink{HtmlLink::none, 0, false, {}, {}};
    return HtmlLink{HtmlLink::offset, static_cast<uint32_t>(mapped->second), link.popup, {}, {}};
}

HtmlLink html_target_link(DecompileContext& ctx, const std::string& target, bool macro, bool popup,
                          const HtmlMapNumbers& map) {
    if (macro) return html_macro_link(ctx, target.c_str(), map);
    HtmlLink link{};
    link.popup = popup;
    std::string name = target;
    std::string file;
    const size_t at = name.find('@');
    if (at != std::string::npos) {
        file = name.substr(at + 1);
        name.erase(at);
    }
    const size_t window = name.find('>');
    if (window != std::string::npos) name.erase(window);
    if (!file.empty() && !html_is_this_file(ctx, file.c_str())) {
        link.kind = HtmlLink::other_file;
        link.file = file;
        link.name = name;
        return link;
    }
    link.kind = HtmlLink::hash;
    link.value = context_hash(name.c_str());
    return link;
}

HtmlHref html_link_href(const HtmlLink& link, const char* title, HtmlPagePopups& popups) {
    HtmlHref result{{}, title != nullptr ? title : ""};
    if (link.kind == HtmlLink::keyword) {
        // Resolved once the keyword pages are known; text can never hold
        // the marker's byte, nor any other below 0x20.
        result.href += html_marker;
        result.href += marker_keyword;
        result.href += static_cast<char>(link.value);
        for (char c : link.name)
            if (static_cast<uint8_t>(c) >= 0x20) result.href += c;
        result.href += html_marker;
        return result;
    }
    if (link.kind == HtmlLink::other_file) {
        if (link.file.empty()) {
            result.href = link.name;
        } else {
            result.href = "../../" + file_stem(link.file) + "/html/" + html_safe_name(link.name) + ".html";
            result.title = result.title.empty() ? link.file : link.file + ": " + result.title;
        }
        return result;
    }
    const char kind = link.kind == HtmlLink::number ? marker_number
                      : link.kind == HtmlLink::offset ? marker_offset
                                                        : marker_jump;
    if (link.popup) {
        const uint64_t key = (uint64_t(uint8_t(kind)) << 32) | link.value;
        auto [box, added] = popups.index.emplace(key, popups.boxes.size());
        if (added) popups.boxes.push_back(HtmlPopup{kind, link.value});
        html_append_marker(result.href, marker_popup_box, box->second);
    } else {
        html_append_marker(result.href, kind, link.value);
    }
    return result;
}
