// A single bitmap without hotspots becomes a Windows bitmap file (.bmp).
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "firstpass/picture_writers.h"
#include "helpfile/lz77.h"

namespace {

constexpr uint32_t file_header_size = 14;
constexpr uint32_t info_header_size = 40;
// A device-dependent bitmap carries no colours; it is written with the table
// a display of its depth would have used, and at least that table is sane.
constexpr uint32_t largest_made_up_table = 65536;

// The default colours of a 16-colour display, as blue, green, red.
constexpr uint8_t vga_colours[16][3] = {
    {0x00, 0x00, 0x00}, {0x00, 0x00, 0x80}, {0x00, 0x80, 0x00}, {0x00, 0x80, 0x80},
    {0x80, 0x00, 0x00}, {0x80, 0x00, 0x80}, {0x80, 0x80, 0x00}, {0xC0, 0xC0, 0xC0},
    {0x80, 0x80, 0x80}, {0x00, 0x00, 0xFF}, {0x00, 0xFF, 0x00}, {0x00, 0xFF, 0xFF},
    {0xFF, 0x00, 0x00}, {0xFF, 0x00, 0xFF}, {0xFF, 0xFF, 0x00}, {0xFF, 0xFF, 0xFF},
};

// A bitmap whose data ends early keeps its size up to this many bytes of
// rows (a large screen's worth); the missing rows are written as zeros.
constexpr uint64_t partial_bitmap_limit = 0x1000000;

void write_zeros(MemoryFile* out, uint64_t count) {
    static const uint8_t zeros[256] = {};
    while (count > 0) {
        const size_t n = count < sizeof zeros ? static_cast<size_t>(count) : sizeof zeros;
        output_write(zeros, 1, n, out);
        count -= n;
    }
}

void put_dword(MemoryFile* out, uint32_t value) {
    output_put_word(out, static_cast<uint16_t>(value));
    output_put_word(out, static_cast<uint16_t>(value >> 16));
}

uint32_t pixels_per_metre(const DecompileContext& ctx, uint32_t dots_per_inch) {
    return ctx.old_format ? 0 : (dots_per_inch * 79 + 1) >> 1;
}

void write_headers(DecompileContext& ctx, MemoryFile* out, const PictureHeader& h, uint32_t image_size,
                   uint32_t file_size) {
    output_put_word(out, 0x4D42);
    put_dword(out, file_size);
    output_put_word(out, 0);
    output_put_word(out, 0);
    put_dword(out, file_header_size + info_header_size + 4 * h.colour_entries);
    put_dword(out, info_header_size);
    put_dword(out, h.width);
    put_dword(out, h.height);
    output_put_word(out, h.planes);
    output_put_word(out, h.bits_per_pixel);
    put_dword(out, 0);
    put_dword(out, image_size);
    put_dword(out, pixels_per_metre(ctx, h.x_resolution));
    put_dword(out, pixels_per_metre(ctx, h.y_resolution));
    put_dword(out, h.colours_used);
    put_dword(out, h.colours_important);
}

// Black and white for one bit per pixel, the display colours for four, a grey
// ramp otherwise; entries past the palette are black.
void write_made_up_colours(MemoryFile* out, const PictureHeader& h) {
    uint32_t entries = h.colour_entries;
    for (uint32_t i = 0; i < entries; ++i) {
        uint8_t quad[4] = {0, 0, 0, 0};
        if (h.bits_per_pixel == 1) {
            if (i == 1) quad[0] = quad[1] = quad[2] = 0xFF;
        } else if (h.bits_per_pixel == 4) {
            if (i < 16) std::memcpy(quad, vga_colours[i], 3);
        } else if (entries > 1) {
            quad[0] = quad[1] = quad[2] = static_cast<uint8_t>(uint64_t(i) * 255 / (entries - 1));
        }
        output_write(quad, 1, 4, out);
    }
}

// Run-length decoder of device-dependent rows; a run may go on into the
// next row. Bytes missing at the end of the data come out as 0.
struct RowRuns {
    unsigned left;
    bool literal;
    uint8_t value;
};

uint8_t next_run_byte(RowRuns& runs, PictureStream& in) {
    while (runs.left == 0) {
        int count = picture_byte(in);
        if (count < 0) return 0;
        runs.literal = (count & 0x80) != 0;
        runs.left = static_cast<unsigned>(count & 0x7F);
        if (!runs.literal && runs.left) {
            int c = picture_byte(in);
            runs.value = static_cast<uint8_t>(c < 0 ? 0 : c);
        }
    }
    --runs.left;
    if (!runs.literal) return runs.value;
    int c = picture_byte(in);
    return static_cast<uint8_t>(c < 0 ? 0 : c);
}

// Device-dependent rows are 2-byte aligned; bitmap files want 4.
void write_device_rows(MemoryFile* out, PictureStream& in, const PictureHeader& h, uint32_t row) {
    static const uint8_t pad[4] = {0, 0, 0, 0};
    if (row == 0) return;  // nothing to write, however many rows
    uint32_t padding = (4 - row % 4) % 4;
    RowRuns runs{0, false, 0};
    uint8_t chunk[512];
    for (uint32_t y = 0; y < h.height; ++y) {
        if (h.packing == 0) {
            output_copy_from_stream(&in.stream, static_cast<long>(row), out);
        } else {
            for (uint32_t done = 0; done < row;) {
                uint32_t n = row - done < sizeof chunk ? row - done : static_cast<uint32_t>(sizeof chunk);
                for (uint32_t k = 0; k < n; ++k) chunk[k] = next_run_byte(runs, in);
                output_write(chunk, 1, n, out);
                done += n;
            }
        }
        output_write(pad, 1, padding, out);
    }
}

void write_rows(DecompileContext& ctx, char* name, PictureStream& in, const PictureHeader& h, long table_held,
                long table_zeros, long packed, uint64_t file_row, uint64_t stored_row, bool damaged);

}  // namespace

