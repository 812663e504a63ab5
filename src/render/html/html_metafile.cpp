// Windows metafiles as SVG for the HTML edition: the records help files
// draw with (lines, polygons, rectangles, ellipses, text, pens, brushes,
// pattern fills and the bitmaps they copy or stretch). Anything else is
// skipped; every read stays inside the metafile.
#include "render/html/html_metafile.h"

#include <algorithm>
#include <cstdio>
#include <vector>

#include "render/html/html_png.h"

namespace {

struct Pen {
    bool none;
    int width;
    uint32_t colour;
};

struct Brush {
    bool none;
    uint32_t colour;
};

struct GdiObject {
    char kind;  // 'p' pen, 'b' brush, 'f' font, 'o' other; 0: free slot
    Pen pen;
    Brush brush;
    int font_height;
};

std::string colour_of(uint32_t c) {
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
    return text;
}

void base64(std::string& out, const uint8_t* data, size_t size) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (size_t i = 0; i < size; i += 3) {
        const uint32_t n = (uint32_t(data[i]) << 16) | (i + 1 < size ? uint32_t(data[i + 1]) << 8 : 0) |
                           (i + 2 < size ? data[i + 2] : 0);
        out += digits[(n >> 18) & 63];
        out += digits[(n >> 12) & 63];
        out += i + 1 < size ? digits[(n >> 6) & 63] : '=';
        out += i + 2 < size ? digits[n & 63] : '=';
    }
}

struct Drawing {
    std::vector<GdiObject> objects;
    Pen pen{false, 1, 0};
    Brush brush{false, 0xFFFFFF};
    int font_height = 12;
    uint32_t text_colour = 0;
    int x = 0, y = 0;
    std::string body;

    std::string stroke_and_fill(bool filled) const {
        std::string s = " stroke=\"" + (pen.none ? std::string("none") : colour_of(pen.colour)) + "\"";
        if (!pen.none) s += " stroke-width=\"" + std::to_string(pen.width > 0 ? pen.width : 1) + "\"";
        s += " fill=\"" + (!filled || brush.none ? std::string("none") : colour_of(brush.colour)) + "\"";
        return s;
    }

    void add(const GdiObject& object) {
        for (GdiObject& slot : objects)
            if (slot.kind == 0) {
                slot = object;
                return;
            }
        if (objects.size() < 4096) objects.push_back(object);
    }
};

