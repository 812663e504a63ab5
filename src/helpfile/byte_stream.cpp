#include "helpfile/byte_stream.h"

#include <cstring>

#include "core/decompile_context.h"

namespace {

constexpr const char* too_long = "String length exceeds decompiler limit.\n";

int file_get(ByteStream* s) { return file_getc(s->file); }
int file_put(ByteStream* s, int c) { return std::putc(c, s->file) == EOF ? 0 : 1; }
long file_read(ByteStream* s, void* destination, long count) {
    return count == 0 ? 0 : my_fread(count, s->file, destination);
}
long file_tell(ByteStream* s) { return std::ftell(s->file); }
int file_seek(ByteStream* s, long position) { return std::fseek(s->file, position, SEEK_SET); }

int buffer_get(ByteStream* s) { return s->cursor < s->end ? *s->cursor++ : -1; }
int buffer_put(ByteStream* s, int c) {
    if (s->cursor >= s->end) return 0;
    *s->cursor++ = static_cast<uint8_t>(c);
    return 1;
}
long buffer_read(ByteStream* s, void* destination, long count) {
    if (count < 0 || count > s->end - s->cursor) fatal_error("read(%ld) failed", count);
    if (count) std::memcpy(destination, s->cursor, static_cast<size_t>(count));
    s->cursor += count;
    return count;
}
long buffer_tell(ByteStream* s) { return static_cast<long>(s->cursor - s->start); }
int buffer_seek(ByteStream* s, long position) {
    // Positions outside the buffer leave nothing to read.
    s->cursor = position < 0 || position > s->end - s->start ? s->end : s->start + position;
    return 0;
}

int output_get(ByteStream* s) { return output_getc(s->output); }
int output_put(ByteStream* s, int c) {
    output_putc(c, s->output);
    return 1;
}
long output_block(ByteStream* s, void* destination, long count) { return output_read(s->output, destination, count); }
long output_position(ByteStream* s) { return output_tell(s->output); }
int output_move(ByteStream* s, long position) {
    if (position < 0) return -1;
    return output_seek(s->output, static_cast<uint32_t>(position));
}

ByteStream* new_stream(DecompileContext& ctx) {
    ByteStream* s = static_cast<ByteStream*>(tracked_malloc(ctx, sizeof(ByteStream)));
    std::memset(s, 0, sizeof *s);
    return s;
}

}  // namespace

void stream_set_ops(ByteStream& stream, const ByteStreamOps& ops) {
    stream.get_byte = ops.get_byte;
    stream.put_byte = ops.put_byte;
    stream.read_block = ops.read_block;
    stream.tell = ops.tell;
    stream.seek = ops.seek;
}

ByteStream* stream_open_file(DecompileContext& ctx, std::FILE* file) {
    ByteStream* s = new_stream(ctx);
    s->file = file;
    stream_set_ops(*s, {file_get, file_put, file_read, file_tell, file_seek});
    return s;
}

ByteStream* stream_open_buffer(DecompileContext& ctx, void* data, long size) {
    ByteStream* s = new_stream(ctx);
    s->start = s->cursor = static_cast<uint8_t*>(data);
    s->end = s->start + (size > 0 ? size : 0);
    stream_set_ops(*s, {buffer_get, buffer_put, buffer_read, buffer_tell, buffer_seek});
    return s;
}

ByteStream* stream_open_output(DecompileContext& ctx, MemoryFile* output) {
    ByteStream* s = new_stream(ctx);
    s->output = output;
    stream_set_ops(*s, {output_get, output_put, output_block, output_position, output_move});
    return s;
}

long my_fread(long count, std::FILE* file, void* destination) {
    if (count == 0) return 0;
    if (count < 0 || std::fread(destination, 1, static_cast<size_t>(count), file) != static_cast<size_t>(count)) {
        fatal_error("my_fread(%ld) at %ld failed", count, std::ftell(file));
    }
    return count;
}

long bytes_left_in_file(std::FILE* file) {
    long here = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    long end = std::ftell(file);
    std::fseek(file, here, SEEK_SET);
    return end > here ? end - here : 0;
}

int read_cstring(char* destination, std::FILE* file, long limit) {
    long n = 0;
    for (;;) {
        int c = file_getc(file);
        if (c <= 0) break;
        if (n >= limit - 1) fatal_message(too_long);
        destination[n++] = static_cast<char>(c);
    }
    if (limit > 0) destination[n] = '\0';
    return static_cast<int>(n);
}

uint32_t read_dword(std::FILE* file) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(file_getc(file) & 0xFF) << (8 * i);
    return value;
}

uint16_t read_word(std::FILE* file) {
    int low = file_getc(file) & 0xFF;
    int high = file_getc(file) & 0xFF;
    return static_cast<uint16_t>(low | (high << 8));
}

size_t bounded_copy(size_t size, const char* source, char* destination) {
    if (destination == nullptr) return 0;
    size_t n = 0;
    if (source != nullptr) {
        while (n + 1 < size && source[n]) {
            destination[n] = source[n];
            ++n;
        }
    }
    destination[n] = '\0';
    return n;
}

uint32_t stream_read_dword(ByteStream* stream) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= static_cast<uint32_t>(stream->get_byte(stream) & 0xFF) << (8 * i);
    return value;
}

uint32_t stream_read_compressed_long(ByteStream* stream) {
    uint32_t w = stream->get_byte(stream) & 0xFF;
    w |= static_cast<uint32_t>(stream->get_byte(stream) & 0xFF) << 8;
    if ((w & 1) == 0) return w >> 1;
    uint32_t w2 = stream->get_byte(stream) & 0xFF;
    w2 |= static_cast<uint32_t>(stream->get_byte(stream) & 0xFF) << 8;
    return w2 * 32768 + (w >> 1);
}

int stream_read_cstring(char* destination, ByteStream* stream, long limit) {
    long n = 0;
    for (;;) {
        int c = stream->get_byte(stream);
        if (c <= 0) break;
        if (n >= limit - 1) fatal_message(too_long);
        destination[n++] = static_cast<char>(c);
    }
    if (limit > 0) destination[n] = '\0';
    return static_cast<int>(n);
}
