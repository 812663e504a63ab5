// Picture files for tests: headers, packing, colour tables and hotspots.
#include "picture_builder.h"

#include <stdexcept>

namespace hlptest {

Bytes compressed_ulong(uint32_t v)
{
    ByteWriter out;
    if (v <= 0x7FFF)
        out.u16(static_cast<uint16_t>(v * 2));
    else if (v <= 0x7FFFFFFF)
        out.u32(v * 2 + 1);
    else
        throw std::out_of_range("compressed unsigned long above 0x7FFFFFFF");
    return out.take();
}

namespace {

bool is_jump(uint8_t kind)
{
    return (kind >= 0xE0 && kind <= 0xE3) || kind == 0xE6 || kind == 0xE7;
}

}  // namespace

Bytes pack_picture_data(const Bytes& raw, uint8_t packing)
{
    Bytes packed = raw;
    if (packing & 1)
        packed = runlength_encode(packed);
    if (packing & 2)
        packed = lz77_compress_greedy(packed);
    return packed;
}

Bytes bitmap_rows(uint32_t width, uint32_t height, unsigned bits_per_pixel, unsigned alignment,
                  const std::function<unsigned(uint32_t, uint32_t)>& pixel)
{
    const size_t bits = size_t(width) * bits_per_pixel;
    const size_t row = (bits + 8 * alignment - 1) / (8 * alignment) * alignment;
    Bytes out(row * height, 0);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const unsigned mask = bits_per_pixel >= 32 ? ~0u : (1u << bits_per_pixel) - 1;
            unsigned value = pixel(x, y) & mask;
            if (bits_per_pixel >= 8) {
                for (unsigned b = 0; b < bits_per_pixel / 8; ++b)
                    out[y * row + x * (bits_per_pixel / 8) + b] = static_cast<uint8_t>(value >> (8 * b));
                continue;
            }
            size_t bit = size_t(x) * bits_per_pixel;
            unsigned shift = 8 - bits_per_pixel - bit % 8;  // leftmost pixel in the high bits
            out[y * row + bit / 8] |= static_cast<uint8_t>(value << shift);
        }
    }
    return out;
}

Bytes grey_colour_table(unsigned n)
{
    ByteWriter out;
    for (unsigned i = 0; i < n; ++i) {
        auto grey = static_cast<uint8_t>(n > 1 ? i * 255 / (n - 1) : 0);
        out.u8(grey).u8(grey).u8(grey).u8(0);
    }
    return out.take();
}

Bytes build_hotspot_block(const HotspotBlock& block)
{
    ByteWriter out;
    out.u8(block.version).u16(static_cast<uint16_t>(block.hotspots.size())).u32(
        static_cast<uint32_t>(block.macro_data.size()));
    for (const HotspotSpec& h : block.hotspots) {
        uint32_t hash = h.hash ? *h.hash : is_jump(h.kind) ? context_string_hash(h.target) : 0;
        out.u8(h.kind).u8(h.form).u8(h.byte2).u16(h.x).u16(h.y).u16(h.w).u16(h.h).u32(hash);
    }
    out.bytes(block.macro_data);
    for (const HotspotSpec& h : block.hotspots)
        out.cstring(h.name).cstring(h.target);
    return out.take();
}

namespace {

// One picture; offsets in its header count from its first byte.
Bytes build_picture(const PictureSpec& p, PictureLayout& layout)
{
    const Bytes packed = p.packed ? *p.packed : pack_picture_data(p.data, p.packing);
    const Bytes hotspots = p.hotspots ? build_hotspot_block(*p.hotspots) : Bytes{};
    const uint32_t packed_size = p.packed_size.value_or(static_cast<uint32_t>(packed.size()));
    const uint32_t hotspot_size = p.hotspot_size.value_or(static_cast<uint32_t>(hotspots.size()));

    ByteWriter out;
    out.u8(p.type).u8(p.packing);
    if (p.type == metafile_picture) {
        out.bytes(compressed_ushort(p.mapping_mode)).u16(p.metafile_width).u16(p.metafile_height);
        out.bytes(compressed_ulong(p.unpacked_size.value_or(static_cast<uint32_t>(p.data.size()))));
    } else {
        out.bytes(compressed_ulong(p.x_dpi)).bytes(compressed_ulong(p.y_dpi));
        out.bytes(compressed_ushort(p.planes)).bytes(compressed_ushort(p.bits_per_pixel));
        out.bytes(compressed_ulong(p.width)).bytes(compressed_ulong(p.height));
        out.bytes(compressed_ulong(p.colours_used)).bytes(compressed_ulong(p.colours_important));
    }
    out.bytes(compressed_ulong(packed_size)).bytes(compressed_ulong(hotspot_size));
    const size_t offsets = out.size();
    out.u32(0).u32(0);
    if (p.type == dib_bitmap)
        out.bytes(p.colour_table);
    const size_t data = out.size();
    out.bytes(packed);
    const size_t hotspot_at = hotspots.empty() ? 0 : out.size();
    out.bytes(hotspots);
    out.patch_u32(offsets, p.packed_offset.value_or(static_cast<uint32_t>(data)));
    out.patch_u32(offsets + 4, p.hotspot_offset.value_or(static_cast<uint32_t>(hotspot_at)));
    layout.data = data;
    layout.packed_size = packed.size();
    layout.hotspots = hotspot_at;
    layout.hotspot_size = hotspots.size();
    return out.take();
}

}  // namespace

PictureFile build_picture_file(const std::vector<PictureSpec>& pictures, uint16_t magic)
{
    PictureFile file;
    ByteWriter out;
    out.u16(magic).u16(static_cast<uint16_t>(pictures.size()));
    out.zeros(4 * pictures.size());
    for (size_t i = 0; i < pictures.size(); ++i) {
        PictureLayout layout;
        Bytes picture = build_picture(pictures[i], layout);
        layout.header = out.size();
        layout.data += layout.header;
        if (layout.hotspots)
            layout.hotspots += layout.header;
        out.patch_u32(4 + 4 * i, static_cast<uint32_t>(layout.header));
        out.bytes(picture);
        file.layout.push_back(layout);
    }
    file.data = out.take();
    return file;
}

InternalFile picture_internal_file(unsigned number, Bytes picture, bool old_format)
{
    return InternalFile{(old_format ? "bm" : "|bm") + std::to_string(number), std::move(picture)};
}

}  // namespace hlptest
