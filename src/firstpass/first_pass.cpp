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

// Reads a record's head part; every read is checked against its end.
struct HeadCursor {
    const uint8_t* p;
    const uint8_t* end;
    // A dry scan (salvage's check of a record) has no effect and, where a
    // code would be fatal, sets refused and ends instead.
    bool dry = false;
    bool refused = false;
    bool refuse() {
        refused = true;
        return false;
    }
    bool left(long n) const { return n >= 0 && end - p >= n; }
    bool skip(long n) {
        if (!left(n)) return false;
        p += n;
        return true;
    }
    // Skips a compressed value of `small` bytes, or twice that when its
    // first byte is odd.
    bool skip_compressed(int small) { return left(1) && skip((*p & 1) ? 2 * small : small); }
    bool compressed_unsigned_short(unsigned* value) {
        if (!left(1)) return false;
        if ((*p & 1) == 0) {
            *value = *p++ >> 1;
            return true;
        }
        if (!left(2)) return false;
        *value = get_le16(p) >> 1;
        p += 2;
        return true;
    }
    bool int16(int16_t* value) {
        if (!left(2)) return false;
        *value = static_cast<int16_t>(get_le16(p));
        p += 2;
        return true;
    }
};

uint32_t block_of(const DecompileContext& ctx, uint32_t position) {
    return (position - 12) / static_cast<uint32_t>(ctx.decompress_size);
}

