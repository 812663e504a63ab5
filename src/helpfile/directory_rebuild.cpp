#include "helpfile/directory_rebuild.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

namespace {


// One internal file met on the walk, before it is named.
struct Found {
    long header;  // offset of its 9-byte header
    long data_start;
    long length;  // cut to the image
    bool cut;     // the image ends before its data does
    const char* name;  // null until named
};

struct Walk {
    const uint8_t* image;
    long size;
};

uint32_t le32_at(const Walk& walk, long offset) {
    return offset >= 0 && offset + 4 <= walk.size ? get_le32(walk.image + offset) : 0xFFFFFFFFu;
}

// A header that could start an internal file: its reserved space holds the
// header and the used space (none reserves nothing: zeroed bytes are no
// header), and it starts inside the image.
bool file_header_at(const Walk& walk, long offset) {
    if (offset < help_header_size || offset + internal_header_size > walk.size) return false;
    const uint32_t reserved = le32_at(walk, offset), used = le32_at(walk, offset + 4);
    return reserved > 0 && used <= reserved && walk.image[offset + 8] < 0x80;
}

// A header as help compilers write it, reserving the header and the used
// space exactly: the file after it starts there even when its own header is
// damaged.
bool exact_header_at(const Walk& walk, long offset) {
    return file_header_at(walk, offset) && int64_t(le32_at(walk, offset + 4)) + internal_header_size == le32_at(walk, offset) &&
           int64_t(offset) + le32_at(walk, offset) <= walk.size;
}

// What may follow a file or a free block: another file, a free block (its
// first word is its size), or the end of the image.
bool plausible_next(const Walk& walk, long offset) {
    if (offset + internal_header_size > walk.size) return offset >= walk.size - internal_header_size;
    if (file_header_at(walk, offset)) return true;
    const uint32_t free_size = le32_at(walk, offset);
    return free_size >= 8 && int64_t(offset) + free_size <= walk.size &&
           (int64_t(offset) + free_size + internal_header_size > walk.size ||
            file_header_at(walk, offset + static_cast<long>(free_size)));
}

// Where the file after the one at offset starts: help compilers count the
// header in the reserved space; some writers count only the data.
long following(const Walk& walk, long offset, bool* last) {
    const uint32_t reserved = le32_at(walk, offset), used = le32_at(walk, offset + 4);
    *last = int64_t(offset) + reserved >= walk.size;
    const bool counts_header = reserved >= internal_header_size && used <= reserved - internal_header_size;
    if (counts_header && !*last && plausible_next(walk, offset + long(reserved))) {
        return offset + static_cast<long>(reserved);
    }
    const int64_t after = int64_t(offset) + internal_header_size + reserved;
    *last = after >= walk.size;
    if (*last || plausible_next(walk, static_cast<long>(after))) return static_cast<long>(after);
    if (counts_header && int64_t(offset) + reserved >= walk.size - internal_header_size) {
        *last = true;
        return walk.size;
    }
    return -1;
}

bool structure_is(const uint8_t* data, const char* layout) {
    char text[17];
    std::memcpy(text, data + 6, 16);
    text[16] = '\0';
    return std::strcmp(text, layout) == 0;
}

// The first leaf of a tree held in data: its entry count and first entry
// (null when the pages do not hold it).
const uint8_t* first_leaf(const uint8_t* data, long length, int* count) {
    const uint16_t page_size = get_le16(data + 4);
    int page = static_cast<int16_t>(get_le16(data + 26));
    const int levels = static_cast<int16_t>(get_le16(data + 32));
    const long pages = tree_header_size;
    if (page_size < 8 || levels < 1 || levels > 16) return nullptr;
    for (int level = 1; level <= levels; ++level) {
        const long at = pages + long(page) * page_size;
        if (page < 0 || at + page_size > length) return nullptr;
        if (level < levels) {
            page = static_cast<int16_t>(get_le16(data + at + 4));
        } else {
            *count = static_cast<int16_t>(get_le16(data + at + 2));
            return data + at + 8;
        }
    }
    return nullptr;
}

// Trees keyed by a topic offset with a 4-byte value: the window map holds
// window numbers, the context table topic offsets.
const char* name_l4_tree(const uint8_t* data, long length) {
    int count = 0;
    const uint8_t* entry = first_leaf(data, length, &count);
    if (entry == nullptr || count <= 0) return "|CONTEXT";
    const long room = (data + length - entry) / 8;
    for (long i = 0; i < count && i < room; ++i) {
        if (get_le32(entry + 8 * i + 4) > 0xFF) return "|CONTEXT";
    }
    return "|VIOLA";
}

// Trees keyed by a topic offset with a text: titles, the source file names
// of the project (ending in .rtf) or the context names of the topics.
const char* name_lz_tree(const uint8_t* data, long length, bool have_titles) {
    int count = 0;
    const uint8_t* entry = first_leaf(data, length, &count);
    if (entry != nullptr && count > 0) {
        const uint8_t* end = data + length;
        const uint8_t* text = entry + 4;
        const uint8_t* stop = static_cast<const uint8_t*>(std::memchr(text, 0, static_cast<size_t>(end - text)));
        if (stop != nullptr && stop - text >= 4) {
            char tail[5];
            for (int i = 0; i < 4; ++i) tail[i] = static_cast<char>(stop[i - 4] | 0x20);
            tail[4] = '\0';
            if (std::strcmp(tail, ".rtf") == 0) return "|Petra";
        }
    }
    return have_titles ? "|TopicId" : "|TTLBTREE";
}

bool looks_like_font_file(const uint8_t* data, long length) {
    if (length < 8) return false;
    const long names = get_le16(data), descriptors = get_le16(data + 2);
    const long names_at = get_le16(data + 4), descriptors_at = get_le16(data + 6);
    if (names == 0 || descriptors == 0 || names_at < 8 || names_at > 32 || descriptors_at <= names_at) return false;
    if (descriptors_at > length || (descriptors_at - names_at) % names != 0) return false;
    const long name_size = (descriptors_at - names_at) / names;
    if (name_size < 16 || name_size > 64) return false;
    for (long i = names_at; i < names_at + name_size && data[i]; ++i) {
        if (data[i] < 0x20 || data[i] >= 0x7F) return false;
    }
    return data[names_at] != 0;
}

// Names the directory's own tree, which is not listed.
constexpr const char* directory_mark = "";

struct Names {
    bool system, topic, font, phrases, phrase_index, titles, context, viola, context_map;
    int keyword_trees, text_trees;
    bool old_format;
};

// A topic file whose first block lost its start shows by the next blocks'
// headers: the last topic header before the block, at or before the last
// record link before it, before the block's first record link, all small
// (a block's topic positions grow by 16 or 32 KB at most).
bool later_topic_block_at(const uint8_t* data, long length, long block_size) {
    constexpr int32_t position_step = 0x8000;
    for (long k = 1; k <= 8 && k * block_size + 12 <= length; ++k) {
        const uint8_t* header = data + k * block_size;
        const int32_t last_link = int32_t(get_le32(header)), first_link = int32_t(get_le32(header + 4));
        const int32_t last_header = int32_t(get_le32(header + 8));
        if (last_header >= -1 && last_header <= last_link && last_link >= 0 && last_link < first_link &&
            first_link < int32_t(k + 1) * position_step)
            return true;
    }
    return false;
}

// Names what the content identifies; null for the rest.
const char* name_by_content(Names& seen, const uint8_t* data, long length) {
    if (length >= 4 && get_le16(data) == system_magic && !seen.system) {
        seen.system = true;
        seen.old_format = get_le16(data + 2) < 16;
        return "|SYSTEM";
    }
    if (length >= tree_header_size && get_le16(data) == tree_magic) {
        if (structure_is(data, "z4")) return directory_mark;  // the directory itself
        if (structure_is(data, "L4")) {
            const char* name = name_l4_tree(data, length);
            bool& taken = std::strcmp(name, "|VIOLA") == 0 ? seen.viola : seen.context;
            if (taken) return nullptr;
            taken = true;
            return name;
        }
        if (structure_is(data, "Lz")) {
            if (++seen.text_trees > 3) return nullptr;
            const char* name = name_lz_tree(data, length, seen.titles);
            seen.titles = true;
            return name;
        }
        if (structure_is(data, "F24") || structure_is(data, "i24")) {
            static const char* const trees[] = {"|KWBTREE", "|AWBTREE"};
            return seen.keyword_trees < 2 ? trees[seen.keyword_trees++] : nullptr;
        }
        return nullptr;
    }
    if (length >= 2 && data[0] == 'l' && (data[1] == 'p' || data[1] == 'P')) return "picture";
    if (length >= 12 && get_le32(data) == 0xFFFFFFFFu && get_le32(data + 4) == 12 && !seen.topic) {
        seen.topic = true;
        return "|TOPIC";
    }
    if (!seen.font && looks_like_font_file(data, length)) {
        seen.font = true;
        return "|FONT";
    }
    if (!seen.phrase_index && length >= 28 && get_le32(data) == 1 && get_le32(data + 4) != 0 &&
        get_le32(data + 16) != 0) {
        seen.phrase_index = true;
        return "|PhrIndex";
    }
    if (!seen.phrases && length >= 8 && get_le16(data + 2) == 0x0100 && get_le16(data) != 0 &&
        4 + 2L * get_le16(data) < length) {
        seen.phrases = true;
        return "|Phrases";
    }
    if (!seen.context_map && length >= 2 && length == 2 + 8L * get_le16(data)) {
        seen.context_map = true;
        return "|CTXOMAP";
    }
    if (!seen.topic && (later_topic_block_at(data, length, 4096) || later_topic_block_at(data, length, 2048))) {
        seen.topic = true;
        return "|TOPIC";
    }
    return nullptr;
}

bool listed_at(const long* starts, long count, long data_start) {
    long low = 0, high = count;
    while (low < high) {
        const long middle = low + (high - low) / 2;
        if (starts[middle] < data_start) low = middle + 1;
        else high = middle;
    }
    return low < count && starts[low] == data_start;
}

// Picture numbers the directory still names, one bit each.
constexpr unsigned picture_numbers = 0x10000;

void mark_listed_pictures(const InternalFileList& list, uint8_t* taken) {
    for (long i = 0; i < list.count; ++i) {
        const char* digits = list.items[i].name;
        if (*digits == '|') ++digits;
        if (std::strncmp(digits, "bm", 2) != 0) continue;
        unsigned long n = 0;
        for (digits += 2; *digits >= '0' && *digits <= '9' && n < picture_numbers; ++digits) n = n * 10 + (*digits - '0');
        if (n < picture_numbers) taken[n / 8] |= uint8_t(1u << (n % 8));
    }
}

bool name_taken(const InternalFileList& list, const char* name) { return internal_file_listed(list, name); }

// The keyword data and map lie just before their tree: a map is a count and
// 6-byte entries, the data 4-byte topic offsets.
void name_keyword_neighbours(const Walk& walk, Found* found, long index, char letter, char* names, long& used) {
    if (index < 2 || found[index - 1].name || found[index - 2].name) return;
    const Found& map = found[index - 1];
    const Found& data = found[index - 2];
    if (map.length < 2 || map.length != 2 + 6L * get_le16(walk.image + map.data_start) || data.length % 4 != 0) return;
    char* map_name = names + used;
    std::snprintf(map_name, 8, "|%cWMAP", letter);
    char* data_name = names + used + 8;
    std::snprintf(data_name, 8, "|%cWDATA", letter);
    used += 16;
    found[index - 1].name = map_name;
    found[index - 2].name = data_name;
}

}  // namespace

