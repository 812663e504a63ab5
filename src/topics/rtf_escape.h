// Rich-text escaping and the footnote mark, shared by the second pass and
// the keyword footnotes of the first pass's tables.
#pragma once

#include <array>
#include <cstdint>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

struct DecompileContext;
struct MemoryFile;

// Writes text with \, { and } escaped and bytes outside 0x20..0x7E as \'hh.
// In double-byte text a \, { or } after a byte from 0x81 up may be the
// second byte of a character: written \'hh, readers decode the pair.
void escape_rtf_text(MemoryFile* out, const char* text, bool double_byte = false);
// escape_rtf_text for a counted string.
void escape_rtf_bytes(MemoryFile* out, const char* text, long length, bool double_byte = false);
// Whether the byte at text[at] may be the second byte of a double-byte
// character: it follows a byte from 0x81 up.
inline bool after_lead_byte(const char* text, long at) { return at > 0 && static_cast<uint8_t>(text[at - 1]) >= 0x81; }
// The start of a footnote with the mark: "{\up M}{\footnote\pard\plain{\up M} ",
// "\plain\fN" where the default font's character set is not the text's
// (ctx.footnote_font).
void write_footnote_start(const DecompileContext& ctx, MemoryFile* out, char mark);

// Characters written as they are: printable ASCII but the rich-text specials.
inline constexpr auto plain_characters = [] {
    std::array<bool, 256> plain{};
    for (int c = 0x20; c <= 0x7E; ++c) plain[c] = c != '\\' && c != '{' && c != '}';
    return plain;
}();

// How many characters from p on (at most n) are plain: sixteen at a time
// with SSE2, else eight at a time (exact word tests for bytes below 0x20,
// above 0x7E and the three specials), the rest through the table.
inline long plain_run(const char* p, long n) {
    long i = 0;
#ifdef __SSE2__
    const __m128i space = _mm_set1_epi8(0x20), del = _mm_set1_epi8(0x7F), backslash = _mm_set1_epi8('\\'),
                  open = _mm_set1_epi8('{'), close = _mm_set1_epi8('}');
    for (; n - i >= 16; i += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        // Signed, bytes from 0x80 up are below 0x20 too.
        const __m128i bad = _mm_or_si128(
            _mm_or_si128(_mm_cmplt_epi8(x, space), _mm_cmpeq_epi8(x, del)),
            _mm_or_si128(_mm_cmpeq_epi8(x, backslash), _mm_or_si128(_mm_cmpeq_epi8(x, open), _mm_cmpeq_epi8(x, close))));
        const unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(bad));
        if (mask != 0) return i + __builtin_ctz(mask);
    }
#else
    constexpr uint64_t ones = 0x0101010101010101ull, highs = 0x8080808080808080ull;
    auto has_zero = [](uint64_t v) { return (v - ones) & ~v & highs; };
    for (; n - i >= 8; i += 8) {
        uint64_t x;
        std::memcpy(&x, p + i, 8);
        const uint64_t below = (x - ones * 0x20) & ~x & highs;
        const uint64_t above = ((x + ones * (127 - 0x7E)) | x) & highs;
        if (below | above | has_zero(x ^ (ones * '\\')) | has_zero(x ^ (ones * '{')) | has_zero(x ^ (ones * '}')))
            break;
    }
#endif
    while (i < n && plain_characters[static_cast<uint8_t>(p[i])]) ++i;
    return i;
}
