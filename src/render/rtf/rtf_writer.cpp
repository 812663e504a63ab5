// The second pass: every topic link record of |TOPIC written as rich text,
// one page per topic with its footnotes, then its paragraphs and table rows.
// Records are converted as they are read; only the cursors into the context
// table, the hotspot target and the character formatting carry over.
#include "render/render_topics.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "firstpass/browse.h"
#include "firstpass/first_pass.h"
#include "firstpass/keyword_footnotes.h"
#include "helpfile/byte_stream.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "project/system_file.h"
#include "render/walk/topic_events.h"
#include "render/rtf/rtf_writer.h"
#include "topics/topic_reader.h"

namespace {

constexpr long first_topic_number = 16;

// Signed view of a topic offset, as the context and keyword tables hold them.
int32_t as_offset(uint32_t value) { return static_cast<int32_t>(value); }

uint32_t block_of(const DecompileContext& ctx, uint32_t position) {
    return ctx.decompress_size > 0 ? (position - 12) / static_cast<uint32_t>(ctx.decompress_size) : 0;
}

int32_t head_i32(const TopicWalk& walk, long offset) {
    return walk.head_size >= offset + 4 ? static_cast<int32_t>(get_le32(walk.head + offset)) : -1;
}

int16_t head_i16(const TopicWalk& walk, long offset) {
    return walk.head_size >= offset + 2 ? static_cast<int16_t>(get_le16(walk.head + offset)) : -1;
}

long scaled(const DecompileContext& ctx, long value) {
    return static_cast<long>(static_cast<int64_t>(value) * ctx.scale_multiplier - ctx.scale_subtrahend);
}

// Length of the string at text, which ends at the NUL or at limit.
long bounded_length(const char* text, long limit) {
    const void* nul = limit > 0 ? std::memchr(text, 0, static_cast<size_t>(limit)) : nullptr;
    return nul != nullptr ? static_cast<const char*>(nul) - text : (limit > 0 ? limit : 0);
}

// Title and entry macros from the text part of a topic header.
void write_title_and_macros(DecompileContext& ctx, RtfConversion& s, const TopicWalk& walk) {
    if (walk.text == nullptr || walk.link.text_length <= 0) return;
    const long size = walk.text_size;
    long length = bounded_length(walk.text, size);
    if (length > 0) {
        write_footnote_start(s.out, '$');
        escape_rtf_bytes(s.out, walk.text, length, ctx.double_byte_text);
        output_puts("}\n", s.out);
    }
    for (long at = length + 1; at < size; at += length + 1) {
        const char* macro = walk.text + at;
        length = bounded_length(macro, size - at);
        write_footnote_start(s.out, '!');
        if (!ctx.minor_above_21 && length > 254)
            std::printf("Help compiler will issue Warning 3511: Macro '%.*s' exceeds limit of 254 characters\n",
                        static_cast<int>(length), macro);
        escape_rtf_bytes(s.out, macro, length, ctx.double_byte_text);
        output_puts("}\n", s.out);
    }
}

}  // namespace

inline void RtfWriter::topic_start(DecompileContext& ctx, const TopicWalk& walk) {
    MemoryFile* out = s.out;
    if (!s.first_topic) output_puts("\\page\n", out);
    s.first_topic = false;
    report_topic_progress(s.topic_counter - 15);
    uint32_t browse = 0;
    // The offset the context table and the window map know the topic by:
    // a header that ends a block gives its topic the next block's start.
    uint32_t topic_offset = s.topic_offset;
    if (ctx.old_format) {
        write_footnote_start(out, '#');
        output_control_word(out, "TOPIC", s.topic_counter);
        output_puts("}\n", out);
        const int32_t key = static_cast<int32_t>(s.topic_counter);
        browse = browse_number_select(ctx, key, key, head_i16(walk, 8), head_i16(walk, 4));
        write_keyword_footnotes(ctx, out, s.file, as_offset(s.position));
    } else {
        const uint32_t next = static_cast<uint32_t>(walk.link.next_link);
        const uint32_t following =
            block_of(ctx, next) == block_of(ctx, s.position) ? s.topic_offset : block_of(ctx, next) << 15;
        const int32_t scroll_start = head_i32(walk, 20);
        s.non_scroll_end = scroll_start != -1 ? scroll_start : head_i32(walk, 24);
        browse = browse_number_select(ctx, as_offset(s.topic_offset), as_offset(following), head_i32(walk, 8),
                                      head_i32(walk, 4));
        topic_offset = following;
    }
    write_browse_footnote(ctx, out, static_cast<uint32_t>(s.topic_counter - first_topic_number), browse);
    write_title_and_macros(ctx, s, walk);
    while (s.context_cursor < ctx.context_count &&
           ctx.contexts[s.context_cursor].topic_offset <= as_offset(topic_offset))
        write_context_footnote(ctx, s);
    int32_t window = topic_window_number(ctx, s.file, as_offset(s.topic_offset));
    if (window == -1 && topic_offset != s.topic_offset)
        window = topic_window_number(ctx, s.file, as_offset(topic_offset));
    if (window != -1) {
        write_footnote_start(out, '>');
        output_printf(out, "%s}\n", window_name(ctx, window));
    }
    ++s.topic_counter;
}

