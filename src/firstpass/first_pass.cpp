// The first pass over all topics. It writes no text; it learns what the
// project file and the conversion need in advance: context names, the
// macros to check, browse chains, topic offset aliases, and the pictures
// stored inside topic text.
#include "firstpass/first_pass.h"

#include <cstdio>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/browse.h"
#include "firstpass/pictures.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "project/macros.h"
#include "project/system_file.h"
#include "topics/topic_reader.h"
#include "topics/topic_records.h"

namespace {

void check_system_macros(DecompileContext& ctx, std::FILE* file) {
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        if (r->type == 4) check_macro(ctx, system_record_text(r));
    }
}

// |TopicId holds the context strings the author wrote.
void read_topic_ids(DecompileContext& ctx, std::FILE* file) {
    long length = 0;
    if (!find_internal_file(ctx, file, &length, "|TopicId")) return;
    BTreeWalk walk{};
    for (int n = btree_first_leaf(ctx, walk, file, nullptr, length, "|TopicId"); n; n = btree_next_leaf(ctx, walk, file)) {
        for (int i = 0; i < n; ++i) {
            read_dword(file);
            read_cstring(ctx.scratch, file, context_scratch_size);
            if (std::ftell(file) > walk.data_end) fatal_error("B+ tree entries run past their internal file.\n");
            add_context_name(ctx, ctx.scratch, false);
        }
    }
    ctx.guess_context_ids = false;
}

void export_embedded_picture(DecompileContext& ctx, const uint8_t* data, long size) {
    // The pass only ever takes numbers, so the search goes on from the last
    // one taken instead of from 1 for every picture.
    int32_t n = ctx.picture_free_hint > 1 ? ctx.picture_free_hint : 1;
    while (n < ctx.picture_table_size && ctx.picture_table[n] != 0) ++n;
    ctx.picture_free_hint = n;
    if (n >= 65536) return;  // more than picture numbers can name
    if (ctx.picture_table_size < n + 1) {
        ctx.picture_table = static_cast<uint8_t*>(tracked_realloc(ctx, ctx.picture_table, n + 1));
        std::memset(ctx.picture_table + ctx.picture_table_size, 0, n + 1 - ctx.picture_table_size);
        ctx.picture_table_size = n + 1;
    }
    char name[32];
    std::snprintf(name, sizeof name, "bm%u", static_cast<unsigned>(n));
    ByteStream* stream = stream_open_buffer(ctx, const_cast<uint8_t*>(data), size);
    unsigned flags = picture_export(ctx, name, stream);
    tracked_free(ctx, stream);
    ctx.picture_table[n] = static_cast<uint8_t>(flags | picture_from_topic);
}

// What the first pass takes from a picture command: the macro of a button
// and the pictures stored in the text.
void picture_command(DecompileContext& ctx, const TopicCommand& command) {
    const uint8_t* data = command.data;
    const long size = command.size;
    if (command.picture_type == 5 && size > 6) {
        const char* text = reinterpret_cast<const char*>(data + 6);
        size_t length = strnlen(text, static_cast<size_t>(size - 6));
        if (length < static_cast<size_t>(size - 6) && text[0] == '!') {
            if (const char* comma = std::strchr(text, ',')) check_macro(ctx, comma + 1);
        }
    } else if ((command.picture_type == 3 || command.picture_type == 0x22) && size >= 2 && get_le16(data) == 1) {
        export_embedded_picture(ctx, data + 2, size - 2);
    }
}

// A code the format does not have is fatal; a dry scan (salvage's check of
// a record) refuses the record instead, with no effect.
bool refuse(bool dry, bool& refused, const TopicCommand& command) {
    if (dry) {
        refused = true;
        return false;
    }
    if (command.kind == CommandKind::unknown) fatal_error("Unknown %02x", command.code);
    fatal_error("Unknown modifier %02x in tag %02x", command.link_type, command.code);
}

// The commands of one paragraph up to 0xFF; false when they run past the
// head part (the record then ends).
bool scan_commands(DecompileContext& ctx, HeadCursor& c, bool dry, bool& refused) {
    TopicCommand command;
    while (read_command(c, command)) {
        switch (command.kind) {
        case CommandKind::end: return true;
        case CommandKind::unknown: return refuse(dry, refused, command);
        case CommandKind::picture:
            if (!dry) picture_command(ctx, command);
            break;
        case CommandKind::macro_hotspot: {
            const size_t claimed = static_cast<size_t>(command.claimed);
            if (!dry && claimed > 0 && strnlen(command.macro, claimed) < claimed) check_macro(ctx, command.macro);
            break;
        }
        case CommandKind::extended_hotspot: {
            const uint8_t form = command.link_type;
            if (form != 0 && form != 1 && form != 4 && form != 6) return refuse(dry, refused, command);
            break;
        }
        default: break;
        }
    }
    return false;
}

