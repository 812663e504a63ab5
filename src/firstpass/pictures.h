// Picture files (|bm files and pictures embedded in topic text) written back
// as bitmaps, metafiles or picture files with their hotspots.
#pragma once

#include <cstdint>
#include <cstdio>

struct ByteStream;
struct DecompileContext;

// Picture kind flags, as the picture table holds them.
enum PictureFlags : unsigned {
    picture_several = 1u << 0, picture_bitmap = 1u << 1, picture_metafile = 1u << 2,
    picture_file = 1u << 3, picture_from_topic = 1u << 4, picture_transparent = 1u << 5,
};

// Decodes the picture file at the stream's position and writes it as an
// output file named name + "." + extension (name must have room for five
// more characters); returns the picture kind flags (0: nothing written).
unsigned picture_export(DecompileContext& ctx, char* name, ByteStream* stream);
// The same for a picture file that ends at stream position `end` (a |bm
// file inside the help file): nothing at or past end is read.
unsigned picture_export_within(DecompileContext& ctx, char* name, ByteStream* stream, long end);
// Exports every |bm file (bm in old-format files) and records it in the
// picture table.
void export_bitmap_files(DecompileContext& ctx, std::FILE* file);
