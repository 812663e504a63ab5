// Copying help-file data into output files, in chunks so that no buffer
// is sized from the file.
#include <cstdint>

#include "core/memory_file.h"
#include "helpfile/byte_stream.h"

long output_copy_from_file(std::FILE* help_file, long count, MemoryFile* file) {
    if (count <= 0) return 0;
    uint8_t chunk[512];
    for (long left = count; left > 0;) {
        long n = left < 512 ? left : 512;
        my_fread(n, help_file, chunk);
        output_write(chunk, static_cast<size_t>(n), 1, file);
        left -= n;
    }
    return count;
}

long output_copy_from_stream(ByteStream* stream, long count, MemoryFile* file) {
    if (count < 1) return 0;
    uint8_t chunk[512] = {};
    for (long left = count; left > 0;) {
        long n = left < 512 ? left : 512;
        stream->read_block(stream, chunk, n);
        output_write(chunk, static_cast<size_t>(n), 1, file);
        left -= n;
    }
    return count;
}
