// File names of exported pictures, as the topic file and [BITMAPS] refer to
// them.
#include "firstpass/picture_names.h"

#include <cstdio>

#include "core/decompile_context.h"

namespace {

// Indexed by the low four bits of the picture kind flags: several pictures
// make a multi-resolution file, hotspots a hypergraphics file.
const char* const extensions[16] = {"???", "mrb", "bmp", "mrb", "wmf", "mrb", "mrb", "mrb",
                                    "shg", "mrb", "shg", "mrb", "shg", "mrb", "shg", "mrb"};

constexpr unsigned rejected_picture = 0xFFFF;

}  // namespace

const char* picture_extension(unsigned flags) { return extensions[flags & 0x0F]; }

const char* picture_file_name(DecompileContext& ctx, unsigned number) {
    char* name = ctx.picture_name;
    const size_t size = sizeof ctx.picture_name;
    if (ctx.picture_table != nullptr && number < static_cast<unsigned>(ctx.picture_table_size) &&
        ctx.picture_table[number] != 0) {
        std::snprintf(name, size, "bm%u.%s", number, picture_extension(ctx.picture_table[number]));
    } else if (number == rejected_picture) {
        ctx.missing_bitmap = true;
        std::fputs("There was a picture file rejected on creation of helpfile.\n", stderr);
        std::snprintf(name, size, "missing.bmp");
    } else {
        ctx.had_problems = true;
        std::fprintf(stderr, "Bitmap bm%u not exported\n", number);
        std::snprintf(name, size, "bm%u.bmp", number);
    }
    return name;
}

void write_bitmaps_section(DecompileContext& ctx, MemoryFile* project) {
    output_puts("[BITMAPS]\n", project);
    for (int32_t n = 0; n < ctx.picture_table_size && ctx.picture_table != nullptr; ++n)
        if (ctx.picture_table[n] != 0)
            output_printf(project, "bm%u.%s\n", static_cast<unsigned>(n), picture_extension(ctx.picture_table[n]));
    output_puts("\n", project);
}
