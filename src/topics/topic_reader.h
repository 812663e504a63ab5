// |TOPIC as one logical stream across its blocks, and the walk over its
// topic link records that both passes share.
#pragma once

#include <cstdint>
#include <cstdio>

struct DecompileContext;

constexpr int topic_block_buffer_size = 16384;
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
// on after the last byte delivered); fewer only at the end of |TOPIC.
long topic_read(DecompileContext& ctx, std::FILE* file, uint32_t position, void* buffer, long count);
// Reads the current record's text part into buffer (expanded_length + 1
// bytes), phrase-expanding it when stored shorter; returns the bytes consumed.
long topic_read_text(DecompileContext& ctx, std::FILE* file, char* buffer, long expanded_length,
                     long stored_length);

// One record of the walk. head and text are tracked buffers owned by the
// walk (freed when it moves on or ends); text holds text_length + 1 bytes.
struct TopicWalk {
    uint32_t position;  // topic position of the current record
    TopicLink link;
    uint8_t* head;      // head part, head_size bytes, or null
    long head_size;
    char* text;         // text part expanded and NUL-terminated, or null
    long text_size;     // text_length when there is a text part, else 0
    bool started;
};

// Looks |TOPIC up and prepares the walk; false when there is none.
bool topic_walk_start(DecompileContext& ctx, std::FILE* file, TopicWalk& walk);
// Reads the next record; false when the walk ends (the buffers are freed).
bool topic_walk_next(DecompileContext& ctx, std::FILE* file, TopicWalk& walk);
// Frees the walk's buffers (also after an early stop).
void topic_walk_end(DecompileContext& ctx, TopicWalk& walk);
