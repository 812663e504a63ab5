// Picture files: reads the offset table and each picture header, and hands
// every picture to the writer its kind and the hotspots call for.
#include "firstpass/pictures.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/picture_writers.h"

namespace {

// Eight bits a pixel give the largest table a bitmap can use.
constexpr uint32_t largest_bitmap_table = 256;

uint16_t compressed_short(PictureStream& in) {
    unsigned first = picture_byte(in) & 0xFF;
    if ((first & 1) == 0) return static_cast<uint16_t>(first >> 1);
    unsigned second = picture_byte(in) & 0xFF;
    return static_cast<uint16_t>((first | (second << 8)) >> 1);
}

uint32_t compressed_long(PictureStream& in) {
    uint32_t low = picture_word(in);
    if ((low & 1) == 0) return low >> 1;
    uint32_t high = picture_word(in);
    return (low | (high << 16)) >> 1;
}

bool known_format(unsigned type, unsigned packing) {
    switch (type) {
        case picture_ddb: return packing < 2;
        case picture_dib:
        case picture_wmf: return packing < 4;
        default: return false;
    }
}

// Colours used when its low 16 bits are not 0, else a full table for the
// depth; 16 bits and more have none.
uint32_t colour_entries(uint32_t colours_used, unsigned bits_per_pixel) {
    if (colours_used & 0xFFFF) return colours_used;
    return bits_per_pixel < 16 ? 1u << bits_per_pixel : 0;
}

PictureHeader read_picture_header(PictureStream& in) {
    PictureHeader h{};
    h.type = static_cast<uint8_t>(picture_byte(in));
    h.packing = static_cast<uint8_t>(picture_byte(in));
    if (!known_format(h.type, h.packing)) fatal_error("Unknown format (%d) or packing method (%d)", h.type, h.packing);
    if (h.type == picture_wmf) {
        h.mapping_mode = compressed_short(in);
        h.metafile_width = picture_word(in);
        h.metafile_height = picture_word(in);
        h.unpacked_size = compressed_long(in);
    } else {
        h.x_resolution = compressed_long(in);
        h.y_resolution = compressed_long(in);
        h.planes = compressed_short(in);
        h.bits_per_pixel = compressed_short(in);
        h.width = compressed_long(in);
        h.height = compressed_long(in);
        h.colours_used = compressed_long(in);
        h.colours_important = compressed_long(in);
        h.colour_entries = colour_entries(h.colours_used, h.bits_per_pixel);
    }
    h.packed_size = compressed_long(in);
    h.hotspot_size = compressed_long(in);
    h.packed_offset = picture_dword(in);
    h.hotspot_offset = picture_dword(in);
    return h;
}

// The extent of a stream's data: what a picture read from it may not pass.
long stream_extent(ByteStream* stream) {
    if (stream->file != nullptr) {
        long here = std::ftell(stream->file);
        std::fseek(stream->file, 0, SEEK_END);
        long size = std::ftell(stream->file);
        std::fseek(stream->file, here, SEEK_SET);
        return size;
    }
    if (stream->output != nullptr) return static_cast<long>(stream->output->length);
    return static_cast<long>(stream->end - stream->start);
}

}  // namespace

long picture_colour_table(DecompileContext& ctx, const char* name, PictureStream& in, PictureHeader& header,
                          long* zeros) {
    *zeros = 0;
    const int64_t table = 4 * int64_t(header.colour_entries);
    const int64_t left = std::max<int64_t>(picture_left(in), 0);
    if (table <= left) return static_cast<long>(table);
    std::fprintf(stderr, "Colour table of %s runs past its data.\n", name);
    ctx.had_problems = true;
    if (header.colour_entries <= largest_bitmap_table) {
        *zeros = static_cast<long>(table - left);
        return static_cast<long>(left);
    }
    header.colour_entries = header.colours_used = static_cast<uint32_t>(left / 4);
    return static_cast<long>(left / 4 * 4);
}

unsigned picture_export(DecompileContext& ctx, char* name, ByteStream* stream) {
    return picture_export_within(ctx, name, stream, stream_extent(stream));
}

