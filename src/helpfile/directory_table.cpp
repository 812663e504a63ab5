// The table of internal files a salvaged decompile looks names up in: the
// directory read once, every length cut to what the help file holds, and
// the files a damaged directory lost found again from their headers.
#include <algorithm>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "helpfile/directory_rebuild.h"

namespace {


long help_file_size(std::FILE* file) {
    std::fseek(file, 0, SEEK_SET);
    return bytes_left_in_file(file);
}

// Adds the directory's entry for the file whose header is at offset, cut to
// the help file; a file starting past its end is absent. False when the
// entry cannot be right (past the end, or inside the help file header).
bool add_listed(DecompileContext& ctx, std::FILE* file, long size, InternalFileList& list, const char* name,
                uint32_t offset) {
    if (int64_t(offset) + internal_header_size > size) {
        note_damage(ctx, name, -1, "starts at %lu, past the end of the help file; absent",
                    static_cast<unsigned long>(offset));
        return false;
    }
    const long resume = std::ftell(file);
    uint8_t header[internal_header_size];
    std::fseek(file, static_cast<long>(offset), SEEK_SET);
    my_fread(internal_header_size, file, header);
    InternalFileEntry entry{};
    bounded_copy(sizeof entry.name, name, entry.name);
    entry.data_start = static_cast<long>(offset) + internal_header_size;
    const uint32_t used = get_le32(header + 4);
    if (offset < help_header_size) {
        note_damage(ctx, name, -1, "listed at %lu, where no internal file starts; absent",
                    static_cast<unsigned long>(offset));
        std::fseek(file, resume, SEEK_SET);
        return false;
    }
    const long held = size - entry.data_start;
    entry.length = used > uint32_t(held) ? held : static_cast<long>(used);
    if (used > uint32_t(held)) {
        note_damage(ctx, name, entry.length, "cut short by the end of the help file: %ld of %lu bytes remain",
                    entry.length, static_cast<unsigned long>(used));
    }
    internal_file_list_add(ctx, list, entry);
    std::fseek(file, resume, SEEK_SET);
    return true;
}

// A name no help compiler writes: empty, or with bytes outside printable
// ASCII.
bool garbled_name(const char* name) {
    if (!*name) return true;
    for (; *name; ++name) {
        if (static_cast<unsigned char>(*name) < 0x20 || static_cast<unsigned char>(*name) > 0x7E) return true;
    }
    return false;
}

// Reads the directory tree into the list; false when it is damaged or cut
// off, or lists what cannot be right (what was read stays in the list).
bool read_directory(DecompileContext& ctx, std::FILE* file, long size, InternalFileList& list) {
    try {
        long length = 0;
        if (!find_internal_file(file, &length, nullptr)) return false;
        BTreeWalk walk{};
        walk.next_page = -1;
        long total = 0, read = 0;
        bool sound = true;
        // A broken page or header costs the entries it holds: the leaves
        // that can be read are (and the walk then notes what it skipped).
        const long noted = damage_log_length(ctx);
        int count = btree_first_leaf(ctx, walk, file, &total, length, "directory");
        for (; count != 0; count = btree_next_leaf(ctx, walk, file)) {
            for (int i = 0; i < count; ++i) {
                char name[internal_file_name_size];
                read_cstring(name, file, internal_file_name_size);
                const uint32_t offset = read_dword(file);
                if (std::ftell(file) > walk.data_end) fatal_error("B+ tree entries run past their internal file.\n");
                if (garbled_name(name)) {
                    note_damage(ctx, "directory", -1, "an entry with a garbled name, listed at %lu, dropped",
                                static_cast<unsigned long>(offset));
                    sound = false;
                } else if (!add_listed(ctx, file, size, list, name, offset)) {
                    sound = false;
                }
                ++read;
            }
        }
        return sound && read == total && damage_log_length(ctx) == noted;
    } catch (const FatalError&) {
        return false;
    }
}

// An internal-file header that cannot be right: no space reserved, or less
// than it says it uses (a zeroed sector, a flipped bit).
bool header_damaged(std::FILE* file, long header_at) {
    uint8_t header[internal_header_size];
    std::fseek(file, header_at, SEEK_SET);
    if (std::fread(header, 1, internal_header_size, file) != internal_header_size) return false;
    const uint32_t reserved = get_le32(header), used = get_le32(header + 4);
    return reserved == 0 || used > reserved;
}

// Listed files whose own header is damaged end where the next listed file
// begins (or with the help file): the directory's offsets still tell.
void mend_listed_lengths(DecompileContext& ctx, std::FILE* file, long size, InternalFileList& list) {
    if (list.count == 0) return;
    long* starts = static_cast<long*>(tracked_malloc(ctx, list.count * static_cast<long>(sizeof(long))));
    for (long i = 0; i < list.count; ++i) starts[i] = list.items[i].data_start;
    std::sort(starts, starts + list.count);
    for (long i = 0; i < list.count; ++i) {
        InternalFileEntry& entry = list.items[i];
        if (!header_damaged(file, entry.data_start - internal_header_size)) continue;
        const long* next = std::upper_bound(starts, starts + list.count, entry.data_start);
        const long end = next == starts + list.count ? size : *next - internal_header_size;
        entry.length = std::max(0L, end - entry.data_start);
        note_damage(ctx, entry.name, -1, "its own header is damaged; its length (%ld bytes) is taken from where the "
                    "next internal file starts", entry.length);
    }
    tracked_free(ctx, starts);
}

// True when the two names differ in exactly one bit of one letter.
bool one_bit_apart(const char* a, const char* b) {
    int bits = 0;
    for (; *a && *b && bits <= 1; ++a, ++b) bits += __builtin_popcount(static_cast<unsigned char>(*a ^ *b));
    return !*a && !*b && bits == 1;
}

// A listed name one bit away from a name the decompile needs, which the
// directory lacks, is that name with a flipped bit.
void mend_listed_names(DecompileContext& ctx, InternalFileList& list) {
    static const char* const needed[] = {"|SYSTEM",  "|TOPIC",    "|FONT",    "|Phrases", "|PhrIndex", "|PhrImage",
                                         "|CONTEXT", "|CTXOMAP",  "|TTLBTREE", "|TopicId", "|VIOLA",   "|Petra"};
    for (const char* name : needed) {
        if (internal_file_listed(list, name)) continue;
        for (long i = 0; i < list.count; ++i) {
            InternalFileEntry& entry = list.items[i];
            if (!one_bit_apart(entry.name, name)) continue;
            note_damage(ctx, "directory", -1, "the name of %s came out as \"%s\" (a flipped bit)", name, entry.name);
            bounded_copy(sizeof entry.name, name, entry.name);
            break;
        }
    }
}

void rebuild_from_headers(DecompileContext& ctx, std::FILE* file, long size, InternalFileList& list) {
    // The walk reads the help file as one image; its size is the file's own.
    uint8_t* image = static_cast<uint8_t*>(tracked_malloc(ctx, size));
    std::fseek(file, 0, SEEK_SET);
    my_fread(size, file, image);
    rebuild_directory(ctx, image, size, list);
    tracked_free(ctx, image);
}

void load_table(DecompileContext& ctx, std::FILE* file) {
    const long size = help_file_size(file);
    InternalFileList list{nullptr, 0, 0};
    ctx.directory_state = 1;
    bool sound = read_directory(ctx, file, size, list);
    mend_listed_lengths(ctx, file, size, list);
    mend_listed_names(ctx, list);
    // Without |SYSTEM nothing can be read: a directory that lost it is damaged.
    bool has_system = false;
    for (long i = 0; i < list.count; ++i) has_system = has_system || std::strcmp(list.items[i].name, "|SYSTEM") == 0;
    if (!sound || !has_system) {
        note_damage(ctx, "directory", -1,
                    "damaged or cut off; %ld internal files read from it, the rest found by walking the "
                    "internal-file headers",
                    list.count);
        rebuild_from_headers(ctx, file, size, list);
        ctx.directory_state = 2;
    }
    // Name order, as the directory lists them; a name found twice keeps the
    // directory's entry, which comes first.
    std::stable_sort(list.items, list.items + list.count, [](const InternalFileEntry& a, const InternalFileEntry& b) {
        return std::strcmp(a.name, b.name) < 0;
    });
    long kept = 0;
    for (long i = 0; i < list.count; ++i) {
        if (kept > 0 && std::strcmp(list.items[kept - 1].name, list.items[i].name) == 0) continue;
        list.items[kept++] = list.items[i];
    }
    ctx.internal_files = list.items;
    ctx.internal_file_count = static_cast<int32_t>(kept);
}

bool has_help_magic(std::FILE* file) {
    uint8_t raw[help_header_size];
    std::fseek(file, 0, SEEK_SET);
    my_fread(help_header_size, file, raw);
    return get_le32(raw) == help_file_magic;
}

}  // namespace

const InternalFileEntry* internal_file_table(DecompileContext& ctx, std::FILE* file, int32_t* count) {
    *count = 0;
    if (!ctx.salvage || !has_help_magic(file)) return nullptr;
    if (ctx.directory_state == 0) load_table(ctx, file);
    *count = ctx.internal_file_count;
    return ctx.internal_files;
}

bool find_internal_file(DecompileContext& ctx, std::FILE* file, long* length, const char* name) {
    if (!ctx.salvage) return find_internal_file(file, length, name);
    int32_t count = 0;
    const InternalFileEntry* table = internal_file_table(ctx, file, &count);
    if (table == nullptr && !has_help_magic(file)) return false;
    if (name == nullptr) return true;
    const InternalFileEntry* end = table + count;
    const InternalFileEntry* found = std::lower_bound(
        table, end, name, [](const InternalFileEntry& entry, const char* key) { return std::strcmp(entry.name, key) < 0; });
    if (found == end || std::strcmp(found->name, name) != 0) return false;
    std::fseek(file, found->data_start, SEEK_SET);
    if (length) *length = found->length;
    return true;
}
