#include "platform/code_page.h"
#include "platform/unicode.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace platform {

struct CodePageConverter {
    int code_page;
    bool single_byte;
    // Single-byte code pages: the UTF-8 form of every byte, made once, so a
    // text run is converted without a call per run.
    char table[256][4];
    uint8_t table_length[256];
#ifndef _WIN32
    iconv_t cd;
#endif
};

namespace {

bool double_byte(int code_page) {
    return code_page == 932 || code_page == 936 || code_page == 949 || code_page == 950;
}

// Converts with the system's converter; false when it refused the text.
bool system_convert(CodePageConverter* cv, const char* text, size_t length, std::string& out) {
#ifdef _WIN32
    if (length == 0) return true;
    if (length > 0x1000000) return false;
    const int units = MultiByteToWideChar(static_cast<UINT>(cv->code_page), 0, text, static_cast<int>(length),
                                          nullptr, 0);
    if (units <= 0) return false;
    std::u16string wide(static_cast<size_t>(units), u'\0');
    MultiByteToWideChar(static_cast<UINT>(cv->code_page), 0, text, static_cast<int>(length),
                        reinterpret_cast<wchar_t*>(wide.data()), units);
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < wide.size() && wide[i + 1] >= 0xDC00 && wide[i + 1] < 0xE000)
            c = 0x10000 + ((c - 0xD800) << 10) + (wide[++i] - 0xDC00);
        else if (c >= 0xD800 && c < 0xE000)
            c = 0xFFFD;
        append_utf8(out, c);
    }
    return true;
#else
    if (cv->cd == reinterpret_cast<iconv_t>(-1)) return false;
    char buffer[1024];
    char* in = const_cast<char*>(text);
    size_t in_left = length;
    while (in_left > 0) {
        char* to = buffer;
        size_t to_left = sizeof buffer;
        const size_t result = iconv(cv->cd, &in, &in_left, &to, &to_left);
        out.append(buffer, static_cast<size_t>(to - buffer));
        if (result == static_cast<size_t>(-1) && errno != E2BIG) {
            // An unconvertible or cut sequence: one replacement, one byte on.
            append_utf8(out, 0xFFFD);
            ++in;
            --in_left;
            iconv(cv->cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    return true;
#endif
}

// The small letter of a capital of the alphabets the single-byte code pages
// hold (Latin, Greek, Cyrillic without their accented Greek capitals); any
// other code point as it is.
uint32_t simple_lower(uint32_t c) {
    const bool even = c % 2 == 0;
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if ((c >= 0x100 && c <= 0x137 && even && c != 0x130) || (c >= 0x139 && c <= 0x148 && !even) ||
        (c >= 0x14A && c <= 0x177 && even) || (c >= 0x179 && c <= 0x17E && !even))
        return c + 1;
    if (c == 0x178) return 0xFF;
    if ((c >= 0x391 && c <= 0x3AB && c != 0x3A2) || (c >= 0x410 && c <= 0x42F)) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c == 0x490) return 0x491;
    return c;
}

}  // namespace

void code_page_fold_table(const CodePageConverter* cv, uint8_t fold[256]) {
    uint32_t code[256];
    for (int b = 0; b < 256; ++b) {
        fold[b] = static_cast<uint8_t>(b >= 'A' && b <= 'Z' ? b + 0x20 : b);
        code[b] = 0xFFFD;
        if (cv->single_byte)
            utf8_sequence(reinterpret_cast<const unsigned char*>(cv->table[b]), cv->table_length[b], &code[b]);
    }
    if (!cv->single_byte) return;  // a byte of the upper half may be half a character
    for (int b = 0x80; b < 256; ++b) {
        const uint32_t lower = simple_lower(code[b]);
        if (lower == code[b]) continue;
        for (int small = 0x80; small < 256; ++small)
            if (code[small] == lower) fold[b] = static_cast<uint8_t>(small);
    }
}

CodePageConverter* code_page_open(int code_page) {
    auto* cv = new CodePageConverter{};
    const bool known = code_page == 874 || (code_page >= 1250 && code_page <= 1258) || double_byte(code_page);
    cv->code_page = known ? code_page : 1252;
    cv->single_byte = !double_byte(cv->code_page);
#ifndef _WIN32
    char name[16];
    std::snprintf(name, sizeof name, "CP%d", cv->code_page);
    cv->cd = iconv_open("UTF-8", name);
    if (cv->cd == reinterpret_cast<iconv_t>(-1) && cv->code_page != 1252) {
        cv->code_page = 1252;
        cv->single_byte = true;
        cv->cd = iconv_open("UTF-8", "CP1252");
    }
#endif
    if (cv->single_byte) {
        for (int b = 0; b < 256; ++b) {
            std::string one;
            const char byte = static_cast<char>(b);
            if (b < 0x80 || !system_convert(cv, &byte, 1, one) || one.empty() || one.size() > 4) {
                one.clear();
                append_utf8(one, b < 0x80 || b >= 0xA0 ? static_cast<uint32_t>(b) : 0xFFFD);
            }
            std::memcpy(cv->table[b], one.data(), one.size());
            cv->table_length[b] = static_cast<uint8_t>(one.size());
        }
    }
    return cv;
}

void code_page_close(CodePageConverter* converter) {
    if (converter == nullptr) return;
#ifndef _WIN32
    if (converter->cd != reinterpret_cast<iconv_t>(-1)) iconv_close(converter->cd);
#endif
    delete converter;
}

const char* code_page_byte(const CodePageConverter* cv, unsigned char byte, size_t* length) {
    if (!cv->single_byte) return nullptr;
    *length = cv->table_length[byte];
    return cv->table[byte];
}

void code_page_append(CodePageConverter* cv, const char* text, size_t length, std::string& out) {
    if (cv->single_byte) {
        for (size_t i = 0; i < length; ++i) {
            const uint8_t b = static_cast<uint8_t>(text[i]);
            if (b < 0x80) out += static_cast<char>(b);
            else out.append(cv->table[b], cv->table_length[b]);
        }
        return;
    }
    if (!system_convert(cv, text, length, out)) {
        for (size_t i = 0; i < length; ++i) append_utf8(out, static_cast<uint8_t>(text[i]) < 0x80 ? text[i] : 0xFFFD);
    }
}

}  // namespace platform
