// [BAGGAGE]: the user files a help file carries, each extracted unchanged.
#include <cstring>
#include <string>
#include <unordered_set>

#include "core/decompile_context.h"
#include "core/entry_name.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "platform/platform.h"
#include "project/project_sections.h"
#include "project/system_file.h"

namespace {

constexpr long directory_name_limit = 20;  // at most 19 characters
constexpr long directory_offset_size = 4;

// Files of the format itself, pictures of the oldest format and MediaView's
// group and table files are recreated from their sources, not carried.
bool is_baggage(const DecompileContext& ctx, const char* name) {
    // An empty name could not be extracted as an entry of its own.
    if (name[0] == '\0' || name[0] == '|') return false;
    if (ctx.old_format && name[0] == 'b' && name[1] == 'm') return false;
    return std::strstr(name, ".GRP") == nullptr && std::strstr(name, ".TBL") == nullptr;
}

// A directory entry: the name and the 4-byte offset, both inside the tree.
void read_directory_entry(std::FILE* file, const BTreeWalk& walk, char* name) {
    read_string_inside(file, walk.data_end, name, directory_name_limit);
    if (std::ftell(file) + directory_offset_size > walk.data_end) {
        fatal_error("B+ tree entries run past their internal file.\n");
    }
    std::fseek(file, directory_offset_size, SEEK_CUR);
}

// Entry names already listed, case folded as Windows compares them.
using TakenNames = std::unordered_set<std::u16string>;

std::u16string folded_name(const char16_t* name) {
    std::u16string folded(name);
    for (char16_t& c : folded)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + (u'a' - u'A'));
    return folded;
}

TakenNames listed_names(const DecompileContext& ctx) {
    TakenNames taken;
    for (const OutputNode* node = ctx.outputs.head; node != nullptr; node = node->next)
        taken.insert(folded_name(node->file->name));
    return taken;
}

// The decompiler's own names (pictures, the project) win over a baggage
// file's: one named like them ("bm1.mrb") is extracted as "bm1~2.mrb".
void claim_baggage_name(TakenNames& taken, char* safe, size_t capacity) {
    const std::string name = safe;
    const size_t dot = name.rfind('.') == 0 ? std::string::npos : name.rfind('.');
    const std::string stem = name.substr(0, dot), extension = dot == std::string::npos ? "" : name.substr(dot);
    char16_t wide[memory_file_name_units];
    for (unsigned n = 2;; ++n) {
        platform::ansi_to_wide(safe, wide, memory_file_name_units);
        if (taken.insert(folded_name(wide)).second) return;
        const std::string next = stem + "~" + std::to_string(n) + extension;
        if (next.size() >= capacity) return;  // cannot happen: names are short
        std::memcpy(safe, next.c_str(), next.size() + 1);
    }
}

bool extract_baggage(DecompileContext& ctx, std::FILE* file, MemoryFile* project, const char* name, bool started,
                     TakenNames& taken) {
    long length = 0;
    if (!find_internal_file(ctx, file, &length, name)) return started;
    if (!started) output_puts("[BAGGAGE]\n", project);
    // The name becomes an entry name, so it must stay a plain file name; the
    // project line names the file as it is extracted.
    char safe[directory_name_limit + 16];
    std::strcpy(safe, name);
    make_safe_entry_name(safe, sizeof safe);
    claim_baggage_name(taken, safe, sizeof safe);
    output_printf(project, "%s\n", safe);
    MemoryFile* out = output_open(safe, "wb");
    output_add(ctx.outputs, out);
    output_copy_from_file(file, length, out);
    return true;
}

}  // namespace

void write_baggage(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    if (project == nullptr) return;
    bool started = false;
    TakenNames taken = listed_names(ctx);
    if (ctx.salvage) {
        int32_t count = 0;
        const InternalFileEntry* table = internal_file_table(ctx, file, &count);
        for (int32_t i = 0; i < count; ++i) {
            if (is_baggage(ctx, table[i].name)) started = extract_baggage(ctx, file, project, table[i].name, started, taken);
        }
        if (started) output_puts("\n", project);
        return;
    }
    long length = 0;
    if (!find_internal_file(ctx, file, &length, nullptr)) return;
    BTreeWalk walk{};
    for (int n = btree_first_leaf(walk, file, nullptr, length); n; n = btree_next_leaf(walk, file)) {
        for (int i = 0; i < n; ++i) {
            char name[directory_name_limit];
            read_directory_entry(file, walk, name);
            if (!is_baggage(ctx, name)) continue;
            long position = std::ftell(file);
            started = extract_baggage(ctx, file, project, name, started, taken);
            std::fseek(file, position, SEEK_SET);
        }
    }
    if (started) output_puts("\n", project);
}
