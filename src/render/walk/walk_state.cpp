#include "render/walk/walk_state.h"

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/pictures.h"
#include "helpfile/byte_stream.h"

int32_t next_embedded_picture(DecompileContext& ctx, WalkState& s) {
    int32_t n = s.next_embedded_picture;
    while (n < ctx.picture_table_size && !(ctx.picture_table[n] & picture_from_topic)) ++n;
    if (n < 0 || n >= ctx.picture_table_size) {
        // A damaged picture command the first pass could not save: the
        // reference is left out, the text around it stays.
        damage_found(ctx, Damage::item, "Bitmap never saved", "|TOPIC", -1,
                     "topic %ld refers to a picture stored in its text that could not be saved",
                     s.topic_number - first_topic_number);
        return -1;
    }
    s.next_embedded_picture = n + 1;
    return n;
}

bool paragraph_end_kind(const WalkState& s, HeadCursor& c, ParagraphEndKind& kind) {
    if (s.record_type != 0x23) {
        kind = ParagraphEndKind::plain;
        return true;
    }
    // In a table the bytes after the 0x82 tell whether the cell, the row or
    // only the paragraph ends.
    if (cursor_left(c) < 1) {
        cursor_fail(c);
        return false;
    }
    if (c.at[0] != 0xFF) {
        kind = ParagraphEndKind::in_table;
        return true;
    }
    if (cursor_left(c) < 3) {
        cursor_fail(c);
        return false;
    }
    const int16_t column = static_cast<int16_t>(c.at[1] | (c.at[2] << 8));
    if (column == -1) kind = ParagraphEndKind::row;
    else if (column == s.current_column) kind = ParagraphEndKind::cell_paragraph;
    else kind = ParagraphEndKind::cell;
    return true;
}