int16_t i16(const uint8_t* p) { return static_cast<int16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

void points(Drawing& d, const uint8_t* p, long count, const char* element, bool filled) {
    d.body += '<';
    d.body += element;
    d.body += " points=\"";
    for (long i = 0; i < count; ++i) {
        char point[16];
        const int n = std::snprintf(point, sizeof point, "%d,%d ", i16(p + 4 * i), i16(p + 4 * i + 2));
        d.body.append(point, static_cast<size_t>(n));
    }
    d.body += '"';
    d.body += d.stroke_and_fill(filled);
    d.body += "/>\n";
}

std::string box(int x, int y, int width, int height) {
    return "x=\"" + std::to_string(width < 0 ? x + width : x) + "\" y=\"" + std::to_string(height < 0 ? y + height : y) +
           "\" width=\"" + std::to_string(width < 0 ? -width : width) + "\" height=\"" +
           std::to_string(height < 0 ? -height : height) + "\"";
}

// A block transfer without a source: the box filled with the brush
// (PATCOPY), black (BLACKNESS) or white (WHITENESS). Operations that mix
// with what is drawn already (inverting, XOR with the pattern) are left out.
void pattern_fill(Drawing& d, uint32_t operation, int x, int y, int width, int height) {
    std::string fill;
    if (operation == 0x00F00021 && !d.brush.none) fill = colour_of(d.brush.colour);
    else if (operation == 0x00000042) fill = "#000000";
    else if (operation == 0x00FF0062) fill = "#ffffff";
    if (fill.empty() || width == 0 || height == 0) return;
    d.body += "<rect " + box(x, y, width, height) + " fill=\"" + fill + "\" stroke=\"none\"/>\n";
}

// A device-independent bitmap of `size` bytes at dib, drawn into the box:
// as PNG where it can be read, else as the bitmap file it makes.
void stretched_bitmap(Drawing& d, const uint8_t* dib, long size, int x, int y, int width, int height) {
    std::string png;
    if (html_dib_png(dib, size, png)) {
        d.body += "<image " + box(x, y, width, height) + " preserveAspectRatio=\"none\" href=\"data:image/png;base64,";
        base64(d.body, reinterpret_cast<const uint8_t*>(png.data()), png.size());
        d.body += "\"/>\n";
        return;
    }
    if (size < 40) return;
    const uint32_t header = u32(dib);
    if (header < 12 || header > static_cast<uint32_t>(size)) return;
    const int bits = header >= 16 ? (dib[14] | (dib[15] << 8)) : 0;
    uint32_t colours = header >= 36 ? u32(dib + 32) : 0;
    if (colours == 0 && bits > 0 && bits <= 8) colours = 1u << bits;
    const uint32_t compression = header >= 20 ? u32(dib + 16) : 0;
    uint64_t offset = 14 + uint64_t(header) + 4 * uint64_t(colours) + (compression == 3 && header == 40 ? 12 : 0);
    if (offset > uint64_t(size) + 14) return;
    std::vector<uint8_t> file(14 + static_cast<size_t>(size));
    file[0] = 'B';
    file[1] = 'M';
    const uint32_t total = static_cast<uint32_t>(file.size());
    for (int i = 0; i < 4; ++i) file[2 + i] = static_cast<uint8_t>(total >> (8 * i));
    for (int i = 0; i < 4; ++i) file[10 + i] = static_cast<uint8_t>(offset >> (8 * i));
    std::copy(dib, dib + size, file.begin() + 14);
    d.body += "<image " + box(x, y, width, height) + " preserveAspectRatio=\"none\" href=\"data:image/bmp;base64,";
    base64(d.body, file.data(), file.size());
    d.body += "\"/>\n";
}

void text(Drawing& d, int x, int y, const uint8_t* p, long length, void (*convert)(const char*, size_t, void*, std::string&),
          void* context) {
    std::string utf8;
    convert(reinterpret_cast<const char*>(p), static_cast<size_t>(length), context, utf8);
    d.body += "<text x=\"" + std::to_string(x) + "\" y=\"" + std::to_string(y) + "\" font-size=\"" +
              std::to_string(d.font_height) + "\" dominant-baseline=\"hanging\" fill=\"" + colour_of(d.text_colour) +
              "\" font-family=\"sans-serif\">";
    for (char c : utf8) {
        if (c == '&') d.body += "&amp;";
        else if (c == '<') d.body += "&lt;";
        else if (c == '>') d.body += "&gt;";
        else if (static_cast<unsigned char>(c) >= 0x20) d.body += c;
    }
    d.body += "</text>\n";
}

}  // namespace

