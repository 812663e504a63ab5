// The |FONT internal file and character-map files.
#include "font_builder.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace hlptest {
namespace {

void put_rgb(Bytes& b, size_t at, const Rgb& c)
{
    b[at] = c.red;
    b[at + 1] = c.green;
    b[at + 2] = c.blue;
}

void put_text(Bytes& b, size_t at, const std::string& text, size_t field)
{
    if (text.size() > field) throw std::invalid_argument("text does not fit its field: " + text);
    std::copy(text.begin(), text.end(), b.begin() + static_cast<long>(at));
}

int32_t height_of(const FontDescriptorSpec& d)
{
    return d.height ? *d.height : -static_cast<int32_t>(d.size / 2);
}

Bytes old_descriptor(const FontDescriptorSpec& d)
{
    Bytes b(font_field::old_descriptor_size, 0);
    b[0] = static_cast<uint8_t>(d.bold | d.italic << 1 | d.underline << 2 | d.strikeout << 3 |
                                d.double_underline << 4 | d.small_caps << 5);
    b[1] = d.size;
    b[2] = d.family;
    put_u16(b, 3, d.font_name);
    put_rgb(b, 5, d.foreground);
    put_rgb(b, 8, d.background);
    return b;
}

Bytes new_descriptor(const FontDescriptorSpec& d)
{
    Bytes b(font_field::new_descriptor_size, 0);
    put_u16(b, 1, d.font_name);
    put_rgb(b, 3, d.foreground);
    put_rgb(b, 6, d.background);
    put_u32(b, 14, static_cast<uint32_t>(height_of(d)));
    put_u16(b, 30, d.bold ? 700 : 400);
    b[34] = d.italic;
    b[35] = d.underline;
    b[36] = d.strikeout;
    b[37] = d.double_underline;
    b[38] = d.small_caps;
    b[41] = static_cast<uint8_t>(d.family << 4);
    return b;
}

Bytes mediaview_descriptor(const FontDescriptorSpec& d)
{
    Bytes b(font_field::new_descriptor_size, 0);
    put_u16(b, 0, d.font_name);
    put_u16(b, 2, static_cast<uint16_t>(d.expansion));
    put_u16(b, 4, d.style);
    put_rgb(b, 6, d.foreground);
    put_rgb(b, 9, d.background);
    put_u32(b, 12, static_cast<uint32_t>(height_of(d)));
    put_u16(b, 28, d.bold ? 700 : 400);
    b[32] = d.italic;
    b[33] = d.underline;
    b[34] = d.strikeout;
    b[35] = d.double_underline;
    b[36] = d.small_caps;
    b[39] = static_cast<uint8_t>(d.family << 4);
    b[41] = static_cast<uint8_t>(d.vertical_offset);
    return b;
}

Bytes style_record(const FontStyleSpec& s, bool mediaview)
{
    Bytes b(font_field::style_size, 0);
    put_u16(b, 0, s.number);
    put_u16(b, 2, s.based_on);
    // Field positions differ between the two layouts from the font number on.
    size_t font = mediaview ? 4 : 5, fg = mediaview ? 10 : 7, height = mediaview ? 16 : 18;
    size_t weight = mediaview ? 32 : 34, attributes = mediaview ? 36 : 38;
    put_u16(b, font, static_cast<uint16_t>(s.font));
    put_rgb(b, fg, s.foreground);
    put_rgb(b, fg + 3, s.background);
    put_u32(b, height, static_cast<uint32_t>(s.height));
    put_u16(b, weight, static_cast<uint16_t>(s.weight));
    const uint8_t flags[5] = {s.italic, s.underline, s.strikeout, s.double_underline, s.small_caps};
    std::copy(flags, flags + 5, b.begin() + static_cast<long>(attributes));
    if (mediaview) {
        put_u16(b, 6, static_cast<uint16_t>(s.expansion));
        b[45] = static_cast<uint8_t>(s.vertical_offset);
    }
    put_text(b, 81, s.name, font_field::style_size - 82);
    return b;
}

}  // namespace

Bytes build_font_file(const FontFileSpec& recipe)
{
    const bool old_layout = recipe.layout == FontLayout::old_layout;
    const bool mediaview = recipe.layout == FontLayout::mediaview;
    const size_t header = old_layout ? 8 : mediaview ? 16 : 12;
    const size_t field = recipe.name_field ? recipe.name_field : old_layout ? 20 : 32;

    Bytes names(recipe.names.size() * field, 0);
    for (size_t i = 0; i < recipe.names.size(); ++i) put_text(names, i * field, recipe.names[i], field);
    Bytes descriptors;
    for (const auto& d : recipe.descriptors) {
        Bytes r = old_layout ? old_descriptor(d) : mediaview ? mediaview_descriptor(d) : new_descriptor(d);
        descriptors.insert(descriptors.end(), r.begin(), r.end());
    }
    Bytes styles;
    for (const auto& s : recipe.styles) {
        Bytes r = style_record(s, mediaview);
        styles.insert(styles.end(), r.begin(), r.end());
    }
    Bytes charmaps(recipe.charmaps.size() * font_field::charmap_size, 0);
    for (size_t i = 0; i < recipe.charmaps.size(); ++i)
        put_text(charmaps, i * font_field::charmap_size, recipe.charmaps[i], font_field::charmap_size);

    const size_t descriptors_at = header + names.size();
    const size_t styles_at = descriptors_at + descriptors.size();
    const size_t charmaps_at = styles_at + styles.size();
    ByteWriter out;
    out.u16(static_cast<uint16_t>(recipe.names.size()))
        .u16(static_cast<uint16_t>(recipe.descriptors.size()))
        .u16(static_cast<uint16_t>(header))
        .u16(static_cast<uint16_t>(descriptors_at));
    if (!old_layout) out.u16(static_cast<uint16_t>(recipe.styles.size())).u16(static_cast<uint16_t>(styles_at));
    if (mediaview) out.u16(static_cast<uint16_t>(recipe.charmaps.size())).u16(static_cast<uint16_t>(charmaps_at));
    out.bytes(names).bytes(descriptors);
    if (!old_layout) out.bytes(styles);
    if (mediaview) out.bytes(charmaps);
    return out.take();
}

Bytes build_charmap_file(const std::vector<CharMapEntry>& entries, const std::vector<Bytes>& rows,
                         uint16_t row_length)
{
    ByteWriter out;
    out.zeros(8).u16(static_cast<uint16_t>(entries.size())).u16(static_cast<uint16_t>(rows.size()));
    out.u16(row_length).zeros(40 - 14);
    for (const auto& e : entries) out.u16(e.first).u16(e.second).bytes(e.bytes).zeros(2);
    for (const auto& row : rows) {
        Bytes r = row;
        r.resize(row_length, 0);
        out.bytes(r);
    }
    return out.take();
}

}  // namespace hlptest
