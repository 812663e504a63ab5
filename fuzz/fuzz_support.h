// What the fuzz targets share: a fresh decompile context per input, and the
// input as a read-only stream the readers can seek in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "core/decompile_context.h"

// The context is too large for the stack of a fuzzer thread; every input
// gets a cleared one, released (with all it allocated) at the end.
struct FuzzContext {
    DecompileContext* ctx;
    FuzzContext() : ctx(new DecompileContext) { context_init(*ctx); }
    ~FuzzContext() {
        context_release(*ctx);
        delete ctx;
    }
    FuzzContext(const FuzzContext&) = delete;
    FuzzContext& operator=(const FuzzContext&) = delete;
};

// A stdio stream over a copy of the bytes (fmemopen refuses an empty buffer,
// so an empty input gets a temporary file).
struct MemoryStream {
    std::vector<uint8_t> copy;
    std::FILE* file = nullptr;
    MemoryStream(const uint8_t* data, size_t size) : copy(data, data + size) {
        file = size ? fmemopen(copy.data(), copy.size(), "rb") : std::tmpfile();
        if (file == nullptr) std::abort();
    }
    ~MemoryStream() { std::fclose(file); }
    MemoryStream(const MemoryStream&) = delete;
    MemoryStream& operator=(const MemoryStream&) = delete;
};

// Reads the input front to back; running out yields zeros, so every input
// means something.
struct InputReader {
    const uint8_t* data;
    size_t left;
    uint8_t byte() {
        if (left == 0) return 0;
        --left;
        return *data++;
    }
    uint16_t word() {
        unsigned low = byte();
        return static_cast<uint16_t>(low | (byte() << 8));
    }
    // A part of at most n bytes.
    std::vector<uint8_t> part(size_t n) {
        if (n > left) n = left;
        std::vector<uint8_t> out(data, data + n);
        data += n;
        left -= n;
        return out;
    }
    std::vector<uint8_t> rest() { return part(left); }
};

// Touches every byte of every output, so that a length beyond what was
// written shows up under AddressSanitizer.
inline unsigned long checksum_outputs(const DecompileContext& ctx) {
    unsigned long sum = 0;
    for (const OutputNode* node = ctx.outputs.head; node; node = node->next) {
        const MemoryFile* file = node->file;
        if (file->length > file->capacity) std::abort();
        for (uint32_t i = 0; i < file->length; ++i) sum = sum * 31 + file->buffer[i];
    }
    return sum;
}