void write_bitmap_file(DecompileContext& ctx, char* name, PictureStream& in, const PictureHeader& h) {
    const bool device = h.type == picture_ddb;
    if (device && h.colour_entries > largest_made_up_table) {
        fatal_error("Colour table of %s with %lu entries.\n", name, static_cast<unsigned long>(h.colour_entries));
    }
    // Rows as the file stores them and as the bitmap file wants them.
    const uint64_t bits = uint64_t(h.bits_per_pixel) * h.width;
    const uint64_t file_row = (bits + 31) / 32 * 4;
    const uint64_t stored_row = device ? (bits + 15) / 16 * 2 : file_row;
    PictureHeader cut = h;
    long table_zeros = 0;
    const long table_held = device ? 0 : picture_colour_table(ctx, name, in, cut, &table_zeros);
    const long packed = picture_packed_bytes(ctx, name, picture_left(in) - table_held, h.packed_size);
    // What the rows need must be what the packed bytes can give, or a damaged
    // header would drive the row loop and the output far beyond the data:
    // the rows the data holds are written and the rest are zero, as long as
    // the bitmap keeps a size a screen could show; a larger one keeps only
    // the rows its data can give.
    const uint64_t limit = picture_expansion_bound(h.packing, static_cast<uint64_t>(packed));
    bool damaged = table_held + table_zeros < 4 * int64_t(h.colour_entries) || table_zeros > 0;
    if (stored_row != 0 && (h.height > picture_data_limit / stored_row || stored_row * h.height > limit)) {
        std::fprintf(stderr, "Bitmap %s of %lu x %lu pixels is larger than its data allows; the rows missing are zero.\n",
                     name, static_cast<unsigned long>(h.width), static_cast<unsigned long>(h.height));
        ctx.had_problems = true;
        damaged = true;
        if (stored_row * uint64_t(h.height) > partial_bitmap_limit) {
            cut.height = static_cast<uint32_t>(std::min<uint64_t>(limit, partial_bitmap_limit) / stored_row);
        }
    }
    write_rows(ctx, name, in, cut, table_held, table_zeros, packed, file_row, stored_row, damaged);
}

namespace {

void write_rows(DecompileContext& ctx, char* name, PictureStream& in, const PictureHeader& h, long table_held,
                long table_zeros, long packed, uint64_t file_row, uint64_t stored_row, bool damaged) {
    const bool device = h.type == picture_ddb;
    const uint32_t image_size = static_cast<uint32_t>(file_row * h.height);
    std::strcat(name, ".bmp");
    MemoryFile* out = output_open(name, "wb");
    output_add(ctx.outputs, out);
    write_headers(ctx, out, h, image_size, 0);
    if (device) {
        write_made_up_colours(out, h);
    } else {
        output_copy_from_stream(&in.stream, table_held, out);
        write_zeros(out, static_cast<uint64_t>(table_zeros));
    }
    const uint64_t rows_at = out->length;

    const long saved_end = in.end;
    in.end = in.position + packed;
    if (device) {
        write_device_rows(out, in, h, static_cast<uint32_t>(stored_row));
    } else {
        expand_pixels(ctx, h.packing, packed, in, out, stored_row * h.height);
    }
    in.end = saved_end;
    // Rows a damaged picture's data did not hold are zero.
    const uint64_t rows_end = rows_at + file_row * h.height;
    if (damaged && out->length < rows_end) {
        output_seek(out, out->length);
        write_zeros(out, rows_end - out->length);
    }

    uint32_t file_size = out->length;
    output_seek(out, 0);
    write_headers(ctx, out, h, image_size, file_size);
}

}  // namespace