namespace {

// A topic whose header was lost (salvage): its page, a title marked as
// recovered and the context names that point at it; nothing else of the
// header can be known.
void write_recovered_topic_header(DecompileContext& ctx, RtfConversion& s, const TopicWalk& walk) {
    MemoryFile* out = s.out;
    if (!s.first_topic) output_puts("\\page\n", out);
    s.first_topic = false;
    report_topic_progress(s.topic_counter - 15);
    s.non_scroll_end = -1;
    write_footnote_start(out, '$');
    escape_rtf_text(out, walk.title);
    output_puts("}\n", out);
    while (s.context_cursor < ctx.context_count &&
           ctx.contexts[s.context_cursor].topic_offset <= as_offset(s.topic_offset))
        write_context_footnote(ctx, s);
    ++s.topic_counter;
}

}  // namespace

void RtfWriter::recovered_topic(DecompileContext& ctx, const TopicWalk& walk) {
    write_recovered_topic_header(ctx, s, walk);
}
void RtfWriter::keep() { output_puts("\\keep", s.out); }
void RtfWriter::align(char side) { output_puts(side == 'r' ? "\\qr" : "\\qc", s.out); }
void RtfWriter::measure(int index, long twips) {
    static const char* const words[] = {"\\sb", "\\sa", "\\sl", "\\li", "\\ri", "\\fi"};
    output_control_word(s.out, words[index], twips);
}
void RtfWriter::border(uint8_t border) {
    MemoryFile* out = s.out;
    if (border & 0x01) output_puts("\\box", out);
    if (border & 0x02) output_puts("\\brdrt", out);
    if (border & 0x04) output_puts("\\brdrl", out);
    if (border & 0x08) output_puts("\\brdrb", out);
    if (border & 0x10) output_puts("\\brdrr", out);
    output_puts((border & 0x20) ? "\\brdrth" : "\\brdrs", out);
    if (border & 0x40) output_puts("\\brdrdb", out);
}
void RtfWriter::tab_stop(uint16_t type, long twips) {
    if (type == 1) output_puts("\\tqr", s.out);
    else if (type == 2) output_puts("\\tqc", s.out);
    output_control_word(s.out, "\\tx", twips);
}
void RtfWriter::row_start() { output_puts("\\trowd", s.out); }
void RtfWriter::row_centered() { output_puts("\\trqc", s.out); }

namespace {

template <class Writer>
void write_paragraph_attributes(DecompileContext& ctx, HeadCursor& c, uint16_t flags, Writer& w) {
    if (flags & 0x1000) w.keep();
    if (flags & 0x0400) w.align('r');
    if (flags & 0x0800) w.align('c');
    if (flags & 0x0001) cursor_skip_compressed_long(c);
    static const uint16_t measures[] = {0x0002, 0x0004, 0x0008, 0x0010, 0x0020, 0x0040};
    for (int m = 0; m < 6; ++m) {
        if (!(flags & measures[m])) continue;
        int value = cursor_compressed_short(c);
        if (c.overrun) return;
        w.measure(m, scaled(ctx, value));
    }
    if (flags & 0x0100) {
        uint8_t border = cursor_u8(c);
        if (!cursor_skip(c, 2)) return;
        w.border(border);
    }
    if (flags & 0x0200) {
        // Each tab stop takes at least one byte, so the head bounds the count.
        const int count = cursor_compressed_short(c);
        for (int i = 0; i < count && !c.overrun; ++i) {
            const uint16_t stop = cursor_compressed_ushort(c);
            const uint16_t type = (stop & 0x4000) ? cursor_compressed_ushort(c) : 0;
            if (c.overrun) return;
            w.tab_stop(type, scaled(ctx, stop & 0x3FFF));
        }
    }
}

template <class Writer>
void write_row_definition(DecompileContext& ctx, HeadCursor& c, Writer& w) {
    w.row_start();
    const int columns = cursor_u8(c);
    const int table_type = cursor_u8(c);
    int64_t width = 32767;
    if (table_type == 0 || table_type == 2) {
        width = cursor_i16(c);
        if (c.overrun) return;
        w.row_centered();
    }
    // A single-column row still reads its one entry.
    if (c.overrun || !cursor_need(c, 4L * (columns > 0 ? columns : 1))) return;
    w.row_cells(ctx, columns, c.at, width);
    c.at += 4L * columns;
}

}  // namespace

