#include "driver/decompile.h"

#include <cstdio>
#include <cstring>

#include "helpfile/container.h"
#include "plugin/decompile_context.h"

namespace {

constexpr int name_buffer_size = 260;

MemoryFile* create_listed(DecompileContext& ctx, const char* name, const char* mode) {
    MemoryFile* file = output_open(name, mode);
    output_add(ctx.outputs, file);
    return file;
}

void write_closing_notes(DecompileContext& ctx, std::FILE* help_file, const char* project_name) {
    if (ctx.phrase_count != 0) {
        std::puts(ctx.winhelp4 ? "Help Compiler will issue Note HC1002: Using existing phrase table"
                               : "Help Compiler will issue Warning 5098: Using old key-phrase table");
    }
    if (ctx.missing_bitmap) std::puts("Help Compiler will issue Error 1230: File 'missing.bmp' not found");
    if (ctx.map_undefined) {
        std::puts("Help Compiler will issue Warning 4098: Context string(s) in [MAP] section not defined in any topic");
    }
    if (ctx.had_problems) {
        std::printf("RETRACER had problems with %s. Rebuilt helpfile may behave bad.\n", ctx.help_file_name);
    }
    if (ctx.compiler_name[0]) {
        if (ctx.winhelp4 && find_internal_file(help_file, nullptr, "|Petra")) {
            std::strncat(ctx.compiler_name, " /a", sizeof ctx.compiler_name - std::strlen(ctx.compiler_name) - 1);
        }
        std::printf("Use %s %s to recompile ", ctx.compiler_name, project_name);
        std::puts("helpfile.");
    }
}

}  // namespace

// The steps run in this order so that each one's inputs are ready before it.
bool decompile_help_file(DecompileContext& ctx, std::FILE* help_file) {
    // 1. The container: nothing is created for a file that is not a help file.
    if (!find_internal_file(help_file, nullptr, nullptr)) return false;
    // 2. |SYSTEM: format flags, block sizes and title.
    std::fprintf(stderr, "Decompiling %s...\n", ctx.help_title);
    // 4. Context map.  5. Phrase tables.  6. Embedded bitmaps.
    std::fputs("Pass 1...\n", stderr);
    // 7. First pass over all topics.
    std::fputs("\n", stderr);
    // 8. Guessing of context names for new-format files.

    // 9. The project file.
    char project_name[name_buffer_size];
    std::snprintf(project_name, sizeof project_name, "%s%s", ctx.base_name, ctx.mediaview ? ".mvp" : ".hpj");
    MemoryFile* project = create_listed(ctx, project_name, "wt");
    // 10. [OPTIONS] and the record sections, and the icon.  11. [BAGGAGE].
    // 12. [ALIAS] unless MediaView.  13. The phrase file.

    // 14. The topic file.
    char topic_name[name_buffer_size];
    std::snprintf(topic_name, sizeof topic_name, "%s.rtf", ctx.base_name);
    MemoryFile* topics = create_listed(ctx, topic_name, "wt");
    // 15. Rich-text header.
    std::fputs("Pass 2...\n", stderr);
    output_printf(project, "[FILES]\n%s\n\n", topic_name);
    // 18. Every topic as rich text, then the group the header opened is closed.
    output_puts("}", topics);
    std::fputs("\n", stderr);
    // 19. [MAP].
    ctx.map_undefined = false;
    // 20. [BITMAPS] for old-format files with pictures.  21. [MACROS] for WinHelp 4.

    write_closing_notes(ctx, help_file, project_name);
    return true;
}