namespace {

unsigned export_within(DecompileContext& ctx, char* name, ByteStream* stream, long end) {
    PictureStream in;
    picture_stream_open(in, stream, end);
    const long base = in.position;
    const long size = in.end - base;
    uint16_t magic = picture_word(in);
    if (magic != 0x506C && magic != 0x706C) {
        fatal_error("Unknown magic 0x%04X (%c%c)", magic, magic & 0xFF, magic >> 8);
    }
    uint16_t count = picture_word(in);
    unsigned flags = count > 1 ? unsigned(picture_several) : 0u;
    // The whole offset table must be there before any picture is looked at.
    if (4 + 4 * static_cast<int64_t>(count) > size) fatal_error("Picture offsets of %s run past its data.\n", name);
    PictureFileWriter writer{nullptr, 4 + 4 * static_cast<uint32_t>(count), magic, count};
    // The HTML edition shows the best bitmap of a picture file as a plain
    // bitmap: most colours, then most pixels.
    long best_start = -1;
    uint64_t best_score = 0;
    for (unsigned i = 0; i < count; ++i) {
        picture_seek(in, base + 4 + 4 * static_cast<long>(i));
        uint32_t offset = picture_dword(in);
        if (static_cast<int64_t>(offset) + 2 > size) fatal_error("Picture %u of %s lies outside its data.\n", i, name);
        const long start = base + static_cast<long>(offset);
        picture_seek(in, start);
        PictureHeader header = read_picture_header(in);
        if (in.overrun) fatal_error("Picture header of %s runs past its data.\n", name);
        if (header.type == picture_wmf) {
            flags |= picture_metafile;
        } else {
            flags |= picture_bitmap;
            if (ctx.minor_above_21 && header.colours_important == 1) flags |= picture_transparent;
        }
        // A colour table cut short is written as far as it goes (the rest
        // zero) by the writers.

        if (count == 1 && (header.hotspot_offset == 0 || header.hotspot_size == 0)) {
            if (header.type == picture_wmf) {
                write_metafile_file(ctx, name, in, header);
            } else {
                write_bitmap_file(ctx, name, in, header);
            }
            return flags;
        }
        if (header.type != picture_wmf) {
            const uint64_t score = (uint64_t(header.bits_per_pixel) * header.planes << 40) +
                                   std::min<uint64_t>(uint64_t(header.width) * header.height, uint64_t(1) << 39) + 1;
            if (score > best_score) {
                best_score = score;
                best_start = start;
            }
        }
        flags |= picture_file;
        write_into_picture_file(ctx, name, flags, writer, in, header, i, start);
    }
    if (ctx.html && best_start >= 0) {
        char html_name[300];
        std::snprintf(html_name, sizeof html_name - 5, "html\\%s", name);
        char* dot = std::strrchr(html_name, '.');
        if (dot != nullptr) *dot = '\0';
        picture_seek(in, best_start);
        PictureHeader header = read_picture_header(in);
        if (!in.overrun) write_bitmap_file(ctx, html_name, in, header);
    }
    return flags;
}

}  // namespace

unsigned picture_export_within(DecompileContext& ctx, char* name, ByteStream* stream, long end) {
    if (!ctx.salvage) return export_within(ctx, name, stream, end);
    // A picture that cannot be decoded at all costs that picture only: what
    // its export listed goes again, and topics keep their references to it.
    const OutputNode* listed = ctx.outputs.head;
    char original[32];
    bounded_copy(sizeof original, name, original);
    try {
        return export_within(ctx, name, stream, end);
    } catch (const FatalError&) {
        while (ctx.outputs.head != listed && ctx.outputs.head != nullptr) {
            OutputNode* node = ctx.outputs.head;
            ctx.outputs.head = node->next;
            node->next = nullptr;
            OutputList dropped{node, node};
            output_list_free(dropped);
        }
        ctx.outputs.cursor = ctx.outputs.head;
        note_damage(ctx, original, -1, "picture could not be decoded; skipped");
        return 0;
    }
}
