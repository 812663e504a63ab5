// The bounded read window over a picture file and the capped output layer.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "firstpass/picture_writers.h"
#include "helpfile/lz77.h"

namespace {

PictureStream* window_of(ByteStream* s) { return reinterpret_cast<PictureStream*>(s); }
CappedOutput* capped_of(ByteStream* s) { return reinterpret_cast<CappedOutput*>(s); }

int window_get(ByteStream* s) { return picture_byte(*window_of(s)); }
int window_put(ByteStream*, int) { return 0; }
long window_read(ByteStream* s, void* destination, long count) {
    PictureStream& in = *window_of(s);
    if (count < 0 || count > picture_left(in)) fatal_error("read(%ld) failed", count);
    if (count == 0) return 0;
    in.source->read_block(in.source, destination, count);
    in.position += count;
    return count;
}
long window_tell(ByteStream* s) { return window_of(s)->position; }
int window_seek(ByteStream* s, long position) {
    picture_seek(*window_of(s), position);
    return 0;
}

// At most `left` copies of c (of the n asked), written in pieces.
void write_capped_run(MemoryFile* out, uint64_t& left, uint8_t c, uint64_t n) {
    n = std::min(n, left);
    left -= n;
    uint8_t run[128];
    std::memset(run, c, sizeof run);
    while (n > 0) {
        const size_t piece = n < sizeof run ? static_cast<size_t>(n) : sizeof run;
        output_write(run, 1, piece, out);
        n -= piece;
    }
}

int capped_get(ByteStream* s) { return output_getc(capped_of(s)->file); }
int capped_put(ByteStream* s, int c) {
    CappedOutput& out = *capped_of(s);
    if (out.left == 0) return 0;
    --out.left;
    output_putc(c, out.file);
    return 1;
}
void capped_put_run(ByteStream* s, int c, long count) {
    CappedOutput& out = *capped_of(s);
    write_capped_run(out.file, out.left, static_cast<uint8_t>(c), static_cast<uint64_t>(count > 0 ? count : 0));
}
long capped_read(ByteStream* s, void* destination, long count) {
    return output_read(capped_of(s)->file, destination, count);
}
long capped_tell(ByteStream* s) { return static_cast<long>(output_tell(capped_of(s)->file)); }
int capped_seek(ByteStream* s, long position) {
    if (position < 0) return -1;
    return output_seek(capped_of(s)->file, static_cast<uint32_t>(position));
}

}  // namespace

void picture_stream_open(PictureStream& in, ByteStream* source, long end) {
    std::memset(&in, 0, sizeof in);
    stream_set_ops(in.stream, {window_get, window_put, window_read, window_tell, window_seek});
    in.source = source;
    in.position = source->tell(source);
    in.end = end < in.position ? in.position : end;
}

void picture_seek(PictureStream& in, long position) {
    in.position = position;
    in.source->seek(in.source, position);
}

long picture_left(const PictureStream& in) { return in.position < in.end ? in.end - in.position : 0; }

int picture_byte(PictureStream& in) {
    if (in.position >= in.end) {
        in.overrun = true;
        return -1;
    }
    ++in.position;
    return in.source->get_byte(in.source);
}

uint16_t picture_word(PictureStream& in) {
    unsigned low = picture_byte(in) & 0xFF;
    unsigned high = picture_byte(in) & 0xFF;
    return static_cast<uint16_t>(low | (high << 8));
}

uint32_t picture_dword(PictureStream& in) {
    uint32_t low = picture_word(in);
    return low | (static_cast<uint32_t>(picture_word(in)) << 16);
}

void capped_output_open(CappedOutput& out, MemoryFile* file, uint64_t limit) {
    std::memset(&out, 0, sizeof out);
    out.stream.output = file;
    stream_set_ops(out.stream, {capped_get, capped_put, capped_read, capped_tell, capped_seek});
    out.stream.put_run = capped_put_run;
    out.file = file;
    out.left = limit;
}

