// Hotspots, pictures, embedded windows and the other commands between the
// text strings, as the rich-text writer spells them.
#include <cctype>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/keyword_footnotes.h"
#include "firstpass/picture_names.h"
#include "firstpass/pictures.h"
#include "project/context_hash.h"
#include "project/system_file.h"
#include "render/rtf/rtf_writer.h"
#include "topics/rtf_escape.h"

namespace {

// Replaces the hotspot target by the parts joined; the buffer only grows.
void set_target(DecompileContext& ctx, RtfWriter& s, std::initializer_list<const char*> parts,
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

void open_hotspot(DecompileContext& ctx, RtfWriter& s, bool jump) {
    if (jump) s.jump = true;
    else s.popup = true;
    font_change(ctx, s.out, s.current_font, !jump, jump);
}

}  // namespace

void RtfWriter::on(DecompileContext& ctx, const MacroHotspot& hotspot) {
    jump = true;
    font_change(ctx, out, current_font, false, true);
    set_target(ctx, *this, {hotspot.code == 0xC8 ? "!" : "%!", hotspot.macro});
}

void RtfWriter::on(DecompileContext& ctx, const TopicHotspot& hotspot) {
    const uint8_t code = hotspot.code;
    open_hotspot(ctx, *this, code & 1);
    if (code == 0xE0 || code == 0xE1) {
        char number[24];
        std::snprintf(number, sizeof number, "TOPIC%ld", static_cast<long>(static_cast<int32_t>(hotspot.operand)));
        set_target(ctx, *this, {number}, 128);
    } else {
        const char* name = unhash_jump_target(ctx, hotspot.operand);
        set_target(ctx, *this, {code >= 0xE6 ? "%" : "", name});
    }
}

void RtfWriter::on(DecompileContext& ctx, const ExtendedHotspot& h) {
    open_hotspot(ctx, *this, h.code & 1);
    const char* prefix = (h.code & 0x04) ? "%" : "";
    const char* name = unhash(ctx, h.hash);
    if (h.link_type == 1) set_target(ctx, *this, {prefix, name, ">", window_name(ctx, h.window_number)});
    else if (h.link_type == 4) set_target(ctx, *this, {prefix, name, "@", h.file});
    else if (h.link_type == 6) set_target(ctx, *this, {prefix, name, ">", h.window, "@", h.file});
    else set_target(ctx, *this, {prefix, name});
}

void RtfWriter::on(DecompileContext& ctx, const HotspotEnd&) {
    if (!has_target) set_target(ctx, *this, {""});
    const FontDescriptor* font = font_of(ctx, current_font);
    if (target[0] == '%' && font != nullptr && font->underline) target[0] = '*';
    popup = false;
    jump = false;
    font_change(ctx, out, current_font, false, false);
    if (!ctx.minor_above_21 && target_length > 255)
        std::fputs("Help compiler will issue Warning 4072: Context string exceeds limit of 255 characters\n",
                   stdout);
    const char* text = target;
    if (ctx.minor_27 && (text[0] == '%' || text[0] == '*')) ++text;
    output_puts("{\\v ", out);
    escape_rtf_bytes(out, text, target_length - static_cast<long>(text - target), ctx.double_byte_text);
    output_puts("}", out);
}

void RtfWriter::on(DecompileContext&, const ParagraphEnd& end) {
    switch (end.kind) {
    case ParagraphEndKind::plain: output_puts("\n\\par ", out); break;
    case ParagraphEndKind::in_table: output_puts("\n\\par\\intbl ", out); break;
    case ParagraphEndKind::cell_paragraph: output_puts("\\par\\pard ", out); break;
    case ParagraphEndKind::cell: output_puts("\\cell\\pard ", out); break;
    case ParagraphEndKind::row: output_puts("\\cell\\intbl\\row\n", out); break;
    }
}

namespace {

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

void media_control(MemoryFile* out, const char* command, const char* text) {
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
    output_puts("\\{mci", out);
    if (command[2] == 'r') output_puts("_right", out);
    if (command[2] == 'l') output_puts("_left", out);
    if (c2 == 1) output_puts(" REPEAT", out);
    if (c2 == 2) output_puts(" PLAY", out);
    if (plus == nullptr) output_puts(" EXTERNAL", out);
    if (c1 & 0x08) output_puts(" NOMENU", out);
    if (c1 & 0x02) output_puts(" NOPLAYBAR", out);
    output_printf(out, ",%s\\}\n", plus != nullptr ? plus + 1 : rest);
}

}  // namespace

void RtfWriter::on(DecompileContext&, const EmbeddedWindow& window) {
    const char* text = window.text;
    if (text[0] == '!') output_printf(out, "\\{button %s\\}", text + 1);
    else if (text[0] == '*') media_control(out, window.command, text + 1);
    else output_printf(out, "\\{%s %s\\}", window.command, text);
}

void RtfWriter::on(DecompileContext& ctx, const Picture& picture) {
    char command[8] = {'b', 'm', picture.side, '\0'};
    const unsigned number = picture.number;
    if (number < static_cast<unsigned>(ctx.picture_table_size) && (ctx.picture_table[number] & picture_transparent))
        command[3] = 't';
    output_printf(out, "\\{%s %s\\}", command, picture_file_name(ctx, number));
}

void RtfWriter::on(DecompileContext&, const Field& field) {
    if (field.number != 0) output_printf(out, "\\{vfld%ld\\}", static_cast<long>(field.number));
    else output_puts("\\{vfld\\}", out);
}

void RtfWriter::on(DecompileContext&, const Dtype& dtype) {
    if (dtype.number != 0) output_printf(out, "\\{dtype%d\\}", dtype.number);
    else output_puts("\\{dtype\\}", out);
}

void RtfWriter::on(DecompileContext& ctx, const FontChange& change) {
    current_font = change.font;
    font_change(ctx, out, change.font, popup, jump);
}

void RtfWriter::on(DecompileContext&, const LineBreak&) { output_puts("\\line\n", out); }
void RtfWriter::on(DecompileContext&, const Tab&) { output_puts("\\tab ", out); }
void RtfWriter::on(DecompileContext&, const NonBreakingSpace&) { output_puts("\\~", out); }
void RtfWriter::on(DecompileContext&, const SoftHyphen&) { output_puts("\\-", out); }

void RtfWriter::finish(DecompileContext& ctx) {
    if (target != nullptr) tracked_free(ctx, target);
    target = nullptr;
    // Index entries the text never reached name places past the last topic.
    if (context_cursor < ctx.context_count) {
        damage_found(ctx, "|CONTEXT", -1, "%d context ids name places past the last topic: left out",
                     ctx.context_count - context_cursor);
    }
    if (const int64_t left = keyword_references_left(ctx); left > 0) {
        damage_found(ctx, "|KWDATA", -1, "%lld keyword references name places past the last topic: left out",
                     static_cast<long long>(left));
    }
}