bool internal_file_listed(const InternalFileList& list, const char* name) {
    for (long i = 0; i < list.count; ++i) {
        if (std::strcmp(list.items[i].name, name) == 0) return true;
    }
    return false;
}

void internal_file_list_add(DecompileContext& ctx, InternalFileList& list, const InternalFileEntry& file) {
    if (list.count == list.capacity) {
        list.capacity = list.capacity * 2 + 16;
        list.items = static_cast<InternalFileEntry*>(
            tracked_realloc(ctx, list.items, list.capacity * static_cast<long>(sizeof(InternalFileEntry))));
    }
    list.items[list.count++] = file;
}

namespace {

// The internal files found by walking their headers from the start of the
// image. Grown as files are found: every one takes at least its 9-byte
// header, so there are never more than the image has room for.
struct FoundFiles {
    Found* items;
    long count;
    long capacity;
    long skipped_bytes;
};

// Where, past `after`, the next header lies whose reserved space leads to
// another header that leads on in turn: a file the walk can go on from (a
// chain of two is seldom met by chance in a file's data). The walk only moves
// forward, so the search goes on where it stopped (-1: none to the end).
struct NextSound {
    long searched;  // offsets before this one hold none past the last find
    long found;
};

long next_sound_header(const Walk& walk, long after, NextSound& cache) {
    if (cache.found > after) return cache.found;
    for (long offset = std::max(after + 1, cache.searched); offset + internal_header_size <= walk.size; ++offset) {
        bool last = false;
        if (!file_header_at(walk, offset) || le32_at(walk, offset) < internal_header_size || !le32_at(walk, offset + 4))
            continue;
        const long next = following(walk, offset, &last);
        if (next >= 0 && !last && file_header_at(walk, next) && le32_at(walk, next + 4) &&
            following(walk, next, &last) >= 0) {
            cache = {offset + 1, offset};
            return offset;
        }
    }
    cache = {walk.size, -1};
    return -1;
}

// A header that claims to reach the end of the image, while sound headers
// follow, is damaged: the last file is the one after which none does.
bool false_last(const Walk& walk, long offset, NextSound& cache) { return next_sound_header(walk, offset, cache) >= 0; }

FoundFiles walk_file_headers(DecompileContext& ctx, const Walk& walk) {
    FoundFiles found{nullptr, 0, 64, 0};
    NextSound sound{0, -1};
    found.items = static_cast<Found*>(tracked_malloc(ctx, found.capacity * static_cast<long>(sizeof(Found))));
    const long size = walk.size;
    for (long offset = help_header_size; offset + internal_header_size <= size;) {
        const uint32_t reserved = le32_at(walk, offset);
        bool last = false;
        long next = file_header_at(walk, offset) ? following(walk, offset, &last) : -1;
        if (next < 0 && exact_header_at(walk, offset)) {
            next = offset + long(reserved);
            last = next >= size;
        }
        if (next >= 0 && last && false_last(walk, offset, sound)) next = -1;
        if (next >= 0) {
            if (found.count == found.capacity) {
                found.capacity *= 2;
                found.items = static_cast<Found*>(
                    tracked_realloc(ctx, found.items, found.capacity * static_cast<long>(sizeof(Found))));
            }
            Found& file = found.items[found.count++];
            file.header = offset;
            file.data_start = offset + internal_header_size;
            const uint32_t used = le32_at(walk, offset + 4);
            file.cut = used > uint32_t(size - file.data_start);
            file.length = file.cut ? size - file.data_start : static_cast<long>(used);
            file.name = nullptr;
            if (last) break;
            offset = next;
            continue;
        }
        if (reserved >= 8 && int64_t(offset) + reserved < size && file_header_at(walk, offset + long(reserved))) {
            offset += static_cast<long>(reserved);  // a free block
            continue;
        }
        // Past bytes that hold no header, a header met by chance in the
        // damaged data could lead the walk past sound files: it goes on at
        // the next header that a second one confirms.
        const long resume = next_sound_header(walk, offset, sound);
        const long skipped = (resume < 0 ? size : resume) - offset;
        found.skipped_bytes += skipped;
        offset += skipped;
    }
    return found;
}

// Names the files found by their content; returns the phrase image's size
// the phrase index gives (0 when none).
uint32_t name_found_files(const Walk& walk, FoundFiles& found, const InternalFileList& list, const long* starts,
                          long listed_count, char* made, Names& seen) {
    for (long i = 0; i < list.count; ++i) {
        const char* name = list.items[i].name;
        if (std::strcmp(name, "|SYSTEM") == 0) seen.system = true;
        if (std::strcmp(name, "|TOPIC") == 0) seen.topic = true;
        if (std::strcmp(name, "|FONT") == 0) seen.font = true;
    }
    long made_used = 0;
    uint32_t image_length = 0;
    for (long i = 0; i < found.count; ++i) {
        Found& file = found.items[i];
        const char* name = name_by_content(seen, walk.image + file.data_start, file.length);
        if (listed_at(starts, listed_count, file.data_start)) {
            // A file the directory lists under another name keeps it; only a
            // name the help file cannot do without is added beside it.
            const bool essential = name && *name && std::strcmp(name, "picture") != 0 && !name_taken(list, name);
            file.name = essential ? name : directory_mark;
            continue;
        }
        if (name == nullptr) continue;
        file.name = name;
        if (!*name) continue;
        if (std::strcmp(name, "|PhrIndex") == 0) image_length = get_le32(walk.image + file.data_start + 16);
        if (std::strcmp(name, "|KWBTREE") == 0) name_keyword_neighbours(walk, found.items, i, 'K', made, made_used);
        if (std::strcmp(name, "|AWBTREE") == 0) name_keyword_neighbours(walk, found.items, i, 'A', made, made_used);
    }
    return image_length;
}

// The entry of one named file found; false when it is not added.
bool found_entry(DecompileContext& ctx, const InternalFileList& list, const Found& file, uint8_t* taken,
                 unsigned& next_picture, bool old_format, InternalFileEntry& entry) {
    if (std::strcmp(file.name, "picture") == 0) {
        // The number is lost: the next one no listed picture has.
        while (next_picture < picture_numbers && (taken[next_picture / 8] & (1u << (next_picture % 8)))) {
            ++next_picture;
        }
        if (next_picture >= picture_numbers) return false;
        std::snprintf(entry.name, sizeof entry.name, "%sbm%u", old_format ? "" : "|", next_picture);
        ++next_picture;
        ++ctx.renumbered_pictures;
        note_damage(ctx, "directory", file.header, "picture found without its name, exported as %s",
                    entry.name + (entry.name[0] == '|' ? 1 : 0));
        return true;
    }
    if (name_taken(list, file.name)) return true;
    bounded_copy(sizeof entry.name, file.name, entry.name);
    note_damage(ctx, "directory", file.header, "%s found by its content (%ld bytes)", entry.name, file.length);
    return true;
}

}  // namespace

