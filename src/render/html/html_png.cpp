// Device-independent bitmaps decoded to rows of colours, top row first, and
// written as PNG by stb's writer (header-only, so the Windows builds use the
// same code). Every read stays inside the bitmap's bytes.
#include "render/html/html_png.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

#include "render/html/html_png_deflate.h"

// stb's writer deflates with its own code, made cheaper: html_png_deflate.cpp.
#define STBIW_ZLIB_COMPRESS html_stb_deflate
#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

// A help file's bitmap holds at most 256 MiB of rows and is in practice a
// screen or less; more pixels than this are a damaged header.
constexpr uint64_t largest_picture_pixels = uint64_t(1) << 25;
// stb's deflate searches hash chains of this length (and its writer tries
// every row filter): short chains keep the edition's cost near that of the
// sources.
constexpr int png_compression_level = 5;

uint16_t u16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t u32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }

// A colour channel of a bit-field pixel, scaled to eight bits.
struct Channel {
    unsigned shift = 0, width = 0;
    uint32_t mask = 0;
};

Channel channel_of(uint32_t mask) {
    Channel c;
    c.mask = mask;
    if (mask == 0) return c;
    while (((mask >> c.shift) & 1) == 0) ++c.shift;
    while (c.shift + c.width < 32 && ((mask >> (c.shift + c.width)) & 1)) ++c.width;
    return c;
}

uint8_t channel_value(const Channel& c, uint32_t pixel) {
    if (c.width == 0) return 0;
    const uint32_t v = (pixel & c.mask) >> c.shift;
    if (c.width >= 8) return static_cast<uint8_t>(v >> (c.width - 8));
    return static_cast<uint8_t>(v * 255 / ((1u << c.width) - 1));
}

struct Dib {
    uint32_t width = 0, height = 0;
    bool top_down = false;
    unsigned bits = 0;
    uint32_t stride = 0;
    uint8_t palette[256][3] = {};  // red, green, blue
    Channel channels[3];           // red, green, blue of 16 and 32 bits
    const uint8_t* rows = nullptr;
    std::vector<uint8_t> padded;  // rows cut short, completed
};

// The headers and colour table of the bitmap; bits_at < 0: the pixels
// follow the colour table.
bool read_dib(const uint8_t* dib, long size, long bits_at, Dib& d) {
    if (size < 12) return false;
    const uint32_t header = u32(dib);
    int64_t width = 0, height = 0;
    uint32_t compression = 0, used = 0;
    long entry_size = 4;
    if (header == 12) {
        width = u16(dib + 4);
        height = static_cast<int16_t>(u16(dib + 6));
        d.bits = u16(dib + 10);
        entry_size = 3;
    } else if (header >= 40 && header <= static_cast<uint32_t>(size)) {
        width = static_cast<int32_t>(u32(dib + 4));
        height = static_cast<int32_t>(u32(dib + 8));
        d.bits = u16(dib + 14);
        compression = u32(dib + 16);
        used = u32(dib + 32);
    } else {
        return false;
    }
    d.top_down = height < 0;
    if (height < 0) height = -height;
    if (width <= 0 || height <= 0 || uint64_t(width) * uint64_t(height) > largest_picture_pixels) return false;
    if (d.bits != 1 && d.bits != 4 && d.bits != 8 && d.bits != 16 && d.bits != 24 && d.bits != 32) return false;
    d.width = static_cast<uint32_t>(width);
    d.height = static_cast<uint32_t>(height);
    long table_at = static_cast<long>(header);
    uint32_t masks[3] = {0xFF0000, 0xFF00, 0xFF};
    if (d.bits == 16) masks[0] = 0x7C00, masks[1] = 0x3E0, masks[2] = 0x1F;
    if (compression == 3 && (d.bits == 16 || d.bits == 32)) {
        if (size < 52) return false;
        for (int i = 0; i < 3; ++i) masks[i] = u32(dib + 40 + 4 * i);
        if (header == 40) table_at = 52;
    } else if (compression != 0) {
        return false;
    }
    for (int i = 0; i < 3; ++i) d.channels[i] = channel_of(masks[i]);
    const uint64_t full = d.bits <= 8 ? 1u << d.bits : 0;
    const uint64_t entries = used != 0 ? used : full;
    for (uint64_t i = 0; i < std::min<uint64_t>(entries, full); ++i) {
        const int64_t at = table_at + entry_size * static_cast<int64_t>(i);
        if (at + 3 > size) break;
        d.palette[i][0] = dib[at + 2];
        d.palette[i][1] = dib[at + 1];
        d.palette[i][2] = dib[at];
    }
    const int64_t pixels_at = bits_at >= 0 ? bits_at : table_at + entry_size * static_cast<int64_t>(entries);
    d.stride = static_cast<uint32_t>((uint64_t(d.bits) * d.width + 31) / 32 * 4);
    if (pixels_at < table_at || pixels_at > size) return false;
    const uint64_t needed = uint64_t(d.stride) * d.height;
    d.rows = dib + pixels_at;
    if (needed > uint64_t(size - pixels_at)) {
        // Pixels cut short (a damaged picture): the bytes missing are zero,
        // as the picture export writes the rows it lacks.
        d.padded.assign(dib + pixels_at, dib + size);
        d.padded.resize(needed, 0);
        d.rows = d.padded.data();
    }
    return true;
}

