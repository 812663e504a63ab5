// The record walk of the second pass: every topic link record of |TOPIC
// decoded into the events of topic_events.h for a writer (or a tee of
// them). Records are turned into events as they are read; the walk's own
// state carries over between them.
#pragma once

#include <cstdio>

#include "core/decompile_context.h"
#include "firstpass/first_pass.h"
#include "helpfile/byte_stream.h"
#include "project/context_hash.h"
#include "render/walk/topic_events.h"
#include "render/walk/walk_state.h"
#include "topics/topic_reader.h"
#include "topics/topic_records.h"

namespace record_walk {

// Pictures and embedded windows (0x86 centred, 0x87 left, 0x88 right). The
// picture's own bytes are read as far as the head part goes.
template <class Writer>
bool picture(DecompileContext& ctx, WalkState& s, HeadCursor& c, const TopicCommand& command, Writer& w) {
    const char side = command.code == 0x86 ? 'c' : command.code == 0x87 ? 'l' : 'r';
    HeadCursor data{command.data, c.end, false};
    if (command.picture_type == 3 || command.picture_type == 0x22) {
        const int16_t kind = cursor_i16(data);
        const uint16_t number = kind == 0 ? cursor_u16(data) : 0;
        if (data.overrun) {
            cursor_fail(c);
            return false;
        }
        advance_text_range(s, command.hotspot_characters);
        if (kind == 0) w.on(ctx, Picture{side, number});
        else if (kind == 1) {
            const int32_t embedded = next_embedded_picture(ctx, s);
            if (embedded >= 0) w.on(ctx, Picture{side, static_cast<unsigned>(embedded)});
        }
    } else if (command.picture_type == 5) {
        cursor_skip(data, 6);
        const char* text = data.overrun ? nullptr : cursor_cstring(data);
        if (text == nullptr) {
            cursor_fail(c);
            return false;
        }
        const char name[4] = {'e', 'w', side, '\0'};
        w.on(ctx, EmbeddedWindow{name, text});
    }
    return true;
}

// Hands on the command just read; false when it ends the paragraph (0xFF,
// or a command whose operands do not fit in the head part).
template <class Writer>
bool command(DecompileContext& ctx, WalkState& s, HeadCursor& c, Writer& w) {
    TopicCommand command;
    if (!read_command(c, command)) return false;
    switch (command.kind) {
    case CommandKind::field: w.on(ctx, Field{command.number}); return true;
    case CommandKind::dtype: w.on(ctx, Dtype{static_cast<int16_t>(command.number)}); return true;
    case CommandKind::font: w.on(ctx, FontChange{static_cast<int16_t>(command.number)}); return true;
    case CommandKind::line_break: w.on(ctx, LineBreak{}); return true;
    case CommandKind::paragraph_end: {
        ParagraphEndKind kind;
        if (!paragraph_end_kind(s, c, kind)) return false;
        w.on(ctx, ParagraphEnd{kind});
        return true;
    }
    case CommandKind::tab: w.on(ctx, Tab{}); return true;
    case CommandKind::picture: return picture(ctx, s, c, command, w);
    case CommandKind::hotspot_end: w.on(ctx, HotspotEnd{}); return true;
    case CommandKind::non_breaking_space: w.on(ctx, NonBreakingSpace{}); return true;
    case CommandKind::soft_hyphen: w.on(ctx, SoftHyphen{}); return true;
    case CommandKind::macro_hotspot: w.on(ctx, MacroHotspot{command.code, command.macro}); return true;
    case CommandKind::topic_hotspot:
        w.on(ctx, TopicHotspot{command.code, static_cast<uint32_t>(command.number)});
        return true;
    case CommandKind::extended_hotspot:
        w.on(ctx, ExtendedHotspot{command.code, command.link_type, command.hash, command.window_number,
                                  command.window, command.file});
        return true;
    case CommandKind::end: return false;
    case CommandKind::unknown: return true;  // the first pass refuses unknown codes
    }
    return true;
}

template <class Writer>
void paragraph(DecompileContext& ctx, WalkState& s, HeadCursor& c, Writer& w) {
    const bool in_table = s.record_type == 0x23;
    w.on(ctx, ParagraphStart{static_cast<int64_t>(s.position) < s.non_scroll_end, in_table});
    ParagraphFields fields;
    read_paragraph_fields(ctx, c, in_table, fields, s.tabs);
    if (in_table) s.current_column = fields.column;
    w.on(ctx, fields);
    while (!cursor_done(c)) {
        const char* text;
        long length;
        next_text_string(s, text, length);
        const uint32_t start = s.range_start;
        w.on(ctx, TextRun{text, length, start, s.range_end});
        advance_text_range(s, static_cast<uint32_t>(length) + 1);
        if (!command(ctx, s, c, w)) break;
    }
}

template <class Writer>
void text_record(DecompileContext& ctx, WalkState& s, const TopicWalk& walk, Writer& w) {
    const uint8_t type = walk.link.record_type;
    HeadCursor c = head_cursor(walk.head, walk.head_size);
    s.record_type = type;
    s.current_column = -1;
    s.text = walk.text;
    s.text_size = walk.text != nullptr ? walk.text_size : 0;
    s.text_used = 0;
    // The targets of jumps and popups are looked up in tables far larger
    // than the caches: asking for their lines now lets the text before each
    // hotspot hide the wait. A byte that only looks like a hotspot code
    // costs a needless request, nothing more.
    for (const uint8_t* p = walk.head; p + 5 <= walk.head + walk.head_size; ++p) {
        if ((*p & 0xFA) == 0xE2) prefetch_context_name(ctx, get_le32(p + 1));
    }
    const uint16_t count = record_characters(ctx, walk, read_record_start(c, type));
    if (type == 0x20 || type == 0x23) {
        s.range_start = s.topic_offset;
        s.range_end = s.topic_offset + count;
        s.topic_offset += count;
    }
    if (type == 0x23) {
        const RowDefinition row = read_row_definition(c);
        w.on(ctx, TableRow{row});
    }
    do {
        if (cursor_done(c)) break;
        if (type == 0x23 && (cursor_left(c) < 2 || get_le16(c.at) == 0xFFFF)) break;
        paragraph(ctx, s, c, w);
    } while (type == 0x23);
}

// A topic header: the progress line, the non-scrolling region, the event.
template <class Writer>
void topic_header(DecompileContext& ctx, WalkState& s, const TopicWalk& walk, Writer& w) {
    report_topic_progress(s.topic_number - 15);
    const TopicHeader header = read_topic_header(ctx, walk.head, walk.head_size);
    uint32_t known_offset = s.topic_offset;
    if (!ctx.old_format) {
        s.non_scroll_end = header.scroll != -1 ? header.scroll : header.next_header;
        known_offset = topic_header_offset(ctx, walk, s.topic_offset);
    }
    const bool titled = walk.text != nullptr && walk.link.text_length > 0;
    w.on(ctx, TopicStart{header, s.topic_number, s.position, s.topic_offset, known_offset,
                         titled ? walk.text : nullptr, titled ? walk.text_size : 0,
                         titled ? bounded_length(walk.text, walk.text_size) : 0});
    ++s.topic_number;
}

template <class Writer>
void recovered_topic(DecompileContext& ctx, WalkState& s, const TopicWalk& walk, Writer& w) {
    report_topic_progress(s.topic_number - 15);
    s.non_scroll_end = -1;
    w.on(ctx, RecoveredTopic{s.topic_number, s.topic_offset, walk.salvage.title,
                             bounded_length(walk.salvage.title, static_cast<long>(sizeof walk.salvage.title))});
    ++s.topic_number;
}

}  // namespace record_walk

