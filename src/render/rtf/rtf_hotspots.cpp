// The formatting commands between the text strings of a paragraph: font
// changes, breaks, pictures and embedded windows, hotspots and their hidden
// targets. Every operand is read inside the head part; a command that does
// not fit ends its paragraph with nothing written for it.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/picture_names.h"
#include "firstpass/pictures.h"
#include "project/context_hash.h"
#include "project/system_file.h"
#include "render/walk/topic_events.h"
#include "render/rtf/rtf_writer.h"
#include "render/render_topics.h"

namespace {

// Replaces the hotspot target by the parts joined; the buffer only grows.
void set_target(DecompileContext& ctx, RtfConversion& s, std::initializer_list<const char*> parts,
                long minimum = 0) {
    size_t lengths[8];  // the longest target has six parts
    size_t n = 0;
    long need = 1;
    for (const char* part : parts) {
        lengths[n] = std::strlen(part);
        need += static_cast<long>(lengths[n++]);
    }
    if (need < minimum) need = minimum;
    if (need > s.target_capacity) {
        s.target = static_cast<char*>(tracked_realloc(ctx, s.target, need));
        s.target_capacity = need;
    }
    char* at = s.target;
    n = 0;
    for (const char* part : parts) {
        std::memcpy(at, part, lengths[n]);
        at += lengths[n++];
    }
    *at = '\0';
    s.target_length = static_cast<long>(at - s.target);
    s.has_target = true;
}

void open_hotspot(DecompileContext& ctx, RtfConversion& s, bool jump) {
    if (jump) s.jump = true;
    else s.popup = true;
    font_change(ctx, s.out, s.current_font, !jump, jump);
}

// The bytes of a command that starts at start and claims 3 + length bytes
// must all lie in the head part.
bool claimed_bytes_fit(HeadCursor& c, const uint8_t* start, int length) {
    if (length < 0 || c.end - start < 3L + length) {
        cursor_fail(c);
        return false;
    }
    return true;
}

template <class Writer>
bool macro_hotspot(DecompileContext& ctx, Writer& w, HeadCursor& c, uint8_t code) {
    const uint8_t* start = c.at - 1;
    int16_t length = cursor_i16(c);
    if (c.overrun || !claimed_bytes_fit(c, start, length)) return false;
    const char* macro = cursor_cstring(c);
    if (macro == nullptr) return false;
    w.macro_hotspot(ctx, code, macro);
    c.at = start + 3 + length;
    return true;
}

template <class Writer>
bool topic_hotspot(DecompileContext& ctx, Writer& w, HeadCursor& c, uint8_t code) {
    uint32_t operand = cursor_u32(c);
    if (c.overrun) return false;
    w.topic_hotspot(ctx, code, operand);
    return true;
}

// Jumps and popups into another file or window (0xEA, 0xEB, 0xEE, 0xEF).
template <class Writer>
bool extended_hotspot(DecompileContext& ctx, Writer& w, HeadCursor& c, uint8_t code) {
    const uint8_t* start = c.at - 1;
    int16_t length = cursor_i16(c);
    if (c.overrun || !claimed_bytes_fit(c, start, length)) return false;
    uint8_t link_type = cursor_u8(c);
    uint32_t hash = cursor_u32(c);
    int8_t window_number = 0;
    const char* window = "";
    const char* file = "";
    if (link_type == 1) {
        window_number = static_cast<int8_t>(cursor_u8(c));
    } else if (link_type == 4) {
        file = cursor_cstring(c);
    } else if (link_type == 6) {
        window = cursor_cstring(c);
        if (window != nullptr) file = cursor_cstring(c);
    }
    if (c.overrun) return false;
    w.extended_hotspot(ctx, code, link_type, hash, window_number, window, file);
    c.at = start + 3 + length;
    return true;
}

}  // namespace

inline void RtfWriter::macro_hotspot(DecompileContext& ctx, uint8_t code, const char* macro) {
    s.jump = true;
    font_change(ctx, s.out, s.current_font, false, true);
    set_target(ctx, s, {code == 0xC8 ? "!" : "%!", macro});
}

