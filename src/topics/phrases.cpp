#include "topics/phrases.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <vector>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "helpfile/lz77.h"
#include "helpfile/lz77_trace.h"
#include "topics/phrase_recovery.h"

namespace {

constexpr long phrase_index_header_size = 28;
constexpr uint16_t phrases_version = 0x0100;
constexpr uint16_t mediaview_phrases_marker = 0x0800;
constexpr long mediaview_reserved_size = 30;
// One LZ77 control byte and eight 2-byte references give 8 x 18 bytes from
// 17: no compressed data expands by more than this factor.
constexpr int64_t lz77_expansion_limit = 9;
// Phrases and literal runs up to this length are copied as one fixed-size
// move where source and destination have the room.
constexpr long overcopy = 32;

// Reads from an internal file without passing its end: what lies beyond
// belongs to another internal file.
struct BoundedReader {
    std::FILE* file;
    long left;

    void read(void* destination, long count) {
        if (count > left) fatal_error("my_fread(%ld) at %ld failed", count, std::ftell(file));
        my_fread(count, file, destination);
        left -= count;
    }
    uint16_t word() {
        uint8_t raw[2];
        read(raw, 2);
        return get_le16(raw);
    }
    uint32_t dword() {
        uint8_t raw[4];
        read(raw, 4);
        return get_le32(raw);
    }
};

void check_expanded_size(int64_t expanded, int64_t stored, bool compressed) {
    int64_t limit = compressed ? stored * lz77_expansion_limit : stored;
    if (expanded > limit) {
        fatal_error("Phrase texts of %ld bytes cannot come from %ld stored bytes", static_cast<long>(expanded),
                    static_cast<long>(stored));
    }
}

// Fills the phrase texts from the stream; whatever the data does not reach
// stays zero rather than undefined. A compressed image is read whole and
// handed back (tracked) for check_phrase_image; otherwise null.
uint8_t* read_phrase_texts(DecompileContext& ctx, std::FILE* file, long expanded, long stored, bool compressed) {
    // The slack behind the texts lets expansion copy short phrases in
    // fixed-size moves.
    const long room = expanded + 1 + overcopy;
    ctx.phrase_texts = static_cast<char*>(tracked_malloc(ctx, room));
    std::memset(ctx.phrase_texts, 0, static_cast<size_t>(room));
    ctx.phrase_text_room = static_cast<uint32_t>(room);
    if (stored <= 0) return nullptr;
    if (!compressed) {
        lz77_expand_to_buffer(ctx, expanded, 0, file, stored, ctx.phrase_texts);
        return nullptr;
    }
    uint8_t* image = static_cast<uint8_t*>(tracked_malloc(ctx, stored));
    my_fread(stored, file, image);
    lz77_expand_buffer(ctx, image, stored, reinterpret_cast<uint8_t*>(ctx.phrase_texts), expanded, nullptr);
    return image;
}

// A compressed image must expand to exactly the texts' size and end with its
// last item: anything else is damage in the image, and with salvage the
// phrases it leaves unsound are flagged. Frees the image.
void check_phrase_image(DecompileContext& ctx, uint8_t* image, long stored, long expanded, const char* image_name,
                        uint8_t* untrusted) {
    if (image == nullptr) return;
    const Lz77Extent extent = lz77_measure(image, stored);
    if (extent.produced != expanded || !extent.whole_items) {
        damage_found(ctx, image_name, -1, "the phrase texts expand to %lld bytes instead of %ld%s",
                     static_cast<long long>(extent.produced), expanded,
                     extent.whole_items ? "" : ", ending inside a back reference");
        recover_phrase_image(ctx, image, stored, static_cast<uint32_t>(expanded), untrusted);
    }
    tracked_free(ctx, image);
}

// The offsets must run from the texts' start to their end without going
// back. With salvage, unsound entries are mended and their phrases flagged.
void check_offsets(DecompileContext& ctx, uint32_t text_size, uint8_t* untrusted) {
    const uint32_t count = ctx.phrase_count;
    for (uint32_t i = 0; i < count; ++i) {
        if (ctx.phrase_offsets[i] > ctx.phrase_offsets[i + 1] || ctx.phrase_offsets[i + 1] > text_size) {
            damage_found(ctx, "|Phrases", -1, "Phrase %u lies outside the phrase texts", i);
            mend_phrase_offsets(ctx.phrase_offsets, count, text_size, untrusted);
            return;
        }
    }
    if (ctx.phrase_offsets[0] != 0 || ctx.phrase_offsets[count] != text_size) {
        damage_found(ctx, "|Phrases", -1, "the phrase offsets span %u to %u of phrase texts of %u bytes",
                     ctx.phrase_offsets[0], ctx.phrase_offsets[count], text_size);
        mend_phrase_offsets(ctx.phrase_offsets, count, text_size, untrusted);
    }
}

// One flag a phrase, for salvage to set where damage leaves a phrase unsound.
uint8_t* new_trust_flags(DecompileContext& ctx, uint32_t count) {
    uint8_t* flags = static_cast<uint8_t*>(tracked_malloc(ctx, int64_t(count) + 1));
    std::memset(flags, 0, size_t(count) + 1);
    return flags;
}

// Marks the flagged phrases in the texts and notes which they are. A phrase
// holding a control character was zeroed or garbled: stored texts tell so
// and nothing else.
void settle_trust(DecompileContext& ctx, const char* internal_file, uint8_t* untrusted) {
    if (const uint32_t garbled = flag_control_characters(ctx, untrusted); garbled > 0)
        damage_found(ctx, internal_file, -1, "%u phrases hold control characters, which no phrase has", garbled);
    uint32_t first = 0, last = 0, in_place = 0;
    const uint32_t count = mark_untrusted_phrases(ctx, untrusted, first, last, in_place);
    if (count == 0) {
        tracked_free(ctx, untrusted);
        return;
    }
    char in_part[80] = "";
    if (in_place > 0)
        std::snprintf(in_part, sizeof in_part, ", %u of them sound in part with ? for each letter in doubt", in_place);
    note_damage(ctx, internal_file, -1, "phrases %u to %u (%u of %u) cannot be trusted and are written as [?]%s", first,
                last, count, ctx.phrase_count, in_part);
}

// Lengths that do not add up are mended where the texts show the wrong one
// (phrases after it read out of order), else every phrase from the first
// out of order on is flagged. A damaged image makes the texts past its
// damage read out of order too, hiding the wrong length: the image is then
// read past its damage first, by the lengths as they are (right up to the
// wrong one), the lengths mended by the texts that gives, and the texts put
// back as they came, for the image's own check to read again by the mended
// lengths.
void mend_lengths(DecompileContext& ctx, const uint8_t* image, long stored, uint32_t expanded,
                  const std::vector<uint32_t>& lengths, uint8_t* untrusted) {
    const Lz77Extent extent = image != nullptr ? lz77_measure(image, stored) : Lz77Extent{};
    const bool image_sound = image == nullptr || (extent.produced == expanded && extent.whole_items);
    char* texts = nullptr;
    if (!image_sound) {
        texts = static_cast<char*>(tracked_malloc(ctx, ctx.phrase_text_room));
        std::memcpy(texts, ctx.phrase_texts, ctx.phrase_text_room);
        uint8_t* scratch = new_trust_flags(ctx, ctx.phrase_count);
        recover_phrase_image(ctx, image, stored, expanded, scratch);
        tracked_free(ctx, scratch);
    }
    if (!mend_one_length(ctx, expanded, lengths, untrusted)) distrust_from_disorder(ctx, untrusted);
    if (texts == nullptr) return;
    std::memcpy(ctx.phrase_texts, texts, ctx.phrase_text_room);
    tracked_free(ctx, texts);
}

bool next_length_bit(DecompileContext& ctx, BoundedReader& table) {
    ctx.phrase_bit_mask <<= 1;
    if (ctx.phrase_bit_mask == 0) {
        ctx.phrase_bit_word = table.dword();
        ctx.phrase_bit_mask = 1;
    }
    return (ctx.phrase_bit_word & ctx.phrase_bit_mask) != 0;
}

// Lengths past the texts are damage in the length table, and so are lengths
// that do not add up to the texts' size; with salvage the offsets are kept
// inside the texts, each length as read goes to `lengths` (for a mend), and
// the phrases past the damage are flagged later.
bool decode_length_table(DecompileContext& ctx, BoundedReader& table, unsigned bits, uint32_t text_size,
                         std::vector<uint32_t>* lengths = nullptr) {
    ctx.phrase_bit_mask = 0;
    ctx.phrase_offsets[0] = 0;
    bool sound = true;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        // 64 bits: a run of set bits must not wrap the length around.
        uint64_t n = 1;
        while (next_length_bit(ctx, table)) {
            n += uint64_t(1) << bits;
            if (n > text_size) break;
        }
        if (n <= text_size) {
            if (next_length_bit(ctx, table)) n += 1;
            if (bits > 1 && next_length_bit(ctx, table)) n += 2;
            if (bits > 2 && next_length_bit(ctx, table)) n += 4;
            if (bits > 3 && next_length_bit(ctx, table)) n += 8;
            if (bits > 4 && next_length_bit(ctx, table)) n += 16;
        }
        if (lengths != nullptr) lengths->push_back(static_cast<uint32_t>(n));
        uint64_t end = ctx.phrase_offsets[i] + n;
        if (end > text_size) {
            if (sound) damage_found(ctx, "|PhrIndex", -1, "Phrase %u lies outside the phrase texts", i);
            sound = false;
            end = text_size;
        }
        ctx.phrase_offsets[i + 1] = static_cast<uint32_t>(end);
    }
    if (sound && ctx.phrase_count > 0 && ctx.phrase_offsets[ctx.phrase_count] != text_size) {
        damage_found(ctx, "|PhrIndex", -1, "the phrase lengths add up to %u bytes, the phrase texts hold %u",
                     ctx.phrase_offsets[ctx.phrase_count], text_size);
        sound = false;
    }
    return sound;
}

