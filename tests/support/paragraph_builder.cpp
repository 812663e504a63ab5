// Text records of |TOPIC: head parts made of paragraph attributes, row
// definitions and formatting commands, and the text parts that go with them.
#include "paragraph_builder.h"

#include <stdexcept>

namespace hlptest {

Bytes compressed_long(uint32_t v)
{
    ByteWriter out;
    if (v < 0x8000)
        out.u16(static_cast<uint16_t>(v * 2));
    else if (v < 0x80000000u)
        out.u32(v * 2 + 1);
    else
        throw std::out_of_range("compressed long above 0x7FFFFFFF");
    return out.take();
}

uint16_t paragraph_flags(const ParagraphAttributes& a)
{
    uint16_t flags = a.extra_flags;
    if (a.keep) flags |= 0x1000;
    if (a.right) flags |= 0x0400;
    if (a.centre) flags |= 0x0800;
    if (a.unused_long) flags |= 0x0001;
    if (a.space_before) flags |= 0x0002;
    if (a.space_after) flags |= 0x0004;
    if (a.line_spacing) flags |= 0x0008;
    if (a.left_indent) flags |= 0x0010;
    if (a.right_indent) flags |= 0x0020;
    if (a.first_indent) flags |= 0x0040;
    if (a.border) flags |= 0x0100;
    if (a.tabs) flags |= 0x0200;
    return flags;
}

Bytes paragraph_attributes(const ParagraphAttributes& a)
{
    ByteWriter out;
    out.u32(0).u16(paragraph_flags(a));
    if (a.unused_long) out.bytes(compressed_long(*a.unused_long));
    for (const auto* measure : {&a.space_before, &a.space_after, &a.line_spacing, &a.left_indent, &a.right_indent,
                                &a.first_indent})
        if (*measure) out.bytes(compressed_short(**measure));
    if (a.border) out.u8(*a.border).u16(0);
    if (a.tabs) {
        out.bytes(compressed_short(a.tab_count.value_or(static_cast<int16_t>(a.tabs->size()))));
        for (const auto& tab : *a.tabs) {
            out.bytes(compressed_ushort(static_cast<uint16_t>(tab.position | (tab.type ? 0x4000 : 0))));
            if (tab.type) out.bytes(compressed_ushort(*tab.type));
        }
    }
    return out.take();
}

Paragraph plain_paragraph(const std::string& text)
{
    Paragraph p;
    p.segments = {{text, cmd_par()}, {"", cmd_end()}};
    return p;
}

// ---------------------------------------------------------------- commands

namespace {

Bytes one(uint8_t code) { return Bytes{code}; }

}  // namespace

Bytes cmd_vfld(int32_t n) { return ByteWriter().u8(0x20).u32(static_cast<uint32_t>(n)).take(); }
Bytes cmd_dtype(int16_t n) { return ByteWriter().u8(0x21).u16(static_cast<uint16_t>(n)).take(); }
Bytes cmd_font(int16_t font) { return ByteWriter().u8(0x80).u16(static_cast<uint16_t>(font)).take(); }
Bytes cmd_line() { return one(0x81); }
Bytes cmd_par() { return one(0x82); }
Bytes cmd_tab() { return one(0x83); }
Bytes cmd_hotspot_end() { return one(0x89); }
Bytes cmd_nonbreaking_space() { return one(0x8B); }
Bytes cmd_nonbreaking_hyphen() { return one(0x8C); }
Bytes cmd_end() { return one(0xFF); }

Bytes cmd_macro(uint8_t code, const std::string& macro, std::optional<int16_t> length)
{
    ByteWriter out;
    out.u8(code).u16(static_cast<uint16_t>(length.value_or(static_cast<int16_t>(macro.size() + 1)))).cstring(macro);
    return out.take();
}

Bytes cmd_link(uint8_t code, uint32_t operand) { return ByteWriter().u8(code).u32(operand).take(); }

Bytes cmd_extended_link(uint8_t code, const ExtendedLink& link)
{
    ByteWriter operands;
    operands.u8(link.link_type).u32(link.hash);
    if (link.link_type == 1) operands.u8(link.window_number);
    if (link.link_type == 6) operands.cstring(link.window);
    if (link.link_type == 4 || link.link_type == 6) operands.cstring(link.file);
    // The length counts what follows the length field.
    ByteWriter out;
    out.u8(code)
        .u16(static_cast<uint16_t>(link.length.value_or(static_cast<int16_t>(operands.size()))))
        .bytes(operands.data());
    return out.take();
}

Bytes cmd_picture(uint8_t code, uint8_t picture_type, const Bytes& data, std::optional<int16_t> size,
                  bool four_byte_size)
{
    const int16_t n = size.value_or(static_cast<int16_t>(data.size()));
    ByteWriter out;
    out.u8(code).u8(picture_type);
    if (four_byte_size)
        out.u32((static_cast<uint32_t>(static_cast<uint16_t>(n)) << 1) | 1);
    else
        out.u16(static_cast<uint16_t>((n + 16384) << 1));
    out.bytes(data);
    return out.take();
}

Bytes picture_reference(int16_t kind, uint16_t number)
{
    ByteWriter out;
    out.u16(static_cast<uint16_t>(kind));
    if (kind == 0) out.u16(number);
    return out.take();
}

Bytes cmd_picture_with_hotspots(uint8_t code, uint16_t characters, const Bytes& data)
{
    ByteWriter out;
    out.u8(code).u8(0x22).u16(static_cast<uint16_t>((data.size() + 16384) << 1)).bytes(compressed_ushort(characters))
        .bytes(data);
    return out.take();
}

Bytes embedded_window_data(const std::string& text) { return ByteWriter().zeros(6).cstring(text).take(); }

// ---------------------------------------------------------------- records

Bytes text_record_head(const TextRecordSpec& recipe)
{
    ByteWriter out;
    out.bytes(compressed_long(recipe.record_size));
    if (recipe.type == 0x20 || recipe.type == 0x23) {
        const Bytes text = text_record_text(recipe);
        out.bytes(compressed_ushort(recipe.character_count.value_or(static_cast<uint16_t>(text.size()))));
    }
    if (recipe.type == 0x23) {
        const RowDefinition& row = recipe.row;
        out.u8(row.column_count.value_or(static_cast<uint8_t>(row.columns.size()))).u8(row.table_type);
        if (row.table_type == 0 || row.table_type == 2) out.u16(static_cast<uint16_t>(row.minimum_width));
        for (const auto& column : row.columns)
            out.u16(static_cast<uint16_t>(column.width)).u16(static_cast<uint16_t>(column.gap));
    }
    for (const auto& paragraph : recipe.paragraphs) {
        if (recipe.type == 0x23) out.u16(static_cast<uint16_t>(paragraph.column)).zeros(3);
        out.bytes(paragraph_attributes(paragraph.attributes));
        for (const auto& segment : paragraph.segments)
            out.bytes(segment.command);
    }
    if (recipe.type == 0x23 && recipe.end_row) out.u16(0xFFFF);
    out.bytes(recipe.trailing);
    return out.take();
}

Bytes text_record_text(const TextRecordSpec& recipe)
{
    ByteWriter out;
    for (const auto& paragraph : recipe.paragraphs)
        for (const auto& segment : paragraph.segments)
            out.cstring(segment.text);
    return out.take();
}

TopicRecord text_record(const TextRecordSpec& recipe)
{
    TopicRecord r;
    r.type = recipe.type;
    r.head = text_record_head(recipe);
    r.text = text_record_text(recipe);
    return r;
}

TopicRecord topic_header(const TopicHeaderSpec& recipe)
{
    TopicRecord r = topic_header_record(recipe.title, recipe.topic_number);
    put_u32(r.head, 4, static_cast<uint32_t>(recipe.browse_previous));
    put_u32(r.head, 8, static_cast<uint32_t>(recipe.browse_next));
    ByteWriter text;
    text.cstring(recipe.title);
    for (const auto& macro : recipe.macros) text.cstring(macro);
    r.text = text.take();
    return r;
}

TopicRecord old_topic_header(const std::string& title, int16_t browse_previous, int16_t browse_next)
{
    TopicRecord r;
    r.type = 2;
    ByteWriter head;
    head.u32(0).u16(static_cast<uint16_t>(browse_previous)).u16(0).u16(static_cast<uint16_t>(browse_next)).u16(0);
    r.head = head.take();
    r.text = ByteWriter().cstring(title).take();
    return r;
}

}  // namespace hlptest
