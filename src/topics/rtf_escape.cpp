#include "topics/rtf_escape.h"

#include <cstdio>

#include "core/decompile_context.h"
#include "core/memory_file.h"

void write_footnote_start(const DecompileContext& ctx, MemoryFile* out, char mark) {
    // Written often (every topic has several): assembled here, not formatted.
    static constexpr char open[] = "{\\up ";
    static constexpr char middle[] = "}{\\footnote\\pard\\plain";
    static constexpr char up[] = "{\\up ";
    char text[sizeof open + sizeof middle + sizeof up + 16];
    size_t n = 0;
    std::memcpy(text + n, open, sizeof open - 1);
    n += sizeof open - 1;
    text[n++] = mark;
    std::memcpy(text + n, middle, sizeof middle - 1);
    n += sizeof middle - 1;
    if (ctx.footnotes_name_font) n += static_cast<size_t>(std::snprintf(text + n, 8, "\\f%u", ctx.footnote_font));
    std::memcpy(text + n, up, sizeof up - 1);
    n += sizeof up - 1;
    text[n++] = mark;
    text[n++] = '}';
    text[n++] = ' ';
    output_write(text, 1, n, out);
}

void escape_rtf_bytes(MemoryFile* out, const char* text, long length, bool double_byte) {
    for (long i = 0; i < length;) {
        const long run = plain_run(text + i, length - i);
        output_write_plain(text + i, static_cast<size_t>(run), out);
        i += run;
        if (i == length) break;
        const uint8_t c = static_cast<uint8_t>(text[i]);
        const bool special = c == '\\' || c == '{' || c == '}';
        if (special && !(double_byte && after_lead_byte(text, i))) output_printf(out, "\\%c", c);
        else output_printf(out, "\\'%02x", c);
        ++i;
    }
}

void escape_rtf_text(MemoryFile* out, const char* text, bool double_byte) {
    escape_rtf_bytes(out, text, static_cast<long>(std::strlen(text)), double_byte);
}