// More than any text can hold: a code naming a missing phrase adds this, and
// a sum this large is left to the checked walk, which reports the code.
constexpr int64_t missing_phrase_length = int64_t(1) << 32;

int64_t phrase_length(const DecompileContext& ctx, uint32_t number) {
    if (number >= ctx.phrase_count) return missing_phrase_length;
    return static_cast<long>(ctx.phrase_offsets[number + 1] - ctx.phrase_offsets[number]);
}

// What each first byte of a packed code adds and how many bytes follow it
// (a two-byte phrase code adds its phrase later, with its second byte).
void build_packed_code_table(DecompileContext& ctx) {
    static const char spaces[overcopy + 1] = "                                ";
    static const char zeros[overcopy] = {};
    for (unsigned a = 0; a < 256; ++a) {
        int64_t adds = 0;
        uint8_t skips = 0;
        const char* text = nullptr;
        if ((a & 1) == 0) {
            const uint32_t number = a / 2;
            adds = phrase_length(ctx, number);
            if (number < ctx.phrase_count && adds <= overcopy &&
                int64_t(ctx.phrase_text_room) - ctx.phrase_offsets[number] >= overcopy) {
                text = ctx.phrase_texts + ctx.phrase_offsets[number];
            }
        } else if ((a & 3) == 1) {
            skips = 1;
        } else if ((a & 7) == 3) {
            adds = (a >> 3) + 1;
            skips = static_cast<uint8_t>(adds);
        } else {
            adds = (a >> 4) + 1;  // spaces or NULs
            text = (a & 15) == 7 ? spaces : zeros;
        }
        ctx.packed_code_adds[a] = adds;
        ctx.packed_code_skips[a] = skips;
        ctx.packed_code_texts[a] = text;
    }
    ctx.packed_code_table = true;
}

