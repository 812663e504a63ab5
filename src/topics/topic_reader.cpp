#include "topics/topic_reader.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "helpfile/lz77.h"
#include "topics/phrases.h"
#include "topics/block_reexpand.h"
#include "topics/topic_resync.h"

namespace {

constexpr long block_header_size = 12;
constexpr uint32_t first_position = topic_first_position;
// No paragraph comes near this; a larger expanded length only means a
// damaged record, and allocating for it would be pointless.
constexpr int64_t longest_text = 16 * 1024 * 1024;
constexpr long surplus_chunk = 4096;

// The slot that keeps the block's expansion, or null when there is none.
// The table is made at the first use, with a slot for every block the help
// file really holds (`readable` bytes of |TOPIC), whatever the directory
// claims.
DecompileContext::KeptBlock* kept_block(DecompileContext& ctx, uint32_t block, int64_t readable) {
    if (ctx.kept_blocks == nullptr) {
        const int64_t count = (std::min<int64_t>(ctx.topic_file_size, readable) + ctx.block_size - 1) / ctx.block_size;
        if (count <= 0 || count > INT32_MAX / 2) return nullptr;
        ctx.kept_blocks = tracked_new_array<DecompileContext::KeptBlock>(ctx, static_cast<long>(count));
        std::memset(ctx.kept_blocks, 0, static_cast<size_t>(count) * sizeof(DecompileContext::KeptBlock));
        ctx.kept_block_count = static_cast<int32_t>(count);
    }
    return block < static_cast<uint32_t>(ctx.kept_block_count) ? &ctx.kept_blocks[block] : nullptr;
}

// Makes block the cached one; false when it lies past the end of |TOPIC or
// is too short to hold its own header.
bool load_block(DecompileContext& ctx, std::FILE* file, uint32_t block) {
    const int64_t start = int64_t(block) * ctx.block_size;
    if (start >= ctx.topic_file_size) return false;
    const int64_t length = std::min<int64_t>(ctx.block_size, ctx.topic_file_size - start);
    if (length < block_header_size) return false;
    ctx.cached_block = -1;
    ctx.block_valid = 0;
    ctx.block_data = ctx.block_buffer;
    if (ctx.topics_compressed && ctx.kept_blocks != nullptr && block < static_cast<uint32_t>(ctx.kept_block_count) &&
        ctx.kept_blocks[block].bytes != nullptr) {
        // The same bytes, window and file position as expanding again; the
        // bytes are read where they are kept, and the block's header, read
        // whole before, is not read again.
        const DecompileContext::KeptBlock& kept = ctx.kept_blocks[block];
        ctx.block_data = kept.bytes;
        lz77_replay_window(ctx, kept.bytes, kept.length);
        std::fseek(file, kept.file_position, SEEK_SET);
        ctx.block_valid = kept.length;
        ctx.cached_block = static_cast<int32_t>(block);
        return true;
    }
    // Blocks are mostly read one after the other: a file already at the
    // block needs no seek (which would drop what the stream has buffered).
    const long block_start = static_cast<long>(ctx.topic_data_start + start);
    if (std::feof(file) || std::ftell(file) != block_start) std::fseek(file, block_start, SEEK_SET);
    const int64_t readable = ctx.kept_blocks ? 0 : start + bytes_left_in_file(file);
    uint8_t header[block_header_size];
    long data = static_cast<long>(length - block_header_size);
    if (ctx.salvage) {
        // A help file cut short holds part of its last blocks: what is
        // there is read, and a block without its header is past the end.
        const long left = bytes_left_in_file(file);
        if (left < block_header_size) return false;
        data = std::min<long>(data, left - block_header_size);
    }
    my_fread(block_header_size, file, header);
    if (ctx.topics_compressed) {
        DecompileContext::KeptBlock* kept = kept_block(ctx, block, readable);
        bool self_contained = false;
        ctx.block_valid = static_cast<int32_t>(lz77_expand_to_buffer(ctx, topic_block_buffer_size, lz77_lz_flag,
                                                                     file, data, ctx.block_buffer, &self_contained));
        // A block that reached into an earlier expansion's window could
        // come out differently next time: it is expanded again.
        // With salvage, a damaged block is kept as well: expanded again
        // after other blocks it could come out otherwise, and the two
        // passes must meet the same records.
        if (kept && (self_contained || ctx.salvage)) {
            kept->bytes = static_cast<uint8_t*>(tracked_malloc(ctx, std::max<long>(ctx.block_valid, 1)));
            std::memcpy(kept->bytes, ctx.block_buffer, static_cast<size_t>(ctx.block_valid));
            kept->length = ctx.block_valid;
            kept->file_position = std::ftell(file);
        }
    } else {
        // A stored block never holds more than the buffer; what would not fit
        // could not be addressed anyway.
        const long kept = std::min<long>(data, topic_block_buffer_size);
        my_fread(kept, file, ctx.block_buffer);
        ctx.block_valid = static_cast<int32_t>(kept);
    }
    ctx.cached_block = static_cast<int32_t>(block);
    return true;
}

void read_and_drop(DecompileContext& ctx, std::FILE* file, long count, long& consumed) {
    uint8_t chunk[surplus_chunk];
    while (count > 0) {
        long want = std::min(count, surplus_chunk);
        long got = topic_read(ctx, file, 0, chunk, want);
        consumed += got;
        if (got < want) return;
        count -= got;
    }
}

template <typename T>
void release(DecompileContext& ctx, T*& buffer, long& capacity) {
    if (buffer) tracked_free(ctx, buffer);
    buffer = nullptr;
    capacity = 0;
}

// A buffer of at least size bytes in place of *buffer. A larger one is
// allocated at exactly the size asked, as a fresh allocation would be, so a
// failure reports the same size.
template <typename T>
T* room_in(DecompileContext& ctx, T*& buffer, long& capacity, long size) {
    if (size > capacity) {
        release(ctx, buffer, capacity);
        buffer = static_cast<T*>(tracked_malloc(ctx, size));
        capacity = size;
    }
    return buffer;
}

void free_record(TopicWalk& walk) {
    walk.head = nullptr;
    walk.text = nullptr;
    walk.head_size = 0;
    walk.text_size = 0;
}

void release_walk(DecompileContext& ctx, TopicWalk& walk) {
    free_record(walk);
    release(ctx, walk.head_storage, walk.head_capacity);
    release(ctx, walk.text_storage, walk.text_capacity);
    release(ctx, ctx.packed_text, ctx.packed_text_capacity);
}

bool stop(DecompileContext& ctx, TopicWalk& walk) {
    release_walk(ctx, walk);
    walk.finished = true;
    return false;
}

TopicLink parse_link(const uint8_t* raw) {
    TopicLink link;
    link.record_length = static_cast<int32_t>(get_le32(raw));
    link.text_length = static_cast<int32_t>(get_le32(raw + 4));
    link.previous_link = static_cast<int32_t>(get_le32(raw + 8));
    link.next_link = static_cast<int32_t>(get_le32(raw + 12));
    link.head_length = static_cast<int32_t>(get_le32(raw + 16));
    link.record_type = raw[20];
    return link;
}

// The position of the record after this one, or 0 when the chain ends here.
uint32_t following_position(const DecompileContext& ctx, uint32_t position, const TopicLink& link) {
    if (ctx.old_format) {
        const int64_t next = int64_t(position) + link.next_link;
        if (link.next_link <= 0 || next >= ctx.topic_file_size) return 0;
        return static_cast<uint32_t>(next);
    }
    // A link that does not move forward would walk the same records forever.
    if (int64_t(link.next_link) <= int64_t(position)) return 0;
    return static_cast<uint32_t>(link.next_link);
}

bool lengths_sound(const TopicWalk& walk, const TopicLink& link) {
    if (link.record_length < 0 || link.head_length < 0 || link.text_length < 0) return false;
    if (link.record_length > walk.stream_limit || link.head_length > walk.stream_limit) return false;
    if (link.head_length < link.record_length) {
        const int64_t stored = int64_t(link.record_length) - link.head_length;
        if (link.text_length > longest_text) return false;
        if (link.text_length > stored && link.text_length > stored * walk.expansion_limit) return false;
    }
    return true;
}

int64_t longest_phrase(const DecompileContext& ctx) {
    int64_t longest = 0;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        longest = std::max<int64_t>(longest, int64_t(ctx.phrase_offsets[i + 1]) - ctx.phrase_offsets[i]);
    }
    return longest;
}

