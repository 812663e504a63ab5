// The [ALIAS] and [MAP] sections of the project file.
#include <cstdio>

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_hash.h"
#include "project/context_map.h"

namespace {

constexpr long map_entry_size = 8;

}  // namespace

void write_alias_section(DecompileContext& ctx, MemoryFile* project) {
    bool any = false;
    int32_t main_id = 0;
    for (int32_t i = 0; i < ctx.context_count; ++i) {
        if (i == 0 || ctx.contexts[i].topic_offset != ctx.contexts[i - 1].topic_offset) {
            main_id = i;
            continue;
        }
        if (!any) {
            std::fputs("Creating [ALIAS] section...\n", stderr);
            output_puts("[ALIAS]\n", project);
            any = true;
        }
        // Two writes: a synthetic name lasts only until the next unhash.
        output_printf(project, "%s=", unhash(ctx, ctx.contexts[i].hash));
        output_printf(project, "%s\n", unhash(ctx, ctx.contexts[main_id].hash));
    }
    if (any) output_puts("\n", project);
}

void write_map_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    long length = 0;
    if (!find_internal_file(ctx, file, &length, "|CTXOMAP") || length < 2) return;
    uint16_t count = read_word(file);
    if (count == 0) return;
    // A count beyond the file's end is cut to the entries it holds: the map
    // is written after the topic file, which a damaged map should not cost.
    long fitting = (length - 2) / map_entry_size;
    if (count > fitting) ctx.had_problems = true;
    long entries = count < fitting ? count : fitting;
    std::fputs("Creating [MAP] section...\n", stderr);
    output_puts("[MAP]\n", project);
    for (long i = 0; i < entries; ++i) {
        uint8_t raw[map_entry_size];
        my_fread(map_entry_size, file, raw);
        long map_number = static_cast<int32_t>(get_le32(raw));
        int32_t topic_offset = static_cast<int32_t>(get_le32(raw + 4));
        const char* name = topic_offset_name(ctx, topic_offset);
        if (name) {
            output_printf(project, "%s %ld\n", name, map_number);
        } else {
            output_printf(project, "TOPIC%08lx %ld\n", static_cast<unsigned long>(static_cast<uint32_t>(topic_offset)),
                          map_number);
        }
    }
    output_puts("\n", project);
}
