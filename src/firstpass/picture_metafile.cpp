// A single metafile without hotspots becomes a placeable metafile (.wmf).
#include <cstring>

#include "core/decompile_context.h"
#include "firstpass/picture_writers.h"
#include "helpfile/lz77.h"

void write_metafile_file(DecompileContext& ctx, char* name, PictureStream& in, const PictureHeader& h) {
    const long packed = picture_packed_bytes(ctx, name, picture_left(in), h.packed_size);
    std::strcat(name, ".wmf");
    MemoryFile* out = output_open(name, "wb");
    output_add(ctx.outputs, out);

    const uint16_t words[10] = {
        0xCDD7, 0x9AC6,  // key
        0,               // handle
        0, 0, h.metafile_width, h.metafile_height,  // bounding box
        2540,            // units per inch
        0, 0,            // reserved
    };
    uint16_t checksum = 0;
    for (uint16_t w : words) {
        output_put_word(out, w);
        checksum ^= w;
    }
    output_put_word(out, checksum);

    // The records end at the unpacked size the header gives, whatever a
    // damaged packed stream would go on to produce.
    const long saved_end = in.end;
    in.end = in.position + packed;
    CappedOutput records;
    capped_output_open(records, out, h.unpacked_size);
    lz77_expand(ctx, h.packing, packed, &in.stream, &records.stream);
    in.end = saved_end;
}