// ---- salvage: dropping damaged records and going on at the next block

// A record's damage, graded: item when only its own text or paragraph data
// cannot be read and its link leads soundly to the next record; rest when
// the chain itself breaks there; end at the chain's own end.

uint32_t block_of_position(const DecompileContext& ctx, uint32_t position) { return topic_block_of(ctx, position); }

// The first topic position of the block after the one holding position.
uint64_t next_block_start(const DecompileContext& ctx, uint32_t position) {
    return (uint64_t(block_of_position(ctx, position)) + 1) * static_cast<uint32_t>(ctx.decompress_size) +
           first_position;
}

// Reads the record at walk.position, checking what an intact file always
// keeps: lengths it can hold, phrase codes that name phrases, a link to the
// record that follows right after this one (or the block after), and
// paragraph data the passes can read. why says what failed.
Damage salvage_read_record(DecompileContext& ctx, std::FILE* file, TopicWalk& walk, const char*& why) {
    // Damage only where later blocks still name records.
    static constexpr const char* chain_end = "the end of its record chain";
    uint8_t raw[topic_link_header_size];
    if (topic_read(ctx, file, walk.position, raw, topic_link_header_size) < topic_link_header_size) {
        why = "|TOPIC ends inside the record chain";
        return Damage::rest;
    }
    walk.link = parse_link(raw);
    const TopicLink& link = walk.link;
    if (ctx.old_format) {
        if (link.next_link <= 0) {
            why = "a record link that does not go forward";
            return Damage::rest;
        }
        if (int64_t(walk.position) + link.next_link >= ctx.topic_file_size) {
            why = chain_end;
            return Damage::end;
        }
        walk.next_position = walk.position + static_cast<uint32_t>(link.next_link);
    } else {
        if (link.next_link == -1) {
            why = chain_end;
            return Damage::end;
        }
        if (int64_t(link.next_link) <= int64_t(walk.position)) {
            why = "a record link that goes backwards";
            return Damage::rest;
        }
        walk.next_position = static_cast<uint32_t>(link.next_link);
    }
    if (!lengths_sound(walk, link)) {
        why = "impossible record lengths";
        return Damage::rest;
    }
    if (link.head_length > topic_link_header_size) {
        walk.head_size = link.head_length - topic_link_header_size;
        walk.head = room_in(ctx, walk.head_storage, walk.head_capacity, walk.head_size);
        if (topic_read(ctx, file, 0, walk.head, walk.head_size) < walk.head_size) {
            why = "|TOPIC ends inside a record";
            return Damage::rest;
        }
    }
    bool text_damaged = false;
    if (link.head_length < link.record_length) {
        const long stored = link.record_length - link.head_length;
        long got;
        if (walk.header_text_only && link.record_type != 2) {
            got = topic_check_text(ctx, file, link.text_length, stored);
        } else {
            walk.text_size = link.text_length;
            walk.text = room_in(ctx, walk.text_storage, walk.text_capacity, walk.text_size + 1);
            got = topic_read_text(ctx, file, walk.text, walk.text_size, stored);
        }
        if (got >= 0 && got != stored) {
            why = "|TOPIC ends inside a record";
            return Damage::rest;
        }
        // The stored bytes were all read: the link can still be checked.
        text_damaged = got < 0;
    }
    // Records follow one another without a gap, except that a record may
    // leave the rest of its block unused.
    const uint32_t end = ctx.next_position;
    if (walk.next_position < end || walk.next_position > next_block_start(ctx, end) ||
        int64_t(block_of_position(ctx, walk.next_position)) * ctx.block_size >= walk.salvage.readable) {
        why = "a record link that does not lead to the next record";
        return Damage::rest;
    }
    if (text_damaged) {
        why = "phrase codes naming no phrase";
        return Damage::item;
    }
    if (walk.salvage.record_sound != nullptr && !walk.salvage.record_sound(ctx, walk)) {
        why = "paragraph data that cannot be read";
        return Damage::item;
    }
    return Damage::none;
}

