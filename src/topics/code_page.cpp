#include "topics/code_page.h"

#include "core/decompile_context.h"

namespace {

constexpr int western = 1252;

}  // namespace

int code_page_of_charset(int charset) {
    switch (charset) {
    case 128: return 932;   // Shift JIS
    case 129: return 949;   // Hangul
    case 130: return 1361;  // Johab
    case 134: return 936;   // GB 2312
    case 136: return 950;   // Big5
    case 161: return 1253;  // Greek
    case 162: return 1254;  // Turkish
    case 163: return 1258;  // Vietnamese
    case 177: return 1255;  // Hebrew
    case 178: return 1256;  // Arabic
    case 186: return 1257;  // Baltic
    case 204: return 1251;  // Cyrillic
    case 222: return 874;   // Thai
    case 238: return 1250;  // Central European
    default: return 0;
    }
}

int code_page_of_language(uint16_t language_id) {
    const int primary = language_id & 0x3FF;
    const int sub = language_id >> 10;
    switch (primary) {
    case 0x04: return sub == 2 || sub == 4 ? 936 : 950;  // PRC and Singapore simplified
    case 0x11: return 932;
    case 0x12: return 949;
    case 0x1E: return 874;
    case 0x2A: return 1258;
    case 0x02: case 0x19: case 0x22: case 0x23: case 0x2F: case 0x3F: case 0x44: case 0x50:
        return 1251;
    case 0x1A: return sub == 3 ? 1251 : 1250;  // Serbian in Cyrillic; Croatian and Serbian in Latin
    case 0x05: case 0x0E: case 0x15: case 0x18: case 0x1B: case 0x1C: case 0x24:
        return 1250;
    case 0x08: return 1253;
    case 0x1F: return 1254;
    case 0x0D: return 1255;
    case 0x01: case 0x20: case 0x29: return 1256;
    case 0x25: case 0x26: case 0x27: return 1257;
    default: return western;
    }
}

bool double_byte_code_page(int code_page) {
    return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950 || code_page == 1361;
}

int font_name_charset(const DecompileContext& ctx, long name) {
    if (ctx.font_charsets == nullptr || name < 0 || name >= ctx.font_charset_count) return -1;
    return ctx.font_charsets[name];
}

int topic_code_page(const DecompileContext& ctx) {
    if (ctx.language_id != 0 && code_page_of_language(ctx.language_id) != western)
        return code_page_of_language(ctx.language_id);
    // Files compiled on a national system often state a western language:
    // then the fonts tell. A file whose fonts name one national character
    // set, for a good part of its text, was written on such a system (its
    // titles are in that code page too); western text with national fonts
    // for a few samples, or for several languages, stays western.
    int votes[4] = {};  // western, then up to three other code pages
    int pages[4] = {western, 0, 0, 0};
    auto vote = [&](int charset) {
        const int page = charset == 0 ? western : code_page_of_charset(charset);
        if (page == 0) return;
        for (int i = 0; i < 4; ++i) {
            if (pages[i] == 0) pages[i] = page;
            if (pages[i] == page) {
                ++votes[i];
                return;
            }
        }
    };
    if (ctx.default_charset_known) vote(ctx.default_charset);
    for (int32_t i = 0; i < ctx.font_count && ctx.fonts != nullptr; ++i) {
        const int charset = font_name_charset(ctx, ctx.fonts[i].font_name);
        if (charset >= 0) vote(charset);
    }
    const int total = votes[0] + votes[1] + votes[2] + votes[3];
    if (pages[1] != 0 && pages[2] == 0 && 4 * votes[1] >= total) return pages[1];
    int best = 0;
    for (int i = 1; i < 4; ++i) {
        if (votes[i] > votes[best]) best = i;
    }
    return pages[best];
}

namespace {

bool charset_fits(int charset, int code_page) {
    return charset == 0 ? code_page == western : charset > 0 && code_page_of_charset(charset) == code_page;
}

}  // namespace

int footnote_font_of(const DecompileContext& ctx, int code_page) {
    const int own = font_name_charset(ctx, ctx.default_font);
    if (own < 0 || charset_fits(own, code_page)) return -1;
    for (long i = 0; i < ctx.font_charset_count && i < 256; ++i)
        if (charset_fits(font_name_charset(ctx, i), code_page)) return static_cast<int>(i);
    return -1;
}
