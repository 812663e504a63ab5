#include "helpfile/lz77.h"

#include "helpfile/byte_stream.h"
#include "plugin/decompile_context.h"

long runlength_put(ByteStream* stream, int c) {
    uint8_t s = stream->run_state;
    if ((s & 0x7F) == 0) {
        stream->run_state = static_cast<uint8_t>(c);
        return 0;
    }
    if (s & 0x80) {
        stream->put_byte(stream, c);
        --stream->run_state;  // at 0x80 the next byte is a count byte
        return 1;
    }
    for (int i = 0; i < s; ++i) stream->put_byte(stream, c);
    stream->run_state = 0;
    return s;
}

namespace {

inline long emit(ByteStream* destination, bool runlength, int c) {
    return runlength ? runlength_put(destination, c) : destination->put_byte(destination, c);
}

}  // namespace

long lz77_expand(DecompileContext& ctx, int flags, long input_count, ByteStream* source, ByteStream* destination) {
    bool runlength = (flags & lz77_runlength_flag) != 0;
    if (runlength) destination->run_state = 0;
    long sum = 0;
    if ((flags & lz77_lz_flag) == 0) {
        for (long i = 0; i < input_count; ++i) sum += emit(destination, runlength, source->get_byte(source) & 0xFF);
        return sum;
    }
    uint8_t* window = ctx.lz77_window;
    unsigned position = 0;
    uint8_t mask = 0;
    int control = 0;
    for (long remaining = input_count; remaining > 0;) {
        --remaining;
        if (mask == 0) {
            control = source->get_byte(source) & 0xFF;
            mask = 1;
            continue;
        }
        if (control & mask) {
            if (remaining == 0) break;
            --remaining;
            unsigned w = source->get_byte(source) & 0xFF;
            w |= static_cast<unsigned>(source->get_byte(source) & 0xFF) << 8;
            unsigned length = (w >> 12) + 3;
            unsigned from = position - (w & 0xFFF) - 1;
            for (unsigned i = 0; i < length; ++i) {
                uint8_t c = window[from++ % lz77_window_size];
                window[position++ % lz77_window_size] = c;
                sum += emit(destination, runlength, c);
            }
        } else {
            uint8_t c = static_cast<uint8_t>(source->get_byte(source));
            window[position++ % lz77_window_size] = c;
            sum += emit(destination, runlength, c);
        }
        mask = static_cast<uint8_t>(mask << 1);
    }
    return sum;
}

long lz77_expand_to_buffer(DecompileContext& ctx, long capacity, int flags, std::FILE* file, long input_count,
                           void* destination) {
    ByteStream* source = stream_open_file(ctx, file);
    ByteStream* target = stream_open_buffer(ctx, destination, capacity);
    long result = lz77_expand(ctx, flags, input_count, source, target);
    tracked_free(ctx, target);
    tracked_free(ctx, source);
    return result;
}

long lz77_expand_to_output(DecompileContext& ctx, MemoryFile* output, int flags, ByteStream* source,
                           long input_count) {
    ByteStream* target = stream_open_output(ctx, output);
    long result = lz77_expand(ctx, flags, input_count, source, target);
    tracked_free(ctx, target);
    return result;
}
