// Pictures shared between topics are internal files |bm1, |bm2, ... (bm1,
// bm2, ... in old-format files). Each is exported as bmN with its extension
// and recorded in the picture table under its number.
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "core/entry_name.h"
#include "firstpass/pictures.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

namespace {

// Topics refer to pictures by 16-bit numbers: no table entry beyond this
// could ever be asked for.
constexpr unsigned long highest_picture_number = 0xFFFF;
constexpr long directory_name_limit = 20;  // 19 characters and the NUL

// The number after the prefix (its leading digits; 0 when there are none),
// or false when it lies beyond the highest picture number.
bool picture_number(const char* digits, unsigned* number) {
    unsigned long n = 0;
    for (; *digits >= '0' && *digits <= '9'; ++digits) {
        n = n * 10 + static_cast<unsigned long>(*digits - '0');
        if (n > highest_picture_number) return false;
    }
    *number = static_cast<unsigned>(n);
    return true;
}

void record_picture(DecompileContext& ctx, unsigned number, unsigned flags) {
    if (number >= static_cast<unsigned>(ctx.picture_table_size)) {
        long size = static_cast<long>(number) + 1;
        ctx.picture_table = static_cast<uint8_t*>(tracked_realloc(ctx, ctx.picture_table, size));
        std::memset(ctx.picture_table + ctx.picture_table_size, 0,
                    static_cast<size_t>(size - ctx.picture_table_size));
        ctx.picture_table_size = static_cast<int32_t>(size);
    }
    ctx.picture_table[number] = static_cast<uint8_t>(flags);
}

long file_size(std::FILE* file) {
    long here = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    long size = std::ftell(file);
    std::fseek(file, here, SEEK_SET);
    return size;
}

void export_one(DecompileContext& ctx, std::FILE* file, const char* entry, size_t prefix_length) {
    long length = 0;
    if (!find_internal_file(ctx, file, &length, entry)) return;
    const long start = std::ftell(file);
    // The picture may not read past its internal file, nor past the help file.
    int64_t end = int64_t(start) + (length < 0 ? 0 : length);
    const long size = file_size(file);
    if (end > size) end = size;

    char name[directory_name_limit + 8];
    bounded_copy(directory_name_limit, entry[0] == '|' ? entry + 1 : entry, name);
    // The internal file's name becomes the entry's name: it must stay a plain
    // file name ("|bm1/../../x" would otherwise leave the host's folder).
    make_safe_entry_name(name, sizeof name);
    ByteStream* stream = stream_open_file(ctx, file);
    unsigned flags = picture_export_within(ctx, name, stream, static_cast<long>(end));
    tracked_free(ctx, stream);
    if (flags == 0) return;
    unsigned number = 0;
    if (!picture_number(entry + prefix_length, &number)) {
        std::fprintf(stderr, "Picture %s has a number beyond %lu; topics cannot refer to it.\n", name,
                     highest_picture_number);
        return;
    }
    record_picture(ctx, number, flags);
}

}  // namespace

void export_bitmap_files(DecompileContext& ctx, std::FILE* file) {
    const char* prefix = ctx.old_format ? "bm" : "|bm";
    const size_t prefix_length = std::strlen(prefix);
    if (ctx.salvage) {
        int32_t count = 0;
        const InternalFileEntry* table = internal_file_table(ctx, file, &count);
        for (int32_t i = 0; i < count; ++i) {
            if (std::strncmp(table[i].name, prefix, prefix_length) == 0) {
                export_one(ctx, file, table[i].name, prefix_length);
            }
        }
        return;
    }
    long directory_length = 0;
    if (!find_internal_file(ctx, file, &directory_length, nullptr)) return;
    BTreeWalk walk{};
    walk.next_page = -1;
    long total = 0;
    int count = btree_first_leaf(walk, file, &total, directory_length);
    if (total == 0) return;
    for (;;) {
        for (int i = 0; i < count; ++i) {
            char entry[directory_name_limit];
            read_cstring(entry, file, directory_name_limit);
            read_dword(file);
            if (std::ftell(file) > walk.data_end) fatal_error("B+ tree entries run past their internal file.\n");
            if (std::strncmp(entry, prefix, prefix_length) != 0) continue;
            const long resume = std::ftell(file);
            export_one(ctx, file, entry, prefix_length);
            std::fseek(file, resume, SEEK_SET);
        }
        if (walk.next_page == -1) break;
        count = btree_next_leaf(walk, file);
    }
}
