// The parts of picture export: a bounded read window over the picture file,
// the fields of one picture header, and the three writers (bitmap file,
// metafile file, picture file) that picture_export dispatches to.
#pragma once

#include <cstdint>

#include "helpfile/byte_stream.h"

struct DecompileContext;
struct MemoryFile;

// Every byte of a picture file is read through this window, so that no read
// passes the picture file's last byte even when the source is the whole help
// file. It is a ByteStream itself (the first member), so the decompressor can
// read through it; positions are the source's positions.
struct PictureStream {
    ByteStream stream;
    ByteStream* source;
    long position;  // the source's position, mirrored
    long end;       // first position that may not be read
    bool overrun;   // a byte at or past end was asked for
};

void picture_stream_open(PictureStream& in, ByteStream* source, long end);
void picture_seek(PictureStream& in, long position);
long picture_left(const PictureStream& in);
// The next byte, or -1 at the window's end.
int picture_byte(PictureStream& in);
uint16_t picture_word(PictureStream& in);
uint32_t picture_dword(PictureStream& in);

// An output layer that takes at most `limit` bytes and drops the rest, so a
// damaged picture cannot make an expansion write more than its header admits.
struct CappedOutput {
    ByteStream stream;
    MemoryFile* file;
    uint64_t left;
};

void capped_output_open(CappedOutput& out, MemoryFile* file, uint64_t limit);

// The `packed` bytes at the window's position expanded as `packing` says
// (LZ77, run-length, both or neither) into at most `limit` bytes of `out`:
// the bytes, the LZ77 window and the source's position are those of
// lz77_expand through the window into a CappedOutput, but the bytes are read
// at once and expanded in memory.
void expand_pixels(DecompileContext& ctx, unsigned packing, long packed, PictureStream& in, MemoryFile* out,
                   uint64_t limit);

// The fields of one picture header as stored.
struct PictureHeader {
    uint8_t type;  // 5, 6 or 8
    uint8_t packing;
    // Bitmaps (types 5 and 6).
    uint32_t x_resolution;
    uint32_t y_resolution;
    uint16_t planes;
    uint16_t bits_per_pixel;
    uint32_t width;
    uint32_t height;
    uint32_t colours_used;
    uint32_t colours_important;
    uint32_t colour_entries;  // entries of the colour table that the header implies
    // Metafiles (type 8).
    uint16_t mapping_mode;
    uint16_t metafile_width;
    uint16_t metafile_height;
    uint32_t unpacked_size;
    // Both.
    uint32_t packed_size;
    uint32_t hotspot_size;
    uint32_t packed_offset;
    uint32_t hotspot_offset;
};

// Picture types of a picture file's header.
enum PictureType : uint8_t { picture_ddb = 5, picture_dib = 6, picture_wmf = 8 };

// No picture of a help file comes near this many bytes of pixels or metafile
// records; a header that claims more is damaged.
constexpr uint64_t picture_data_limit = 0x10000000;

// The most output bytes one packed byte can become: LZ77 turns two bytes into
// at most 18, a run-length pair turns two bytes into at most 127.
uint64_t picture_expansion_bound(unsigned packing, uint64_t packed_size);

// The bytes of the colour table to copy from the stream. A table the picture
// does not hold (a warning, had_problems) keeps its size when a bitmap can
// have one that large, the missing bytes (*zeros) written as zeros; a larger
// one is cut to the entries that are there (the header's count with it).
long picture_colour_table(DecompileContext& ctx, const char* name, PictureStream& in, PictureHeader& header,
                          long* zeros);

// The packed size, cut to the bytes available (with a warning).
long picture_packed_bytes(DecompileContext& ctx, const char* name, long available, uint32_t packed_size);

// Writers. `name` is the base name; each appends its extension in place.
// The stream stands right behind the header fields.
void write_bitmap_file(DecompileContext& ctx, char* name, PictureStream& in, const PictureHeader& header);
void write_metafile_file(DecompileContext& ctx, char* name, PictureStream& in, const PictureHeader& header);

// A picture file (.shg/.mrb) under construction.
struct PictureFileWriter {
    MemoryFile* output;  // null until the first picture is written
    uint32_t next_offset;
    uint16_t magic;
    uint16_t count;
};

// Writes picture `index` (its header at stream position picture_start) into
// the picture file, opening the file first when it is not open yet.
void write_into_picture_file(DecompileContext& ctx, char* name, unsigned flags, PictureFileWriter& writer,
                             PictureStream& in, const PictureHeader& header, unsigned index, long picture_start);
