// Pictures with hotspots, and files of several pictures, are written back as
// picture files (.shg for one picture, .mrb for several) without the LZ77
// layer; their hotspot targets become known context names on the way.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "firstpass/picture_writers.h"
#include "helpfile/lz77.h"
#include "project/context_hash.h"
#include "project/macros.h"

namespace {

constexpr int hotspot_record_size = 15;

void put_dword(MemoryFile* out, uint32_t value) {
    output_put_word(out, static_cast<uint16_t>(value));
    output_put_word(out, static_cast<uint16_t>(value >> 16));
}

// A NUL-terminated string of the window into room bytes; it ends at the
// window's end too. Text and NUL must fit.
size_t read_string(PictureStream& in, char* destination, size_t room) {
    size_t n = 0;
    for (;;) {
        int c = picture_byte(in);
        if (c <= 0) break;
        if (n + 1 >= room) fatal_message("String length exceeds decompiler limit.\n");
        destination[n++] = static_cast<char>(c);
    }
    if (room == 0) fatal_message("String length exceeds decompiler limit.\n");
    destination[n] = '\0';
    return n;
}

bool external_form(uint8_t form) { return form == 0 || form == 1 || form == 4 || form == 6; }

// Registers what one hotspot's target names; fatal for an unknown kind.
void note_hotspot_target(DecompileContext& ctx, const uint8_t* record, const char* hotspot_name, char* target) {
    const uint8_t kind = record[0];
    const uint32_t hash = get_le32(record + 11);
    switch (kind) {
        case 0xC8:
        case 0xCC:
            check_macro(ctx, target);
            return;
        case 0xE0:
        case 0xE1:
        case 0xE2:
        case 0xE3:
        case 0xE6:
        case 0xE7: {
            uint32_t computed = context_hash(target);
            if (computed != hash) {
                std::fprintf(stderr, "Wrong hash %08lx instead %08lx for '%s'\n", static_cast<unsigned long>(hash),
                             static_cast<unsigned long>(computed), target);
            }
            add_context_name(ctx, target, false);
            return;
        }
        case 0xEA:
        case 0xEB:
        case 0xEE:
        case 0xEF:
            if (external_form(record[1]) && record[2] == 0) {
                // context>window@file: a context of another help file is not ours.
                if (std::strchr(target, '@') != nullptr) return;
                if (char* window = std::strchr(target, '>')) *window = '\0';
                add_context_name(ctx, target, false);
                return;
            }
            break;
        default:
            break;
    }
    fatal_error("Unknown hotspot %02x %02x %02x X=%u Y=%u W=%u H=%u %08lx,%s,%s", kind, record[1], record[2],
                get_le16(record + 3), get_le16(record + 5), get_le16(record + 7), get_le16(record + 9),
                static_cast<unsigned long>(hash), hotspot_name, target);
}

// Copies the hotspot block at `at` to the output; the hotspot size to store
// (0 when the block is of an unknown version).
uint32_t write_hotspots(DecompileContext& ctx, const char* name, MemoryFile* out, PictureStream& in, int64_t at,
                        uint32_t hotspot_size) {
    // Hotspots outside the picture are lost; the picture is written without.
    if (at >= in.end) {
        std::fprintf(stderr, "Hotspots of %s lie outside its data.\n", name);
        ctx.had_problems = true;
        return 0;
    }
    picture_seek(in, static_cast<long>(at));
    if (picture_byte(in) != 1) {
        std::fputs("No hotspots\n", stderr);
        return 0;
    }
    const uint16_t count = picture_word(in);
    const uint32_t macro_size = picture_dword(in);
    const int64_t records_size = int64_t(hotspot_record_size) * count;
    if (in.overrun || records_size + macro_size > picture_left(in)) {
        std::fprintf(stderr, "Hotspots of %s run past its data.\n", name);
        ctx.had_problems = true;
        return 0;
    }
    uint8_t* records = static_cast<uint8_t*>(tracked_malloc(ctx, records_size + 1));
    try {
        in.stream.read_block(&in.stream, records, static_cast<long>(records_size));
        output_putc(1, out);
        output_put_word(out, count);
        put_dword(out, macro_size);
        output_write(records, 1, static_cast<size_t>(records_size), out);
        output_copy_from_stream(&in.stream, static_cast<long>(macro_size), out);
        for (unsigned i = 0; i < count; ++i) {
            char* hotspot_name = ctx.scratch;
            size_t name_length = read_string(in, hotspot_name, sizeof ctx.scratch);
            char* target = hotspot_name + name_length + 1;
            size_t target_length = read_string(in, target, sizeof ctx.scratch - name_length - 1);
            output_write(hotspot_name, 1, name_length + 1, out);
            output_write(target, 1, target_length + 1, out);
            note_hotspot_target(ctx, records + hotspot_record_size * i, hotspot_name, target);
        }
    } catch (...) {
        tracked_free(ctx, records);
        throw;
    }
    tracked_free(ctx, records);
    return hotspot_size;
}

void write_header_fields(MemoryFile* out, const PictureHeader& h) {
    output_putc(h.type, out);
    output_putc(h.packing & 1, out);  // the LZ77 layer is removed, run-length stays
    if (h.type == picture_wmf) {
        output_put_compressed_short(h.mapping_mode, out);
        output_put_word(out, h.metafile_width);
        output_put_word(out, h.metafile_height);
        output_put_compressed_long(out, h.unpacked_size);
        return;
    }
    output_put_compressed_long(out, h.x_resolution);
    output_put_compressed_long(out, h.y_resolution);
    output_put_compressed_short(h.planes, out);
    output_put_compressed_short(h.bits_per_pixel, out);
    output_put_compressed_long(out, h.width);
    output_put_compressed_long(out, h.height);
    output_put_compressed_long(out, h.colours_used);
    output_put_compressed_long(out, h.colours_important);
}

}  // namespace

