// |TOPIC as one logical stream across its blocks, and the walk over its
// topic link records that both passes share.
#pragma once

#include "topics/title_offsets.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "core/decompile_context.h"

struct TopicWalk;

constexpr int topic_block_buffer_size = 16384;
// Topic positions count from the first block's data, after its header.
constexpr uint32_t topic_first_position = 12;
constexpr int topic_link_header_size = 21;

struct TopicLink {
    int32_t record_length;
    int32_t text_length;
    int32_t previous_link;
    int32_t next_link;
    int32_t head_length;
    uint8_t record_type;
};

// Reads count bytes of the logical stream from the topic position (0: go
// on after the last byte delivered); fewer only at the end of |TOPIC. A
// read that reaches the end of a block's data goes on at the next block's
// first position, as does a position past a block's data.
long topic_read(DecompileContext& ctx, std::FILE* file, uint32_t position, void* buffer, long count);
// Frees the expanded blocks kept for the second pass once it is done.
void topic_release_kept_blocks(DecompileContext& ctx);
// Reads the current record's text part into buffer (expanded_length + 1
// bytes), phrase-expanding it when stored shorter; returns the bytes consumed.
long topic_read_text(DecompileContext& ctx, std::FILE* file, char* buffer, long expanded_length,
                     long stored_length);

// Reads the current record's text part as topic_read_text does, with the
// same fatal errors, but keeps nothing; returns the bytes consumed.
long topic_check_text(DecompileContext& ctx, std::FILE* file, long expanded_length, long stored_length);

// Salvage (ctx.salvage) only. A damaged record (impossible lengths, a link
// that goes backwards or leaves |TOPIC) is dropped with the rest of its
// block, and the walk goes on at the first record the next block's header
// names. A record whose link is sound but whose text names no phrase, or
// whose head part record_sound refuses, is dropped alone. Both passes meet
// the same damage, so they skip alike.
struct TopicSalvage {
    // Set by the pass.
    bool (*record_sound)(DecompileContext& ctx, const TopicWalk& walk);  // set by both passes alike
    bool note_losses;       // this pass writes the losses into the damage report
    // Told to the pass with each record.
    bool resynced;          // the first record after dropped ones, in a later block: its offsets begin there
    bool recovered_topic;   // and its topic's header was lost: it starts a topic
    uint32_t header_offset; // the offset given to the last topic header, + 1 (0: none yet)
    int32_t lost_topics;    // topics lost whole just before this record
    char title[64];         // the current topic's title, for the report
    // The walk's own bookkeeping.
    int64_t readable;       // bytes of |TOPIC the help file really holds
    int32_t topic_number;   // topics begun so far (1 = the first), lost ones counted
    int32_t id_offset;      // a topic header's own number less its place in the walk
    bool id_offset_known;
    bool dropped_since_header;  // records were dropped since the last topic header
    uint32_t next_header;   // where the current topic header puts the next one, 0 unknown
    bool topic_damaged;     // the current topic lost records
    bool awaiting_topic;    // records were dropped since the last topic began
    int32_t damaged_topics;
    uint32_t resync_block;    // block + 1 of the searches counted below
    int32_t resync_searches;  // searches for records past damage in that block
    int32_t resync_mends;     // its expanded bytes mended
    int32_t resync_shift;     // how far those mends moved its later bytes, in all
    long mend_untrusted;          // bytes past the last mend that copy garbled ones
    uint32_t mend_untrusted_end;  // the topic position of the last of them
};