// The first record of a block after the one holding position, as that
// block's header names it (its second field: the first record in the block
// or running into it); 0 when no later block names one. Each call starts
// past the block of the damage and the walk only moves forward, so all the
// searches of a walk read each header once.
uint32_t resume_position(DecompileContext& ctx, std::FILE* file, const TopicWalk& walk, uint32_t position) {
    const int64_t limit = std::min<int64_t>(ctx.topic_file_size, walk.salvage.readable);
    for (int64_t block = block_of_position(ctx, position) + 1; block * ctx.block_size + block_header_size <= limit;
         ++block) {
        uint8_t header[block_header_size];
        std::fseek(file, static_cast<long>(ctx.topic_data_start + block * ctx.block_size), SEEK_SET);
        if (std::fread(header, 1, block_header_size, file) != static_cast<size_t>(block_header_size)) return 0;
        // A record may run on from the block before (3.0 files' records do):
        // the header then names it, where it starts, and it is past the
        // damage when it starts after it.
        const uint32_t first = get_le32(header + 4);
        const int64_t first_block = block_of_position(ctx, first);
        if (first >= first_position && first > position && (first_block == block || first_block + 1 == block))
            return first;
    }
    return 0;
}

// The window slots before a block, taken from the block before it when that
// one is kept whole enough to fill them, with their doubt; bytes null when
// unknown.
WindowBefore window_before(DecompileContext& ctx, uint32_t block, uint8_t* slots, uint8_t* doubt_slots) {
    if (block == 0 || block > static_cast<uint32_t>(ctx.kept_block_count)) return {nullptr, nullptr};
    const DecompileContext::KeptBlock& before = ctx.kept_blocks[block - 1];
    if (before.bytes == nullptr || before.length < lz77_window_size) return {nullptr, nullptr};
    for (long p = before.length - lz77_window_size; p < before.length; ++p) {
        slots[p % lz77_window_size] = before.bytes[p];
        if (before.doubt != nullptr) doubt_slots[p % lz77_window_size] = before.doubt[p];
    }
    return {slots, before.doubt != nullptr ? doubt_slots : nullptr};
}

// Expands a compressed block again past the damage at data offset damaged,
// with the records from `found` on at their true place (see
// reexpand_block); false when it cannot, leaving bytes to the caller.
bool reexpand_past_damage(DecompileContext& ctx, std::FILE* file, TopicWalk& walk, uint32_t block, long damaged,
                          long found, int32_t shift, const DecompileContext::KeptBlock& kept, uint8_t* bytes,
                          uint8_t* doubt, long& length) {
    const int64_t start = int64_t(block) * ctx.block_size + block_header_size;
    const int64_t stored = std::min<int64_t>(ctx.block_size - block_header_size,
                                             std::min<int64_t>(ctx.topic_file_size, walk.salvage.readable) - start);
    if (stored <= 0 || stored > topic_block_buffer_size || damaged < 0 || damaged > found) return false;
    uint8_t input[topic_block_buffer_size];
    std::fseek(file, static_cast<long>(ctx.topic_data_start + start), SEEK_SET);
    const long got = static_cast<long>(std::fread(input, 1, static_cast<size_t>(stored), file));
    uint8_t slots[lz77_window_size], doubt_slots[lz77_window_size];
    const WindowBefore window = window_before(ctx, block, slots, doubt_slots);
    BlockReexpansion again{};
    if (!reexpand_block(ctx, input, got, window, {kept.bytes, kept.length, walk.salvage.resync_shift, kept.doubt},
                        damaged, found, shift, bytes, doubt, topic_block_buffer_size, again))
        return false;
    length = again.length;
    walk.salvage.mend_untrusted = again.untrusted;
    walk.salvage.mend_untrusted_end =
        static_cast<uint32_t>(uint64_t(block) * static_cast<uint32_t>(ctx.decompress_size) + first_position +
                              static_cast<uint64_t>(again.last_untrusted));
    return true;
}