inline void RtfWriter::row_cells(DecompileContext& ctx, int columns, const uint8_t* entry, int64_t width) {
    MemoryFile* out = s.out;
    auto a = [entry](int j) -> int64_t { return static_cast<int16_t>(get_le16(entry + 4 * j)); };
    auto g = [entry](int j) -> int64_t { return static_cast<int16_t>(get_le16(entry + 4 * j + 2)); };
    const int64_t multiplier = ctx.scale_multiplier, subtrahend = ctx.scale_subtrahend;
    auto s_of = [&](int64_t x) { return static_cast<long long>(((x * multiplier - subtrahend) * width) / 32767); };
    if (columns > 1) {
        uint16_t x = static_cast<uint16_t>(a(0) + g(0) + g(1) / 2);
        output_control_word(out, "\\trgaph", s_of(g(1)));
        output_control_word(out, "\\trleft",
                            static_cast<long long>((((g(0) - g(1)) * multiplier - subtrahend) * width - 32767) / 32767));
        output_control_word(out, " \\cellx", s_of(x));
        output_control_word(out, "\\cellx", s_of(x + a(1) + g(1)));
        x = static_cast<uint16_t>(x + a(1) + g(1));
        for (int j = 2; j < columns; ++j) {
            x = static_cast<uint16_t>(x + a(j) + g(j));
            output_control_word(out, "\\cellx", s_of(x));
        }
    } else {
        output_printf(out, "\\trleft%lld \\cellx%lld ",
                      static_cast<long long>(((g(0) * multiplier - subtrahend) * width - 32767) / 32767), s_of(a(0)));
    }
}

void RtfWriter::paragraph_start(bool keep_next, bool in_table) {
    output_puts("\\pard", s.out);
    if (keep_next) output_puts("\\keepn", s.out);
    if (in_table) output_puts("\\intbl", s.out);
}
void RtfWriter::walk_started(DecompileContext& ctx) { browse_second_pass_start(ctx); }
void RtfWriter::paragraph_text() { output_putc(' ', s.out); }
void RtfWriter::text(DecompileContext& ctx, const char* text, long length) { write_text_string(ctx, s, text, length); }

namespace {

// The next string of the text part; empty strings once it is used up.
void next_text_string(RtfConversion& s, const char*& text, long& length) {
    if (s.text == nullptr || s.text_used >= s.text_size) {
        text = "";
        length = 0;
        return;
    }
    text = s.text + s.text_used;
    length = bounded_length(text, s.text_size - s.text_used);
    s.text_used += length + 1;
}

template <class Writer>
void write_paragraph(DecompileContext& ctx, RtfConversion& s, HeadCursor& c, Writer& w) {
    w.paragraph_start(static_cast<int64_t>(s.position) < s.non_scroll_end, s.record_type == 0x23);
    if (s.record_type == 0x23) {
        s.current_column = cursor_i16(c);
        cursor_skip(c, 3);
    }
    cursor_skip(c, 4);
    const uint16_t flags = cursor_u16(c);
    if (!c.overrun) write_paragraph_attributes(ctx, c, flags, w);
    w.paragraph_text();
    while (!cursor_done(c)) {
        const char* text;
        long length;
        next_text_string(s, text, length);
        w.text(ctx, text, length);
        if (!interpret_command(ctx, s, c, w)) break;
    }
}

template <class Writer>
void write_text_record(DecompileContext& ctx, RtfConversion& s, const TopicWalk& walk, Writer& w) {
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
    cursor_skip_compressed_long(c);
    if (type == 0x20 || type == 0x23) {
        const uint16_t count = cursor_compressed_ushort(c);
        s.range_start = s.topic_offset;
        s.range_end = s.topic_offset + count;
        s.topic_offset += count;
    }
    if (type == 0x23) write_row_definition(ctx, c, w);
    do {
        if (cursor_done(c)) break;
        if (type == 0x23 && (cursor_left(c) < 2 || get_le16(c.at) == 0xFFFF)) break;
        write_paragraph(ctx, s, c, w);
    } while (type == 0x23);
}

template <class Writer>
void convert_record(DecompileContext& ctx, RtfConversion& s, const TopicWalk& walk, Writer& w) {
    const uint8_t type = walk.link.record_type;
    const bool has_head = walk.head != nullptr && walk.head_size > 0;
    if (type == 2 && has_head) w.topic_start(ctx, walk);
    else if ((type == 1 && has_head && walk.text != nullptr) || ((type == 0x20 || type == 0x23) && has_head))
        write_text_record(ctx, s, walk, w);
}

}  // namespace

