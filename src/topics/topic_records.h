// The grammar of a topic record's head part, decoded in one place for both
// passes: the topic header's fields, a text record's paragraphs with their
// format fields and table rows, and the commands between the text strings.
// Every read is bounded by the head part; what does not fit is reported,
// never read past.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/decompile_context.h"

// Reads inside [at, end) only. A read that would pass the end marks the
// cursor as overrun, moves it to the end and yields 0, so every loop driven
// by the head part stops there.
struct HeadCursor {
    const uint8_t* at;
    const uint8_t* end;
    bool overrun;
};

inline HeadCursor head_cursor(const uint8_t* data, long size) {
    return HeadCursor{data, data + (size > 0 ? size : 0), false};
}

inline long cursor_left(const HeadCursor& c) { return c.end - c.at; }
inline bool cursor_done(const HeadCursor& c) { return c.overrun || c.at >= c.end; }

inline void cursor_fail(HeadCursor& c) {
    c.overrun = true;
    c.at = c.end;
}

// Makes sure n more bytes are there; otherwise the cursor is overrun.
inline bool cursor_need(HeadCursor& c, long n) {
    if (n < 0 || cursor_left(c) < n) {
        cursor_fail(c);
        return false;
    }
    return true;
}

inline bool cursor_skip(HeadCursor& c, long n) {
    if (!cursor_need(c, n)) return false;
    c.at += n;
    return true;
}

inline uint8_t cursor_u8(HeadCursor& c) { return cursor_need(c, 1) ? *c.at++ : 0; }

inline uint16_t cursor_u16(HeadCursor& c) {
    if (!cursor_need(c, 2)) return 0;
    uint16_t v = static_cast<uint16_t>(c.at[0] | (c.at[1] << 8));
    c.at += 2;
    return v;
}

inline int16_t cursor_i16(HeadCursor& c) { return static_cast<int16_t>(cursor_u16(c)); }

inline uint32_t cursor_u32(HeadCursor& c) {
    if (!cursor_need(c, 4)) return 0;
    uint32_t v = c.at[0] | (c.at[1] << 8) | (c.at[2] << 16) | (static_cast<uint32_t>(c.at[3]) << 24);
    c.at += 4;
    return v;
}

inline int32_t cursor_i32(HeadCursor& c) { return static_cast<int32_t>(cursor_u32(c)); }

// First byte even: one byte / 2; odd: the word / 2.
inline uint16_t cursor_compressed_ushort(HeadCursor& c) {
    if (!cursor_need(c, 1)) return 0;
    if ((c.at[0] & 1) == 0) return static_cast<uint16_t>(*c.at++ >> 1);
    return static_cast<uint16_t>(cursor_u16(c) >> 1);
}

// First byte even: one byte / 2 - 64; odd: the word / 2 - 16384.
inline int cursor_compressed_short(HeadCursor& c) {
    if (!cursor_need(c, 1)) return 0;
    if ((c.at[0] & 1) == 0) return (*c.at++ >> 1) - 64;
    return (cursor_u16(c) >> 1) - 16384;
}

// Two bytes when the first is even, four when it is odd.
inline void cursor_skip_compressed_long(HeadCursor& c) {
    if (!cursor_need(c, 1)) return;
    cursor_skip(c, (c.at[0] & 1) ? 4 : 2);
}

// A NUL-terminated string that must end inside the head part; null (and the
// cursor overrun) when it does not.
inline const char* cursor_cstring(HeadCursor& c) {
    const void* nul = c.at < c.end ? std::memchr(c.at, 0, static_cast<size_t>(c.end - c.at)) : nullptr;
    if (nul == nullptr) {
        cursor_fail(c);
        return nullptr;
    }
    const char* text = reinterpret_cast<const char*>(c.at);
    c.at = static_cast<const uint8_t*>(nul) + 1;
    return text;
}

// Length of the string at text, which ends at the NUL or at limit.
inline long bounded_length(const char* text, long limit) {
    const void* nul = limit > 0 ? std::memchr(text, 0, static_cast<size_t>(limit)) : nullptr;
    return nul != nullptr ? static_cast<const char*>(nul) - text : (limit > 0 ? limit : 0);
}

// A topic header's fields (record type 2); -1 where the head part is too
// short to hold one. The oldest format stores only the browse links, as
// topic numbers.
struct TopicHeader {
    int32_t browse_previous;
    int32_t browse_next;
    int32_t number;       // the topic's own number
    int32_t non_scroll;   // start of the non-scrolling region
    int32_t scroll;       // start of the scrolling region
    int32_t next_header;  // topic position of the next topic's header
};

TopicHeader read_topic_header(const DecompileContext& ctx, const uint8_t* head, long size);

// A table row's definition (record type 0x23), as far as it could be read.
struct RowDefinition {
    int columns;
    int table_type;
    bool centered;     // types 0 and 2 store a relative width
    int64_t width;     // 32767 unless centered
    bool complete;     // the column entries are all there
    const uint8_t* entries;  // 4 bytes a column: width and gap
};

