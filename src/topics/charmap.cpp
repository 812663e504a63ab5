#include "topics/charmap.h"

#include <cstring>

#include "core/decompile_context.h"
#include "core/entry_name.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

namespace {

// The character table every MediaView title carries; it is not a map the
// project names.
constexpr const char* builtin_table = "|MVCHARTAB,0";
constexpr long charmap_header_size = 40;
constexpr long charmap_entry_size = 10;

// The record's name part: the internal file's own name.
void record_name(const char* record, char (&name)[charmap_record_size + 1]) {
    std::strcpy(name, record);
    if (char* comma = std::strchr(name, ',')) *comma = '\0';
}

// The name under which the map is listed, in the project and as an entry:
// it comes from the help file, so it must stay a plain file name.
void record_entry_name(const char* record, char (&name)[charmap_record_size + 1]) {
    record_name(record, name);
    make_safe_entry_name(name, sizeof name);
}

bool is_map_record(const char* record) {
    return std::strchr(record, ',') != nullptr && std::strcmp(record, builtin_table) != 0;
}

void dump_charmap(DecompileContext& ctx, std::FILE* file, long length, const char* entry_name) {
    uint8_t header[charmap_header_size];
    my_fread(charmap_header_size, file, header);
    // Counts larger than the file holds are cut to what it holds, so the
    // dump stays consistent with its own counts.
    long left = length - charmap_header_size;
    long entries = get_le16(header + 8);
    if (entries > left / charmap_entry_size) entries = left / charmap_entry_size;
    left -= entries * charmap_entry_size;
    long rows = get_le16(header + 10);
    long row_length = get_le16(header + 12);
    if (row_length > 0 && rows > left / row_length) rows = left / row_length;

    MemoryFile* out = output_open(entry_name, "wt");
    output_add(ctx.outputs, out);
    output_printf(out, "%ld,\n", entries);
    for (long i = 0; i < entries; ++i) {
        uint8_t e[charmap_entry_size];
        my_fread(charmap_entry_size, file, e);
        output_printf(out, "%5u,%5u,%3u,%3u,%3u,%3u,\n", get_le16(e), get_le16(e + 2), e[4], e[5], e[6], e[7]);
    }
    output_printf(out, "%ld,\n", rows);
    uint8_t* row = rows > 0 && row_length > 0 ? static_cast<uint8_t*>(tracked_malloc(ctx, row_length)) : nullptr;
    for (long i = 0; i < rows; ++i) {
        my_fread(row_length, file, row);
        for (long j = 0; j < row_length; ++j) output_printf(out, "%3u,", row[j]);
        output_putc('\n', out);
    }
    if (row) tracked_free(ctx, row);
}

}  // namespace

void charmap_write_font_line(MemoryFile* project, const CharMapRecord* records, int count, const char* font_name,
                             const char* suffix, bool& section_started) {
    for (int i = 0; i < count; ++i) {
        const char* comma = std::strchr(records[i], ',');
        if (comma == nullptr || std::strcmp(comma + 1, suffix) != 0 || std::strcmp(records[i], builtin_table) == 0)
            continue;
        if (!section_started) output_puts("[CHARMAP]\n", project);
        section_started = true;
        char name[charmap_record_size + 1];
        record_entry_name(records[i], name);
        if (std::strcmp(comma + 1, "0") == 0) {
            output_printf(project, "DEFAULT=%s\n", name);
        } else {
            output_printf(project, "%s=%s\n", font_name, name);
        }
        return;
    }
}

void charmap_write_files(DecompileContext& ctx, std::FILE* file, const CharMapRecord* records, int count) {
    for (int i = 0; i < count; ++i) {
        if (!is_map_record(records[i])) continue;
        char name[charmap_record_size + 1];
        record_name(records[i], name);
        long length = 0;
        // A missing map, or one too short for its header, is left out.
        if (!find_internal_file(ctx, file, &length, name) || length < charmap_header_size) continue;
        make_safe_entry_name(name, sizeof name);
        dump_charmap(ctx, file, length, name);
    }
}
