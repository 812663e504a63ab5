// Running picture export in tests and looking at what it wrote.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "firstpass/pictures.h"
#include "helpfile/byte_stream.h"
#include "helpfile_fixture.h"
#include "picture_builder.h"
#include "project/context_hash.h"

inline std::string entry_name(const MemoryFile* file) {
    std::string name;
    for (const char16_t* p = file->name; *p; ++p) name += static_cast<char>(*p);
    return name;
}

inline hlptest::Bytes contents(const MemoryFile* file) {
    return hlptest::Bytes(file->buffer, file->buffer + file->length);
}

// Output files of a context, oldest first.
inline std::vector<const MemoryFile*> outputs(const DecompileContext& ctx) {
    std::vector<const MemoryFile*> files;
    for (const OutputNode* node = ctx.outputs.head; node; node = node->next) files.insert(files.begin(), node->file);
    return files;
}

inline const MemoryFile* find_output(const DecompileContext& ctx, const std::string& name) {
    for (const MemoryFile* file : outputs(ctx))
        if (entry_name(file) == name) return file;
    return nullptr;
}

struct Exported {
    unsigned flags = 0;
    std::string name;  // the name buffer afterwards
    std::string errors;
    hlptest::Bytes bytes;  // the newest output file, if one was written
};

// picture_export over a memory stream of the bytes, under the base name.
inline Exported export_picture(DecompileContext& ctx, hlptest::Bytes data, const char* base = "bm1") {
    Exported e;
    char name[32];
    std::strcpy(name, base);
    const OutputNode* before = ctx.outputs.head;
    ByteStream* stream = stream_open_buffer(ctx, data.data(), static_cast<long>(data.size()));
    testing::internal::CaptureStderr();
    e.flags = picture_export(ctx, name, stream);
    e.errors = testing::internal::GetCapturedStderr();
    tracked_free(ctx, stream);
    e.name = name;
    if (ctx.outputs.head != before) e.bytes = contents(ctx.outputs.head->file);
    return e;
}

// The fatal message of exporting the bytes.
inline std::string export_failure(DecompileContext& ctx, hlptest::Bytes data) {
    return fatal_output([&] {
        char name[32] = "bm1";
        ByteStream* stream = stream_open_buffer(ctx, data.data(), static_cast<long>(data.size()));
        picture_export(ctx, name, stream);
    });
}

inline bool knows_name(const DecompileContext& ctx, const std::string& name) {
    for (int32_t i = 0; i < ctx.context_name_count; ++i)
        if (name == ctx.context_names[i].name) return true;
    return false;
}

// A checkerboard-like pattern with runs, so that both packers have work.
inline unsigned test_pattern(uint32_t x, uint32_t y) { return (x / 3 + y) % 5 == 0 ? 0 : (x * 7 + y * 3) / 4; }