void write_context_footnote(DecompileContext& ctx, RtfConversion& s) {
    const ContextEntry& entry = ctx.contexts[s.context_cursor];
    write_footnote_start(s.out, '#');
    escape_rtf_text(s.out, unhash(ctx, entry.hash), ctx.double_byte_text);
    output_puts("}\n", s.out);
    ++s.context_cursor;
    // Further names of the same topic are aliases, listed in the project
    // file; MediaView keeps a footnote for each.
    if (!ctx.mediaview)
        while (s.context_cursor < ctx.context_count && ctx.contexts[s.context_cursor].topic_offset == entry.topic_offset)
            ++s.context_cursor;
}

void write_browse_footnote(DecompileContext& ctx, MemoryFile* out, uint32_t topic_number, uint32_t browse) {
    bool any = false;
    for (int32_t i = 0; i < ctx.group_count && ctx.groups != nullptr; ++i) {
        const GroupEntry& group = ctx.groups[i];
        const uint32_t bitmap_size = get_le32(group.header + 4);
        const uint32_t last = get_le32(group.header + 8);
        const uint32_t first = get_le32(group.header + 12);
        const uint32_t type = get_le32(group.header + 24);
        const bool in_range = first <= topic_number && topic_number <= last;
        bool member = type == 1 && in_range;
        if (type == 2 && in_range && group.bitmap != nullptr && (topic_number >> 3) < bitmap_size)
            member = (group.bitmap[topic_number >> 3] >> (topic_number & 7)) & 1;
        if (!member) continue;
        if (!any) {
            write_footnote_start(out, '+');
            if (browse != 0) output_printf(out, "BROWSE%04x:%04x", browse & 0xFFFF, browse >> 16);
            any = true;
        }
        output_printf(out, ";%s", group.name != nullptr ? group.name : "");
    }
    if (any) output_puts("}\n", out);
    else if (browse != 0) {
        write_footnote_start(out, '+');
        output_printf(out, "BROWSE%04x:%04x}\n", browse & 0xFFFF, browse >> 16);
    }
}

// Characters text[from] to text[from + count - 1] as the topic file spells
// them: plain ones as they are, in runs (which hold no line feed).
void write_characters(MemoryFile* out, const char* string, long from, long count, bool lower, bool double_byte) {
    const char* text = string + from;
    char lowered[256];
    for (long k = 0; k < count;) {
        const long run = plain_run(text + k, count - k);
        if (lower) {
            for (long done = 0; done < run;) {
                const long n = std::min<long>(run - done, static_cast<long>(sizeof lowered));
                for (long j = 0; j < n; ++j) {
                    const char c = text[k + done + j];
                    lowered[j] = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
                }
                output_write_plain(lowered, static_cast<size_t>(n), out);
                done += n;
            }
        } else {
            output_write_plain(text + k, static_cast<size_t>(run), out);
        }
        k += run;
        if (k == count) break;
        const uint8_t c = static_cast<uint8_t>(text[k]);
        // A '{' that may end a double-byte character goes as a byte, so
        // that readers pair it with the byte before it.
        if (c == '{' && !(double_byte && after_lead_byte(string, from + k))) output_puts("\\{\\-", out);
        else output_printf(out, "\\'%02x", c);
        ++k;
    }
}

