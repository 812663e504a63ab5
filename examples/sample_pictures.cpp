// Pictures of the sample: a bitmap, a metafile drawing, a picture with
// hotspots, an emblem in two resolutions, a small picture stored in topic
// text, and the help file's icon. Everything is drawn in integer arithmetic,
// so the files come out the same on every machine.
#include <cstdlib>
#include <functional>
#include <string>

#include "picture_builder.h"
#include "sample.h"

namespace sample {

using namespace hlptest;

namespace {

// The 16 colours of the standard VGA palette, by their usual numbers.
enum Colour : unsigned {
    black, maroon, green, olive, navy, purple, teal, silver, grey, red, lime, yellow, blue, fuchsia, aqua, white
};

Bytes vga_colour_table()
{
    static const uint8_t rgb[16][3] = {{0, 0, 0},     {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                                       {0, 0, 128},   {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                                       {128, 128, 128}, {255, 0, 0}, {0, 255, 0},   {255, 255, 0},
                                       {0, 0, 255},   {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
    ByteWriter out;
    for (const auto& c : rgb)
        out.u8(c[2]).u8(c[1]).u8(c[0]).u8(0);  // blue, green, red, reserved
    return out.take();
}

using Painter = std::function<Colour(int x, int y)>;  // y counts from the top

// Whether pixel (x, y) lies in a circle given in half pixels: centre
// (cx2 / 2, cy2 / 2), radius the square root of r2_squared, halved.
bool in_circle(int x, int y, int cx2, int cy2, int r2_squared)
{
    return (2 * x - cx2) * (2 * x - cx2) + (2 * y - cy2) * (2 * y - cy2) <= r2_squared;
}

// A 16-colour device-independent bitmap; its rows are stored bottom up.
PictureSpec bitmap(uint32_t width, uint32_t height, uint32_t dpi, uint8_t packing, const Painter& paint)
{
    PictureSpec p;
    p.type = dib_bitmap;
    p.packing = packing;
    p.x_dpi = p.y_dpi = dpi;
    p.bits_per_pixel = 4;
    p.width = width;
    p.height = height;
    p.colour_table = vga_colour_table();
    p.data = bitmap_rows(width, height, 4, 4, [&](uint32_t x, uint32_t y) {
        return paint(static_cast<int>(x), static_cast<int>(height - 1 - y));
    });
    return p;
}

Colour landscape_pixel(int x, int y)
{
    if (in_circle(x, y, 74, 16, 100))
        return yellow;
    const int hill = 17 + std::abs(x % 28 - 14) / 2;
    if (y > hill + 6)
        return green;
    return y > hill ? lime : aqua;
}

// Three buttons, one for each hotspot.
constexpr int button_width = 28, button_height = 20, button_top = 6;
int button_left(int i) { return 2 + 32 * i; }

Colour buttons_pixel(int x, int y)
{
    static const Colour faces[] = {blue, red, green};
    for (int i = 0; i < 3; ++i) {
        const int l = button_left(i), r = l + button_width - 1, b = button_top + button_height - 1;
        if (x < l || x > r || y < button_top || y > b)
            continue;
        return x == l || x == r || y == button_top || y == b ? black : faces[i];
    }
    return white;
}

HotspotSpec hotspot(int i, uint8_t kind, const std::string& name, const std::string& target)
{
    HotspotSpec h;
    h.kind = kind;
    h.x = static_cast<uint16_t>(button_left(i));
    h.y = button_top;
    h.w = button_width;
    h.h = button_height;
    h.name = name;
    h.target = target;
    return h;
}

Painter emblem(int size)
{
    // A red ring: outer radius 0.45 of the size, inner radius 0.2.
    return [size](int x, int y) {
        if (in_circle(x, y, size - 1, size - 1, 4 * size * size / 25))
            return white;
        return in_circle(x, y, size - 1, size - 1, 81 * size * size / 100) ? red : white;
    };
}

// A standard metafile (placeable header left to the decompiler): a blue
// rectangle with a yellow ellipse, in a window of 2540 x 1270 units.
Bytes drawing_metafile()
{
    ByteWriter records;
    auto record = [&](uint16_t function, std::initializer_list<uint16_t> words) {
        records.u32(static_cast<uint32_t>(3 + words.size())).u16(function);
        for (uint16_t w : words)
            records.u16(w);
    };
    record(0x0103, {8});                         // SetMapMode(MM_ANISOTROPIC)
    record(0x020B, {0, 0});                      // SetWindowOrg(0, 0)
    record(0x020C, {1270, 2540});                // SetWindowExt: y, x
    record(0x02FC, {0, 0x0000, 0x0080, 0});      // CreateBrushIndirect: solid, RGB(0, 0, 128)
    record(0x012D, {0});                         // SelectObject(0)
    record(0x041B, {1270, 2540, 0, 0});          // Rectangle: bottom, right, top, left
    record(0x02FC, {0, 0xFFFF, 0x0000, 0});      // CreateBrushIndirect: solid, RGB(255, 255, 0)
    record(0x012D, {1});                         // SelectObject(1)
    record(0x0418, {1100, 2200, 170, 340});      // Ellipse: bottom, right, top, left
    record(0x01F0, {0});                         // DeleteObject(0)
    record(0x01F0, {1});                         // DeleteObject(1)
    record(0x0000, {});                          // end of the metafile

    constexpr uint16_t header_words = 9;
    ByteWriter out;
    out.u16(1)  // in memory
        .u16(header_words)
        .u16(0x0300)
        .u32(static_cast<uint32_t>(header_words + records.size() / 2))
        .u16(2)  // objects
        .u32(7)  // the longest record, in words
        .u16(0)
        .bytes(records.data());
    return out.take();
}

PictureSpec metafile()
{
    PictureSpec p;
    p.type = metafile_picture;
    p.packing = 2;
    p.mapping_mode = 8;
    p.metafile_width = 2540;
    p.metafile_height = 1270;
    p.data = drawing_metafile();
    return p;
}

Bytes picture_file(const std::vector<PictureSpec>& pictures) { return build_picture_file(pictures).data; }

}  // namespace

std::vector<InternalFile> bitmap_files()
{
    PictureSpec with_hotspots = bitmap(96, 32, 96, 1, buttons_pixel);
    HotspotBlock block;
    block.hotspots = {hotspot(0, 0xE3, "jump", "formatting"), hotspot(1, 0xE2, "popup", "def_hotspot"),
                      hotspot(2, 0xC8, "macro", "Contents()")};
    with_hotspots.hotspots = block;
    return {
        picture_internal_file(landscape, picture_file({bitmap(48, 32, 96, 3, landscape_pixel)})),
        picture_internal_file(drawing, picture_file({metafile()})),
        picture_internal_file(buttons, picture_file({with_hotspots})),
        picture_internal_file(resolutions,
                              picture_file({bitmap(16, 16, 96, 2, emblem(16)), bitmap(20, 20, 120, 3, emblem(20))})),
    };
}

Bytes embedded_picture()
{
    return picture_file({bitmap(12, 12, 96, 0, [](int x, int y) {
        return std::abs(x * 2 - 11) + std::abs(y * 2 - 11) <= 11 ? navy : white;
    })});
}

// A 16 x 16 icon of 16 colours: a navy question mark on a yellow disc,
// transparent around it.
Bytes icon()
{
    static const char* const mark[16] = {
        "................", "................", "......4444......", ".....44..44.....",
        "....44....44....", "..........44....", ".........44.....", "........44......",
        ".......44.......", ".......44.......", "................", ".......44.......",
        ".......44.......", "................", "................", "................"};
    constexpr int size = 16;
    auto top_down = [](uint32_t y) { return static_cast<int>(size - 1 - y); };
    auto inside = [](int x, int y) { return in_circle(x, y, 15, 15, 231); };
    const Bytes colours = bitmap_rows(size, size, 4, 4, [&](uint32_t x, uint32_t y) {
        const int row = top_down(y);
        if (mark[row][x] == '4')
            return unsigned(navy);
        return inside(static_cast<int>(x), row) ? unsigned(yellow) : unsigned(black);
    });
    const Bytes mask = bitmap_rows(size, size, 1, 4, [&](uint32_t x, uint32_t y) {
        return inside(static_cast<int>(x), top_down(y)) ? 0u : 1u;  // 1: transparent
    });
    const Bytes palette = vga_colour_table();
    const auto image_size = static_cast<uint32_t>(40 + palette.size() + colours.size() + mask.size());

    ByteWriter out;
    out.u16(0).u16(1).u16(1);  // reserved, icon, one image
    out.u8(size).u8(size).u8(16).u8(0).u16(1).u16(4).u32(image_size).u32(6 + 16);
    out.u32(40).u32(size).u32(2 * size)  // the height counts colour rows and mask rows
        .u16(1)
        .u16(4)
        .u32(0)
        .u32(static_cast<uint32_t>(colours.size() + mask.size()))
        .u32(0)
        .u32(0)
        .u32(0)
        .u32(0);
    out.bytes(palette).bytes(colours).bytes(mask);
    return out.take();
}

}  // namespace sample