// Row y of the picture (top first) as red, green, blue (and alpha).
void decode_row(const Dib& d, uint32_t y, int components, bool white_transparent, uint8_t* out) {
    const uint8_t* row = d.rows + uint64_t(d.top_down ? y : d.height - 1 - y) * d.stride;
    for (uint32_t x = 0; x < d.width; ++x, out += components) {
        if (d.bits <= 8) {
            const uint64_t bit = uint64_t(x) * d.bits;
            const unsigned index = (row[bit / 8] >> (8 - d.bits - bit % 8)) & ((1u << d.bits) - 1);
            out[0] = d.palette[index][0], out[1] = d.palette[index][1], out[2] = d.palette[index][2];
        } else if (d.bits == 24) {
            out[0] = row[3 * x + 2], out[1] = row[3 * x + 1], out[2] = row[3 * x];
        } else {
            const uint32_t pixel = d.bits == 16 ? u16(row + 2 * x) : u32(row + 4 * x);
            for (int i = 0; i < 3; ++i) out[i] = channel_value(d.channels[i], pixel);
        }
        if (components == 4) out[3] = white_transparent && out[0] == 0xFF && out[1] == 0xFF && out[2] == 0xFF ? 0 : 0xFF;
    }
}

// CRC-32 of PNG chunks (the zlib polynomial), a byte at a time.
constexpr auto crc_table = [] {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k) c = c & 1 ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}();

void append_u32(std::string& out, uint32_t v) {
    const char bytes[4] = {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
                           static_cast<char>(v)};
    out.append(bytes, 4);
}

void append_chunk(std::string& out, const char* type, const uint8_t* data, size_t size) {
    append_u32(out, static_cast<uint32_t>(size));
    const size_t from = out.size();
    out.append(type, 4);
    if (size != 0) out.append(reinterpret_cast<const char*>(data), size);
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = from; i < out.size(); ++i) crc = crc_table[(crc ^ static_cast<uint8_t>(out[i])) & 0xFF] ^ (crc >> 8);
    append_u32(out, crc ^ 0xFFFFFFFFu);
}

// Rows of PNG (each behind its filter byte) deflated: by stb, or by a
// run-length deflate that takes linear time past this many bytes, or past
// a quarter of it where seven bytes in eight repeat the one before (a
// damaged header's rows of zeros, in practice), on which stb's hash chains
// compare hundreds of bytes for each one.
constexpr size_t stb_deflate_limit = size_t(4) << 20;

bool mostly_runs(const std::vector<uint8_t>& rows) {
    size_t repeats = 0;
    for (size_t i = 1; i < rows.size(); ++i) repeats += rows[i] == rows[i - 1];
    return repeats >= rows.size() / 8 * 7;
}

bool deflate_rows(const std::vector<uint8_t>& rows, std::string& packed) {
    if (rows.size() > stb_deflate_limit || (rows.size() > stb_deflate_limit / 4 && mostly_runs(rows))) {
        html_run_length_zlib(rows.data(), rows.size(), packed);
        return true;
    }
    int packed_size = 0;
    unsigned char* data = html_stb_deflate(const_cast<uint8_t*>(rows.data()), static_cast<int>(rows.size()),
                                           &packed_size, png_compression_level);
    if (data == nullptr) return false;
    packed.assign(reinterpret_cast<const char*>(data), static_cast<size_t>(packed_size));
    std::free(data);
    return true;
}

// The PNG of deflated rows; the palette and its transparency when given.
std::string png_file(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour_type, const std::string& idat,
                     const uint8_t* palette = nullptr, size_t colours = 0, const uint8_t* alpha = nullptr,
                     size_t alphas = 0) {
    uint8_t header[13] = {0, 0, 0, 0, 0, 0, 0, 0, depth, colour_type, 0, 0, 0};
    for (int i = 0; i < 4; ++i) {
        header[i] = static_cast<uint8_t>(width >> (24 - 8 * i));
        header[4 + i] = static_cast<uint8_t>(height >> (24 - 8 * i));
    }
    std::string written("\x89PNG\r\n\x1A\n", 8);
    append_chunk(written, "IHDR", header, sizeof header);
    if (palette != nullptr) append_chunk(written, "PLTE", palette, 3 * colours);
    if (alphas != 0) append_chunk(written, "tRNS", alpha, alphas);
    append_chunk(written, "IDAT", reinterpret_cast<const uint8_t*>(idat.data()), idat.size());
    append_chunk(written, "IEND", nullptr, 0);
    return written;
}