// Damage inside a block: the records past it in the same block, found by
// their headers, where the walk goes on (0: none). A compressed block whose
// records past the damage came out shifted is mended in its kept copy
// (mended_shift set to how far they lay off, nothing to go on at yet): both
// passes, and the next block's
// expansion, then read the records where they belong.
uint32_t resume_in_block(DecompileContext& ctx, std::FILE* file, TopicWalk& walk, uint32_t position,
                         int32_t& mended_shift) {
    constexpr int searches_per_block = 8, mends_per_block = 4;
    mended_shift = 0;
    if (ctx.old_format || position < first_position) return 0;
    const uint32_t block = block_of_position(ctx, position);
    if (walk.salvage.resync_block != block + 1) {
        walk.salvage.resync_block = block + 1;
        walk.salvage.resync_searches = walk.salvage.resync_mends = walk.salvage.resync_shift = 0;
    }
    if (walk.salvage.resync_searches >= searches_per_block) return 0;
    if (ctx.cached_block != static_cast<int32_t>(block) && !load_block(ctx, file, block)) return 0;
    const uint32_t span = static_cast<uint32_t>(ctx.decompress_size);
    const uint64_t base = uint64_t(block) * span + first_position;
    if (base + span > UINT32_MAX) return 0;
    // The next block's header names this block's last record and the
    // record after it.
    uint32_t last_link = 0, next_first = 0;
    const int64_t next_header = int64_t(block + 1) * ctx.block_size;
    if (next_header + block_header_size <= std::min<int64_t>(ctx.topic_file_size, walk.salvage.readable)) {
        uint8_t header[block_header_size];
        std::fseek(file, static_cast<long>(ctx.topic_data_start + next_header), SEEK_SET);
        if (std::fread(header, 1, block_header_size, file) == static_cast<size_t>(block_header_size)) {
            last_link = get_le32(header);
            next_first = get_le32(header + 4);
        }
    }
    const BlockResync found =
        find_block_resync(ctx.block_data, ctx.block_valid, static_cast<uint32_t>(base), position,
                          static_cast<uint32_t>(base + span), last_link, next_first, position);
    if (found.position == 0) {
        ++walk.salvage.resync_searches;
        return 0;
    }
    if (found.shift == 0) {
        ++walk.salvage.resync_searches;
        return found.position;
    }
    // Stored bytes cannot lie off their place; only an expansion can.
    DecompileContext::KeptBlock* kept = ctx.topics_compressed ? kept_block(ctx, block, walk.salvage.readable) : nullptr;
    if (kept == nullptr || kept->bytes == nullptr || walk.salvage.resync_mends >= mends_per_block) {
        ++walk.salvage.resync_searches;
        return 0;
    }
    ++walk.salvage.resync_mends;
    const long old_length = kept->length;
    const long start = static_cast<long>(found.position - base);
    if (start > topic_block_buffer_size) {
        ++walk.salvage.resync_searches;
        return 0;
    }
    long length = std::clamp<long>(old_length + found.shift, start, topic_block_buffer_size);
    uint8_t* bytes = static_cast<uint8_t*>(tracked_malloc(ctx, topic_block_buffer_size));
    uint8_t* doubt = static_cast<uint8_t*>(tracked_malloc(ctx, topic_block_buffer_size));
    walk.salvage.mend_untrusted = 0;
    if (!reexpand_past_damage(ctx, file, walk, block, static_cast<long>(position - base), start, found.shift, *kept,
                              bytes, doubt, length)) {
        // Moved back as they came: references across the damage stay as
        // the first expansion read them.
        std::memcpy(bytes, kept->bytes, static_cast<size_t>(std::min(start, old_length)));
        if (start > old_length) std::memset(bytes + old_length, 0, static_cast<size_t>(start - old_length));
        for (long t = 0; t < length; ++t) {
            const long from = t < start ? t : t - found.shift;
            if (t >= start) bytes[t] = from >= 0 && from < old_length ? kept->bytes[from] : 0;
            doubt[t] = kept->doubt != nullptr && from >= 0 && from < old_length && kept->doubt[from];
        }
    }
    if (ctx.block_data == kept->bytes) ctx.block_data = ctx.block_buffer;
    tracked_free(ctx, kept->bytes);
    kept->bytes = bytes;
    kept->length = static_cast<int32_t>(length);
    if (kept->doubt != nullptr) tracked_free(ctx, kept->doubt);
    kept->doubt = std::find(doubt, doubt + length, 1) != doubt + length ? doubt : nullptr;
    if (kept->doubt == nullptr) tracked_free(ctx, doubt);
    ctx.cached_block = -1;
    mended_shift = found.shift;
    walk.salvage.resync_shift += found.shift;
    return 0;
}

void mark_topic_damaged(TopicWalk& walk) {
    if (walk.salvage.topic_number > 0 && !walk.salvage.topic_damaged) {
        walk.salvage.topic_damaged = true;
        ++walk.salvage.damaged_topics;
    }
}

void publish_counts(DecompileContext& ctx, const TopicWalk& walk) {
    ctx.topics_total = walk.salvage.topic_number;
    ctx.topics_whole = walk.salvage.topic_number - walk.salvage.damaged_topics;
}

