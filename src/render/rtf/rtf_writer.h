// Working state of the conversion of topic records into rich text, shared by
// the record walk and the command interpreter, and the bounded cursor both
// read head parts with.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "core/font_descriptor.h"

struct DecompileContext;
struct MemoryFile;

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

struct RtfConversion {
    std::FILE* file;
    MemoryFile* out;
    uint32_t position;      // topic position of the record being converted
    uint32_t topic_offset;  // running topic offset; wraps like the format's 32 bits
    uint32_t range_start;   // record character range; the start follows the text
    uint32_t range_end;
    int32_t context_cursor;  // next |CONTEXT entry still to be written
    long topic_counter;
    bool first_topic;
    int64_t non_scroll_end;  // paragraphs before this position get \keepn
    int16_t current_font;
    bool popup;  // open hotspot underlines once
    bool jump;   // open hotspot underlines twice
    char* target;  // tracked; the open hotspot's target
    long target_capacity;
    long target_length;
    bool has_target;
    int16_t current_column;
    int32_t next_embedded_picture;
    uint8_t record_type;
    const char* text;  // text part of the record; strings are taken in order
    long text_size;
    long text_used;
};

// The events of the record walk, as the rich-text writer turns them into
// the topic file. The walk is a template over its writer, so this one is
// called directly and inlined; the HTML edition (rtf/html/) is the other.
struct TopicWalk;
struct RtfWriter {
    RtfConversion& s;
    void walk_started(DecompileContext& ctx);  // |TOPIC is there
    void topic_start(DecompileContext& ctx, const TopicWalk& walk);
    // A topic whose header was lost (salvage) starts at this record.
    void recovered_topic(DecompileContext& ctx, const TopicWalk& walk);
    void paragraph_start(bool keep_next, bool in_table);
    void keep();
    void align(char side);  // 'r' or 'c'
    void measure(int index, long twips);  // index into sb sa sl li ri fi
    void border(uint8_t border);
    void tab_stop(uint16_t type, long twips);
    void paragraph_text();
    void text(DecompileContext& ctx, const char* text, long length);
    void row_start();
    void row_centered();
    // The row's column entries (4 bytes each: width and gap), read in place.
    void row_cells(DecompileContext& ctx, int columns, const uint8_t* entry, int64_t width);
    void field(int32_t n);
    void dtype(int16_t n);
    void font(DecompileContext& ctx, int16_t font);
    void line_break();
    void paragraph_end();        // outside tables
    void table_paragraph_end();  // a paragraph of a cell goes on
    void cell_paragraph_end();   // the cell's last paragraph, same column follows
    void cell_end();
    void row_end();
    void tab();
    void non_breaking_space();
    void soft_hyphen();
    void picture(DecompileContext& ctx, char side, unsigned number);
    void embedded_window(const char* command, const char* text);
    void macro_hotspot(DecompileContext& ctx, uint8_t code, const char* macro);
    void topic_hotspot(DecompileContext& ctx, uint8_t code, uint32_t operand);
    // Link types 1 (window number), 4 (file), 6 (window and file), else plain.
    void extended_hotspot(DecompileContext& ctx, uint8_t code, uint8_t link_type, uint32_t hash,
                          int8_t window_number, const char* window, const char* file);
    void hotspot_end(DecompileContext& ctx);
};

// Interprets the command at the cursor; false when it ends the paragraph
// (0xFF, or a command whose operands do not fit in the head part).
template <class Writer>
bool interpret_command(DecompileContext& ctx, RtfConversion& state, HeadCursor& cursor, Writer& writer);
// Walks every topic link record of |TOPIC into the writer's events.
template <class Writer>
void walk_topic_records(DecompileContext& ctx, std::FILE* file, RtfConversion& state, Writer& writer);
// Writes a string of the text part through the character rules, with the
// context and keyword footnotes that fall on its characters.
void write_text_string(DecompileContext& ctx, RtfConversion& state, const char* text, long length);
// The |CONTEXT entries the text has reached.
void write_context_footnote(DecompileContext& ctx, RtfConversion& state);
// The "+" footnote of topic number topic_number (from 0): the browse
// identifier (sequence low, position high; 0 for none) and the groups.
void write_browse_footnote(DecompileContext& ctx, MemoryFile* out, uint32_t topic_number, uint32_t browse);
// Valid font number with its descriptor, or null.
const FontDescriptor* font_of(const DecompileContext& ctx, int font);