inline void RtfWriter::topic_hotspot(DecompileContext& ctx, uint8_t code, uint32_t operand) {
    open_hotspot(ctx, s, code & 1);
    if (code == 0xE0 || code == 0xE1) {
        char number[24];
        std::snprintf(number, sizeof number, "TOPIC%ld", static_cast<long>(static_cast<int32_t>(operand)));
        set_target(ctx, s, {number}, 128);
    } else {
        const char* name = unhash_jump_target(ctx, operand);
        set_target(ctx, s, {code >= 0xE6 ? "%" : "", name});
    }
}

inline void RtfWriter::extended_hotspot(DecompileContext& ctx, uint8_t code, uint8_t link_type, uint32_t hash,
                                 int8_t window_number, const char* window, const char* file) {
    open_hotspot(ctx, s, code & 1);
    const char* prefix = (code & 0x04) ? "%" : "";
    const char* name = unhash(ctx, hash);
    if (link_type == 1) set_target(ctx, s, {prefix, name, ">", window_name(ctx, window_number)});
    else if (link_type == 4) set_target(ctx, s, {prefix, name, "@", file});
    else if (link_type == 6) set_target(ctx, s, {prefix, name, ">", window, "@", file});
    else set_target(ctx, s, {prefix, name});
}

inline void RtfWriter::hotspot_end(DecompileContext& ctx) {
    if (!s.has_target) set_target(ctx, s, {""});
    const FontDescriptor* font = font_of(ctx, s.current_font);
    if (s.target[0] == '%' && font != nullptr && font->underline) s.target[0] = '*';
    s.popup = false;
    s.jump = false;
    font_change(ctx, s.out, s.current_font, false, false);
    if (!ctx.minor_above_21 && s.target_length > 255)
        std::fputs("Help compiler will issue Warning 4072: Context string exceeds limit of 255 characters\n",
                   stdout);
    const char* text = s.target;
    if (ctx.minor_27 && (text[0] == '%' || text[0] == '*')) ++text;
    output_puts("{\\v ", s.out);
    escape_rtf_bytes(s.out, text, s.target_length - static_cast<long>(text - s.target), ctx.double_byte_text);
    output_puts("}", s.out);
}

void RtfWriter::paragraph_end() { output_puts("\n\\par ", s.out); }
void RtfWriter::table_paragraph_end() { output_puts("\n\\par\\intbl ", s.out); }
void RtfWriter::row_end() { output_puts("\\cell\\intbl\\row\n", s.out); }
void RtfWriter::cell_paragraph_end() { output_puts("\\par\\pard ", s.out); }
void RtfWriter::cell_end() { output_puts("\\cell\\pard ", s.out); }