// Walks every topic link record of |TOPIC into the writer's events.
template <TopicWriter Writer>
void walk_topic_records(DecompileContext& ctx, std::FILE* file, Writer& w) {
    TopicWalk walk{};
    if (!topic_walk_start(ctx, file, walk)) return;
    w.on(ctx, WalkStarted{});
    WalkState s;
    walk.salvage.record_sound = topic_record_sound;
    while (topic_walk_next(ctx, file, walk)) {
        s.position = walk.position;
        // After dropped records (salvage), as in the first pass.
        s.topic_offset = topic_offset_before_record(ctx, walk, s.topic_offset);
        s.topic_number += walk.salvage.lost_topics;
        if (walk.salvage.recovered_topic) record_walk::recovered_topic(ctx, s, walk, w);
        const uint8_t type = walk.link.record_type;
        const bool has_head = walk.head != nullptr && walk.head_size > 0;
        if (type == 2 && has_head) record_walk::topic_header(ctx, s, walk, w);
        else if ((type == 1 && has_head && walk.text != nullptr) || ((type == 0x20 || type == 0x23) && has_head))
            record_walk::text_record(ctx, s, walk, w);
        s.topic_offset = topic_offset_after_record(ctx, walk, s.topic_offset);
    }
    topic_walk_end(ctx, walk);
}