// The text length of packed codes without the checks: a table step per code.
// A run cut short by the end adds only the bytes there are; a two-byte code
// cut short adds nothing.
int64_t packed_length_sum(const DecompileContext& ctx, const uint8_t* source, long length) {
    int64_t total = 0;
    long i = 0;
    while (i < length) {
        const unsigned a = source[i];
        if ((a & 3) == 1) {
            if (i + 1 == length) return total;
            total += phrase_length(ctx, (a >> 2) * 256 + source[i + 1] + 128);
            i += 2;
            continue;
        }
        total += ctx.packed_code_adds[a];
        i += 1 + ctx.packed_code_skips[a];
    }
    return total - (i - length);
}

// Salvage, |PhrIndex without its |PhrImage: the lengths still say how long
// each phrase was, so topic text keeps its length and shows a mark of the
// same length for every phrase.
void load_lengths_alone(DecompileContext& ctx, std::FILE* file, long table_position, long table_left, uint32_t count,
                        uint32_t expanded, unsigned bits) {
    // No phrase is longer than its bits of the length table can make it.
    const int64_t longest_texts = int64_t(table_left) * 8 * (int64_t(1) << bits) + int64_t(count) * 32;
    if (count > expanded || int64_t(count) > int64_t(table_left) * 4 || expanded > longest_texts)
        fatal_error("Phrase count %u does not fit |PhrIndex", count);
    ctx.phrase_count = count;
    ctx.phrase_offsets = tracked_new_array<uint32_t>(ctx, int64_t(count) + 1);
    uint8_t* untrusted = new_trust_flags(ctx, count);
    read_phrase_texts(ctx, file, static_cast<long>(expanded), 0, false);
    std::fseek(file, table_position, SEEK_SET);
    BoundedReader table{file, table_left};
    decode_length_table(ctx, table, bits, expanded);
    note_damage(ctx, "|PhrImage", -1, "missing: the phrase texts are lost");
    std::memset(untrusted, 1, count);
    settle_trust(ctx, "|PhrIndex", untrusted);
}

