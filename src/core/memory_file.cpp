#include "core/memory_file.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "core/tracked_allocator.h"
#include "platform/platform.h"

namespace {

// No output of a help file comes near this; refusing it keeps a damaged
// file from making us allocate gigabytes.
constexpr uint64_t largest_output = 0x40000000;

void resize_buffer(MemoryFile* file, uint64_t capacity) {
    if (capacity > largest_output) {
        std::fprintf(stderr, "\nOutput file exceeds %lu bytes.\n", (unsigned long)largest_output);
        throw FatalError{fatal_too_large};
    }
    uint8_t* buffer = static_cast<uint8_t*>(std::realloc(file->buffer, static_cast<size_t>(capacity)));
    if (buffer == nullptr) throw std::bad_alloc();
    file->buffer = buffer;
    file->capacity = static_cast<uint32_t>(capacity);
}

// Growth for a seek to `needed`: double, or twice the need if doubling is short.
void grow_for(MemoryFile* file, uint64_t needed) {
    if (file->capacity >= needed) return;
    uint64_t capacity = file->capacity ? 2 * uint64_t(file->capacity) : 256;
    if (capacity < needed) capacity = 2 * needed;
    resize_buffer(file, capacity);
}

// Growth for writing byte after byte up to `end`: the same doublings the
// byte-wise rule makes, done with one reallocation.
void grow_sequential(MemoryFile* file, uint64_t end) {
    if (file->capacity >= end) return;
    uint64_t capacity = file->capacity;
    while (capacity < end) capacity = capacity ? 2 * capacity : 256;
    resize_buffer(file, capacity);
}

void store(MemoryFile* file, const uint8_t* data, size_t n) {
    // Nothing to store: a file never written to has no buffer yet.
    if (n == 0) return;
    grow_sequential(file, uint64_t(file->position) + n);
    std::memcpy(file->buffer + file->position, data, n);
    file->position += static_cast<uint32_t>(n);
    if (file->length < file->position) file->length = file->position;
}

}  // namespace

MemoryFile* output_open(const char* name, const char* mode) {
    char16_t wide[memory_file_name_units];
    wide[0] = 0;
    if (name != nullptr && *name) platform::ansi_to_wide(name, wide, memory_file_name_units);
    wide[memory_file_name_units - 1] = 0;
    size_t units = 0;
    while (wide[units]) ++units;
    void* room = std::malloc(sizeof(MemoryFile) + (units + 1) * sizeof(char16_t));
    if (room == nullptr) throw FatalError{fatal_memory};
    MemoryFile* file = static_cast<MemoryFile*>(room);
    file->buffer = nullptr;
    file->text = std::strchr(mode, 'b') == nullptr;
    file->capacity = file->length = file->position = 0;
    file->name = reinterpret_cast<char16_t*>(static_cast<char*>(room) + sizeof(MemoryFile));
    std::memcpy(file->name, wide, (units + 1) * sizeof(char16_t));
    return file;
}

bool output_add(OutputList& list, MemoryFile* file) {
    OutputNode* node = static_cast<OutputNode*>(std::malloc(sizeof(OutputNode)));
    if (node == nullptr) {
        // The file is not listed yet, so nobody else would free it.
        std::free(file->buffer);
        std::free(file);
        throw std::bad_alloc();
    }
    node->file = file;
    node->next = list.head;
    list.head = list.cursor = node;
    return true;
}

size_t output_write(const void* data, size_t size, size_t count, MemoryFile* file) {
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    size_t total = size * count;
    if (!file->text) {
        store(file, bytes, total);
        return count;
    }
    static const uint8_t crlf[2] = {'\r', '\n'};
    size_t start = 0;
    while (start < total) {
        const void* found = std::memchr(bytes + start, '\n', total - start);
        if (found == nullptr) break;
        const size_t i = static_cast<size_t>(static_cast<const uint8_t*>(found) - bytes);
        store(file, bytes + start, i - start);
        store(file, crlf, 2);
        start = i + 1;
    }
    store(file, bytes + start, total - start);
    return count;
}