// A bitmap of 1 to 8 bits is an indexed PNG of its own depth and colour
// table: its rows are already PNG's packed indices, so they are copied as
// they are (no row filter) and deflated at a fraction of the bytes of
// colours. White entries of the table are transparent when asked.
bool indexed_png(const Dib& d, bool white_transparent, std::string& png) {
    const size_t row_bytes = (size_t(d.width) * d.bits + 7) / 8;
    std::vector<uint8_t> rows((row_bytes + 1) * d.height);
    for (uint32_t y = 0; y < d.height; ++y) {
        const uint8_t* row = d.rows + uint64_t(d.top_down ? y : d.height - 1 - y) * d.stride;
        uint8_t* out = rows.data() + (row_bytes + 1) * y;
        out[0] = 0;  // no filter
        std::copy(row, row + row_bytes, out + 1);
    }
    std::string packed;
    if (!deflate_rows(rows, packed)) return false;
    const size_t colours = size_t(1) << d.bits;
    uint8_t alpha[256];
    size_t alphas = 0;
    for (size_t i = 0; i < colours; ++i) {
        const bool white = d.palette[i][0] == 0xFF && d.palette[i][1] == 0xFF && d.palette[i][2] == 0xFF;
        alpha[i] = white_transparent && white ? 0 : 0xFF;
        if (alpha[i] == 0) alphas = i + 1;
    }
    png = png_file(d.width, d.height, static_cast<uint8_t>(d.bits), 3, packed, &d.palette[0][0], colours, alpha, alphas);
    return true;
}

// Colours past what stb's writer does in linear time: unfiltered rows of
// RGB or RGBA, deflated by runs.
bool large_colour_png(const Dib& d, int components, const std::vector<uint8_t>& pixels, std::string& png) {
    const size_t row_bytes = size_t(d.width) * components;
    std::vector<uint8_t> rows((row_bytes + 1) * d.height);
    for (uint32_t y = 0; y < d.height; ++y) {
        rows[(row_bytes + 1) * y] = 0;
        std::copy_n(pixels.data() + row_bytes * y, row_bytes, rows.data() + (row_bytes + 1) * y + 1);
    }
    std::string packed;
    if (!deflate_rows(rows, packed)) return false;
    png = png_file(d.width, d.height, 8, components == 4 ? 6 : 2, packed);
    return true;
}

void append_bytes(void* context, void* data, int size) {
    static_cast<std::string*>(context)->append(static_cast<const char*>(data), static_cast<size_t>(size));
}

bool dib_png(const uint8_t* dib, long size, long bits_at, bool white_transparent, std::string& png) {
    Dib d;
    if (!read_dib(dib, size, bits_at, d)) return false;
    if (d.bits <= 8) return indexed_png(d, white_transparent, png);
    const int components = white_transparent ? 4 : 3;
    std::vector<uint8_t> pixels(size_t(d.width) * d.height * components);
    for (uint32_t y = 0; y < d.height; ++y)
        decode_row(d, y, components, white_transparent, pixels.data() + size_t(y) * d.width * components);
    if (pixels.size() > stb_deflate_limit) return large_colour_png(d, components, pixels, png);
    // The writer's settings are its globals (of this file alone): set once.
    static const bool configured = [] {
        stbi_write_png_compression_level = png_compression_level;
        return true;
    }();
    (void)configured;
    std::string written;
    if (stbi_write_png_to_func(append_bytes, &written, static_cast<int>(d.width), static_cast<int>(d.height),
                               components, pixels.data(), static_cast<int>(d.width) * components) == 0)
        return false;
    png = std::move(written);
    return true;
}

}  // namespace

bool html_bmp_png(const uint8_t* bmp, long size, bool white_transparent, std::string& png) {
    if (size < 14 + 12 || bmp[0] != 'B' || bmp[1] != 'M') return false;
    const uint32_t bits_at = u32(bmp + 10);
    if (bits_at < 14 || bits_at > static_cast<uint32_t>(size)) return false;
    return dib_png(bmp + 14, size - 14, static_cast<long>(bits_at - 14), white_transparent, png);
}

bool html_dib_png(const uint8_t* dib, long size, std::string& png) { return dib_png(dib, size, -1, false, png); }

void html_png_let_go() { html_stb_deflate_let_go(); }