// Records the loss of the records from position on: up to resume (0: to
// the end of |TOPIC), or only the one record there.
void drop_records(DecompileContext& ctx, TopicWalk& walk, uint32_t position, uint32_t resume, const char* why,
                  bool one_record = false) {
    // A damaged record before the header the current topic announces is
    // one of that topic's records.
    const bool cuts_topic = walk.salvage.topic_number > 0 && !(walk.salvage.next_header != 0 && position >= walk.salvage.next_header);
    if (cuts_topic) mark_topic_damaged(walk);
    walk.salvage.awaiting_topic = true;
    walk.salvage.dropped_since_header = true;
    if (!walk.salvage.note_losses) return;
    const uint32_t block = block_of_position(ctx, position);
    char topic[128] = "";
    if (cuts_topic) std::snprintf(topic, sizeof topic, "; topic %d \"%s\" cut short", walk.salvage.topic_number, walk.salvage.title);
    if (one_record) {
        note_damage(ctx, "|TOPIC", static_cast<long>(int64_t(block) * ctx.block_size),
                    "block %u holds %s in the record at topic position 0x%X: that record dropped%s", block, why,
                    position, topic);
    } else if (resume != 0 && block_of_position(ctx, resume) == block) {
        note_damage(ctx, "|TOPIC", static_cast<long>(int64_t(block) * ctx.block_size),
                    "block %u holds %s at topic position 0x%X: its records up to topic position 0x%X dropped%s",
                    block, why, position, resume, topic);
    } else if (resume != 0) {
        note_damage(ctx, "|TOPIC", static_cast<long>(int64_t(block) * ctx.block_size),
                    "block %u holds %s at topic position 0x%X: its records from there on dropped, going on at "
                    "block %u%s",
                    block, why, position, block_of_position(ctx, resume), topic);
    } else {
        note_damage(ctx, "|TOPIC", static_cast<long>(int64_t(block) * ctx.block_size),
                    "block %u holds %s at topic position 0x%X: the records from there to the end of |TOPIC "
                    "dropped%s",
                    block, why, position, topic);
    }
}

void note_mend(DecompileContext& ctx, TopicWalk& walk, uint32_t position, int32_t shift) {
    mark_topic_damaged(walk);
    if (!walk.salvage.note_losses) return;
    const uint32_t block = block_of_position(ctx, position);
    note_damage(ctx, "|TOPIC", static_cast<long>(int64_t(block) * ctx.block_size),
                "block %u holds garbled compressed data before topic position 0x%X: the records from there on came "
                "out %d bytes off their place and were moved back; topic %d \"%s\" may hold garbled text before them",
                block, position, shift < 0 ? -shift : shift, walk.salvage.topic_number, walk.salvage.title);
    if (walk.salvage.mend_untrusted > 0)
        note_damage(ctx, "|TOPIC", static_cast<long>(int64_t(block) * ctx.block_size),
                    "block %u: %ld bytes past topic position 0x%X, up to 0x%X, copy the garbled ones; their letters "
                    "of text are written as ?", block, walk.salvage.mend_untrusted, position, walk.salvage.mend_untrusted_end);
}

// A 3.0 topic header stores no number, but |TOMAP lists the topics' places
// in number order from entry 16 on: the place found there numbers the
// topic; -1 when it is not there.
int32_t mapped_topic_number(const DecompileContext& ctx, uint32_t position) {
    constexpr int32_t first = 16;
    if (ctx.topic_map == nullptr || ctx.topic_map_count <= first || position > uint32_t(INT32_MAX)) return -1;
    const int32_t* end = ctx.topic_map + ctx.topic_map_count;
    const int32_t* at = std::lower_bound(static_cast<const int32_t*>(ctx.topic_map) + first, end, static_cast<int32_t>(position));
    return at != end && *at == static_cast<int32_t>(position) ? static_cast<int32_t>(at - ctx.topic_map) : -1;
}

// The number a topic header gives its topic, or -1 when it gives none.
int32_t stored_topic_number(const DecompileContext& ctx, const TopicWalk& walk) {
    if (ctx.old_format) return mapped_topic_number(ctx, walk.position);
    return walk.head_size >= 16 ? static_cast<int32_t>(get_le32(walk.head + 12)) : -1;
}

// Bookkeeping of topics for a record about to be delivered.
void count_topics(DecompileContext& ctx, TopicWalk& walk) {
    const TopicLink& link = walk.link;
    const bool text_record =
        walk.head != nullptr && (link.record_type == 1 || link.record_type == 0x20 || link.record_type == 0x23);
    if (link.record_type == 2 && walk.head != nullptr) {
        const int32_t id = stored_topic_number(ctx, walk);
        const int64_t expected = int64_t(walk.salvage.topic_number) + walk.salvage.id_offset;
        // Numbers only go up: one below the number expected is garbled and
        // says nothing of the topics before it (the topics lost before it
        // are counted at the next header).
        const bool garbled = walk.salvage.id_offset_known && id >= 0 && id < expected;
        // Topic headers number their topics: after dropped records, a
        // number past the one this header's place gives counts the topics
        // lost whole.
        if (walk.salvage.dropped_since_header && walk.salvage.id_offset_known && id >= 0 && !garbled) {
            // No more topics than records the stream could hold, in all.
            if (id > expected && walk.salvage.topic_number + (id - expected) <= walk.stream_limit / topic_link_header_size) {
                walk.salvage.lost_topics = static_cast<int32_t>(id - expected);
                walk.salvage.topic_number += walk.salvage.lost_topics;
                walk.salvage.damaged_topics += walk.salvage.lost_topics;
                if (walk.salvage.note_losses)
                    note_damage(ctx, "|TOPIC", -1, "topics %d to %d lost whole with the dropped records",
                                walk.salvage.topic_number - walk.salvage.lost_topics + 1, walk.salvage.topic_number);
            }
        }
        ++walk.salvage.topic_number;
        // A negative number (damage, or none stored) says nothing of the
        // topics before it, and would not fit the difference.
        if (!garbled) {
            walk.salvage.id_offset_known = id >= 0;
            walk.salvage.id_offset = walk.salvage.id_offset_known ? id - (walk.salvage.topic_number - 1) : 0;
            walk.salvage.dropped_since_header = false;
        }
        walk.salvage.topic_damaged = false;
        walk.salvage.awaiting_topic = false;
        const int32_t next = (!ctx.old_format && walk.head_size >= 28) ? static_cast<int32_t>(get_le32(walk.head + 24))
                                                                        : -1;
        walk.salvage.next_header = next > static_cast<int32_t>(walk.position) ? static_cast<uint32_t>(next) : 0;
        const long length = walk.text != nullptr ? static_cast<long>(strnlen(walk.text, walk.text_size)) : 0;
        std::snprintf(walk.salvage.title, sizeof walk.salvage.title, "%.*s", static_cast<int>(length), walk.text ? walk.text : "");
    } else if (text_record && walk.salvage.awaiting_topic) {
        walk.salvage.awaiting_topic = false;
        // Text before the header the current topic announces still belongs
        // to that topic; past it (or with no topic at all) its header is lost.
        const bool known_end = !ctx.old_format && walk.salvage.next_header != 0;
        const bool continues =
            walk.salvage.topic_number > 0 && (known_end ? walk.position < walk.salvage.next_header : walk.salvage.topic_damaged);
        if (!continues) {
            walk.salvage.recovered_topic = true;
            ++walk.salvage.topic_number;
            walk.salvage.next_header = 0;
            walk.salvage.topic_damaged = true;
            ++walk.salvage.damaged_topics;
            recovered_topic_title(walk.salvage.title, sizeof walk.salvage.title, walk.salvage.topic_number);
            if (walk.salvage.note_losses)
                note_damage(ctx, "|TOPIC", -1, "topic %d lost its header; its text is written as \"%s\"",
                            walk.salvage.topic_number, walk.salvage.title);
        }
    }
    publish_counts(ctx, walk);
}