int output_putc(int c, MemoryFile* file) {
    uint8_t byte = static_cast<uint8_t>(c);
    // Most bytes land in room the buffer already has: no growth, no line
    // end to widen, so no call is needed.
    if (file->position < file->capacity && (byte != '\n' || !file->text)) {
        file->buffer[file->position++] = byte;
        if (file->length < file->position) file->length = file->position;
        return c;
    }
    output_write(&byte, 1, 1, file);
    return c;
}

namespace {

// Appends v in base 10 or 16 (lower-case digits) behind a minus sign when
// negative, padded on the left to width with zeros (after the sign) or
// spaces (before it), as printf pads.
bool put_number(char* out, size_t& n, size_t room, bool negative, unsigned long long v, unsigned base = 10,
                size_t width = 0, bool zeros = false) {
    char digits[24];
    size_t k = 0;
    if (base == 16) {
        do {
            digits[k++] = "0123456789abcdef"[v & 15];
            v >>= 4;
        } while (v != 0);
    } else {
        do {
            digits[k++] = static_cast<char>('0' + v % 10);
            v /= 10;
        } while (v != 0);
    }
    const size_t sign = negative ? 1 : 0;
    const size_t pad = width > k + sign ? width - k - sign : 0;
    if (pad > room || n + k + sign + pad > room) return false;
    if (!zeros) {
        for (size_t i = 0; i < pad; ++i) out[n++] = ' ';
    }
    if (negative) out[n++] = '-';
    if (zeros) {
        for (size_t i = 0; i < pad; ++i) out[n++] = '0';
    }
    while (k > 0) out[n++] = digits[--k];
    return true;
}

unsigned long long magnitude(long long v) {
    return v < 0 ? 0ull - static_cast<unsigned long long>(v) : static_cast<unsigned long long>(v);
}

// The formats the decompiler writes most (%s, %c, %d, %u, %x with l or ll,
// a 0 flag and a width on numbers, and %%) formatted directly; false for
// anything else, a null string or an overlong result, which vsnprintf then
// formats instead.
bool format_simple(char* out, size_t room, size_t& n, const char* format, va_list args) {
    n = 0;
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            if (n == room) return false;
            out[n++] = *p;
            continue;
        }
        ++p;
        const bool zeros = *p == '0';
        if (zeros) ++p;
        size_t width = 0;
        for (; *p >= '0' && *p <= '9'; ++p) {
            width = width * 10 + static_cast<size_t>(*p - '0');
            if (width > room) return false;
        }
        int longs = 0;
        for (; *p == 'l' && longs < 2; ++p) ++longs;
        const bool plain = !zeros && width == 0 && longs == 0;
        switch (*p) {
            case '%':
                if (!plain || n == room) return false;
                out[n++] = '%';
                break;
            case 'c':
                if (!plain || n == room) return false;
                out[n++] = static_cast<char>(va_arg(args, int));
                break;
            case 's': {
                if (!plain) return false;
                const char* text = va_arg(args, const char*);
                if (text == nullptr) return false;
                const size_t length = std::strlen(text);
                if (length > room - n) return false;
                std::memcpy(out + n, text, length);
                n += length;
                break;
            }
            case 'd': {
                const long long v = longs == 2 ? va_arg(args, long long)
                                    : longs == 1 ? va_arg(args, long)
                                                 : va_arg(args, int);
                if (!put_number(out, n, room, v < 0, magnitude(v), 10, width, zeros)) return false;
                break;
            }
            case 'u':
            case 'x': {
                const unsigned long long v = longs == 2 ? va_arg(args, unsigned long long)
                                             : longs == 1 ? va_arg(args, unsigned long)
                                                          : va_arg(args, unsigned);
                if (!put_number(out, n, room, false, v, *p == 'x' ? 16 : 10, width, zeros)) return false;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

// A short text: copied in place when the buffer has room and no line feed
// needs widening, else written the long way.
void put_short(MemoryFile* file, const char* text, size_t n) {
    if (uint64_t(file->position) + n <= file->capacity && n != 0) {
        uint8_t* to = file->buffer + file->position;
        size_t i = 0;
        for (; i < n && !(file->text && text[i] == '\n'); ++i) to[i] = static_cast<uint8_t>(text[i]);
        if (i == n) {
            file->position += static_cast<uint32_t>(n);
            if (file->length < file->position) file->length = file->position;
            return;
        }
    }
    output_write(text, 1, n, file);
}

}  // namespace

int output_printf(MemoryFile* file, const char* format, ...) {
    char small[512];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    {
        va_list simple;
        va_copy(simple, args);
        size_t length = 0;
        const bool done = format_simple(small, sizeof small - 1, length, format, simple);
        va_end(simple);
        if (done) {
            va_end(args);
            va_end(again);
            put_short(file, small, length);
            return static_cast<int>(length);
        }
    }
    int n = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (n < 0) {
        va_end(again);
        return -1;
    }
    if (static_cast<size_t>(n) < sizeof small) {
        va_end(again);
        output_write(small, 1, static_cast<size_t>(n), file);
        return n;
    }
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(n) + 1));
    if (text == nullptr) {
        va_end(again);
        throw std::bad_alloc();
    }
    std::vsnprintf(text, static_cast<size_t>(n) + 1, format, again);
    va_end(again);
    try {
        output_write(text, 1, static_cast<size_t>(n), file);
    } catch (...) {
        std::free(text);
        throw;
    }
    std::free(text);
    return n;
}