namespace {

template <class Writer>
bool paragraph_end(RtfConversion& s, HeadCursor& c, Writer& w) {
    if (s.record_type != 0x23) {
        w.paragraph_end();
        return true;
    }
    // In a table the bytes after the 0x82 tell whether the cell, the row or
    // only the paragraph ends.
    if (cursor_left(c) < 1) {
        cursor_fail(c);
        return false;
    }
    if (c.at[0] != 0xFF) {
        w.table_paragraph_end();
        return true;
    }
    if (cursor_left(c) < 3) {
        cursor_fail(c);
        return false;
    }
    int16_t column = static_cast<int16_t>(c.at[1] | (c.at[2] << 8));
    if (column == -1) w.row_end();
    else if (column == s.current_column) w.cell_paragraph_end();
    else w.cell_end();
    return true;
}

// %d as the C library reads it, wrapping instead of overflowing.
bool parse_decimal(const char*& text, int& value) {
    const char* p = text;
    while (std::isspace(static_cast<unsigned char>(*p))) ++p;
    bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    if (!std::isdigit(static_cast<unsigned char>(*p))) return false;
    uint32_t number = 0;
    while (std::isdigit(static_cast<unsigned char>(*p))) number = number * 10 + static_cast<uint32_t>(*p++ - '0');
    value = static_cast<int>(negative ? 0u - number : number);
    text = p;
    return true;
}

void media_control(RtfConversion& s, const char* command, const char* text) {
    int c1 = 0, c2 = 0;
    const char* rest = text;
    const char* p = text;
    int a = 0, b = 0;
    if (parse_decimal(p, a) && *p == ',' && parse_decimal(++p, b) && *p == ',') {
        c1 = a;
        c2 = b;
        rest = p + 1;
    }
    if ((c1 & 0xFFF5) != 0x8400) std::fprintf(stderr, "mci c1=%04x\n", static_cast<unsigned>(c1));
    const char* plus = std::strchr(rest, '+');
    output_puts("\\{mci", s.out);
    if (command[2] == 'r') output_puts("_right", s.out);
    if (command[2] == 'l') output_puts("_left", s.out);
    if (c2 == 1) output_puts(" REPEAT", s.out);
    if (c2 == 2) output_puts(" PLAY", s.out);
    if (plus == nullptr) output_puts(" EXTERNAL", s.out);
    if (c1 & 0x08) output_puts(" NOMENU", s.out);
    if (c1 & 0x02) output_puts(" NOPLAYBAR", s.out);
    output_printf(s.out, ",%s\\}\n", plus != nullptr ? plus + 1 : rest);
}

}  // namespace

void RtfWriter::embedded_window(const char* command, const char* text) {
    if (text[0] == '!') output_printf(s.out, "\\{button %s\\}", text + 1);
    else if (text[0] == '*') media_control(s, command, text + 1);
    else output_printf(s.out, "\\{%s %s\\}", command, text);
}

namespace {

// The picture a kind-1 reference means: the next one the first pass took
// from topic text; -1 (salvage only) when there is none left.
int32_t next_embedded_picture(DecompileContext& ctx, RtfConversion& s) {
    int32_t n = s.next_embedded_picture;
    while (n < ctx.picture_table_size && !(ctx.picture_table[n] & picture_from_topic)) ++n;
    if (n < 0 || n >= ctx.picture_table_size) {
        if (!ctx.salvage) fatal_error("Bitmap never saved");
        // A damaged picture command the first pass could not save: the
        // reference is left out, the text around it stays.
        note_damage(ctx, "|TOPIC", -1, "topic %ld refers to a picture stored in its text that could not be saved",
                    s.topic_counter - 16);
        return -1;
    }
    s.next_embedded_picture = n + 1;
    return n;
}

}  // namespace

void RtfWriter::picture(DecompileContext& ctx, char side, unsigned number) {
    char command[8] = {'b', 'm', side, '\0'};
    if (number < static_cast<unsigned>(ctx.picture_table_size) && (ctx.picture_table[number] & picture_transparent))
        command[3] = 't';
    output_printf(s.out, "\\{%s %s\\}", command, picture_file_name(ctx, number));
}