void load_phrase_index(DecompileContext& ctx, std::FILE* file, long index_length) {
    BoundedReader index{file, index_length};
    uint8_t header[phrase_index_header_size];
    index.read(header, phrase_index_header_size);
    long table_position = std::ftell(file);
    long table_left = index.left;
    uint32_t count = get_le32(header + 4);
    uint32_t expanded = get_le32(header + 12);
    uint32_t recorded = get_le32(header + 16);
    unsigned bits = get_le16(header + 24) & 0x0F;

    long image_length = 0;
    // Set before the texts are read: salvage judges them by the scheme's order.
    ctx.packed_phrases = true;
    if (find_internal_file(ctx, file, &image_length, "|PhrImage")) {
        // The phrase texts are sized from the image's length: an image the
        // help file does not hold fails as the short read it is, up front.
        if (image_length > bytes_left_in_file(file)) {
            fatal_error("my_fread(%ld) at %ld failed", image_length, std::ftell(file));
        }
        if (recorded != static_cast<uint32_t>(image_length)) {
            std::fprintf(stderr, "PhrImage FileSize %ld, in PhrIndex.FileHdr %ld\n", static_cast<long>(recorded),
                         image_length);
        }
        bool compressed = expanded != recorded;
        check_expanded_size(expanded, image_length, compressed);
        // Every phrase is at least one byte long and costs at least two bits
        // of the length table.
        if (count > expanded || int64_t(count) > int64_t(table_left) * 4) {
            fatal_error("Phrase count %u does not fit |PhrIndex", count);
        }
        ctx.phrase_count = count;
        ctx.phrase_offsets = tracked_new_array<uint32_t>(ctx, int64_t(count) + 1);
        uint8_t* untrusted = new_trust_flags(ctx, count);
        uint8_t* image = read_phrase_texts(ctx, file, static_cast<long>(expanded), image_length, compressed);
        std::fseek(file, table_position, SEEK_SET);
        BoundedReader table{file, table_left};
        std::vector<uint32_t> lengths;
        if (!decode_length_table(ctx, table, bits, expanded, ctx.salvage ? &lengths : nullptr))
            mend_lengths(ctx, image, image_length, expanded, lengths, untrusted);
        check_phrase_image(ctx, image, image_length, static_cast<long>(expanded), "|PhrImage", untrusted);
        settle_trust(ctx, "|PhrIndex", untrusted);
    } else if (ctx.salvage && count > 0) {
        load_lengths_alone(ctx, file, table_position, table_left, count, expanded, bits);
    }
    build_packed_code_table(ctx);
    std::fprintf(stderr, "%u phrases loaded\n", ctx.phrase_count);
}

