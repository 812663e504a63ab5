// paragraph_builder: text records of |TOPIC (types 0x20, 0x23 and the old
// type 1): paragraph attributes, table row definitions and the formatting
// commands between the text strings, with the text part they go with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "help_builder.h"

namespace hlptest {

// 2 bytes (value * 2) below 0x8000, else 4 bytes (value * 2 + 1).
Bytes compressed_long(uint32_t v);

// ---------------------------------------------------------------- paragraphs

struct TabStop {
    uint16_t position;              // at most 0x3FFF
    std::optional<uint16_t> type;   // 1 right, 2 centre; present sets bit 0x4000
};

// Each field that is set selects its flag bit and writes its operand.
struct ParagraphAttributes {
    bool keep = false;          // 0x1000
    bool right = false;         // 0x0400
    bool centre = false;        // 0x0800
    std::optional<uint32_t> unused_long;  // 0x0001, a compressed long
    std::optional<int16_t> space_before;  // 0x0002
    std::optional<int16_t> space_after;   // 0x0004
    std::optional<int16_t> line_spacing;  // 0x0008
    std::optional<int16_t> left_indent;   // 0x0010
    std::optional<int16_t> right_indent;  // 0x0020
    std::optional<int16_t> first_indent;  // 0x0040
    std::optional<uint8_t> border;        // 0x0100: flags byte, then 2 bytes
    std::optional<std::vector<TabStop>> tabs;  // 0x0200
    std::optional<int16_t> tab_count;     // replaces the number of tabs written
    uint16_t extra_flags = 0;             // bits without operands, or forced bits
};

uint16_t paragraph_flags(const ParagraphAttributes& a);
// 4 unused bytes, the flags word and the operands.
Bytes paragraph_attributes(const ParagraphAttributes& a);

// A text string followed by the command that comes after it.
struct Segment {
    std::string text;
    Bytes command;
};

struct Paragraph {
    int16_t column = 0;  // table rows only
    ParagraphAttributes attributes;
    std::vector<Segment> segments;  // the last command is normally cmd_end()
};

// "text", 0x82, then an empty string and 0xFF.
Paragraph plain_paragraph(const std::string& text);

// ---------------------------------------------------------------- commands

Bytes cmd_vfld(int32_t n);                  // 0x20
Bytes cmd_dtype(int16_t n);                 // 0x21
Bytes cmd_font(int16_t font);               // 0x80
Bytes cmd_line();                           // 0x81
Bytes cmd_par();                            // 0x82
Bytes cmd_tab();                            // 0x83
Bytes cmd_hotspot_end();                    // 0x89
Bytes cmd_nonbreaking_space();              // 0x8B
Bytes cmd_nonbreaking_hyphen();             // 0x8C
Bytes cmd_end();                            // 0xFF
// 0xC8 or 0xCC: length, then the macro and its NUL; length is
// macro.size() + 1 unless given.
Bytes cmd_macro(uint8_t code, const std::string& macro, std::optional<int16_t> length = {});
// 0xE0..0xE7: a topic number or context hash.
Bytes cmd_link(uint8_t code, uint32_t operand);

struct ExtendedLink {
    uint8_t link_type = 0;  // 0, 1, 4 or 6
    uint32_t hash = 0;
    uint8_t window_number = 0;  // type 1
    std::string window;         // type 6
    std::string file;           // types 4 and 6
    std::optional<int16_t> length;  // replaces the operand length
};
// 0xEA, 0xEB, 0xEE, 0xEF.
Bytes cmd_extended_link(uint8_t code, const ExtendedLink& link);

// 0x86 centred, 0x87 left, 0x88 right: picture type, size (a compressed
// long in its 2-byte form unless four_byte_size), then the data. The size
// is data.size() unless given.
Bytes cmd_picture(uint8_t code, uint8_t picture_type, const Bytes& data, std::optional<int16_t> size = {},
                  bool four_byte_size = false);
// Picture type 0x22: the size of the data, the hotspot character count (a
// compressed unsigned short, outside the size), then the data.
Bytes cmd_picture_with_hotspots(uint8_t code, uint16_t characters, const Bytes& data);
// Data of picture types 3 and 0x22: kind, and for kind 0 the picture number.
Bytes picture_reference(int16_t kind, uint16_t number = 0);
// Data of picture type 5: 6 unused bytes and the text.
Bytes embedded_window_data(const std::string& text);

// ---------------------------------------------------------------- records

struct ColumnSpec {
    int16_t width;
    int16_t gap;
};

struct RowDefinition {
    uint8_t table_type = 0;
    int16_t minimum_width = 32767;  // written for table types 0 and 2
    std::vector<ColumnSpec> columns;
    std::optional<uint8_t> column_count;  // replaces columns.size()
};

struct TextRecordSpec {
    uint8_t type = 0x20;  // 1, 0x20 or 0x23
    uint32_t record_size = 0;  // the leading compressed long; skipped by readers
    // Default: every byte of the text part (NULs included) is one character.
    std::optional<uint16_t> character_count;
    RowDefinition row;   // type 0x23
    std::vector<Paragraph> paragraphs;
    bool end_row = true;  // type 0x23: column -1 after the last paragraph
    Bytes trailing;       // raw bytes appended to the head part
};

Bytes text_record_head(const TextRecordSpec& recipe);
// The strings of every segment of every paragraph, each with its NUL.
Bytes text_record_text(const TextRecordSpec& recipe);
TopicRecord text_record(const TextRecordSpec& recipe);

// A format-16 topic header with browse links and non-scrolling region.
struct TopicHeaderSpec {
    std::string title;
    std::vector<std::string> macros;
    int32_t browse_previous = -1;
    int32_t browse_next = -1;
    uint32_t topic_number = 0;
};
TopicRecord topic_header(const TopicHeaderSpec& recipe);
// An old-format topic header: 16-bit browse topic numbers at 4 and 8.
TopicRecord old_topic_header(const std::string& title, int16_t browse_previous = -1, int16_t browse_next = -1);

}  // namespace hlptest
