// The [MACROS] section: index keywords that run a macro (topic offset -1 in
// their |KWDATA list) with the macro and title |Rose keeps under the
// keyword's hash.
#include "project/keyword_macros.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_hash.h"
#include "project/context_map.h"

namespace {

constexpr long rose_text_limit = 4096;  // macros and titles hold at most 4095 characters

struct RoseEntry {
    uint32_t hash;
    long macro;  // offsets into the text pool
    long title;
};

// |Rose read once, ordered by hash and within a hash in file order, so every
// macro keyword finds its entries without walking the whole tree again.
struct RoseIndex {
    bool loaded;
    RoseEntry* entries;  // tracked
    long count;
    long capacity;
    char* texts;  // tracked pool of NUL-terminated strings
    long text_length;
    long text_capacity;
};

long append_text(DecompileContext& ctx, RoseIndex& rose, const char* text) {
    long size = static_cast<long>(std::strlen(text)) + 1;
    if (rose.text_length + size > rose.text_capacity) {
        rose.text_capacity = std::max(rose.text_capacity * 2, rose.text_length + size + 1024);
        rose.texts = static_cast<char*>(tracked_realloc(ctx, rose.texts, rose.text_capacity));
    }
    long at = rose.text_length;
    std::memcpy(rose.texts + at, text, static_cast<size_t>(size));
    rose.text_length += size;
    return at;
}

void add_rose_entry(DecompileContext& ctx, RoseIndex& rose, uint32_t hash, const char* macro, const char* title) {
    if (rose.count == rose.capacity) {
        rose.capacity = rose.capacity ? rose.capacity * 2 : 64;
        rose.entries = static_cast<RoseEntry*>(
            tracked_realloc(ctx, rose.entries, rose.capacity * static_cast<long>(sizeof(RoseEntry))));
    }
    RoseEntry entry{hash, append_text(ctx, rose, macro), 0};
    entry.title = append_text(ctx, rose, title);
    rose.entries[rose.count++] = entry;
}

// Walks |Rose from its tree header and leaves the stream where it was.
void load_rose(DecompileContext& ctx, std::FILE* file, long rose_start, long rose_length, RoseIndex& rose) {
    long resume = std::ftell(file);
    std::fseek(file, rose_start, SEEK_SET);
    char* macro = static_cast<char*>(tracked_malloc(ctx, 2 * rose_text_limit));
    char* title = macro + rose_text_limit;
    BTreeWalk walk;
    for (int count = btree_first_leaf(ctx, walk, file, nullptr, rose_length, "|Rose"); count != 0;
         count = btree_next_leaf(ctx, walk, file)) {
        for (int i = 0; i < count; ++i) {
            check_entry_room(file, walk.data_end, 4);
            uint32_t hash = read_dword(file);
            read_entry_string(file, walk.data_end, macro, rose_text_limit);
            read_entry_string(file, walk.data_end, title, rose_text_limit);
            add_rose_entry(ctx, rose, hash, macro, title);
        }
    }
    tracked_free(ctx, macro);
    std::stable_sort(rose.entries, rose.entries + rose.count,
                     [](const RoseEntry& a, const RoseEntry& b) { return a.hash < b.hash; });
    rose.loaded = true;
    std::fseek(file, resume, SEEK_SET);
}

void write_macros_of(const RoseIndex& rose, const char* keyword, uint32_t hash, MemoryFile* project) {
    const RoseEntry* begin = rose.entries;
    const RoseEntry* end = begin + rose.count;
    const RoseEntry* p = std::lower_bound(begin, end, hash,
                                          [](const RoseEntry& e, uint32_t h) { return e.hash < h; });
    for (; p < end && p->hash == hash; ++p) {
        output_printf(project, "%s\n%s\n", keyword, rose.texts + p->macro);
        output_printf(project, "%s\n", rose.texts + p->title);
    }
}

bool runs_macro(const uint8_t* data, long start, uint16_t count) {
    for (long k = 0; k < count; ++k) {
        if (get_le32(data + 4 * (start + k)) == 0xFFFFFFFFu) return true;
    }
    return false;
}

}  // namespace

void write_keyword_macros(DecompileContext& ctx, std::FILE* file, MemoryFile* project) {
    long rose_length = 0;
    if (!find_internal_file(ctx, file, &rose_length, "|Rose")) return;
    long rose_start = std::ftell(file);
    long data_length = 0;
    if (!find_internal_file(ctx, file, &data_length, "|KWDATA")) return;
    uint8_t* data = read_internal_file(ctx, file, data_length);
    long data_entries = data_length / 4;
    long tree_length = 0;
    if (find_internal_file(ctx, file, &tree_length, "|KWBTREE")) {
        output_puts("[MACROS]\n", project);
        RoseIndex rose{};
        BTreeWalk walk;
        KeywordEntry entry;
        for (int count = btree_first_leaf(ctx, walk, file, nullptr, tree_length, "|KWBTREE"); count != 0;
             count = btree_next_leaf(ctx, walk, file)) {
            for (int i = 0; i < count; ++i) {
                read_keyword_entry(file, walk.data_end, entry);
                // As a context hash, except that the empty keyword hashes to 0.
                uint32_t hash = entry.keyword[0] ? context_hash(entry.keyword) : 0;
                long start = keyword_list_start(ctx, entry, data_entries);
                if (start < 0 || !runs_macro(data, start, entry.count)) continue;
                // |Rose is read on the first macro keyword only, so a file
                // without any never depends on it.
                if (!rose.loaded) load_rose(ctx, file, rose_start, rose_length, rose);
                write_macros_of(rose, entry.keyword, hash, project);
            }
        }
        output_puts("\n", project);
        if (rose.entries) tracked_free(ctx, rose.entries);
        if (rose.texts) tracked_free(ctx, rose.texts);
    }
    tracked_free(ctx, data);
}