void load_phrases(DecompileContext& ctx, std::FILE* file, long length) {
    BoundedReader phrases{file, length};
    uint32_t count = phrases.word();
    bool mediaview_layout = count == mediaview_phrases_marker;
    if (mediaview_layout) count = phrases.word();
    if (phrases.word() != phrases_version) fatal_error("Unknown |Phrases file structure");
    ctx.packed_phrases = false;
    if (count == 0) return;

    int64_t expanded = 0;
    if (!ctx.old_format) {
        expanded = phrases.dword();
        if (mediaview_layout) {
            uint8_t reserved[mediaview_reserved_size];
            phrases.read(reserved, mediaview_reserved_size);
        }
    }
    const int64_t table_size = 2 * (int64_t(count) + 1);
    uint32_t* offsets = tracked_new_array<uint32_t>(ctx, int64_t(count) + 1);
    for (uint32_t i = 0; i <= count; ++i) {
        uint16_t stored = phrases.word();
        // Offsets below the table's own end would wrap around.
        offsets[i] = stored < table_size ? UINT32_MAX : static_cast<uint32_t>(stored - table_size);
    }
    const long stored = phrases.left;
    if (stored > bytes_left_in_file(file)) fatal_error("my_fread(%ld) at %ld failed", stored, std::ftell(file));
    if (ctx.old_format) expanded = stored;
    check_expanded_size(expanded, stored, !ctx.old_format);
    ctx.phrase_count = count;
    ctx.phrase_offsets = offsets;
    uint8_t* untrusted = new_trust_flags(ctx, count);
    check_offsets(ctx, static_cast<uint32_t>(expanded), untrusted);
    uint8_t* image = read_phrase_texts(ctx, file, static_cast<long>(expanded), stored, !ctx.old_format);
    check_phrase_image(ctx, image, stored, static_cast<long>(expanded), "|Phrases", untrusted);
    settle_trust(ctx, "|Phrases", untrusted);
    std::fprintf(stderr, "%u phrases loaded\n", count);
}

// Appends n bytes, or raises the length error before the first byte that
// would not fit. Bytes between the end of the text and the capacity may be
// overwritten on the way.
struct ExpansionTarget {
    char* start;
    char* cursor;
    long capacity;

    char* room_for(long n) {
        long produced = static_cast<long>(cursor - start);
        if (n > capacity - produced) {
            fatal_error("Phrase replacement delivers %ld bytes instead of %ld", produced + n, capacity);
        }
        char* at = cursor;
        cursor += n;
        return at;
    }
    // Phrases and runs are a few bytes long. When overcopy bytes can be
    // read from data (readable) and written at the cursor, one fixed-size
    // move covers them; otherwise exactly n bytes are moved.
    [[gnu::always_inline]] void copy(const void* data, long n, long readable) {
        const char* from = static_cast<const char*>(data);
        if (n <= overcopy && readable >= overcopy && capacity - (cursor - start) >= overcopy) {
            std::memcpy(cursor, from, overcopy);
            cursor += n;
            return;
        }
        char* to = room_for(n);
        if (n >= 8 && n <= 16) {
            std::memcpy(to, from, 8);
            std::memcpy(to + n - 8, from + n - 8, 8);
        } else if (n >= 4 && n < 8) {
            std::memcpy(to, from, 4);
            std::memcpy(to + n - 4, from + n - 4, 4);
        } else if (n > 16) {
            std::memcpy(to, from, static_cast<size_t>(n));
        } else {
            for (long k = 0; k < n; ++k) to[k] = from[k];
        }
    }
    [[gnu::always_inline]] void fill(int c, long n) {
        if (n == 1 && cursor - start < capacity) {
            *cursor++ = static_cast<char>(c);
            return;
        }
        char* to = room_for(n);
        if (n == 1) *to = static_cast<char>(c);
        else std::memset(to, c, static_cast<size_t>(n));
    }
};

