// [FTINDEX] with its word-list files, [DLLMAPS] and [KEYINDEX].
#include <cstring>

#include "core/decompile_context.h"
#include "core/entry_name.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/project_sections.h"

namespace {

constexpr long word_list_header_size = 40;
constexpr int fulltext_words = 5;

// Splits at runs of spaces, in place; answers the number of words found.
int split_words(char* text, char* words[fulltext_words]) {
    int n = 0;
    char* p = text;
    while (n < fulltext_words) {
        while (*p == ' ') ++p;
        if (*p == '\0') break;
        words[n++] = p;
        while (*p && *p != ' ') ++p;
        if (*p) *p++ = '\0';
    }
    return n;
}

bool already_extracted(const DecompileContext& ctx, const char* name) {
    for (int32_t i = 0; i < ctx.fulltext_count; ++i) {
        if (std::strcmp(ctx.fulltext_files[i], name) == 0) return true;
    }
    return false;
}

void remember_extracted(DecompileContext& ctx, const char* name) {
    ctx.fulltext_files = static_cast<char**>(
        tracked_realloc(ctx, ctx.fulltext_files, (ctx.fulltext_count + 1L) * long(sizeof(char*))));
    ctx.fulltext_files[ctx.fulltext_count++] = tracked_strdup(ctx, name);
}

// The word list as one word a line; entries that would run past the
// internal file end it.
void extract_word_list(DecompileContext& ctx, std::FILE* file, long size, const char* output_name) {
    MemoryFile* out = output_open(output_name, "wt");
    output_add(ctx.outputs, out);
    if (size < word_list_header_size) return;
    long end = std::ftell(file) + size;
    uint8_t header[word_list_header_size];
    my_fread(word_list_header_size, file, header);
    long total = get_le16(header + 4);
    for (long used = 0; used < total;) {
        if (std::ftell(file) + 1 > end) break;
        uint8_t length = 0;
        my_fread(1, file, &length);
        if (std::ftell(file) + length > end) break;
        char word[256];
        my_fread(length, file, word);
        word[length] = '\0';
        output_printf(out, "%s\n", word);
        used += length + 1;
    }
}

void write_ftindex_line(DecompileContext& ctx, std::FILE* file, MemoryFile* project, char* text) {
    char* words[fulltext_words];
    int n = split_words(text, words);
    if (n == 0) return;
    output_printf(project, "dtype%s", words[0]);
    if (n > 1) output_printf(project, "=%s", words[1]);
    if (n > 2) output_printf(project, "!%s", words[2]);
    if (n > 3) {
        // The word names the internal file; the entry drops its first
        // character and must stay a plain file name.
        char* output_name = ctx.scratch;
        bounded_copy(sizeof ctx.scratch, words[3] + 1, output_name);
        // No name left: the line names nothing and nothing is extracted.
        if (output_name[0]) make_safe_entry_name(output_name, sizeof ctx.scratch);
        output_printf(project, ",%s", output_name);
        long size = 0;
        if (output_name[0] && !already_extracted(ctx, words[3]) && find_internal_file(ctx, file, &size, words[3])) {
            remember_extracted(ctx, words[3]);
            extract_word_list(ctx, file, size, output_name);
        }
        if (n > 4) output_printf(project, ",%s", words[4]);
    }
    output_puts("\n", project);
}

const char* dll_map_string(const SystemRecord* r, long& offset) {
    const char* text = record_string(r, offset);
    if (offset < r->length) offset += static_cast<long>(std::strlen(text)) + 1;
    return text;
}

}  // namespace

void write_ftindex_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    output_puts("[FTINDEX]\n", project);
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        if (r->type == 12) write_ftindex_line(ctx, file, project, reinterpret_cast<char*>(r->data));
    }
    output_puts("\n", project);
}

void write_dllmaps_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    output_puts("[DLLMAPS]\n", project);
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        if (r->type != 19) continue;
        // Strings missing from a short record are empty.
        long offset = 0;
        const char* s[5];
        for (const char*& text : s) text = dll_map_string(r, offset);
        // MediaView's own libraries are implied.
        if (!std::strcmp(s[0], "MVMCI") || !std::strcmp(s[0], "MVIMAGE") || !std::strcmp(s[0], "MVBRKR")) continue;
        output_printf(project, "%s=%s,%s,%s,%s\n", s[0], s[1], s[2], s[3], s[4]);
    }
    output_puts("\n", project);
}

void write_keyindex_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    output_puts("[KEYINDEX]\n", project);
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        if (r->type == 14) output_printf(project, "keyword=%c,\"%s\"\n", record_byte(r, 1), record_string(r, 30));
    }
    output_puts("\n", project);
}
