// The bounded read window over a picture file and the capped output layer.
#include <cstdio>
#include <cstring>

#include "firstpass/picture_writers.h"
#include "plugin/decompile_context.h"

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
    uint64_t take = static_cast<uint64_t>(count > 0 ? count : 0);
    if (take > out.left) take = out.left;
    out.left -= take;
    uint8_t run[128];
    std::memset(run, c, sizeof run);
    while (take > 0) {
        const size_t n = take < sizeof run ? static_cast<size_t>(take) : sizeof run;
        output_write(run, 1, n, out.file);
        take -= n;
    }
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
    in.stream.get_byte = window_get;
    in.stream.put_byte = window_put;
    in.stream.read_block = window_read;
    in.stream.tell = window_tell;
    in.stream.seek = window_seek;
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
    out.stream.get_byte = capped_get;
    out.stream.put_byte = capped_put;
    out.stream.put_run = capped_put_run;
    out.stream.read_block = capped_read;
    out.stream.tell = capped_tell;
    out.stream.seek = capped_seek;
    out.file = file;
    out.left = limit;
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
