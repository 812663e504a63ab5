// [GROUPS]: MediaView groups with their membership, the browse sequences of
// the MediaView 2 compiler, and the entry and exit macros of |GMACROS.
#include <algorithm>
#include <cstring>

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/project_sections.h"

namespace {

constexpr long group_header_size = 40;
constexpr long macro_record_header = 8;

int32_t header_long(const uint8_t* header, int offset) { return static_cast<int32_t>(get_le32(header + offset)); }

// The membership bitmap is read as far as its file holds it; the size in the
// header is cut to that, so the topics past it count as not in the group
// (their bits zero) and nothing is allocated that the file does not hold.
uint8_t* read_group_bitmap(DecompileContext& ctx, std::FILE* file, long available, uint8_t* header) {
    const int32_t size = header_long(header, 4);
    if (size <= 0) return nullptr;
    int32_t held = size;
    if (size > available) {
        held = static_cast<int32_t>(std::max(available, 0L));
        std::fprintf(stderr, "Group bitmap of %ld bytes cut to the %ld its file holds.\n", static_cast<long>(size),
                     static_cast<long>(held));
        ctx.had_problems = true;
        header[4] = static_cast<uint8_t>(held);
        header[5] = static_cast<uint8_t>(held >> 8);
        header[6] = static_cast<uint8_t>(held >> 16);
        header[7] = static_cast<uint8_t>(held >> 24);
        if (held == 0) return nullptr;
    }
    uint8_t* bitmap = static_cast<uint8_t*>(tracked_malloc(ctx, held));
    my_fread(held, file, bitmap);
    return bitmap;
}

// A group file shorter than its header reads as zeros past its end.
void read_group_file(DecompileContext& ctx, std::FILE* file, long size, GroupEntry& entry) {
    long n = size < group_header_size ? (size > 0 ? size : 0) : group_header_size;
    my_fread(n, file, entry.header);
    if (header_long(entry.header, 24) == 2) {
        const long available = std::min(size - n, bytes_left_in_file(file));
        entry.bitmap = read_group_bitmap(ctx, file, available, entry.header);
    }
}

void write_group_line(DecompileContext& ctx, std::FILE* file, MemoryFile* project, char* text, GroupEntry& entry) {
    char* rest = std::strchr(text, ' ');
    if (rest) *rest++ = '\0';
    long size = 0;
    bool found = find_internal_file(ctx, file, &size, text);
    char* dot = std::strchr(text, '.');
    if (dot) *dot = '\0';
    // A title of "" is what the compiler writes for a group without one.
    if (rest == nullptr || std::strcmp(rest, "\"\" ") == 0) {
        output_printf(project, "group=%s\n", text);
    } else {
        output_printf(project, "group=%s,%s\n", text, rest);
    }
    entry.name = tracked_strdup(ctx, text);
    // The lookup left the stream at the group file's first byte.
    if (found) read_group_file(ctx, file, size, entry);
}

void write_group_lines(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    ctx.groups = tracked_new_array<GroupEntry>(ctx, ctx.group_count);
    std::memset(ctx.groups, 0, sizeof(GroupEntry) * size_t(ctx.group_count));
    int32_t i = 0;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        if (r->type != 13 || i >= ctx.group_count) continue;
        write_group_line(ctx, file, project, reinterpret_cast<char*>(r->data), ctx.groups[i++]);
    }
}

// Macro text of a |GMACROS record into the scratch buffer; a text the buffer
// cannot hold is cut there and the problem remembered.
void write_macro_text(DecompileContext& ctx, std::FILE* file, MemoryFile* project, const char* format,
                      long position, long length) {
    long n = length;
    if (n >= long(sizeof ctx.scratch)) {
        n = sizeof ctx.scratch - 1;
        ctx.had_problems = true;
    }
    std::fseek(file, position, SEEK_SET);
    my_fread(n, file, ctx.scratch);
    ctx.scratch[n] = '\0';
    output_printf(project, format, ctx.scratch);
}

void write_group_macros(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    long size = 0;
    if (!find_internal_file(ctx, file, &size, "|GMACROS")) return;
    long start = std::ftell(file);
    for (long position = 4; position + macro_record_header <= size;) {
        std::fseek(file, start + position, SEEK_SET);
        uint8_t raw[macro_record_header];
        my_fread(macro_record_header, file, raw);
        long length = static_cast<int32_t>(get_le32(raw));
        long exit_offset = static_cast<int32_t>(get_le32(raw + 4));
        if (exit_offset <= 0) exit_offset = length;
        // A record running past the file ends the list like a malformed one.
        if (length < macro_record_header || length < exit_offset || length > size - position) break;
        if (exit_offset > macro_record_header) {
            write_macro_text(ctx, file, project, "entry=%s\n", start + position + macro_record_header,
                             exit_offset - macro_record_header);
        }
        if (length > exit_offset) {
            write_macro_text(ctx, file, project, "exit=%s\n", start + position + exit_offset, length - exit_offset);
        }
        position += length;
    }
}

}  // namespace

void write_groups_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    output_puts("[GROUPS]\n", project);
    if (ctx.mediaview && ctx.group_count > 0) write_group_lines(ctx, file, project);
    if (ctx.minor_27) {
        for (int32_t i = 1; i <= ctx.browse_count; ++i) output_printf(project, "group=BROWSE%04x\n", unsigned(i));
    }
    write_group_macros(ctx, file, project);
    output_puts("\n", project);
}
