// The rich-text writer: the events of the record walk as the topic file,
// one page per topic with its footnotes, then its paragraphs and table
// rows. It owns its output, the cursor into the context table its
// footnotes have reached and the open hotspot's target.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/font_descriptor.h"
#include "render/walk/topic_events.h"

struct DecompileContext;
struct MemoryFile;

struct RtfWriter {
    std::FILE* file;
    MemoryFile* out;
    int32_t context_cursor = 0;  // next |CONTEXT entry still to be written
    // Offsets of the topics begun since keyword footnotes were last written
    // (the one being written last): keywords may name them.
    std::vector<int32_t> topic_starts;
    bool first_topic = true;
    int16_t current_font = -1;
    bool popup = false;  // open hotspot underlines once
    bool jump = false;   // open hotspot underlines twice
    char* target = nullptr;  // tracked; the open hotspot's target
    long target_capacity = 0;
    long target_length = 0;
    bool has_target = false;

    RtfWriter(std::FILE* help_file, MemoryFile* output) : file(help_file), out(output) {}
    // Frees the target (the writer does not keep the context).
    void finish(DecompileContext& ctx);

    HLP_TOPIC_HANDLERS
};

static_assert(TopicWriter<RtfWriter>);

// The |CONTEXT entries the text has reached: the next one's footnote.
void write_context_footnote(DecompileContext& ctx, RtfWriter& w);
// The "+" footnote of topic number topic_number (from 0): the browse
// identifier (sequence low, position high; 0 for none) and the groups.
void write_browse_footnote(DecompileContext& ctx, MemoryFile* out, uint32_t topic_number, uint32_t browse);
// Valid font number with its descriptor, or null.
const FontDescriptor* font_of(const DecompileContext& ctx, int font);
// Character formatting for a change to font number font.
void font_change(DecompileContext& ctx, MemoryFile* out, int font, bool popup, bool jump);