// The same checks as ExpansionTarget, counting the bytes without storing them.
struct CountingTarget {
    long produced;
    long capacity;

    void room_for(long n) {
        if (n > capacity - produced) {
            fatal_error("Phrase replacement delivers %ld bytes instead of %ld", produced + n, capacity);
        }
        produced += n;
    }
    void copy(const void*, long n, long) { room_for(n); }
    void fill(int, long n) { room_for(n); }
};

// Adds up the lengths without checking them against the capacity; refuses
// (so that a checked walk reports it) a code naming a missing phrase.
struct SummingTarget {
    int64_t produced;
    bool missing;

    void copy(const void*, long n, long) { produced += n; }
    void fill(int, long n) { produced += n; }
};

// Notes whether a code names a phrase that salvage could not trust.
struct TrustTarget {
    bool untrusted;

    void copy(const void*, long, long) {}
    void fill(int, long) {}
};

template <typename Target>
[[gnu::always_inline]] inline void copy_phrase(const DecompileContext& ctx, Target& target, uint32_t number) {
    if constexpr (std::is_same_v<Target, TrustTarget>) {
        target.untrusted |= number < ctx.phrase_count && ctx.phrase_untrusted[number] != 0;
        return;
    }
    if (number >= ctx.phrase_count) {
        if constexpr (std::is_same_v<Target, SummingTarget>) {
            target.missing = true;
            return;
        } else {
            fatal_error("Phrase %u does not exist", number);
        }
    }
    uint32_t start = ctx.phrase_offsets[number];
    target.copy(ctx.phrase_texts + start, static_cast<long>(ctx.phrase_offsets[number + 1] - start),
                static_cast<long>(ctx.phrase_text_room) - static_cast<long>(start));
}

template <typename Target>
void expand_phrases_scheme(const DecompileContext& ctx, Target& target, const uint8_t* source, long length) {
    for (long i = 0; i < length;) {
        unsigned a = source[i++];
        if (a == 0 || a > 15) {
            target.fill(static_cast<int>(a), 1);
            continue;
        }
        if (i == length) break;  // the code's second byte is missing
        unsigned code = a * 256 + source[i++] - 256;
        copy_phrase(ctx, target, code / 2);
        if (code & 1) target.fill(' ', 1);
    }
}

// One code from source[i]; the position after it (length when the code is
// cut short by the end).
template <typename Target>
[[gnu::always_inline]] inline long packed_step(const DecompileContext& ctx, Target& target, const uint8_t* source,
                                               long length, long i) {
    unsigned a = source[i++];
    if ((a & 1) == 0) {
        copy_phrase(ctx, target, a / 2);
    } else if ((a & 3) == 1) {
        if (i == length) return length;
        copy_phrase(ctx, target, (a >> 2) * 256 + source[i++] + 128);
    } else if ((a & 7) == 3) {
        long run = static_cast<long>(a >> 3) + 1;
        if (run > length - i) run = length - i;  // a run cut short by the end
        target.copy(source + i, run, length - i);
        i += run;
    } else if ((a & 15) == 7) {
        target.fill(' ', static_cast<long>(a >> 4) + 1);
    } else {
        target.fill(0, static_cast<long>(a >> 4) + 1);
    }
    return i;
}

template <typename Target>
void expand_packed_scheme(const DecompileContext& ctx, Target& target, const uint8_t* source, long length) {
    for (long i = 0; i < length;) i = packed_step(ctx, target, source, length, i);
}