// A record whose text shows a damaged phrase table's marks (its stored codes
// are still at hand) leaves its topic short of whole.
void note_untrusted_phrases(DecompileContext& ctx, TopicWalk& walk) {
    const TopicLink& link = walk.link;
    const long stored = long(link.record_length) - link.head_length;
    if (stored <= 0 || link.text_length <= stored || !phrase_codes_untrusted(ctx, ctx.packed_text, stored)) return;
    mark_topic_damaged(walk);
    if (walk.salvage.note_losses) ++ctx.untrusted_phrase_records;
    publish_counts(ctx, walk);
}

bool salvage_walk_next(DecompileContext& ctx, std::FILE* file, TopicWalk& walk) {
    walk.salvage.resynced = false;
    walk.salvage.recovered_topic = false;
    walk.salvage.lost_topics = 0;
    if (walk.started) walk.position = walk.next_position;
    walk.started = true;
    for (;;) {
        const char* why = "";
        const Damage outcome = salvage_read_record(ctx, file, walk, why);
        if (outcome == Damage::none) {
            count_topics(ctx, walk);
            note_untrusted_phrases(ctx, walk);
            return true;
        }
        free_record(walk);
        if (outcome == Damage::item) {
            // Only this record is lost; the walk goes on with the next.
            drop_records(ctx, walk, walk.position, 0, why, true);
            const uint32_t dropped = walk.position;
            walk.position = walk.next_position;
            walk.salvage.resynced |= block_of_position(ctx, walk.position) != block_of_position(ctx, dropped);
            continue;
        }
        // Damage inside a block may leave the block's later records whole.
        int32_t mended_shift = 0;
        const uint32_t again = resume_in_block(ctx, file, walk, walk.position, mended_shift);
        if (mended_shift != 0) {
            // The record is read again from the mended bytes; the garbled
            // ones lie in the text before it, which was delivered already.
            note_mend(ctx, walk, walk.position, mended_shift);
            continue;
        }
        if (again != 0) {
            drop_records(ctx, walk, walk.position, again, why);
            walk.position = again;
            continue;
        }
        // The chain's own end, or damage: either way a later block may
        // still name records (a damaged link can look like the end).
        const uint32_t resume = resume_position(ctx, file, walk, walk.position);
        if (resume == 0 && outcome == Damage::end) break;
        drop_records(ctx, walk, walk.position, resume, why);
        if (resume == 0) break;
        walk.position = resume;
        walk.salvage.resynced = true;
    }
    publish_counts(ctx, walk);
    return stop(ctx, walk);
}

}  // namespace