namespace {

// Reads count bytes from the window's source as count get_byte calls would:
// bytes past the source's end read as 0xFF. Answers how many the source had.
long read_window_bytes(PictureStream& in, uint8_t* destination, long count) {
    ByteStream* source = in.source;
    long got = 0;
    if (source->file != nullptr) {
        got = static_cast<long>(std::fread(destination, 1, static_cast<size_t>(count), source->file));
    } else if (source->start != nullptr) {
        got = std::min<long>(count, std::max<long>(0, source->end - source->cursor));
        if (got > 0) std::memcpy(destination, source->cursor, static_cast<size_t>(got));
        source->cursor += got;
    } else {
        for (int c; got < count && (c = source->get_byte(source)) >= 0; ++got) destination[got] = static_cast<uint8_t>(c);
    }
    if (got < count) std::memset(destination + got, 0xFF, static_cast<size_t>(count - got));
    in.position += count;
    return got;
}

// Gives back what reading only `used` of the `count` bytes read would have
// left: the window's position, and the source's where it had the bytes.
void unread_window_bytes(PictureStream& in, long count, long got, long used) {
    in.position -= count - used;
    const long back = got - std::min(got, used);
    if (back == 0) return;
    ByteStream* source = in.source;
    if (source->file != nullptr) {
        std::fseek(source->file, -back, SEEK_CUR);
    } else if (source->start != nullptr) {
        source->cursor -= back;
    } else {
        source->seek(source, source->tell(source) - back);
    }
}

void write_capped(MemoryFile* out, uint64_t& left, const uint8_t* bytes, uint64_t n) {
    n = std::min(n, left);
    if (n == 0) return;
    output_write(bytes, 1, static_cast<size_t>(n), out);
    left -= n;
}


// Run-length decoding: a count byte with the high bit set is followed by that
// many bytes (less 0x80) as they are, any other count by one byte to repeat.
void write_runlength(MemoryFile* out, uint64_t left, const uint8_t* data, uint64_t size) {
    uint8_t state = 0;
    for (uint64_t i = 0; i < size && left > 0;) {
        if ((state & 0x7F) == 0) {
            state = data[i++];
        } else if (state & 0x80) {
            const uint64_t n = std::min<uint64_t>(state & 0x7F, size - i);
            write_capped(out, left, data + i, n);
            i += n;
            state = static_cast<uint8_t>(state - n);
        } else {
            write_capped_run(out, left, data[i++], state);
            state = 0;
        }
    }
}

}  // namespace

void expand_pixels(DecompileContext& ctx, unsigned packing, long packed, PictureStream& in, MemoryFile* out,
                   uint64_t limit) {
    if (packed <= 0) return;
    const bool lz = (packing & lz77_lz_flag) != 0;
    const bool runlength = (packing & lz77_runlength_flag) != 0;
    // What LZ77 may produce: all of it when run-length decoding follows;
    // otherwise bytes past the limit are only counted (they still feed the
    // window).
    const uint64_t room = runlength ? picture_expansion_bound(lz77_lz_flag, static_cast<uint64_t>(packed)) : limit;
    if (lz && room > picture_data_limit) {
        CappedOutput pixels;
        capped_output_open(pixels, out, limit);
        lz77_expand(ctx, static_cast<int>(packing), packed, &in.stream, &pixels.stream);
        return;
    }
    uint8_t* input = static_cast<uint8_t*>(tracked_malloc(ctx, packed));
    const long got = read_window_bytes(in, input, packed);
    const uint8_t* data = input;
    uint64_t size = static_cast<uint64_t>(packed);
    uint8_t* expanded = nullptr;
    if (lz) {
        expanded = static_cast<uint8_t*>(tracked_malloc(ctx, static_cast<long>(std::max<uint64_t>(room, 1))));
        long consumed = 0;
        const long produced = lz77_expand_buffer(ctx, input, packed, expanded, static_cast<long>(room), &consumed);
        unread_window_bytes(in, packed, got, consumed);
        data = expanded;
        size = std::min<uint64_t>(static_cast<uint64_t>(std::max<long>(produced, 0)), room);
    }
    if (runlength) {
        write_runlength(out, limit, data, size);
    } else {
        uint64_t left = limit;
        write_capped(out, left, data, size);
    }
    if (expanded) tracked_free(ctx, expanded);
    tracked_free(ctx, input);
}

uint64_t picture_expansion_bound(unsigned packing, uint64_t packed_size) {
    uint64_t factor = 1;
    if (packing & 2) factor *= 9;
    if (packing & 1) factor *= 64;
    return packed_size * factor;
}

long picture_packed_bytes(DecompileContext& ctx, const char* name, long available, uint32_t packed_size) {
    if (available < 0) available = 0;
    if (static_cast<uint64_t>(packed_size) <= static_cast<uint64_t>(available)) return static_cast<long>(packed_size);
    std::fprintf(stderr, "Picture data of %s cut short.\n", name);
    ctx.had_problems = true;
    return available;
}