// The record walk both passes share. topic_walk_next reads one record's
// header, head part and text part and leaves processing by type to the
// caller; it delivers every record the chain reaches, of any type.
//
// After topic_walk_next answers true:
// - position is the topic position of the record's 21-byte header;
// - link is that header as stored; link.next_link keeps its stored meaning
//   (old format: a distance from position; otherwise a topic position);
// - next_position is the topic position of the record that follows, in both
//   formats (the absolute form of next_link);
// - ctx.next_position lies just after the record's text part, so a
//   topic_read at position 0 would continue with the stream after it.
//
// The walk ends (false) before delivering a record when:
// - fewer than 21 header bytes are left in |TOPIC;
// - the chain does not advance: next_link <= position (not old format; this
//   includes the -1 that ends the chain), or next_link <= 0 (old format);
// - old format: position + next_link reaches the |TOPIC size;
// - a length is negative or larger than the stream could hold, or the text
//   length is more than phrase expansion could produce from the stored bytes
//   (stored bytes x expansion_limit) or more than 16 MiB;
// - the head or text part cannot be read whole.
struct TopicWalk {
    uint32_t position;  // topic position of the current record
    TopicLink link;
    uint8_t* head;      // head part, head_size bytes, or null
    long head_size;
    char* text;         // text part expanded and NUL-terminated, or null
    long text_size;     // text_length when there is a text part, else 0
    bool started;       // a record has been delivered
    // Added for the walk's own bookkeeping; callers may read them.
    bool finished;           // the walk has ended; topic_walk_next stays false
    uint32_t next_position;  // topic position of the following record
    int64_t stream_limit;    // most bytes the logical stream can hold
    int64_t expansion_limit; // most bytes one stored byte can expand to
    // Set by a caller that reads only topic headers' text (the first pass):
    // other records' text parts are read and checked (phrase codes and
    // lengths, with the same fatal errors) but not kept; text is null.
    bool header_text_only;
    // The head and text parts live in these tracked buffers, which only
    // grow, so a record allocates nothing once the largest has been seen.
    uint8_t* head_storage;
    long head_capacity;
    char* text_storage;
    long text_capacity;

    TopicSalvage salvage;
};

// The block of |TOPIC that holds topic position `position`.
inline uint32_t topic_block_of(const DecompileContext& ctx, uint32_t position) {
    return ctx.decompress_size > 0 ? (position - topic_first_position) / static_cast<uint32_t>(ctx.decompress_size) : 0;
}

// The offset the context table and the window map know a topic by: a
// header that ends a block gives its topic the next block's start.
uint32_t topic_header_offset(const DecompileContext& ctx, const TopicWalk& walk, uint32_t topic_offset);

// The running topic offset (characters of topic text so far) at the record
// the walk just delivered: after dropped records, the first record of a
// later block begins that block's offsets. With salvage a topic header's
// title finds its offset in |TTLBTREE (title_offsets.h): in a block whose
// records were dropped, or copy garbled bytes, the characters before it
// are not all known. An intact file's headers find the offsets they have.
inline uint32_t topic_offset_before_record(const DecompileContext& ctx, TopicWalk& walk, uint32_t topic_offset) {
    if (!ctx.salvage || ctx.old_format) return topic_offset;
    const uint32_t block = topic_block_of(ctx, walk.position);
    uint32_t offset = topic_offset;
    if (walk.salvage.resynced) offset = block << 15;
    else if (walk.link.record_type == 2 && ctx.title_offset_count > 0)
        offset = offset_by_title(ctx, walk, topic_offset, std::max(block << 15, walk.salvage.header_offset), (block + 1) << 15);
    if (walk.link.record_type == 2) walk.salvage.header_offset = offset + 1;
    return offset;
}

// The characters a text record adds to the topic offset, as its head part
// counts them. No record counts many more than its text holds (a picture or
// a command adds a few): with salvage, a count far past that is garbled and
// counts the text alone.
inline uint16_t record_characters(const DecompileContext& ctx, const TopicWalk& walk, uint16_t count) {
    constexpr long slack = 64;
    if (!ctx.salvage || long(count) <= long(walk.link.text_length) + slack) return count;
    return static_cast<uint16_t>(std::clamp<long>(walk.link.text_length, 0, count));
}
// And after it: a record whose successor lies in another block hands on
// that block's offsets.
inline uint32_t topic_offset_after_record(const DecompileContext& ctx, const TopicWalk& walk, uint32_t topic_offset) {
    if (ctx.old_format) return topic_offset;
    const uint32_t next = topic_block_of(ctx, walk.next_position);
    return next != topic_block_of(ctx, walk.position) ? next << 15 : topic_offset;
}

// The progress line both passes print at each topic ("\rTopic N..." on the
// standard error stream), assembled rather than formatted: it is printed
// once a topic per pass.
void report_topic_progress(long number);

// Looks |TOPIC up, notes its size in the context and prepares the walk at
// position 12; false when there is none.
bool topic_walk_start(DecompileContext& ctx, std::FILE* file, TopicWalk& walk);
// Reads the next record; false when the walk ends (the buffers are freed).
bool topic_walk_next(DecompileContext& ctx, std::FILE* file, TopicWalk& walk);
// The title the conversion gives a topic whose header was lost.
void recovered_topic_title(char* title, long size, int32_t topic_number);
// Frees the walk's buffers (also after an early stop).
void topic_walk_end(DecompileContext& ctx, TopicWalk& walk);
