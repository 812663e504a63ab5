#include "helpfile/lz77.h"

#include <algorithm>
#include <cstring>

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"

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
    if (stream->put_run) {
        stream->put_run(stream, c, s);
    } else {
        for (int i = 0; i < s; ++i) stream->put_byte(stream, c);
    }
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

namespace {

// The largest input expanded from memory; longer inputs (only phrase images
// come near it) go through the streams.
constexpr long staged_input_limit = 16384;

// The window slots the expansion of `produced` bytes wrote, taken from the
// output that holds all of them.
void update_window(uint8_t* window, const uint8_t* out, uint32_t produced) {
    // At most two pieces: up to the ring's end, then from its start.
    for (uint32_t p = produced > lz77_window_size ? produced - lz77_window_size : 0; p < produced;) {
        const uint32_t slot = p % lz77_window_size;
        const uint32_t n = std::min<uint32_t>(produced - p, lz77_window_size - slot);
        std::memcpy(window + slot, out + p, n);
        p += n;
    }
}

// Copies 3 to 18 bytes that do not overlap as two fixed-size moves that
// meet or overlap in the middle: no call, and not a byte past the end.
[[gnu::always_inline]] inline void copy_short(uint8_t* to, const uint8_t* from, uint32_t length) {
    if (length >= 8) {
        if (length >= 16) {
            std::memcpy(to, from, 16);
            std::memcpy(to + length - 16, from + length - 16, 16);
        } else {
            std::memcpy(to, from, 8);
            std::memcpy(to + length - 8, from + length - 8, 8);
        }
    } else if (length >= 4) {
        std::memcpy(to, from, 4);
        std::memcpy(to + length - 4, from + length - 4, 4);
    } else {
        std::memcpy(to, from, 2);
        to[length - 1] = from[length - 1];
    }
}

// Copies a back reference byte by byte as far as it overlaps itself, from
// the window left by earlier expansions where it reaches before the output;
// true when it did.
[[gnu::always_inline]] inline bool copy_reference(uint8_t* output, uint32_t position, uint32_t length,
                                                  uint32_t distance, const uint8_t* window) {
    uint8_t* to = output + position;
    if (distance <= position) {
        const uint8_t* from = to - distance;
        if (distance >= length) {
            copy_short(to, from, length);
        } else {
            for (uint32_t k = 0; k < length; ++k) to[k] = from[k];
        }
        return false;
    }
    for (uint32_t k = 0; k < length; ++k) {
        const uint32_t from = position + k - distance;  // wraps below 0 into the window
        to[k] = static_cast<int32_t>(from) < 0 ? window[from % lz77_window_size] : output[from];
    }
    return true;
}

}  // namespace