bool html_metafile_svg(const uint8_t* data, long size, std::string& svg,
                       void (*convert)(const char*, size_t, void*, std::string&), void* context) {
    long at = 0;
    int left = 0, top = 0, right = 0, bottom = 0, inch = 1440;
    if (size >= 22 && u32(data) == 0x9AC6CDD7) {
        left = i16(data + 6);
        top = i16(data + 8);
        right = i16(data + 10);
        bottom = i16(data + 12);
        inch = i16(data + 14) > 0 ? i16(data + 14) : 1440;
        at = 22;
    }
    if (size - at < 18) return false;
    const long header_words = data[at + 2] | (data[at + 3] << 8);
    at += header_words * 2 > 18 ? header_words * 2 : 18;
    int org_x = left, org_y = top, ext_x = right - left, ext_y = bottom - top;
    Drawing d;
    while (size - at >= 6) {
        const uint64_t words = u32(data + at);
        const int function = data[at + 4] | (data[at + 5] << 8);
        if (words < 3 || words * 2 > uint64_t(size - at)) break;
        const uint8_t* p = data + at + 6;
        const long n = static_cast<long>(words * 2) - 6;  // parameter bytes
        at += static_cast<long>(words * 2);
        if (function == 0) break;
        switch (function) {
        case 0x020B: if (n >= 4) { org_y = i16(p); org_x = i16(p + 2); } break;
        case 0x020C: if (n >= 4) { ext_y = i16(p); ext_x = i16(p + 2); } break;
        case 0x02FA:
            if (n >= 10) d.add(GdiObject{'p', Pen{(i16(p) & 0xF) == 5, i16(p + 2), u32(p + 6)}, {}, 0});
            break;
        case 0x02FC:
            if (n >= 6) d.add(GdiObject{'b', {}, Brush{i16(p) == 1, u32(p + 2)}, 0});
            break;
        case 0x02FB: {
            const int height = n >= 2 ? i16(p) : 12;
            d.add(GdiObject{'f', {}, {}, height < 0 ? -height : (height == 0 ? 12 : height)});
            break;
        }
        case 0x00F7: case 0x01F9: case 0x0142: case 0x06FF: d.add(GdiObject{'o', {}, {}, 0}); break;
        case 0x012D:
            if (n >= 2) {
                const int index = static_cast<uint16_t>(i16(p));
                if (index < static_cast<int>(d.objects.size())) {
                    const GdiObject& o = d.objects[index];
                    if (o.kind == 'p') d.pen = o.pen;
                    else if (o.kind == 'b') d.brush = o.brush;
                    else if (o.kind == 'f') d.font_height = o.font_height;
                }
            }
            break;
        case 0x01F0:
            if (n >= 2 && static_cast<uint16_t>(i16(p)) < d.objects.size()) d.objects[static_cast<uint16_t>(i16(p))].kind = 0;
            break;
        case 0x0209: if (n >= 4) d.text_colour = u32(p); break;
        case 0x0214: if (n >= 4) { d.y = i16(p); d.x = i16(p + 2); } break;
        case 0x0213:
            if (n >= 4) {
                const int y = i16(p), x = i16(p + 2);
                d.body += "<line x1=\"" + std::to_string(d.x) + "\" y1=\"" + std::to_string(d.y) + "\" x2=\"" +
                          std::to_string(x) + "\" y2=\"" + std::to_string(y) + "\"" + d.stroke_and_fill(false) + "/>\n";
                d.x = x;
                d.y = y;
            }
            break;
        case 0x041B: case 0x0418: case 0x061C: {
            const long skip = function == 0x061C ? 4 : 0;
            if (n < 8 + skip) break;
            const int b = i16(p + skip), r = i16(p + skip + 2), t = i16(p + skip + 4), l = i16(p + skip + 6);
            if (function == 0x0418) {
                d.body += "<ellipse cx=\"" + std::to_string((l + r) / 2) + "\" cy=\"" + std::to_string((t + b) / 2) +
                          "\" rx=\"" + std::to_string((r > l ? r - l : l - r) / 2) + "\" ry=\"" +
                          std::to_string((b > t ? b - t : t - b) / 2) + "\"" + d.stroke_and_fill(true) + "/>\n";
            } else {
                d.body += "<rect x=\"" + std::to_string(l < r ? l : r) + "\" y=\"" + std::to_string(t < b ? t : b) +
                          "\" width=\"" + std::to_string(r > l ? r - l : l - r) + "\" height=\"" +
                          std::to_string(b > t ? b - t : t - b) + "\"";
                if (function == 0x061C) d.body += " rx=\"" + std::to_string(i16(p + 2) / 2) + "\"";
                d.body += d.stroke_and_fill(true) + "/>\n";
            }
            break;
        }
        case 0x0324: case 0x0325: {
            const long count = n >= 2 ? i16(p) : 0;
            if (count > 0 && 2 + 4 * count <= n) points(d, p + 2, count, function == 0x0324 ? "polygon" : "polyline", function == 0x0324);
            break;
        }
        case 0x0538: {
            const long polygons = n >= 2 ? i16(p) : 0;
            if (polygons <= 0 || 2 + 2 * polygons > n) break;
            long offset = 2 + 2 * polygons;
            for (long k = 0; k < polygons; ++k) {
                const long count = i16(p + 2 + 2 * k);
                if (count <= 0 || offset + 4 * count > n) break;
                points(d, p + offset, count, "polygon", true);
                offset += 4 * count;
            }
            break;
        }
        case 0x0521: {
            const long length = n >= 2 ? i16(p) : 0;
            const long padded = (length + 1) & ~1L;
            if (length > 0 && 2 + padded + 4 <= n) text(d, i16(p + 2 + padded + 2), i16(p + 2 + padded), p + 2, length, convert, context);
            break;
        }
        case 0x0A32: {
            if (n < 8) break;
            const int y = i16(p), x = i16(p + 2);
            const long length = i16(p + 4);
            const int options = i16(p + 6);
            const long start = 8 + ((options & 6) ? 8 : 0);
            if (length > 0 && start + length <= n) text(d, x, y, p + start, length, convert, context);
            break;
        }
        case 0x061D:
            if (n >= 12) pattern_fill(d, u32(p), i16(p + 10), i16(p + 8), i16(p + 6), i16(p + 4));
            break;
        case 0x0922: case 0x0940:
            // Without a bitmap (the short form, with a reserved word) the
            // transfer is a pattern fill; with one, the bitmap is drawn.
            if (words == 12u) {
                if (n >= 18) pattern_fill(d, u32(p), i16(p + 16), i16(p + 14), i16(p + 12), i16(p + 10));
            } else if (function == 0x0940 && n > 16) {
                stretched_bitmap(d, p + 16, n - 16, i16(p + 14), i16(p + 12), i16(p + 10), i16(p + 8));
            }
            break;
        case 0x0B41: case 0x0F43: {
            const long usage = function == 0x0F43 ? 2 : 0;
            const long fixed = 4 + usage + 16;
            if (n <= fixed) break;
            const uint8_t* q = p + 4 + usage;
            const int dh = i16(q + 8), dw = i16(q + 10), dy = i16(q + 12), dx = i16(q + 14);
            stretched_bitmap(d, p + fixed, n - fixed, dx, dy, dw, dh);
            break;
        }
        default: break;
        }
    }
    if (ext_x == 0) ext_x = 1;
    if (ext_y == 0) ext_y = 1;
    const long width_px = right > left ? static_cast<long>(right - left) * 96 / inch : (ext_x < 0 ? -ext_x : ext_x);
    const long height_px = bottom > top ? static_cast<long>(bottom - top) * 96 / inch : (ext_y < 0 ? -ext_y : ext_y);
    // Logical units to the view: a negative extent runs the axis backwards.
    svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + std::to_string(width_px > 0 ? width_px : 1) +
          "\" height=\"" + std::to_string(height_px > 0 ? height_px : 1) + "\" viewBox=\"0 0 " +
          std::to_string(ext_x < 0 ? -ext_x : ext_x) + " " + std::to_string(ext_y < 0 ? -ext_y : ext_y) +
          "\" preserveAspectRatio=\"none\">\n<g transform=\"scale(" + (ext_x < 0 ? "-1" : "1") + "," +
          (ext_y < 0 ? "-1" : "1") + ") translate(" + std::to_string(-org_x) + "," + std::to_string(-org_y) + ")\">\n" +
          d.body + "</g>\n</svg>\n";
    return true;
}
