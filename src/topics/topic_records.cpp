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

bool read_number(HeadCursor& c, TopicCommand& command, CommandKind kind, int bytes) {
    command.kind = kind;
    command.number = bytes == 4 ? cursor_i32(c) : cursor_i16(c);
    return !c.overrun;
}

CommandKind simple_kind(uint8_t code) {
    switch (code) {
    case 0x81: return CommandKind::line_break;
    case 0x82: return CommandKind::paragraph_end;
    case 0x83: return CommandKind::tab;
    case 0x89: return CommandKind::hotspot_end;
    case 0x8B: return CommandKind::non_breaking_space;
    case 0x8C: return CommandKind::soft_hyphen;
    case 0xFF: return CommandKind::end;
    default: return CommandKind::unknown;
    }
}

}  // namespace

TopicHeader read_topic_header(const DecompileContext& ctx, const uint8_t* head, long size) {
    if (head == nullptr) size = 0;
    if (ctx.old_format) return TopicHeader{field16(head, size, 4), field16(head, size, 8), -1, -1, -1, -1};
    return TopicHeader{field32(head, size, 4),  field32(head, size, 8),  field32(head, size, 12),
                       field32(head, size, 16), field32(head, size, 20), field32(head, size, 24)};
}

uint16_t read_record_start(HeadCursor& c, uint8_t record_type) {
    cursor_skip_compressed_long(c);
    return record_type == 0x20 || record_type == 0x23 ? cursor_compressed_ushort(c) : 0;
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

void read_paragraph_fields(HeadCursor& c, bool in_table, ParagraphFields& f, std::vector<TabStop>* tabs) {
    f.column = -1;
    f.flags = 0;
    f.tab_count = 0;
    f.tabs = nullptr;
    if (in_table) {
        f.column = cursor_i16(c);
        cursor_skip(c, 3);
    }
    cursor_skip(c, 4);
    const uint16_t flags = cursor_u16(c);
    f.complete = !c.overrun;
    if (!f.complete) return;
    // Fields that take no bytes; the others join as they are read whole.
    f.flags = flags & 0x1C00;
    if (flags & 0x0001) cursor_skip_compressed_long(c);
    for (int m = 0; m < 6; ++m) {
        const uint16_t bit = static_cast<uint16_t>(0x0002 << m);
        if (!(flags & bit)) continue;
        f.measures[m] = cursor_compressed_short(c);
        if (c.overrun) return;
        f.flags |= bit;
    }
    if (flags & 0x0100) {
        f.border = cursor_u8(c);
        if (!cursor_skip(c, 2)) return;
        f.flags |= 0x0100;
    }
    if (!(flags & 0x0200)) return;
    if (tabs != nullptr) tabs->clear();
    // Each tab stop takes at least one byte, so the head bounds the count.
    const int count = cursor_compressed_short(c);
    for (int i = 0; i < count && !c.overrun; ++i) {
        const uint16_t stop = cursor_compressed_ushort(c);
        const uint16_t type = (stop & 0x4000) ? cursor_compressed_ushort(c) : 0;
        if (c.overrun) break;
        if (tabs != nullptr) tabs->push_back(TabStop{type, static_cast<uint16_t>(stop & 0x3FFF)});
        ++f.tab_count;
    }
    f.flags |= 0x0200;
    if (tabs != nullptr) f.tabs = tabs->data();
}

bool read_command(HeadCursor& c, TopicCommand& command) {
    command.code = cursor_u8(c);
    if (c.overrun) return false;
    const uint8_t code = command.code;
    command.kind = simple_kind(code);
    switch (code) {
    case 0x20: return read_number(c, command, CommandKind::field, 4);
    case 0x21: return read_number(c, command, CommandKind::dtype, 2);
    case 0x80: return read_number(c, command, CommandKind::font, 2);
    case 0x86:
    case 0x87:
    case 0x88: command.kind = CommandKind::picture; return read_picture(c, command);
    case 0xC8:
    case 0xCC: command.kind = CommandKind::macro_hotspot; return read_macro_hotspot(c, command);
    case 0xE0:
    case 0xE1:
    case 0xE2:
    case 0xE3:
    case 0xE6:
    case 0xE7: return read_number(c, command, CommandKind::topic_hotspot, 4);
    case 0xEA:
    case 0xEB:
    case 0xEE:
    case 0xEF: command.kind = CommandKind::extended_hotspot; return read_extended_hotspot(c, command);
    default: return true;
    }
}