namespace {

void advance_range(RtfConversion& s, uint32_t count) {
    uint32_t room = static_cast<int32_t>(s.range_start) < static_cast<int32_t>(s.range_end)
                        ? s.range_end - s.range_start
                        : 0;
    s.range_start += count < room ? count : room;
}

// Pictures and embedded windows (0x86 centred, 0x87 left, 0x88 right). The
// size counts the picture data; the hotspot character count of type 0x22
// sits between the size and the data, outside it, as help compilers write it.
template <class Writer>
bool picture_command(DecompileContext& ctx, RtfConversion& s, HeadCursor& c, uint8_t code, Writer& w) {
    const char side = code == 0x86 ? 'c' : code == 0x87 ? 'l' : 'r';
    int picture_type = static_cast<int8_t>(cursor_u8(c));
    long size = 0;
    if (cursor_need(c, 1)) {
        if (c.at[0] & 1) size = static_cast<int16_t>(static_cast<uint16_t>(cursor_u32(c) >> 1));
        else size = static_cast<long>(cursor_u16(c) >> 1) - 16384;
    }
    const uint16_t hotspot_characters = picture_type == 0x22 ? cursor_compressed_ushort(c) : 0;
    if (c.overrun || !cursor_need(c, size)) return false;
    const uint8_t* data_end = c.at + size;
    HeadCursor data{c.at, c.end, false};
    if (picture_type == 3 || picture_type == 0x22) {
        int16_t kind = cursor_i16(data);
        uint16_t number = kind == 0 ? cursor_u16(data) : 0;
        if (data.overrun) {
            cursor_fail(c);
            return false;
        }
        advance_range(s, hotspot_characters);
        if (kind == 0) w.picture(ctx, side, number);
        else if (kind == 1) {
            const int32_t embedded = next_embedded_picture(ctx, s);
            if (embedded >= 0) w.picture(ctx, side, static_cast<unsigned>(embedded));
        }
    } else if (picture_type == 5) {
        cursor_skip(data, 6);
        const char* text = data.overrun ? nullptr : cursor_cstring(data);
        if (text == nullptr) {
            cursor_fail(c);
            return false;
        }
        const char command[4] = {'e', 'w', side, '\0'};
        w.embedded_window(command, text);
    }
    c.at = data_end;
    return true;
}

}  // namespace

void RtfWriter::field(int32_t n) {
    if (n != 0) output_printf(s.out, "\\{vfld%ld\\}", static_cast<long>(n));
    else output_puts("\\{vfld\\}", s.out);
}

void RtfWriter::dtype(int16_t n) {
    if (n != 0) output_printf(s.out, "\\{dtype%d\\}", n);
    else output_puts("\\{dtype\\}", s.out);
}

void RtfWriter::font(DecompileContext& ctx, int16_t font) {
    s.current_font = font;
    font_change(ctx, s.out, font, s.popup, s.jump);
}

void RtfWriter::line_break() { output_puts("\\line\n", s.out); }
void RtfWriter::tab() { output_puts("\\tab ", s.out); }
void RtfWriter::non_breaking_space() { output_puts("\\~", s.out); }
void RtfWriter::soft_hyphen() { output_puts("\\-", s.out); }

template <class Writer>
bool interpret_command(DecompileContext& ctx, RtfConversion& s, HeadCursor& c, Writer& w) {
    const uint8_t code = cursor_u8(c);
    if (c.overrun) return false;
    switch (code) {
    case 0x20: {
        int32_t n = cursor_i32(c);
        if (c.overrun) return false;
        w.field(n);
        return true;
    }
    case 0x21: {
        int16_t n = cursor_i16(c);
        if (c.overrun) return false;
        w.dtype(n);
        return true;
    }
    case 0x80: {
        int16_t font = cursor_i16(c);
        if (c.overrun) return false;
        w.font(ctx, font);
        return true;
    }
    case 0x81: w.line_break(); return true;
    case 0x82: return paragraph_end(s, c, w);
    case 0x83: w.tab(); return true;
    case 0x86:
    case 0x87:
    case 0x88: return picture_command(ctx, s, c, code, w);
    case 0x89: w.hotspot_end(ctx); return true;
    case 0x8B: w.non_breaking_space(); return true;
    case 0x8C: w.soft_hyphen(); return true;
    case 0xC8:
    case 0xCC: return macro_hotspot(ctx, w, c, code);
    case 0xE0:
    case 0xE1:
    case 0xE2:
    case 0xE3:
    case 0xE6:
    case 0xE7: return topic_hotspot(ctx, w, c, code);
    case 0xEA:
    case 0xEB:
    case 0xEE:
    case 0xEF: return extended_hotspot(ctx, w, c, code);
    case 0xFF: return false;
    default: return true;  // the first pass refuses unknown codes
    }
}

template bool interpret_command<RtfWriter>(DecompileContext&, RtfConversion&, HeadCursor&, RtfWriter&);
template bool interpret_command<BothWriters>(DecompileContext&, RtfConversion&, HeadCursor&, BothWriters&);