long lz77_expand_buffer(DecompileContext& ctx, const uint8_t* input, long input_count, uint8_t* output,
                        long capacity, long* consumed, bool* self_contained) {
    uint8_t* window = ctx.lz77_window;
    bool reached_back = false;
    const uint32_t cap = capacity > 0 ? static_cast<uint32_t>(capacity) : 0;
    uint32_t position = 0;
    long at = 0;
    // Whole control groups while the output surely has room: bytes go
    // straight into the output, and back references read the output (or, for
    // the first 4096 bytes, what earlier expansions left in the window).
    constexpr uint32_t group_output = 8 * 18;
    constexpr long group_input = 1 + 8 * 2;
    // First, while plenty of input and room are left, every item is one
    // 16-byte move, with no branch on whether it is a literal or a
    // reference: a literal moves its byte and 15 more, a reference up to 16
    // bytes from where it points; the bytes past each item are overwritten
    // by the next ones. The input left behind always yields more than 16
    // bytes, which overwrite what the last item wrote past its end.
    // References that overlap themselves or reach before the output start
    // take the exact way.
    constexpr uint32_t overcopy = 16;
    constexpr long input_reserve = 48;
    while (at + group_input + input_reserve <= input_count && position + group_output + overcopy <= cap) {
        unsigned control = input[at++];
        for (int item = 0; item < 8; ++item, control >>= 1) {
            const uint32_t reference = control & 1;
            const uint32_t w = input[at] | (static_cast<uint32_t>(input[at + 1]) << 8);
            const uint32_t length = reference ? (w >> 12) + 3 : 1;
            const uint32_t distance = (w & 0xFFF) + 1;
            uint8_t* to = output + position;
            if (reference && (distance > position || distance < length || length > overcopy)) {
                at += 2;
                reached_back |= copy_reference(output, position, length, distance, window);
                position += length;
                continue;
            }
            const uint8_t* from = reference ? to - distance : input + at;
            uint8_t moved[overcopy];
            std::memcpy(moved, from, overcopy);
            std::memcpy(to, moved, overcopy);
            position += length;
            at += 1 + reference;
        }
    }
    while (at + group_input <= input_count && position + group_output <= cap) {
        const unsigned control = input[at++];
        if (control == 0) {
            // Eight literals, the common group in text that compresses little.
            std::memcpy(output + position, input + at, 8);
            position += 8;
            at += 8;
            continue;
        }
        for (unsigned bit = 0; bit < 8; ++bit) {
            if ((control >> bit) & 1) {
                const unsigned w = input[at] | (static_cast<unsigned>(input[at + 1]) << 8);
                at += 2;
                const uint32_t length = (w >> 12) + 3;
                const uint32_t distance = (w & 0xFFF) + 1;
                reached_back |= copy_reference(output, position, length, distance, window);
                position += length;
            } else {
                output[position++] = input[at++];
            }
        }
    }
    update_window(window, output, position);
    // The rest byte by byte through the window, as the streams do it: bytes
    // past the capacity are dropped but still feed the window.
    long written = position;
    uint8_t mask = 0;
    unsigned control = 0;
    for (long remaining = input_count - at; remaining > 0;) {
        --remaining;
        if (mask == 0) {
            control = input[at++];
            mask = 1;
            continue;
        }
        if (control & mask) {
            if (remaining == 0) break;
            --remaining;
            const unsigned w = input[at] | (static_cast<unsigned>(input[at + 1]) << 8);
            at += 2;
            const unsigned length = (w >> 12) + 3;
            unsigned from = position - (w & 0xFFF) - 1;
            reached_back |= (w & 0xFFF) + 1 > position;
            for (unsigned k = 0; k < length; ++k) {
                const uint8_t c = window[from++ % lz77_window_size];
                window[position % lz77_window_size] = c;
                if (position < cap) output[written++] = c;
                ++position;
            }
        } else {
            const uint8_t c = input[at++];
            window[position % lz77_window_size] = c;
            if (position < cap) output[written++] = c;
            ++position;
        }
        mask = static_cast<uint8_t>(mask << 1);
    }
    if (consumed) *consumed = at;
    if (self_contained) *self_contained = !reached_back && written == static_cast<long>(position);
    return written;
}

void lz77_replay_window(DecompileContext& ctx, const uint8_t* output, long length) {
    update_window(ctx.lz77_window, output, static_cast<uint32_t>(length));
}

long lz77_expand_to_buffer(DecompileContext& ctx, long capacity, int flags, std::FILE* file, long input_count,
                           void* destination, bool* self_contained) {
    if (self_contained) *self_contained = false;
    if (flags == lz77_lz_flag && input_count > 0 && input_count <= staged_input_limit) {
        // One read instead of a call per byte. Bytes the file does not have
        // read as 0xFF, as a failed byte read does, and the file is left
        // where reading byte by byte would have left it.
        uint8_t staged[staged_input_limit];
        const long got = static_cast<long>(std::fread(staged, 1, static_cast<size_t>(input_count), file));
        if (got < input_count) std::memset(staged + got, 0xFF, static_cast<size_t>(input_count - got));
        long consumed = 0;
        const long result = lz77_expand_buffer(ctx, staged, input_count, static_cast<uint8_t*>(destination),
                                               capacity, &consumed, self_contained);
        if (consumed < got || (consumed == got && got < input_count)) std::fseek(file, consumed - got, SEEK_CUR);
        // Bytes made up for a short file leave the file at its end: not
        // something a copy could stand in for.
        if (self_contained && got < input_count) *self_contained = false;
        return result;
    }
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