// Skips the paragraph fields its flags announce; false when they run past
// the head part.
bool skip_paragraph_fields(HeadCursor& c, uint16_t flags) {
    if ((flags & 0x0001) && !c.skip_compressed(2)) return false;
    for (uint16_t bit = 0x0002; bit <= 0x0040; bit <<= 1) {
        if ((flags & bit) && !c.skip_compressed(1)) return false;
    }
    if ((flags & 0x0100) && !c.skip(3)) return false;
    if (flags & 0x0200) {
        if (!c.left(1)) return false;
        int count;
        if ((*c.p & 1) == 0) {
            count = (*c.p >> 1) - 64;
            c.p += 1;
        } else {
            if (!c.left(2)) return false;
            count = (get_le16(c.p) >> 1) - 16384;
            c.p += 2;
        }
        for (int i = 0; i < count; ++i) {
            unsigned stop;
            if (!c.compressed_unsigned_short(&stop)) return false;
            if ((stop & 0x4000) && !c.skip_compressed(1)) return false;
        }
    }
    return true;
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

// A picture or embedded window command; false when its data would lie
// outside the head part.
bool picture_command(DecompileContext& ctx, HeadCursor& c) {
    const uint8_t* command = c.p;
    if (!c.left(3)) return false;
    uint8_t form = command[1];
    c.p += 2;
    int size;
    if ((*c.p & 1) == 0) {
        if (!c.left(2)) return false;
        size = (get_le16(c.p) >> 1) - 0x4000;
        c.p += 2;
    } else {
        if (!c.left(4)) return false;
        size = static_cast<int16_t>(static_cast<uint16_t>(get_le32(c.p) >> 1));
        c.p += 4;
    }
    if (form == 0x22) {
        unsigned hotspots;
        if (!c.compressed_unsigned_short(&hotspots)) return false;
    }
    const uint8_t* data = c.p;
    if (size < 0 || !c.left(size)) return false;
    c.p = data + size;
    if (c.dry) return true;
    if (form == 5 && size > 6) {
        const char* text = reinterpret_cast<const char*>(data + 6);
        size_t length = strnlen(text, static_cast<size_t>(size - 6));
        if (length < static_cast<size_t>(size - 6) && text[0] == '!') {
            if (const char* comma = std::strchr(text, ',')) check_macro(ctx, comma + 1);
        }
    } else if ((form == 3 || form == 0x22) && size >= 2 && get_le16(data) == 1) {
        export_embedded_picture(ctx, data + 2, size - 2);
    }
    return true;
}

// A macro held in a command: length at offset 1, text at offset 3.
bool macro_command(DecompileContext& ctx, HeadCursor& c) {
    if (!c.left(3)) return false;
    int length = static_cast<int16_t>(get_le16(c.p + 1));
    if (length < 0 || !c.left(3 + long(length))) return false;
    const char* text = reinterpret_cast<const char*>(c.p + 3);
    if (!c.dry && length > 0 && strnlen(text, static_cast<size_t>(length)) < static_cast<size_t>(length))
        check_macro(ctx, text);
    c.p += 3 + length;
    return true;
}

// The commands of one paragraph up to 0xFF; false when they run past the
// head part (the record then ends).
bool scan_commands(DecompileContext& ctx, HeadCursor& c) {
    while (c.left(1)) {
        uint8_t code = *c.p;
        switch (code) {
            case 0xFF: ++c.p; return true;
            case 0x20: case 0xE0: case 0xE1: case 0xE2: case 0xE3: case 0xE6: case 0xE7:
                if (!c.skip(5)) return false;
                break;
            case 0x21: case 0x80:
                if (!c.skip(3)) return false;
                break;
            case 0x81: case 0x82: case 0x83: case 0x89: case 0x8B: case 0x8C:
                ++c.p;
                break;
            case 0x86: case 0x87: case 0x88:
                if (!picture_command(ctx, c)) return false;
                break;
            case 0xC8: case 0xCC:
                if (!macro_command(ctx, c)) return false;
                break;
            case 0xEA: case 0xEB: case 0xEE: case 0xEF: {
                if (!c.left(4)) return false;
                uint8_t target_form = c.p[3];
                if (target_form != 0 && target_form != 1 && target_form != 4 && target_form != 6) {
                    if (c.dry) return c.refuse();
                    fatal_error("Unknown modifier %02x in tag %02x", target_form, code);
                }
                int length = static_cast<int16_t>(get_le16(c.p + 1));
                if (length < 1 || !c.skip(3 + long(length))) return false;
                break;
            }
            default:
                if (c.dry) return c.refuse();
                fatal_error("Unknown %02x", code);
        }
    }
    return false;
}

void scan_text_record(DecompileContext& ctx, const TopicWalk& walk, HeadCursor& c, uint32_t& topic_offset);

// Returns false when a dry scan refused the record.
bool text_record(DecompileContext& ctx, const TopicWalk& walk, uint32_t& topic_offset, bool dry = false) {
    HeadCursor c{walk.head, walk.head + walk.head_size};
    c.dry = dry;
    scan_text_record(ctx, walk, c, topic_offset);
    return !c.refused;
}

void scan_text_record(DecompileContext& ctx, const TopicWalk& walk, HeadCursor& c, uint32_t& topic_offset) {
    uint8_t type = walk.link.record_type;
    if (!c.skip_compressed(2)) return;
    if (type == 0x20 || type == 0x23) {
        unsigned count;
        if (!c.compressed_unsigned_short(&count)) return;
        topic_offset += count;
    }
    if (type == 0x23) {
        if (!c.left(2)) return;
        uint8_t columns = c.p[0];
        uint8_t table_type = c.p[1];
        c.p += 2;
        if (table_type > 3) {
            if (c.dry) {
                c.refuse();
                return;
            }
            fatal_error("Unknown TableType %d", table_type);
        }
        if ((table_type == 0 || table_type == 2) && !c.skip(2)) return;
        if (!c.skip(4L * columns)) return;
    }
    for (;;) {
        if (type == 0x23) {
            int16_t column;
            if (!c.int16(&column) || column == -1 || !c.skip(3)) return;
        }
        int16_t flags;
        if (!c.skip(4) || !c.int16(&flags)) return;
        if (!skip_paragraph_fields(c, static_cast<uint16_t>(flags))) return;
        if (!scan_commands(ctx, c)) return;
        if (type != 0x23) return;
    }
}

void topic_header(DecompileContext& ctx, const TopicWalk& walk, uint32_t topic_offset, long counter) {
    report_topic_progress(counter - 15);
    const uint8_t* head = walk.head;
    bool links = walk.head_size >= 12;
    if (ctx.old_format) {
        int32_t next = links ? static_cast<int16_t>(get_le16(head + 8)) : -1;
        int32_t previous = links ? static_cast<int16_t>(get_le16(head + 4)) : -1;
        browse_select(ctx, static_cast<int32_t>(counter), static_cast<int32_t>(counter), next, previous);
        return;
    }
    uint32_t following = topic_offset;
    if (block_of(ctx, walk.next_position) != block_of(ctx, walk.position)) {
        following = block_of(ctx, walk.next_position) << 15;
    }
    if (following != topic_offset) {
        ctx.topic_aliases = static_cast<TopicOffsetAlias*>(tracked_realloc(
            ctx, ctx.topic_aliases, (ctx.topic_alias_count + 1) * long(sizeof(TopicOffsetAlias))));
        ctx.topic_aliases[ctx.topic_alias_count++] = {static_cast<int32_t>(topic_offset),
                                                      static_cast<int32_t>(following)};
    }
    int32_t next = links ? static_cast<int32_t>(get_le32(head + 8)) : -1;
    int32_t previous = links ? static_cast<int32_t>(get_le32(head + 4)) : -1;
    browse_select(ctx, static_cast<int32_t>(topic_offset), static_cast<int32_t>(following), next, previous);
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
        walk.record_sound = topic_record_sound;
        walk.note_losses = true;
        uint32_t topic_offset = 0;
        long counter = 16;
        while (topic_walk_next(ctx, file, walk)) {
            uint8_t type = walk.link.record_type;
            // The first record a block names begins that block's offsets.
            if (walk.resynced && !ctx.old_format) topic_offset = block_of(ctx, walk.position) << 15;
            counter += walk.lost_topics;
            // A topic whose header was lost takes its number like any topic.
            if (walk.recovered_topic) report_topic_progress(counter++ - 15);
            if (walk.head != nullptr) {
                if (type == 2) {
                    topic_header(ctx, walk, topic_offset, counter++);
                } else if (type == 1 || type == 0x20 || type == 0x23) {
                    text_record(ctx, walk, topic_offset);
                }
            }
            if (!ctx.old_format && block_of(ctx, walk.next_position) != block_of(ctx, walk.position)) {
                topic_offset = block_of(ctx, walk.next_position) << 15;
            }
        }
        topic_walk_end(ctx, walk);
    }
    ctx.browse_count = ctx.next_browse_number - 1;
    context_names_end_batch(ctx);
}
