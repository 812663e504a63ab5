#include "render/html/html_text.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/decompile_context.h"
#include "platform/code_page.h"
#include "platform/device_names.h"
#include "project/system_file.h"

namespace {

// Where the run of bytes a page takes as they are from text[at] on ends:
// printable ASCII but &, <, > and ", and bytes from 0x80 on when
// `high_plain`. Eight bytes are tested at once: text is mostly such runs.
size_t plain_run_end(const char* text, size_t at, size_t length, bool high_plain) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr uint64_t lanes = 0x0101010101010101ull, tops = 0x8080808080808080ull;
        // A lane of v below 0x80 is zero exactly when v + 0x7F leaves its top bit clear.
        const auto zero = [](uint64_t v) { return ~(v + lanes * 0x7F) & tops; };
        for (; at + 8 <= length; at += 8) {
            uint64_t x;
            std::memcpy(&x, text + at, 8);
            const uint64_t low = x & ~tops;
            // '<' and '>' differ in one bit, '"' and '&' in another.
            const uint64_t ascii_odd = (~(low + lanes * 0x60) & tops) | zero((low | lanes * 0x02) ^ lanes * '>') |
                                       zero((low | lanes * 0x04) ^ lanes * '&');
            const uint64_t odd = (ascii_odd & ~x) | (high_plain ? 0 : x & tops);
            if (odd != 0) return at + static_cast<size_t>(std::countr_zero(odd) / 8);
        }
    }
    for (; at < length; ++at) {
        const auto c = static_cast<unsigned char>(text[at]);
        if (c >= 0x80 ? !high_plain : c < 0x20 || c == '&' || c == '<' || c == '>' || c == '"') break;
    }
    return at;
}

}  // namespace

void html_escape(std::string& out, std::string_view text) {
    // Runs of bytes a page takes as they are go out in one append.
    size_t at = 0;
    while (at < text.size()) {
        const size_t run = plain_run_end(text.data(), at, text.size(), true);
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

void html_escape_converted(std::string& out, platform::CodePageConverter* code_page, std::string_view text) {
    std::string converted;
    platform::code_page_append(code_page, text.data(), text.size(), converted);
    html_escape(out, converted);
}

bool html_append_text(std::string& out, platform::CodePageConverter* code_page, const char* text, size_t length) {
    size_t one = 0;
    if (platform::code_page_byte(code_page, 'a', &one) == nullptr) {
        // Tabs are kept (no byte of a two-byte character is one).
        const std::string_view all(text, length);
        for (size_t at = 0; at <= length;) {
            const size_t tab = std::min(all.find('\t', at), length);
            html_escape_converted(out, code_page, all.substr(at, tab - at));
            if (tab < length) out += '\t';
            at = tab + 1;
        }
        return true;
    }
    // Single-byte text: runs of plain ASCII are copied as they are.
    bool entities = false;
    for (size_t i = 0; i < length;) {
        const size_t run = plain_run_end(text, i, length, false);
        out.append(text + i, run - i);
        if (run == length) break;
        const unsigned char c = static_cast<unsigned char>(text[run]);
        entities = entities || c == '&' || c == '<' || c == '>' || c == '"';
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\t': out += '\t'; break;
        default:
            if (c >= 0x80) {
                size_t n = 0;
                const char* utf8 = platform::code_page_byte(code_page, c, &n);
                out.append(utf8, n);
            }
        }
        i = run + 1;
    }
    return entities;
}

namespace {

// ASCII only, whatever locale the host has set: page names must not
// depend on it.
constexpr bool ascii_alnum(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

constexpr char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

std::string html_safe_name(const std::string& name) {
    std::string safe;
    safe.reserve(std::min<size_t>(name.size(), 120) + 1);
    for (char c : name) {
        if (safe.size() >= 120) break;
        safe += ascii_alnum(c) || c == '_' || c == '-' || c == '.' ? c : '_';
    }
    if (safe.empty() || safe[0] == '.' || platform::is_device_name(safe)) safe.insert(safe.begin(), '_');
    return safe;
}

HtmlPageNames html_page_names(std::initializer_list<std::string_view> reserved) {
    HtmlPageNames names;
    bool added = false;
    for (const std::string_view name : reserved) html_name_number(names.used, name, 0, added);
    return names;
}

std::string html_page_name(HtmlPageNames& names, const char* name, long topic_number) {
    const std::string base =
        name != nullptr && name[0] ? html_safe_name(name) : "topic" + std::to_string(topic_number);
    std::string folded = base;
    for (char& c : folded) c = ascii_lower(c);
    // Suffixes resume where the last name of this base stopped, so many
    // names folding alike cost one try each, not one per name before them.
    bool fresh = false;
    long& next = html_name_number(names.next_suffix, folded, 2, fresh);
    std::string candidate = base;
    if (!fresh) candidate = base + "_" + std::to_string(next++);
    for (bool added = false;;) {
        folded.assign(candidate).append(".html");
        for (char& c : folded) c = ascii_lower(c);
        html_name_number(names.used, folded, 0, added);
        if (added) break;
        candidate = base + "_" + std::to_string(next++);
    }
    return candidate + ".html";
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