// With the code table: one-byte codes whose text is at hand (short phrases,
// spaces, NULs) are one fixed-size move while overcopy bytes of room are
// left; every other code, and the last ones, take the checked step.
void expand_packed_with_table(const DecompileContext& ctx, ExpansionTarget& target, const uint8_t* source,
                              long length) {
    const char* const* texts = ctx.packed_code_texts;
    const int64_t* adds = ctx.packed_code_adds;
    const char* const roomy_end = target.start + target.capacity - overcopy;
    for (long i = 0; i < length;) {
        const unsigned a = source[i];
        if (texts[a] != nullptr && target.cursor <= roomy_end) {
            std::memcpy(target.cursor, texts[a], overcopy);
            target.cursor += adds[a];
            ++i;
            continue;
        }
        i = packed_step(ctx, target, source, length, i);
    }
}

}  // namespace

void phrase_table_load(DecompileContext& ctx, std::FILE* file) {
    const bool loaded = salvage_step(ctx, "|Phrases", "phrase table damaged; topics read without phrases", [&] {
        long length = 0;
        if (find_internal_file(ctx, file, &length, "|PhrIndex")) {
            load_phrase_index(ctx, file, length);
        } else if (find_internal_file(ctx, file, &length, "|Phrases")) {
            load_phrases(ctx, file, length);
        }
    });
    if (loaded) return;
    // What a help file without phrase tables has.
    ctx.phrase_untrusted = nullptr;
    ctx.phrase_count = 0;
    ctx.packed_phrases = false;
    ctx.packed_code_table = false;
    ctx.phrase_offsets = nullptr;
    ctx.phrase_texts = nullptr;
    ctx.phrase_text_room = 0;
}

char* phrase_expand(DecompileContext& ctx, char* destination, long capacity, const uint8_t* source,
                    long source_length) {
    ExpansionTarget target{destination, destination, capacity < 0 ? 0 : capacity};
    if (ctx.packed_phrases && ctx.packed_code_table) {
        expand_packed_with_table(ctx, target, source, source_length);
    } else if (ctx.packed_phrases) {
        expand_packed_scheme(ctx, target, source, source_length);
    } else {
        expand_phrases_scheme(ctx, target, source, source_length);
    }
    return target.cursor;
}

namespace {

// The total length the codes expand to, and whether one names no phrase.
inline SummingTarget phrase_length_sum(const DecompileContext& ctx, const uint8_t* source, long source_length) {
    SummingTarget sum{0, false};
    if (ctx.packed_phrases && ctx.packed_code_table) {
        sum.produced = packed_length_sum(ctx, source, source_length);
        sum.missing = sum.produced >= missing_phrase_length;
    } else if (ctx.packed_phrases) {
        expand_packed_scheme(ctx, sum, source, source_length);
    } else {
        expand_phrases_scheme(ctx, sum, source, source_length);
    }
    return sum;
}

}  // namespace

long phrase_expanded_length(DecompileContext& ctx, long capacity, const uint8_t* source, long source_length) {
    // Lengths only grow, so a total within the capacity means no step passed
    // it: the checked walk is needed only to report an error.
    const SummingTarget sum = phrase_length_sum(ctx, source, source_length);
    if (!sum.missing && sum.produced <= (capacity < 0 ? 0 : capacity)) return static_cast<long>(sum.produced);
    CountingTarget target{0, capacity < 0 ? 0 : capacity};
    if (ctx.packed_phrases) {
        expand_packed_scheme(ctx, target, source, source_length);
    } else {
        expand_phrases_scheme(ctx, target, source, source_length);
    }
    return target.produced;
}

bool phrase_codes_sound(const DecompileContext& ctx, long capacity, const uint8_t* source, long source_length) {
    const SummingTarget sum = phrase_length_sum(ctx, source, source_length);
    return !sum.missing && sum.produced <= (capacity < 0 ? 0 : capacity);
}

bool phrase_codes_untrusted(const DecompileContext& ctx, const uint8_t* source, long source_length) {
    if (ctx.phrase_untrusted == nullptr) return false;
    TrustTarget target{false};
    if (ctx.packed_phrases) {
        expand_packed_scheme(ctx, target, source, source_length);
    } else {
        expand_phrases_scheme(ctx, target, source, source_length);
    }
    return target.untrusted;
}

