// [WINDOWS], [CONFIG] and the per-window [CONFIG:n] sections.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/project_sections.h"

namespace {

constexpr uint16_t winhelp_window_length = 90;

enum WindowFlags : uint16_t {
    has_name = 0x0002,
    has_caption = 0x0004,
    has_x = 0x0008,
    has_y = 0x0010,
    has_width = 0x0020,
    has_height = 0x0040,
    has_scroll_colour = 0x0100,
    has_fixed_colour = 0x0200,
    placement_1 = 0x0400,
    placement_2 = 0x0800,
};

void write_colour(MemoryFile* project, const SystemRecord* r, long offset) {
    output_printf(project, "(%d,%d,%d)", record_byte(r, offset), record_byte(r, offset + 1), record_byte(r, offset + 2));
}

void write_winhelp_window(const SystemRecord* r, MemoryFile* project) {
    uint16_t flags = static_cast<uint16_t>(record_short(r, 0));
    if (flags & has_name) output_puts(record_string(r, 12), project);
    output_puts("=", project);
    if (flags & has_caption) output_printf(project, "\"%s\"", record_string(r, 21));
    output_puts(",", project);
    if (flags & (has_x | has_y | has_width | has_height)) {
        output_puts("(", project);
        if (flags & has_x) output_printf(project, "%d", record_short(r, 72));
        output_puts(",", project);
        if (flags & has_y) output_printf(project, "%d", record_short(r, 74));
        output_puts(",", project);
        if (flags & has_width) output_printf(project, "%d", record_short(r, 76));
        output_puts(",", project);
        if (flags & has_height) output_printf(project, "%d", record_short(r, 78));
        output_puts(")", project);
    }
    output_puts(",", project);
    int16_t maximize = record_short(r, 80);
    if (maximize) output_printf(project, "%u", static_cast<unsigned>(int32_t(maximize)));
    output_puts(",", project);
    if (flags & has_scroll_colour) write_colour(project, r, 82);
    output_puts(",", project);
    if (flags & has_fixed_colour) write_colour(project, r, 86);
    if ((flags & placement_2) && (flags & placement_1)) {
        output_puts(",f3", project);
    } else if (flags & placement_2) {
        output_puts(",f2", project);
    } else if (flags & placement_1) {
        output_puts(",1", project);
    }
    output_puts("\n", project);
}

void write_mediaview_window(const SystemRecord* r, MemoryFile* project) {
    output_printf(project, "%s=\"%s\"", record_string(r, 12), record_string(r, 21));
    output_printf(project, ",(%d,%d,%d,%d,%d),(0)", record_short(r, 73), record_short(r, 75), record_short(r, 77),
                  record_short(r, 79), record_short(r, 81));
    output_puts(",", project);
    write_colour(project, r, 83);
    output_puts(",", project);
    write_colour(project, r, 116);
    output_puts(",", project);
    write_colour(project, r, 112);
    output_printf(project, ",(%d,%d,%d,%d,0),(1,%d,%d),(0),(1)\n", record_short(r, 120), record_short(r, 122),
                  record_short(r, 124), record_short(r, 126), record_short(r, 128), record_short(r, 130));
}

// "SPC(n)rest" stores a colour as one number; the compiler wants its bytes.
bool write_spc_config(const char* text, MemoryFile* project) {
    if (std::strncmp(text, "SPC(", 4) != 0) return false;
    char* end = nullptr;
    long long number = std::strtoll(text + 4, &end, 10);
    if (end == text + 4 || *end != ')') return false;
    uint32_t value = static_cast<uint32_t>(number);
    output_printf(project, "SPC(%u,%u,%u)%s\n", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF, end + 1);
    return true;
}

}  // namespace

void write_windows_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    output_puts("[WINDOWS]\n", project);
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        if (r->type != 6) continue;
        if (r->length == winhelp_window_length) {
            write_winhelp_window(r, project);
        } else {
            write_mediaview_window(r, project);
        }
    }
    output_puts("\n", project);
}

void write_config_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    output_puts("[CONFIG]\n", project);
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        if (r->type != 4) continue;
        const char* text = system_record_text(r);
        if (!write_spc_config(text, project)) output_printf(project, "%s\n", text);
    }
    output_puts("\n", project);
}

void write_window_config_sections(DecompileContext& ctx, std::FILE* file, MemoryFile* project, int window_count) {
    for (int j = 0; j < window_count; ++j) {
        char name[24];
        std::snprintf(name, sizeof name, "|CF%d", j);
        long size = 0;
        if (!find_internal_file(ctx, file, &size, name)) continue;
        output_printf(project, "[CONFIG:%d]\n", j);
        // A size beyond the help file would count empty strings read at its
        // end for as long as the size says.
        size = std::min(size, bytes_left_in_file(file));
        long end = std::ftell(file) + size;
        for (long used = 0; used < size;) {
            used += read_string_inside(file, end, ctx.scratch, sizeof ctx.scratch) + 1;
            output_printf(project, "%s\n", ctx.scratch);
        }
        output_puts("\n", project);
    }
}