namespace {

// The doubt of n bytes of the cached block from offset on: what a mend
// found, when the block is read from its kept copy.
void copy_doubt(const DecompileContext& ctx, uint32_t block, long offset, uint8_t* doubt, long n) {
    const DecompileContext::KeptBlock* kept =
        block < static_cast<uint32_t>(ctx.kept_block_count) ? &ctx.kept_blocks[block] : nullptr;
    if (kept != nullptr && kept->doubt != nullptr && ctx.block_data == kept->bytes) {
        std::memcpy(doubt, kept->doubt + offset, static_cast<size_t>(n));
    } else {
        std::memset(doubt, 0, static_cast<size_t>(n));
    }
}

// topic_read, with (Doubt) the doubt of each byte delivered into doubt.
template <bool Doubt>
long read_topic_bytes(DecompileContext& ctx, std::FILE* file, uint32_t position, uint8_t* out, uint8_t* doubt,
                      long count) {
    if (ctx.topic_data_start == 0) {
        ctx.topic_data_start = std::ftell(file);
        ctx.cached_block = -1;
    }
    if (position == 0) position = ctx.next_position;
    if (count < 0 || ctx.decompress_size <= 0 || ctx.block_size <= block_header_size) return 0;
    const uint32_t span = static_cast<uint32_t>(ctx.decompress_size);
    long delivered = 0;
    // Each pass takes what one block holds and moves on to the next block,
    // so a read crossing many blocks needs no recursion.
    for (;;) {
        if (position < first_position) return delivered;
        const uint32_t block = (position - first_position) / span;
        if (static_cast<int32_t>(block) != ctx.cached_block || ctx.cached_block < 0) {
            if (!load_block(ctx, file, block)) return delivered;
        }
        const long offset = static_cast<long>((position - first_position) % span);
        const long held = std::max<long>(0, ctx.block_valid - offset);
        if (held >= count) {
            if (count) std::memcpy(out + delivered, ctx.block_data + offset, static_cast<size_t>(count));
            if constexpr (Doubt) copy_doubt(ctx, block, offset, doubt + delivered, count);
            ctx.next_position = position + static_cast<uint32_t>(count);
            return delivered + count;
        }
        if (held) std::memcpy(out + delivered, ctx.block_data + offset, static_cast<size_t>(held));
        if constexpr (Doubt) copy_doubt(ctx, block, offset, doubt + delivered, held);
        delivered += held;
        count -= held;
        const uint64_t next = (uint64_t(block) + 1) * span + first_position;
        if (next > UINT32_MAX) return delivered;
        position = static_cast<uint32_t>(next);
    }
}

// With salvage, the bytes' doubt as well.
[[gnu::always_inline]] inline long read_topic_bytes(DecompileContext& ctx, std::FILE* file, uint8_t* out,
                                                    uint8_t* doubt, long count) {
    return doubt != nullptr ? read_topic_bytes<true>(ctx, file, 0, out, doubt, count)
                            : read_topic_bytes<false>(ctx, file, 0, out, nullptr, count);
}

[[gnu::always_inline]] inline bool any_doubt(const uint8_t* doubt, long count) {
    return doubt != nullptr && std::find(doubt, doubt + count, 1) != doubt + count;
}

}  // namespace

long topic_read(DecompileContext& ctx, std::FILE* file, uint32_t position, void* buffer, long count) {
    return read_topic_bytes<false>(ctx, file, position, static_cast<uint8_t*>(buffer), nullptr, count);
}

void topic_release_kept_blocks(DecompileContext& ctx) {
    // A cached block read in place moves into the buffer first.
    if (ctx.block_data != nullptr && ctx.block_data != ctx.block_buffer) {
        std::memcpy(ctx.block_buffer, ctx.block_data, static_cast<size_t>(std::max(ctx.block_valid, 0)));
        ctx.block_data = ctx.block_buffer;
    }
    for (int32_t i = 0; i < ctx.kept_block_count; ++i) {
        if (ctx.kept_blocks[i].bytes) tracked_free(ctx, ctx.kept_blocks[i].bytes);
        if (ctx.kept_blocks[i].doubt) tracked_free(ctx, ctx.kept_blocks[i].doubt);
    }
    if (ctx.kept_blocks) tracked_free(ctx, ctx.kept_blocks);
    ctx.kept_blocks = nullptr;
    ctx.kept_block_count = 0;
}

// Room for `stored` bytes of stored text in the packed text buffer; with
// salvage, behind it room for the doubt a mend left on `doubted` bytes
// (doubt; null without salvage).
uint8_t* room_for_text(DecompileContext& ctx, long stored, long doubted, uint8_t*& doubt) {
    uint8_t* packed = room_in(ctx, ctx.packed_text, ctx.packed_text_capacity,
                              ctx.salvage ? stored + 1 + doubted + 1 : stored + 1);
    doubt = ctx.salvage ? packed + stored + 1 : nullptr;
    return packed;
}

long topic_read_text(DecompileContext& ctx, std::FILE* file, char* buffer, long expanded_length,
                     long stored_length) {
    if (expanded_length < 0 || stored_length < 0) return 0;
    if (stored_length < expanded_length) {
        uint8_t* doubt = nullptr;
        uint8_t* packed = room_for_text(ctx, stored_length, stored_length, doubt);
        long got = read_topic_bytes(ctx, file, packed, doubt, stored_length);
        if (got < stored_length) {
            // A text part cut off by the end of |TOPIC ends the walk; its
            // codes may be cut in two, so they are not expanded.
            std::memset(buffer, 0, static_cast<size_t>(expanded_length) + 1);
            return got;
        }
        if (any_doubt(doubt, got)) {
            // Bytes copying garbled ones show as '?', and only codes of sound
            // bytes naming no phrase make the record unreadable.
            const long produced = phrase_expand_doubtful(ctx, buffer, expanded_length, packed, doubt, got);
            if (produced < 0) return -1;
            std::memset(buffer + produced, 0, static_cast<size_t>(expanded_length - produced) + 1);
            return got;
        }
        if (ctx.salvage && !phrase_codes_sound(ctx, expanded_length, packed, got)) return -1;
        char* end = phrase_expand(ctx, buffer, expanded_length, packed, got);
        long produced = static_cast<long>(end - buffer);
        if (produced > expanded_length) {
            fatal_error("Phrase replacement delivers %ld bytes instead of %ld", produced, expanded_length);
        }
        std::memset(buffer + produced, 0, static_cast<size_t>(expanded_length - produced) + 1);
        return got;
    }
    uint8_t* doubt = nullptr;
    if (ctx.salvage) room_for_text(ctx, 0, expanded_length, doubt);
    long got = read_topic_bytes(ctx, file, reinterpret_cast<uint8_t*>(buffer), doubt, expanded_length);
    if (got < expanded_length) {
        std::memset(buffer + got, 0, static_cast<size_t>(expanded_length - got) + 1);
        return got;
    }
    buffer[expanded_length] = '\0';
    if (any_doubt(doubt, got))
        for (long k = 0; k < got; ++k)
            if (doubt[k] && buffer[k] != '\0') buffer[k] = '?';
    read_and_drop(ctx, file, stored_length - expanded_length, got);
    return got;
}

