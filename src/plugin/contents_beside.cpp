#include "plugin/contents_beside.h"

#include <cstdint>
#include <cstdio>

#include "core/decompile_context.h"
#include "platform/platform.h"

void load_contents_beside(DecompileContext& ctx, const char16_t* path) {
    std::FILE* file = platform::open_beside(path, ".cnt");
    if (file == nullptr) return;
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    std::rewind(file);
    if (size < 0 || size > largest_contents_file) {
        if (size > largest_contents_file)
            std::fprintf(stderr, "The contents file beside %s is larger than %ld bytes; it is left out.\n",
                         ctx.help_file_name, largest_contents_file);
        std::fclose(file);
        return;
    }
    uint8_t* bytes = nullptr;
    try {
        bytes = static_cast<uint8_t*>(tracked_malloc(ctx, size + 1));
    } catch (...) {
        std::fclose(file);
        throw;
    }
    // A file that shrank meanwhile keeps what could be read.
    ctx.contents_file_size = static_cast<int32_t>(std::fread(bytes, 1, static_cast<size_t>(size), file));
    ctx.contents_file = bytes;
    std::fclose(file);
}
