// In-memory output files: every file the decompiler produces is written
// into one of these and listed as an archive entry.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

struct ByteStream;

constexpr int memory_file_name_units = 1024;

struct MemoryFile {
    uint8_t* buffer;
    bool text;  // every LF written is stored as CR LF
    uint32_t capacity;
    uint32_t length;  // highest position ever reached: the size of the entry
    uint32_t position;
    // Zero-terminated, at most memory_file_name_units units with the zero;
    // stored behind the record in its own allocation, as long as it is: a
    // large help file has thousands of entries, most with short names.
    char16_t* name;
};

struct OutputNode {
    MemoryFile* file;
    OutputNode* next;
};

// Newest file first; the cursor is the host's listing position.
struct OutputList {
    OutputNode* head;
    OutputNode* cursor;
};

MemoryFile* output_open(const char* name, const char* mode);
bool output_add(OutputList& list, MemoryFile* file);
size_t output_write(const void* data, size_t size, size_t count, MemoryFile* file);
// output_write for bytes that hold no line feed (a text file has nothing to
// widen in them), stored without looking.
void output_write_plain(const void* data, size_t n, MemoryFile* file);
int output_putc(int c, MemoryFile* file);
int output_printf(MemoryFile* file, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Writes word and the decimal value behind it, as "%s%lld" would.
int output_control_word(MemoryFile* file, const char* word, long long value);

// Most texts written are short literals (control words) into a buffer with
// room: inline, their length and line-feed test fold away and the copy is a
// few moves. Anything else goes through output_write.
inline int output_puts(const char* text, MemoryFile* file) {
    const size_t length = std::strlen(text);
    if (length != 0 && uint64_t(file->position) + length <= file->capacity &&
        (!file->text || std::memchr(text, '\n', length) == nullptr)) {
        std::memcpy(file->buffer + file->position, text, length);
        file->position += static_cast<uint32_t>(length);
        if (file->length < file->position) file->length = file->position;
        return static_cast<int>(length);
    }
    output_write(text, 1, length, file);
    return static_cast<int>(length);
}
// Makes room for at least capacity bytes in one allocation, so that a file
// known to grow large is not moved again and again (capped at the largest
// output; nothing is written).
void output_reserve(MemoryFile* file, uint64_t capacity);
int output_seek(MemoryFile* file, uint32_t position);
uint32_t output_tell(const MemoryFile* file);
int output_getc(MemoryFile* file);
long output_read(MemoryFile* file, void* destination, long count);
void output_put_word(MemoryFile* file, uint16_t value);
void output_put_compressed_short(unsigned value, MemoryFile* file);
void output_put_compressed_long(MemoryFile* file, uint32_t value);
long output_copy_from_file(std::FILE* help_file, long count, MemoryFile* file);
long output_copy_from_stream(ByteStream* stream, long count, MemoryFile* file);
void output_list_free(OutputList& list);
// Frees and unlists the files whose names start with `folder` (u"html\\");
// returns how many there were. The cursor goes back to the newest file.
size_t output_list_drop_folder(OutputList& list, const char16_t* folder);
