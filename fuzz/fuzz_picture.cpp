// picture_export on a memory stream. Input: a flags byte (bit 0: the help
// file is of minor version above 21; bit 1: read the picture through an
// output file's stream rather than a plain buffer), then the picture file.
#include <cstdint>
#include <cstring>

#include "firstpass/pictures.h"
#include "fuzz_support.h"
#include "helpfile/byte_stream.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in{data, size};
    uint8_t options = in.byte();
    std::vector<uint8_t> picture = in.rest();
    FuzzContext holder;
    DecompileContext& ctx = *holder.ctx;
    ctx.minor_above_21 = (options & 1) != 0;
    char name[32] = "bm0";
    try {
        ByteStream* stream;
        if (options & 2) {
            MemoryFile* source = output_open("source", "wb");
            output_add(ctx.outputs, source);
            output_write(picture.data(), 1, picture.size(), source);
            output_seek(source, 0);
            stream = stream_open_output(ctx, source);
        } else {
            stream = stream_open_buffer(ctx, picture.data(), static_cast<long>(picture.size()));
        }
        picture_export(ctx, name, stream);
        tracked_free(ctx, stream);
        checksum_outputs(ctx);
    } catch (const FatalError&) {
    }
    return 0;
}
