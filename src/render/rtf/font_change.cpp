// Character formatting at a font change: only what differs from the
// formatting in effect is written, with a \plain reset when something has to
// be switched off.
#include "core/decompile_context.h"
#include "render/rtf/rtf_writer.h"
#include "render/render_topics.h"

const FontDescriptor* font_of(const DecompileContext& ctx, int font) {
    if (font < 0 || font >= ctx.font_count || ctx.fonts == nullptr) return nullptr;
    return &ctx.fonts[font];
}

namespace {

bool needs_reset(const CharacterAttributes& state, const FontDescriptor& font, bool popup, bool jump) {
    return (state.bold && !font.bold) || (state.italic && !font.italic) ||
           (state.underline && (jump || (!popup && !font.underline))) || (state.strikeout && !font.strikeout) ||
           (state.double_underline && !jump && !font.double_underline) || (state.small_caps && !font.small_caps) ||
           (state.font_name != 0 && font.font_name == 0) || (state.foreground != 0 && font.foreground == 0) ||
           (state.background != 0 && font.background == 0) ||
           (state.vertical_offset != 0 && font.vertical_offset == 0) || state.style != 0;
}

void write_differences(DecompileContext& ctx, MemoryFile* out, const FontDescriptor& font, bool popup, bool jump) {
    CharacterAttributes& state = ctx.attributes;
    if (font.font_name != state.font_name) output_control_word(out, "\\f", font.font_name);
    if (font.italic && !state.italic) output_puts("\\i", out);
    if (font.bold && !state.bold) output_puts("\\b", out);
    if (!jump && (popup || font.underline) && !state.underline) output_puts("\\ul", out);
    if (font.strikeout && !state.strikeout) output_puts("\\strike", out);
    if ((jump || font.double_underline) && !state.double_underline) output_puts("\\uldb", out);
    if (font.small_caps && !state.small_caps) output_puts("\\scaps", out);
    if (font.expansion != state.expansion) output_control_word(out, "\\expndtw", font.expansion);
    if (font.vertical_offset != state.vertical_offset) {
        if (font.vertical_offset > 0) output_control_word(out, "\\up", font.vertical_offset);
        else if (font.vertical_offset < 0) output_control_word(out, "\\dn", -font.vertical_offset);
    }
    if (font.size != state.size) output_control_word(out, "\\fs", font.size);
    if (font.foreground != state.foreground) output_control_word(out, "\\cf", font.foreground);
    if (font.background != state.background) output_control_word(out, "\\cb", font.background);
}

}  // namespace

void font_change(DecompileContext& ctx, MemoryFile* out, int font, bool popup, bool jump) {
    const FontDescriptor* descriptor = font_of(ctx, font);
    if (descriptor == nullptr) return;
    const uint32_t before = output_tell(out);
    if (descriptor->style != 0) {
        // A character style carries the whole formatting; only the hotspot's
        // underline goes on top of it.
        output_printf(out, "\\plain\\cs%d", descriptor->style + 9);
        if (jump) output_puts("\\uldb", out);
        else if (popup) output_puts("\\ul", out);
    } else {
        if (needs_reset(ctx.attributes, *descriptor, popup, jump)) {
            output_puts("\\plain", out);
            ctx.attributes = CharacterAttributes{};
            ctx.attributes.font_name = ctx.default_font;
        }
        write_differences(ctx, out, *descriptor, popup, jump);
    }
    ctx.attributes = *descriptor;
    if (popup) ctx.attributes.underline = 1;
    if (jump) {
        ctx.attributes.underline = 0;
        ctx.attributes.double_underline = 1;
    }
    if (output_tell(out) != before) output_putc(' ', out);
}
