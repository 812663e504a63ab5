#include "topics/topic_records.h"

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"

namespace {

int32_t field32(const uint8_t* head, long size, long offset) {
    return size >= offset + 4 ? static_cast<int32_t>(get_le32(head + offset)) : -1;
}

int32_t field16(const uint8_t* head, long size, long offset) {
    return size >= offset + 2 ? static_cast<int16_t>(get_le16(head + offset)) : -1;
}

// The operands of a command that starts at start and claims 3 + length
// bytes must all lie in the head part.
bool claimed_bytes_fit(HeadCursor& c, const uint8_t* start, long length) {
    if (length < 0 || c.end - start < 3L + length) {
        cursor_fail(c);
        return false;
    }
    return true;
}

}  // namespace

bool read_macro_hotspot(HeadCursor& c, TopicCommand& command) {
    const uint8_t* start = c.at - 1;
    command.claimed = cursor_i16(c);
    if (c.overrun || !claimed_bytes_fit(c, start, command.claimed)) return false;
    command.macro = cursor_cstring(c);
    if (command.macro == nullptr) return false;
    c.at = start + 3 + command.claimed;
    return true;
}

// Jumps and popups into another file or window. The strings are read as
// far as the head part goes; the command then ends where its length says.
bool read_extended_hotspot(HeadCursor& c, TopicCommand& command) {
    const uint8_t* start = c.at - 1;
    const long length = cursor_i16(c);
    if (c.overrun || length < 1 || !claimed_bytes_fit(c, start, length)) {
        cursor_fail(c);
        return false;
    }
    command.link_type = cursor_u8(c);
    command.hash = cursor_u32(c);
    command.window_number = 0;
    command.window = "";
    command.file = "";
    if (command.link_type == 1) {
        command.window_number = static_cast<int8_t>(cursor_u8(c));
    } else if (command.link_type == 4) {
        command.file = cursor_cstring(c);
    } else if (command.link_type == 6) {
        command.window = cursor_cstring(c);
        if (command.window != nullptr) command.file = cursor_cstring(c);
    }
    if (c.overrun) return false;
    c.at = start + 3 + length;
    return true;
}

bool read_picture(HeadCursor& c, TopicCommand& command) {
    command.picture_type = static_cast<int8_t>(cursor_u8(c));
    long size = 0;
    if (cursor_need(c, 1)) {
        if (c.at[0] & 1) size = static_cast<int16_t>(static_cast<uint16_t>(cursor_u32(c) >> 1));
        else size = static_cast<long>(cursor_u16(c) >> 1) - 16384;
    }
    command.hotspot_characters = command.picture_type == 0x22 ? cursor_compressed_ushort(c) : 0;
    if (c.overrun || !cursor_need(c, size)) return false;
    command.data = c.at;
    command.size = size;
    c.at += size;
    return true;
}

TopicHeader read_topic_header(const DecompileContext& ctx, const uint8_t* head, long size) {
    if (head == nullptr) size = 0;
    if (ctx.old_format) return TopicHeader{field16(head, size, 4), field16(head, size, 8), -1, -1, -1, -1};
    return TopicHeader{field32(head, size, 4),  field32(head, size, 8),  field32(head, size, 12),
                       field32(head, size, 16), field32(head, size, 20), field32(head, size, 24)};
}

RowDefinition read_row_definition(HeadCursor& c) {
    RowDefinition row{};
    row.columns = cursor_u8(c);
    row.table_type = cursor_u8(c);
    row.width = 32767;
    if (c.overrun) return row;
    if (row.table_type == 0 || row.table_type == 2) {
        row.width = cursor_i16(c);
        if (c.overrun) return row;
        row.centered = true;
    }
    // A single-column row still reads its one entry.
    if (!cursor_need(c, 4L * (row.columns > 0 ? row.columns : 1))) return row;
    row.entries = c.at;
    row.complete = true;
    c.at += 4L * row.columns;
    return row;
}