void write_text_string(DecompileContext& ctx, RtfConversion& s, const char* text, long length) {
    const FontDescriptor* font = font_of(ctx, s.current_font);
    const bool lower = length > 0 && font != nullptr && font->small_caps;
    MemoryFile* out = s.out;
    // Every character position may owe a context or keyword footnote first.
    // Between the offsets where one is due, the characters go out as a run;
    // the order of the bytes is the one of writing them one by one.
    uint32_t start = s.range_start;
    const int32_t end = as_offset(s.range_end);
    // Topic offset of the next context footnote.
    auto next_context = [&] {
        return s.context_cursor < ctx.context_count ? ctx.contexts[s.context_cursor].topic_offset : INT32_MAX;
    };
    // The smallest offset at which the keyword footnotes have work.
    auto next_keyword = [&] {
        if (ctx.old_format) return INT32_MAX;
        if (ctx.keyword_cursor < ctx.keyword_count) return ctx.keyword_window[ctx.keyword_cursor].topic_offset;
        return ctx.keyword_upper_bound != keyword_window_end ? INT32_MIN : INT32_MAX;
    };
    int32_t context_at = next_context();
    int32_t keyword_at = next_keyword();
    for (long i = 0; i <= length; ++i) {
        const bool inside = as_offset(start) < end;
        if (context_at <= as_offset(start) && context_at < end) {
            s.range_start = start;
            while (s.context_cursor < ctx.context_count) {
                const int32_t at = ctx.contexts[s.context_cursor].topic_offset;
                if (at > as_offset(s.range_start) || at >= as_offset(s.range_end)) break;
                write_context_footnote(ctx, s);
            }
            context_at = next_context();
            keyword_at = next_keyword();
        }
        const int32_t offset = as_offset(inside ? start : s.range_end - 1);
        if (keyword_at <= offset && keyword_footnotes_due(ctx, offset)) {
            s.range_start = start;
            write_keyword_footnotes(ctx, out, s.file, offset);
            keyword_at = next_keyword();
        }
        if (i == length) {
            if (inside) ++start;
            break;
        }
        // The characters up to the next offset that owes something.
        int64_t quiet = length - i;
        if (keyword_at <= offset) {
            quiet = 1;
        } else if (inside) {
            const int64_t here = as_offset(start);
            quiet = std::min<int64_t>(quiet, int64_t(end) - here);
            if (context_at < end) quiet = std::min<int64_t>(quiet, int64_t(context_at) - here);
            quiet = std::min<int64_t>(quiet, int64_t(keyword_at) - here);
            if (quiet < 1) quiet = 1;
        }
        write_characters(out, text, i, static_cast<long>(quiet), lower, ctx.double_byte_text);
        if (inside) start += static_cast<uint32_t>(quiet);
        i += static_cast<long>(quiet) - 1;
    }
    s.range_start = start;
}

void topic_file_name(const DecompileContext& ctx, char* name) {
    std::snprintf(name, 260, "%.255s.rtf", ctx.base_name);
}

template <class Writer>
void walk_topic_records(DecompileContext& ctx, std::FILE* file, RtfConversion& s, Writer& w) {
    TopicWalk walk{};
    if (!topic_walk_start(ctx, file, walk)) return;
    w.walk_started(ctx);
    s.file = file;
    s.position = 12;
    s.topic_counter = first_topic_number;
    s.first_topic = true;
    s.non_scroll_end = -1;
    s.current_font = -1;
    s.current_column = -1;
    s.next_embedded_picture = 1;
    walk.record_sound = topic_record_sound;
    while (topic_walk_next(ctx, file, walk)) {
        s.position = walk.position;
        // After dropped records (salvage), as in the first pass.
        if (walk.resynced && !ctx.old_format) s.topic_offset = block_of(ctx, walk.position) << 15;
        s.topic_counter += walk.lost_topics;
        if (walk.recovered_topic) w.recovered_topic(ctx, walk);
        convert_record(ctx, s, walk, w);
        if (!ctx.old_format) {
            const uint32_t next = static_cast<uint32_t>(walk.link.next_link);
            if (block_of(ctx, next) != block_of(ctx, s.position)) s.topic_offset = block_of(ctx, next) << 15;
        }
    }
    topic_walk_end(ctx, walk);
}

MemoryFile* topic_to_rtf(DecompileContext& ctx, std::FILE* file, MemoryFile* rtf) {
    RtfConversion s{};
    s.out = rtf;
    RtfWriter w{s};
    if (ctx.html) {
        HtmlWriter html{s};
        html.forwarded = true;
        html_writer_start(ctx, file, html);
        BothWriters both{html, w};
        walk_topic_records(ctx, file, s, both);
        html_writer_finish(ctx, file, html);
    } else {
        walk_topic_records(ctx, file, s, w);
    }
    if (s.target != nullptr) tracked_free(ctx, s.target);
    return rtf;
}