void write_into_picture_file(DecompileContext& ctx, char* name, unsigned flags, PictureFileWriter& writer,
                             PictureStream& in, const PictureHeader& stored, unsigned index, long picture_start) {
    PictureHeader h = stored;
    long table_zeros = 0;
    const long table_held = h.type == picture_dib ? picture_colour_table(ctx, name, in, h, &table_zeros) : 0;
    if (writer.output == nullptr) {
        // Flags carry the picture-file bit here, so only "several" decides.
        std::strcat(name, (flags & 0x01) ? ".mrb" : ".shg");
        writer.output = output_open(name, "wb");
        output_add(ctx.outputs, writer.output);
        output_put_word(writer.output, writer.magic);
        output_put_word(writer.output, writer.count);
    }
    MemoryFile* out = writer.output;
    const uint32_t start = writer.next_offset;
    output_seek(out, 4 + 4 * index);
    put_dword(out, start);
    output_seek(out, start);
    write_header_fields(out, h);
    const uint32_t slots = output_tell(out);
    for (int i = 0; i < 4; ++i) put_dword(out, 0);
    if (h.type == picture_dib) {
        output_copy_from_stream(&in.stream, table_held, out);
        for (long i = 0; i < table_zeros; ++i) output_putc(0, out);
    }

    const uint32_t data_position = output_tell(out);
    const int64_t packed_at = int64_t(picture_start) + h.packed_offset;
    // Packed data outside the picture is lost: the picture keeps its header
    // and hotspots, without pixels.
    const bool outside = packed_at > in.end;
    if (outside) {
        std::fprintf(stderr, "Packed data of %s lies outside its data.\n", name);
        ctx.had_problems = true;
    } else {
        picture_seek(in, static_cast<long>(packed_at));
    }
    const long packed = outside ? 0 : picture_packed_bytes(ctx, name, picture_left(in), h.packed_size);
    const long saved_end = in.end;
    in.end = in.position + packed;
    CappedOutput data;
    capped_output_open(data, out, picture_expansion_bound(h.packing & 2, static_cast<uint64_t>(packed)));
    lz77_expand(ctx, h.packing & 2, packed, &in.stream, &data.stream);
    in.end = saved_end;
    const uint32_t compressed_size = output_tell(out) - data_position;

    uint32_t hotspot_size = h.hotspot_size;
    if (hotspot_size != 0) {
        hotspot_size = write_hotspots(ctx, name, out, in, int64_t(picture_start) + h.hotspot_offset, hotspot_size);
    }

    output_seek(out, slots);
    put_dword(out, compressed_size * 2 + 1);
    put_dword(out, hotspot_size * 2 + 1);
    put_dword(out, data_position - start);
    if (hotspot_size != 0) put_dword(out, data_position - start + compressed_size);
    writer.next_offset = out->length;
}
