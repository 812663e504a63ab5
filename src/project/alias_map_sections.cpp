// The [ALIAS] and [MAP] sections of the project file.
#include <algorithm>
#include <cstdio>
#include <vector>

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

long read_map_entries(DecompileContext& ctx, std::FILE* file, std::vector<MapEntry>& entries, bool within_help_file) {
    entries.clear();
    long length = 0;
    if (!find_internal_file(ctx, file, &length, "|CTXOMAP") || length < 2) return 0;
    const uint16_t count = read_word(file);
    // A count beyond the file's end is cut to the entries it holds.
    long fitting = (length - 2) / map_entry_size;
    if (within_help_file) {
        const long start = std::ftell(file);
        std::fseek(file, 0, SEEK_END);
        const long left = std::ftell(file) - start;
        std::fseek(file, start, SEEK_SET);
        if (start < 0 || left < 0) return 0;
        fitting = std::min(fitting, left / map_entry_size);
    }
    const long wanted = count < fitting ? count : fitting;
    entries.reserve(static_cast<size_t>(wanted));
    for (long i = 0; i < wanted; ++i) {
        uint8_t raw[map_entry_size];
        my_fread(map_entry_size, file, raw);
        entries.push_back(MapEntry{static_cast<int32_t>(get_le32(raw)), static_cast<int32_t>(get_le32(raw + 4))});
    }
    return count;
}

void write_map_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    std::vector<MapEntry> entries;
    const long count = read_map_entries(ctx, file, entries, false);
    if (count == 0) return;
    // The map is written after the topic file, which a damaged map should not cost.
    if (count > static_cast<long>(entries.size())) ctx.had_problems = true;
    std::fputs("Creating [MAP] section...\n", stderr);
    output_puts("[MAP]\n", project);
    for (const MapEntry& entry : entries) {
        const long map_number = entry.number;
        const char* name = topic_offset_name(ctx, entry.topic_offset);
        if (name) {
            output_printf(project, "%s %ld\n", name, map_number);
        } else {
            output_printf(project, "TOPIC%08lx %ld\n",
                          static_cast<unsigned long>(static_cast<uint32_t>(entry.topic_offset)), map_number);
        }
    }
    output_puts("\n", project);
}
