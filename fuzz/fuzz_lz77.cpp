// LZ77 and run-length expansion. Input: a flags byte (bit 0 run-length,
// bit 1 LZ77, bit 2 into an output file instead of a fixed buffer), the
// buffer's capacity as a 16-bit word, then the compressed data.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "fuzz_support.h"
#include "helpfile/byte_stream.h"
#include "helpfile/lz77.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in{data, size};
    uint8_t options = in.byte();
    long capacity = in.word();
    std::vector<uint8_t> packed = in.rest();
    int flags = options & (lz77_runlength_flag | lz77_lz_flag);
    FuzzContext holder;
    DecompileContext& ctx = *holder.ctx;
    try {
        if (options & 4) {
            MemoryFile* out = output_open("expanded", "wb");
            output_add(ctx.outputs, out);
            ByteStream* source = stream_open_buffer(ctx, packed.data(), static_cast<long>(packed.size()));
            lz77_expand_to_output(ctx, out, flags, source, static_cast<long>(packed.size()));
            tracked_free(ctx, source);
            checksum_outputs(ctx);
        } else {
            // Exactly the capacity, so that a byte written past it is caught.
            std::unique_ptr<uint8_t[]> buffer(new uint8_t[capacity ? capacity : 1]);
            MemoryStream file(packed.data(), packed.size());
            lz77_expand_to_buffer(ctx, capacity, flags, file.file, static_cast<long>(packed.size()), buffer.get());
        }
    } catch (const FatalError&) {
    }
    return 0;
}