void output_write_plain(const void* data, size_t n, MemoryFile* file) {
    store(file, static_cast<const uint8_t*>(data), n);
}

int output_control_word(MemoryFile* file, const char* word, long long value) {
    char text[64];
    size_t n = std::strlen(word);
    if (n > sizeof text - 24) {
        output_write(word, 1, n, file);
        return static_cast<int>(n) + output_control_word(file, "", value);
    }
    std::memcpy(text, word, n);
    put_number(text, n, sizeof text, value < 0, magnitude(value));
    put_short(file, text, n);
    return static_cast<int>(n);
}

void output_reserve(MemoryFile* file, uint64_t capacity) {
    capacity = std::min<uint64_t>(capacity, largest_output);
    if (capacity > file->capacity) resize_buffer(file, capacity);
}

int output_seek(MemoryFile* file, uint32_t position) {
    grow_for(file, position);
    file->position = position;
    if (file->length < position) file->length = position;
    return 0;
}

uint32_t output_tell(const MemoryFile* file) { return file->position; }

int output_getc(MemoryFile* file) {
    if (file->position >= file->length) return -1;
    return file->buffer[file->position++];
}

long output_read(MemoryFile* file, void* destination, long count) {
    if (count <= 0 || file->position >= file->length) return 0;
    uint32_t left = file->length - file->position;
    uint32_t n = static_cast<unsigned long>(count) < left ? static_cast<uint32_t>(count) : left;
    std::memcpy(destination, file->buffer + file->position, n);
    file->position += n;
    return n;
}

void output_put_word(MemoryFile* file, uint16_t value) {
    uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    output_write(bytes, 1, 2, file);
}

void output_put_compressed_short(unsigned value, MemoryFile* file) {
    if (value < 128) {
        output_putc(static_cast<int>(value * 2), file);
    } else {
        output_put_word(file, static_cast<uint16_t>(value * 2 + 1));
    }
}

void output_put_compressed_long(MemoryFile* file, uint32_t value) {
    if (value <= 0x7FFF) {
        output_put_word(file, static_cast<uint16_t>(value * 2));
    } else {
        output_put_word(file, static_cast<uint16_t>(value * 2 + 1));
        output_put_word(file, static_cast<uint16_t>(value >> 15));
    }
}

void output_list_free(OutputList& list) {
    while (list.head != nullptr) {
        OutputNode* node = list.head;
        list.head = node->next;
        std::free(node->file->buffer);
        std::free(node->file);
        std::free(node);
    }
    list.cursor = nullptr;
}

size_t output_list_drop_folder(OutputList& list, const char16_t* folder) {
    size_t length = 0;
    while (folder[length]) ++length;
    size_t dropped = 0;
    for (OutputNode** link = &list.head; *link != nullptr;) {
        OutputNode* node = *link;
        size_t same = 0;  // the name may be shorter than the folder
        while (same < length && node->file->name[same] == folder[same]) ++same;
        if (same != length) {
            link = &node->next;
            continue;
        }
        *link = node->next;
        std::free(node->file->buffer);
        std::free(node->file);
        std::free(node);
        ++dropped;
    }
    list.cursor = list.head;
    return dropped;
}