// The head part's start: the character count (records 0x20 and 0x23) and
// the row definition (0x23).
inline uint16_t read_record_start(HeadCursor& c, uint8_t record_type) {
    cursor_skip_compressed_long(c);
    return record_type == 0x20 || record_type == 0x23 ? cursor_compressed_ushort(c) : 0;
}
RowDefinition read_row_definition(HeadCursor& c);

struct FormatTab {
    uint16_t type;  // 0 left, 1 right, 2 centred
    long twips;
};

// A paragraph's format fields, measures in twips (the scale of |SYSTEM).
// Only the fields read whole are in `flags`: 0x1000 keep, 0x0400 right,
// 0x0800 centred, 0x0100 border, 0x0200 tab stops, measures 0x0002 << index;
// tab stops are kept in the caller's buffer.
struct ParagraphFields {
    int16_t column;  // table paragraphs: the cell's column
    bool complete;   // the paragraph header could be read
    uint16_t flags;
    long measures[6];  // space before, after, line, left, right, first line
    uint8_t border;    // 0x01 box, 0x02 top, 0x04 left, 0x08 bottom, 0x10 right, 0x20 thick, 0x40 double
    const FormatTab* tabs;
    int tab_count;
};

inline long scaled_twips(const DecompileContext& ctx, long value) {
    return static_cast<long>(static_cast<int64_t>(value) * ctx.scale_multiplier - ctx.scale_subtrahend);
}

// Reads a paragraph's header and format fields (table paragraphs start with
// their column).
inline void read_paragraph_fields(const DecompileContext& ctx, HeadCursor& c, bool in_table, ParagraphFields& f,
                                  std::vector<FormatTab>& tabs) {
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
    // The measures present, lowest first.
    for (unsigned left = flags & 0x007Eu; left != 0; left &= left - 1) {
        const unsigned bit = left & (0u - left);
        const int value = cursor_compressed_short(c);
        if (c.overrun) return;
        f.measures[std::countr_zero(bit) - 1] = scaled_twips(ctx, value);
        f.flags |= static_cast<uint16_t>(bit);
    }
    if (flags & 0x0100) {
        f.border = cursor_u8(c);
        if (!cursor_skip(c, 2)) return;
        f.flags |= 0x0100;
    }
    if (!(flags & 0x0200)) return;
    tabs.clear();
    // Each tab stop takes at least one byte, so the head bounds the count.
    const int count = cursor_compressed_short(c);
    for (int i = 0; i < count && !c.overrun; ++i) {
        const uint16_t stop = cursor_compressed_ushort(c);
        const uint16_t type = (stop & 0x4000) ? cursor_compressed_ushort(c) : 0;
        if (c.overrun) break;
        tabs.push_back(FormatTab{type, scaled_twips(ctx, stop & 0x3FFF)});
        ++f.tab_count;
    }
    f.flags |= 0x0200;
    f.tabs = tabs.data();
}

enum class CommandKind : uint8_t {
    field,               // 0x20: number
    dtype,               // 0x21: number
    font,                // 0x80: number
    line_break,          // 0x81
    paragraph_end,       // 0x82
    tab,                 // 0x83
    picture,             // 0x86-0x88: picture or embedded window
    hotspot_end,         // 0x89
    non_breaking_space,  // 0x8B
    soft_hyphen,         // 0x8C
    macro_hotspot,       // 0xC8, 0xCC
    topic_hotspot,       // 0xE0-0xE3, 0xE6, 0xE7: number is the target
    extended_hotspot,    // 0xEA, 0xEB, 0xEE, 0xEF
    end,                 // 0xFF: the paragraph's commands end
    unknown,             // any other code, one byte
};

struct TopicCommand {
    uint8_t code;
    CommandKind kind;
    int32_t number;
    // Pictures: the type, the data and the hotspot character count (type
    // 0x22), which sits between the size and the data, outside it.
    int8_t picture_type;
    uint16_t hotspot_characters;
    const uint8_t* data;
    long size;
    // Macro hotspots: the macro, NUL-terminated in the head part, and the
    // bytes the command claims for it.
    const char* macro;
    long claimed;
    // Extended hotspots: link types 1 (window number), 4 (file), 6 (window
    // and file), else plain.
    uint8_t link_type;
    uint32_t hash;
    int8_t window_number;
    const char* window;
    const char* file;
};

// The commands with strings or data, read past their code.
bool read_macro_hotspot(HeadCursor& c, TopicCommand& command);
bool read_extended_hotspot(HeadCursor& c, TopicCommand& command);
bool read_picture(HeadCursor& c, TopicCommand& command);

inline CommandKind simple_kind(uint8_t code) {
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

inline bool read_number(HeadCursor& c, TopicCommand& command, CommandKind kind, int bytes) {
    command.kind = kind;
    command.number = bytes == 4 ? cursor_i32(c) : cursor_i16(c);
    return !c.overrun;
}

// Reads the command at the cursor and moves past it; false (the cursor
// overrun) when its operands do not fit in the head part.
inline bool read_command(HeadCursor& c, TopicCommand& command) {
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