namespace {

// The text of codes in doubt, cut at the capacity.
struct DoubtfulText {
    const DecompileContext& ctx;
    char* out;
    long produced, capacity;
    bool missing;

    void put(char c) {
        if (produced >= capacity) return;
        if (out != nullptr) out[produced] = c;
        ++produced;
    }
    void fill(char c, long n) {
        for (long k = 0; k < n && produced < capacity; ++k) put(c);
    }
    // Phrase `number`, read from bytes in doubt or not.
    void phrase(uint32_t number, bool doubtful) {
        if (doubtful) return put('?');
        if (number >= ctx.phrase_count) {
            missing = true;
            return;
        }
        const uint32_t start = ctx.phrase_offsets[number];
        for (uint32_t at = start; at < ctx.phrase_offsets[number + 1]; ++at) put(ctx.phrase_texts[at]);
    }
    void letter(uint8_t c, bool doubtful) { put(doubtful && c != 0 ? '?' : static_cast<char>(c)); }
};

void doubtful_phrases_scheme(DoubtfulText& text, const uint8_t* source, const uint8_t* doubt, long length) {
    for (long i = 0; i < length;) {
        const unsigned a = source[i];
        bool doubtful = doubt[i++] != 0;
        if (a == 0 || a > 15) {
            text.letter(static_cast<uint8_t>(a), doubtful);
            continue;
        }
        if (i == length) break;
        doubtful |= doubt[i] != 0;
        const unsigned code = a * 256 + source[i++] - 256;
        text.phrase(code / 2, doubtful);
        if ((code & 1) != 0 && !doubtful) text.put(' ');
    }
}

void doubtful_packed_scheme(DoubtfulText& text, const uint8_t* source, const uint8_t* doubt, long length) {
    for (long i = 0; i < length;) {
        const unsigned a = source[i];
        bool doubtful = doubt[i++] != 0;
        if ((a & 1) == 0) {
            text.phrase(a / 2, doubtful);
        } else if ((a & 3) == 1) {
            if (i == length) break;
            doubtful |= doubt[i] != 0;
            text.phrase((a >> 2) * 256 + source[i++] + 128, doubtful);
        } else if ((a & 7) == 3) {
            // A run's letters are in doubt when its length is.
            const long run = std::min<long>(static_cast<long>(a >> 3) + 1, length - i);
            for (long k = 0; k < run; ++k) text.letter(source[i + k], doubtful || doubt[i + k] != 0);
            i += run;
        } else if (doubtful) {
            text.put('?');
        } else {
            text.fill((a & 15) == 7 ? ' ' : '\0', static_cast<long>(a >> 4) + 1);
        }
    }
}

}  // namespace

long phrase_expand_doubtful(const DecompileContext& ctx, char* destination, long capacity, const uint8_t* source,
                            const uint8_t* doubt, long source_length) {
    DoubtfulText text{ctx, destination, 0, capacity < 0 ? 0 : capacity, false};
    if (ctx.packed_phrases) doubtful_packed_scheme(text, source, doubt, source_length);
    else doubtful_phrases_scheme(text, source, doubt, source_length);
    return text.missing ? -1 : text.produced;
}

void note_untrusted_phrase_uses(DecompileContext& ctx) {
    if (ctx.untrusted_phrase_records == 0) return;
    note_damage(ctx, "|TOPIC", -1, "%lld topic records use phrases that cannot be trusted; those show as [?]",
                static_cast<long long>(ctx.untrusted_phrase_records));
}

void phrase_file_write(DecompileContext& ctx, const char* name) {
    if (ctx.phrase_count == 0) return;
    MemoryFile* file = output_open(name, "wt");
    output_add(ctx.outputs, file);
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        uint32_t start = ctx.phrase_offsets[i];
        output_write(ctx.phrase_texts + start, 1, ctx.phrase_offsets[i + 1] - start, file);
        output_putc('\n', file);
    }
}