long topic_check_text(DecompileContext& ctx, std::FILE* file, long expanded_length, long stored_length) {
    if (expanded_length < 0 || stored_length < 0) return 0;
    long got = 0;
    if (stored_length < expanded_length) {
        uint8_t* doubt = nullptr;
        uint8_t* packed = room_for_text(ctx, stored_length, stored_length, doubt);
        got = read_topic_bytes(ctx, file, packed, doubt, stored_length);
        if (got == stored_length) {
            // The same verdict as topic_read_text's.
            if (any_doubt(doubt, got))
                return phrase_expand_doubtful(ctx, nullptr, expanded_length, packed, doubt, got) < 0 ? -1 : got;
            if (ctx.salvage && !phrase_codes_sound(ctx, expanded_length, packed, got)) return -1;
            const long produced = phrase_expanded_length(ctx, expanded_length, packed, got);
            if (produced > expanded_length) {
                fatal_error("Phrase replacement delivers %ld bytes instead of %ld", produced, expanded_length);
            }
        }
        return got;
    }
    // Stored as it is: what topic_read_text reads, in chunks.
    read_and_drop(ctx, file, stored_length, got);
    return got;
}

bool topic_walk_start(DecompileContext& ctx, std::FILE* file, TopicWalk& walk) {
    std::memset(&walk, 0, sizeof walk);
    walk.position = first_position;
    walk.next_position = first_position;
    long length = 0;
    if (!find_internal_file(ctx, file, &length, "|TOPIC")) {
        walk.finished = true;
        return false;
    }
    ctx.topic_file_size = static_cast<int32_t>(std::min<long>(std::max<long>(length, 0), INT32_MAX));
    // Lengths are measured against the blocks the help file really holds:
    // a directory entry claiming more must not size record buffers.
    const int64_t readable = std::min<int64_t>(ctx.topic_file_size, bytes_left_in_file(file));
    const int64_t blocks = ctx.block_size > 0 ? (readable + ctx.block_size - 1) / ctx.block_size : 0;
    walk.stream_limit = blocks * std::clamp<int64_t>(ctx.decompress_size, 0, topic_block_buffer_size);
    // One stored byte yields at most a phrase (plus a space), or a run of
    // 16 spaces or NULs.
    walk.expansion_limit = std::max<int64_t>(16, longest_phrase(ctx) + 1);
    walk.salvage.readable = readable;
    if (ctx.salvage) ctx.topics_total = ctx.topics_whole = 0;
    return true;
}

bool topic_walk_next(DecompileContext& ctx, std::FILE* file, TopicWalk& walk) {
    if (walk.finished) return false;
    free_record(walk);
    if (ctx.salvage) return salvage_walk_next(ctx, file, walk);
    if (walk.started) {
        if (walk.next_position == 0) return stop(ctx, walk);
        walk.position = walk.next_position;
    }
    walk.started = true;

    uint8_t raw[topic_link_header_size];
    if (topic_read(ctx, file, walk.position, raw, topic_link_header_size) < topic_link_header_size) {
        return stop(ctx, walk);
    }
    walk.link = parse_link(raw);
    const TopicLink& link = walk.link;
    walk.next_position = following_position(ctx, walk.position, link);
    if (walk.next_position == 0 || !lengths_sound(walk, link)) return stop(ctx, walk);

    if (link.head_length > topic_link_header_size) {
        walk.head_size = link.head_length - topic_link_header_size;
        walk.head = room_in(ctx, walk.head_storage, walk.head_capacity, walk.head_size);
        if (topic_read(ctx, file, 0, walk.head, walk.head_size) < walk.head_size) return stop(ctx, walk);
    }
    if (link.head_length < link.record_length && walk.header_text_only && link.record_type != 2) {
        const long stored = link.record_length - link.head_length;
        if (topic_check_text(ctx, file, link.text_length, stored) != stored) return stop(ctx, walk);
    } else if (link.head_length < link.record_length) {
        const long stored = link.record_length - link.head_length;
        walk.text_size = link.text_length;
        walk.text = room_in(ctx, walk.text_storage, walk.text_capacity, walk.text_size + 1);
        if (topic_read_text(ctx, file, walk.text, walk.text_size, stored) != stored) return stop(ctx, walk);
    }
    return true;
}

void topic_walk_end(DecompileContext& ctx, TopicWalk& walk) {
    release_walk(ctx, walk);
    walk.finished = true;
}

uint32_t topic_header_offset(const DecompileContext& ctx, const TopicWalk& walk, uint32_t topic_offset) {
    const uint32_t next = topic_block_of(ctx, walk.next_position);
    return next == topic_block_of(ctx, walk.position) ? topic_offset : next << 15;
}

void recovered_topic_title(char* title, long size, int32_t topic_number) {
    std::snprintf(title, static_cast<size_t>(size), "Recovered topic %d", topic_number);
}

void report_topic_progress(long number) {
    char line[40] = "\rTopic ";
    char* at = line + 7;
    char digits[24];
    int n = 0;
    unsigned long magnitude = number < 0 ? 0ul - static_cast<unsigned long>(number) : static_cast<unsigned long>(number);
    do {
        digits[n++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (number < 0) *at++ = '-';
    while (n > 0) *at++ = digits[--n];
    std::memcpy(at, "...", 4);
    std::fputs(line, stderr);
}
