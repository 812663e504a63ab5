#include "driver/decompile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/first_pass.h"
#include "firstpass/picture_names.h"
#include "firstpass/pictures.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/contents_file.h"
#include "project/context_map.h"
#include "project/keyword_macros.h"
#include "project/system_file.h"
#include "render/render_topics.h"
#include "topics/fonts.h"
#include "topics/phrases.h"
#include "topics/title_offsets.h"
#include "topics/topic_reader.h"

namespace {

constexpr int name_buffer_size = 260;

MemoryFile* create_listed(DecompileContext& ctx, const char* name, const char* mode) {
    MemoryFile* file = output_open(name, mode);
    output_add(ctx.outputs, file);
    return file;
}

void output_name(const DecompileContext& ctx, const char* suffix, char* name) {
    std::snprintf(name, name_buffer_size, "%s%s", ctx.base_name, suffix);
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
        std::printf("hlpunpack had problems with %s. Rebuilt helpfile may behave bad.\n", ctx.help_file_name);
    }
    if (ctx.compiler_name[0]) {
        if (ctx.winhelp4 && find_internal_file(ctx, help_file, nullptr, "|Petra")) {
            std::strncat(ctx.compiler_name, " /a", sizeof ctx.compiler_name - std::strlen(ctx.compiler_name) - 1);
        }
        std::printf("Use %s %s to recompile ", ctx.compiler_name, project_name);
        std::puts("helpfile.");
    }
}

}  // namespace

// The steps run in this order so that each one's inputs are ready before it.
bool decompile_help_file(DecompileContext& ctx, std::FILE* help_file) {
    if (!find_internal_file(ctx, help_file, nullptr, nullptr)) return false;
    load_system_file(ctx, help_file);
    // A damaged file whose topic data is gone has nothing left to recover.
    if (ctx.salvage && damage_noted(ctx) && !find_internal_file(ctx, help_file, nullptr, "|TOPIC"))
        fatal_error("No topic data left to recover.\n");
    std::fprintf(stderr, "Decompiling %s...\n", ctx.help_title);
    load_context_map(ctx, help_file);
    if (ctx.salvage && !ctx.old_format)
        salvage_step(ctx, "|TTLBTREE", "topic offsets after dropped records counted on as they come",
                     [&] { load_title_offsets(ctx, help_file); });
    phrase_table_load(ctx, help_file);
    export_bitmap_files(ctx, help_file);
    std::fputs("Pass 1...\n", stderr);
    first_pass(ctx, help_file);
    note_untrusted_phrase_uses(ctx);
    std::fputs("\n", stderr);
    if (!ctx.old_format && ctx.guess_context_ids) {
        salvage_step(ctx, "|KWBTREE", "context names guessed from titles and keywords, from the damage on",
                     [&] { guess_context_names(ctx, help_file); });
    }

    char name[name_buffer_size];
    char project_name[name_buffer_size];
    output_name(ctx, ctx.mediaview ? ".mvp" : ".hpj", project_name);
    MemoryFile* project = create_listed(ctx, project_name, "wt");
    output_name(ctx, ".ico", name);
    salvage_step(ctx, "|SYSTEM", "project sections from a damaged record on",
                 [&] { write_project_options(ctx, help_file, project, name); });
    write_contents_copy(ctx);
    salvage_step(ctx, "directory", "[BAGGAGE] files from the damage on",
                 [&] { write_baggage(ctx, help_file, project); });
    if (!ctx.mediaview) write_alias_section(ctx, project);
    output_name(ctx, ".ph", name);
    phrase_file_write(ctx, name);

    char topic_name[name_buffer_size];
    topic_file_name(ctx, topic_name);
    MemoryFile* topics = create_listed(ctx, topic_name, "wt");
    // The rich text comes to a few times the stored topic text: room for it
    // up front spares copying a large buffer at every doubling. The topic
    // text counted is what the help file holds, whatever its directory says.
    const int64_t file_size = std::ftell(help_file) + int64_t(bytes_left_in_file(help_file));
    const int64_t held = std::min<int64_t>(std::max(ctx.topic_file_size, 0), file_size);
    output_reserve(topics, 4 * uint64_t(held));
    rtf_header_write(ctx, project, help_file, topics);
    std::fputs("Pass 2...\n", stderr);
    output_printf(project, "[FILES]\n%s\n\n", topic_name);
    output_puts("}", topic_to_rtf(ctx, help_file, topics));
    topic_release_kept_blocks(ctx);
    std::fputs("\n", stderr);

    ctx.map_undefined = false;
    salvage_step(ctx, "|CTXOMAP", "[MAP] entries from the damage on",
                 [&] { write_map_section(ctx, help_file, project); });
    if (ctx.old_format && ctx.picture_table_size > 0) write_bitmaps_section(ctx, project);
    if (ctx.winhelp4) {
        salvage_step(ctx, "|Rose", "[MACROS] keyword macros from the damage on",
                     [&] { write_keyword_macros(ctx, help_file, project); });
    }

    write_damage_report(ctx);
    write_closing_notes(ctx, help_file, project_name);
    return true;
}
