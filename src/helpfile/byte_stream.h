// Byte streams over the help file, a memory buffer or an output file, and
// the checked reads every reader of help-file data goes through.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct DecompileContext;
struct MemoryFile;

// A byte of the help file. A session's file is read by one thread at a
// time, so the stream lock getc takes would buy nothing.
inline int file_getc(std::FILE* file) {
#ifdef _WIN32
    return std::getc(file);
#else
    return getc_unlocked(file);
#endif
}

struct ByteStream {
    std::FILE* file;      // help-file kind
    MemoryFile* output;   // memory-file kind
    uint8_t* start;       // buffer kind: positions count from here
    uint8_t* cursor;      // buffer kind: next byte
    uint8_t* end;         // buffer kind: one past the last byte
    uint8_t run_state;    // count byte of the run-length decoder
    int (*get_byte)(ByteStream* stream);
    int (*put_byte)(ByteStream* stream, int c);
    long (*read_block)(ByteStream* stream, void* destination, long count);
    long (*tell)(ByteStream* stream);
    int (*seek)(ByteStream* stream, long position);
    // Optional (null: put_byte count times): count copies of one byte, for
    // the runs of the run-length decoder.
    void (*put_run)(ByteStream* stream, int c, long count);
};

// The operations of one kind of stream.
struct ByteStreamOps {
    int (*get_byte)(ByteStream* stream);
    int (*put_byte)(ByteStream* stream, int c);
    long (*read_block)(ByteStream* stream, void* destination, long count);
    long (*tell)(ByteStream* stream);
    int (*seek)(ByteStream* stream, long position);
};
void stream_set_ops(ByteStream& stream, const ByteStreamOps& ops);

// Each stream record is tracked; release it with tracked_free.
ByteStream* stream_open_file(DecompileContext& ctx, std::FILE* file);
ByteStream* stream_open_buffer(DecompileContext& ctx, void* data, long size);
ByteStream* stream_open_output(DecompileContext& ctx, MemoryFile* output);

// Exact read of count bytes; fatal when fewer are there.
long my_fread(long count, std::FILE* file, void* destination);
// Bytes from the position to the end of the file; the position is kept.
// Lengths a help file states are checked against it before anything is
// allocated for them.
long bytes_left_in_file(std::FILE* file);
// NUL-terminated string of at most limit - 1 characters; fatal when longer.
int read_cstring(char* destination, std::FILE* file, long limit);
uint32_t read_dword(std::FILE* file);
// Two bytes, low first; a missing byte counts as 0xFF.
uint16_t read_word(std::FILE* file);
size_t bounded_copy(size_t size, const char* source, char* destination);

uint32_t stream_read_dword(ByteStream* stream);
uint32_t stream_read_compressed_long(ByteStream* stream);
int stream_read_cstring(char* destination, ByteStream* stream, long limit);

inline uint16_t get_le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
inline uint32_t get_le32(const uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