// Returns false when a dry scan refused the record.
bool text_record(DecompileContext& ctx, const TopicWalk& walk, uint32_t& topic_offset, bool dry = false) {
    const uint8_t type = walk.link.record_type;
    HeadCursor c = head_cursor(walk.head, walk.head_size);
    bool refused = false;
    topic_offset += record_characters(ctx, walk, read_record_start(c, type));
    if (c.overrun) return true;
    if (type == 0x23) {
        const RowDefinition row = read_row_definition(c);
        if (row.table_type > 3) {
            if (dry) return false;
            fatal_error("Unknown TableType %d", row.table_type);
        }
        if (!row.complete) return true;
    }
    ParagraphFields fields;
    std::vector<FormatTab> tabs;
    do {
        if (type == 0x23 && (cursor_left(c) < 2 || get_le16(c.at) == 0xFFFF)) break;
        read_paragraph_fields(ctx, c, type == 0x23, fields, tabs);
        if (c.overrun || !scan_commands(ctx, c, dry, refused)) break;
    } while (type == 0x23);
    return !refused;
}

void topic_header(DecompileContext& ctx, const TopicWalk& walk, uint32_t topic_offset, long counter) {
    report_topic_progress(counter - 15);
    const TopicHeader header = read_topic_header(ctx, walk.head, walk.head_size);
    if (ctx.old_format) {
        browse_select(ctx, static_cast<int32_t>(counter), static_cast<int32_t>(counter), header.browse_next,
                      header.browse_previous);
        return;
    }
    const uint32_t following = topic_header_offset(ctx, walk, topic_offset);
    if (following != topic_offset) {
        ctx.topic_aliases = static_cast<TopicOffsetAlias*>(tracked_realloc(
            ctx, ctx.topic_aliases, (ctx.topic_alias_count + 1) * long(sizeof(TopicOffsetAlias))));
        ctx.topic_aliases[ctx.topic_alias_count++] = {static_cast<int32_t>(topic_offset),
                                                      static_cast<int32_t>(following)};
    }
    browse_select(ctx, static_cast<int32_t>(topic_offset), static_cast<int32_t>(following), header.browse_next,
                  header.browse_previous);
    if (walk.text == nullptr || walk.text_size <= 0) return;
    if (walk.text[0] && ctx.guess_context_ids) {
        derive_context_names(ctx, walk.text, static_cast<int32_t>(topic_offset));
        if (following != topic_offset) derive_context_names(ctx, walk.text, static_cast<int32_t>(following));
    }
    // Every further string that starts inside the text is an entry macro.
    for (long at = static_cast<long>(std::strlen(walk.text)) + 1; at < walk.text_size;
         at += static_cast<long>(std::strlen(walk.text + at)) + 1) {
        check_macro(ctx, walk.text + at);
    }
}

}  // namespace

bool topic_record_sound(DecompileContext& ctx, const TopicWalk& walk) {
    const uint8_t type = walk.link.record_type;
    if (walk.head == nullptr || (type != 1 && type != 0x20 && type != 0x23)) return true;
    uint32_t offset = 0;
    return text_record(ctx, walk, offset, true);
}

void first_pass(DecompileContext& ctx, std::FILE* file) {
    context_names_begin_batch(ctx);
    ctx.picture_free_hint = 1;
    check_system_macros(ctx, file);
    salvage_step(ctx, "|TopicId", "context strings after the damage lost", [&] { read_topic_ids(ctx, file); });
    browse_first_pass_start(ctx);
    TopicWalk walk{};
    if (topic_walk_start(ctx, file, walk)) {
        walk.header_text_only = true;  // only topic headers' text is looked at
        walk.salvage.record_sound = topic_record_sound;
        walk.salvage.note_losses = true;
        uint32_t topic_offset = 0;
        long counter = 16;
        while (topic_walk_next(ctx, file, walk)) {
            uint8_t type = walk.link.record_type;
            // The first record a block names begins that block's offsets.
            topic_offset = topic_offset_before_record(ctx, walk, topic_offset);
            counter += walk.salvage.lost_topics;
            // A topic whose header was lost takes its number like any topic.
            if (walk.salvage.recovered_topic) report_topic_progress(counter++ - 15);
            if (walk.head != nullptr) {
                if (type == 2) {
                    topic_header(ctx, walk, topic_offset, counter++);
                } else if (type == 1 || type == 0x20 || type == 0x23) {
                    text_record(ctx, walk, topic_offset);
                }
            }
            topic_offset = topic_offset_after_record(ctx, walk, topic_offset);
        }
        topic_walk_end(ctx, walk);
    }
    ctx.browse_count = ctx.next_browse_number - 1;
    context_names_end_batch(ctx);
}
