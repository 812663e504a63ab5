// Link targets, page names and picture references of the HTML edition.
#include "render/html/html_links.h"

#include <array>
#include <cctype>
#include <cstring>
#include <utility>

#include "core/decompile_context.h"
#include "firstpass/picture_names.h"
#include "firstpass/pictures.h"
#include "project/context_hash.h"
#include "project/system_file.h"
#include "render/html/html_writer.h"

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

std::string html_safe_name(const std::string& name) {
    std::string safe;
    for (char c : name) {
        if (safe.size() >= 120) break;
        safe += std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' ? c : '_';
    }
    if (safe.empty() || safe[0] == '.') safe.insert(safe.begin(), '_');
    return safe;
}

std::string html_page_name(std::unordered_set<std::string>& used, const char* name, long topic_number) {
    std::string base =
        name != nullptr && name[0] ? html_safe_name(name) : "topic" + std::to_string(topic_number);
    std::string candidate = base;
    for (long n = 2;; ++n) {
        std::string folded = candidate + ".html";
        for (char& c : folded) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (used.insert(std::move(folded)).second) break;
        candidate = base + "_" + std::to_string(n);
    }
    return candidate + ".html";
}

bool html_is_this_file(const DecompileContext& ctx, const char* file) {
    std::string stem = file_stem(file);
    return same_word(stem, html_safe_name(ctx.base_name).c_str());
}

HtmlLink html_macro_link(DecompileContext& ctx, const char* macro) {
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
    if (same_word(name, "Contents") || same_word(name, "JumpContents") || same_word(name, "Finder") ||
        same_word(name, "Search")) {
        link.kind = HtmlLink::other_file;  // a page of this site, by name
        link.name = "index.html";
        return link;
    }
    if (same_word(name, "JumpKeyword") || same_word(name, "JK") || same_word(name, "KLink") ||
        same_word(name, "KL")) {
        link.kind = HtmlLink::other_file;
        link.name = "keywords.html";
    }
    return link;
}

void html_open_link(HtmlWriter& w, DecompileContext& ctx, const HtmlLink& link, const char* title) {
    if (w.topics.empty()) return;
    std::string href;
    std::string shown_title = title != nullptr ? title : "";
    if (link.kind == HtmlLink::other_file) {
        if (link.file.empty()) {
            href = link.name;
        } else {
            href = "../../" + file_stem(link.file) + "/html/" + html_safe_name(link.name) + ".html";
            if (shown_title.empty()) shown_title = link.file;
            else shown_title = link.file + ": " + shown_title;
        }
        w.open_link(href, shown_title.c_str(), false);
        return;
    }
    const char kind = link.kind == HtmlLink::number ? marker_number
                      : link.kind == HtmlLink::offset ? marker_offset
                                                        : marker_jump;
    std::string marker;
    if (link.popup) {
        // One box per popup topic and page, however many hotspots open it.
        HtmlTopic& topic = w.topics.back();
        const uint64_t key = (uint64_t(uint8_t(kind)) << 32) | link.value;
        auto [box, added] = w.popup_boxes.emplace(key, topic.popups.size());
        if (added) topic.popups.push_back(HtmlPopup{kind, link.value});
        html_append_marker(marker, marker_popup_box, box->second);
    } else {
        html_append_marker(marker, kind, link.value);
    }
    (void)ctx;
    w.open_link(marker, shown_title.c_str(), link.popup);
}

void html_escape(std::string& out, std::string_view text) {
    // Runs of bytes a page takes as they are go out in one append.
    static constexpr auto plain = [] {
        std::array<bool, 256> table{};
        for (int c = 0x20; c < 256; ++c) table[c] = c != '&' && c != '<' && c != '>' && c != '"';
        return table;
    }();
    size_t at = 0;
    while (at < text.size()) {
        size_t run = at;
        while (run < text.size() && plain[static_cast<uint8_t>(text[run])]) ++run;
        out.append(text.data() + at, run - at);
        if (run == text.size()) break;
        switch (text[run]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: break;  // control characters are dropped
        }
        at = run + 1;
    }
}

int help_code_page(DecompileContext& ctx, std::FILE* file) {
    int lcid = 0;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r))
        if (r->type == 9 && r->length >= 10) lcid = r->data[8] | (r->data[9] << 8);
    const int language = lcid & 0x3FF, sub = lcid >> 10;
    switch (language) {
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x04: return sub == 2 || sub == 4 ? 936 : 950;
    case 0x19: case 0x22: case 0x23: case 0x02: case 0x2F: case 0x3F: case 0x40: case 0x44: return 1251;
    case 0x05: case 0x15: case 0x0E: case 0x18: case 0x1B: case 0x24: case 0x1C: return 1250;
    case 0x1A: return sub == 3 ? 1251 : 1250;
    case 0x08: return 1253;
    case 0x1F: case 0x2C: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x29: case 0x20: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    case 0x2A: return 1258;
    case 0x1E: return 874;
    default: return 1252;
    }
}