void rebuild_directory(DecompileContext& ctx, const uint8_t* image, long size, InternalFileList& list) {
    const Walk walk{image, size};
    FoundFiles found = walk_file_headers(ctx, walk);
    long* starts = static_cast<long*>(tracked_malloc(ctx, (list.count + 1) * static_cast<long>(sizeof(long))));
    for (long i = 0; i < list.count; ++i) starts[i] = list.items[i].data_start;
    std::sort(starts, starts + list.count);
    const long listed_count = list.count;
    uint8_t* taken = static_cast<uint8_t*>(tracked_malloc(ctx, picture_numbers / 8));
    std::memset(taken, 0, picture_numbers / 8);
    mark_listed_pictures(list, taken);
    // Names made up here live in one tracked block: a keyword tree names two
    // neighbours, of at most 8 bytes each.
    char* made = static_cast<char*>(tracked_malloc(ctx, found.count * 16 + 16));
    Names seen{};
    const uint32_t image_length = name_found_files(walk, found, list, starts, listed_count, made, seen);
    const bool old_format = seen.old_format;
    bool image_named = name_taken(list, "|PhrImage");
    long unnamed = 0;
    unsigned next_picture = 0;
    for (long i = 0; i < found.count; ++i) {
        Found& file = found.items[i];
        if (file.name && !*file.name) continue;  // listed by the directory, or the directory itself
        if (file.name == nullptr && image_length != 0 && file.length == long(image_length) && !image_named) {
            file.name = "|PhrImage";
            image_named = true;
        }
        InternalFileEntry entry{};
        if (file.name == nullptr || !found_entry(ctx, list, file, taken, next_picture, old_format, entry)) {
            if (file.name != nullptr || file.length > 0) ++unnamed;
            continue;
        }
        if (!entry.name[0]) continue;  // its name is taken
        entry.data_start = file.data_start;
        entry.length = file.length;
        internal_file_list_add(ctx, list, entry);
        if (file.cut) {
            note_damage(ctx, entry.name, file.length, "cut short by the end of the help file: %ld of %lu bytes remain",
                        file.length, static_cast<unsigned long>(le32_at(walk, file.header + 4)));
        }
    }
    if (unnamed > 0) {
        note_damage(ctx, "directory", -1, "%ld internal files found whose content does not tell their name; skipped",
                    unnamed);
    }
    if (found.skipped_bytes > 0) {
        note_damage(ctx, "directory", -1, "%ld bytes hold no readable internal-file header", found.skipped_bytes);
    }
    tracked_free(ctx, taken);
    tracked_free(ctx, starts);
    tracked_free(ctx, made);
    tracked_free(ctx, found.items);
}
