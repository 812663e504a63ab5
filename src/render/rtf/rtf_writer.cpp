// The rich-text writer's pages: each topic's footnotes, its paragraphs and
// table rows, and the text with the context and keyword footnotes that fall
// on its characters.
#include "render/rtf/rtf_writer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/browse.h"
#include "firstpass/keyword_footnotes.h"
#include "helpfile/byte_stream.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "project/system_file.h"
#include "topics/rtf_escape.h"

namespace {

// Signed view of a topic offset, as the context and keyword tables hold them.
int32_t as_offset(uint32_t value) { return static_cast<int32_t>(value); }

// Title and entry macros from the text part of a topic header.
void write_title_and_macros(DecompileContext& ctx, MemoryFile* out, const TopicStart& topic) {
    if (topic.text == nullptr) return;
    const long size = topic.text_size;
    long length = topic.title_length;
    if (length > 0) {
        write_footnote_start(ctx, out, '$');
        escape_rtf_bytes(out, topic.text, length, ctx.double_byte_text);
        output_puts("}\n", out);
    }
    for (long at = length + 1; at < size; at += length + 1) {
        const char* macro = topic.text + at;
        length = bounded_length(macro, size - at);
        write_footnote_start(ctx, out, '!');
        if (!ctx.minor_above_21 && length > 254)
            std::printf("Help compiler will issue Warning 3511: Macro '%.*s' exceeds limit of 254 characters\n",
                        static_cast<int>(length), macro);
        escape_rtf_bytes(out, macro, length, ctx.double_byte_text);
        output_puts("}\n", out);
    }
}

void start_page(RtfWriter& w) {
    if (!w.first_topic) output_puts("\\page\n", w.out);
    w.first_topic = false;
}

// The footnotes of the context names that point at the topic.
// A context id whose offset the text passed without its footnote lies
// where no text starts: the context table is damaged.
void misplaced_context(DecompileContext& ctx, const ContextEntry& entry, int32_t written) {
    char what[300];
    std::snprintf(what, sizeof what, "context id %s", unhash(ctx, entry.hash));
    reference_misplaced(ctx, "|CONTEXT", what, entry.topic_offset, written);
}

// The topic's own names come first, those of places where no text starts
// after them: the first footnote is the one a reader takes the topic by.
void write_context_footnotes(DecompileContext& ctx, RtfWriter& w, const TopicStart& topic) {
    const int32_t known = as_offset(topic.known_offset), own = as_offset(topic.offset);
    int32_t end = w.context_cursor;
    while (end < ctx.context_count && ctx.contexts[end].topic_offset <= known) ++end;
    const int32_t from = w.context_cursor;
    bool any_misplaced = false;
    for (int32_t i = from; i < end && !any_misplaced; ++i)
        any_misplaced = ctx.contexts[i].topic_offset < known && ctx.contexts[i].topic_offset != own;
    for (const bool misplaced : {false, true}) {
        if (misplaced && !any_misplaced) break;
        for (w.context_cursor = from; w.context_cursor < end;) {
            const int32_t at = ctx.contexts[w.context_cursor].topic_offset;
            if ((at < known && at != own) != misplaced) {
                ++w.context_cursor;
                continue;
            }
            if (misplaced) misplaced_context(ctx, ctx.contexts[w.context_cursor], known);
            write_context_footnote(ctx, w);
        }
    }
    w.context_cursor = end;
}

// A topic begins: keywords may name it until they are next written. A file
// with no keywords due writes none, so only the latest starts are kept.
void note_topic_start(RtfWriter& w, int32_t offset) {
    constexpr size_t kept = 64;
    if (w.topic_starts.size() >= kept) w.topic_starts.erase(w.topic_starts.begin());
    w.topic_starts.push_back(offset);
}

}  // namespace

void RtfWriter::on(DecompileContext& ctx, const WalkStarted&) { browse_second_pass_start(ctx); }

void RtfWriter::on(DecompileContext& ctx, const TopicStart& topic) {
    start_page(*this);
    note_topic_start(*this, as_offset(topic.offset));
    uint32_t browse = 0;
    const TopicHeader& header = topic.header;
    if (ctx.old_format) {
        write_footnote_start(ctx, out, '#');
        output_control_word(out, "TOPIC", topic.number);
        output_puts("}\n", out);
        const int32_t key = static_cast<int32_t>(topic.number);
        browse = browse_number_select(ctx, key, key, header.browse_next, header.browse_previous);
        const int32_t position = as_offset(topic.position);
        write_keyword_footnotes(ctx, out, file, position, &position, 1);
    } else {
        browse = browse_number_select(ctx, as_offset(topic.offset), as_offset(topic.known_offset),
                                      header.browse_next, header.browse_previous);
    }
    write_browse_footnote(ctx, out, static_cast<uint32_t>(topic.number - 16), browse);
    write_title_and_macros(ctx, out, topic);
    write_context_footnotes(ctx, *this, topic);
    int32_t window = topic_window_number(ctx, file, as_offset(topic.offset));
    if (window == -1 && topic.known_offset != topic.offset)
        window = topic_window_number(ctx, file, as_offset(topic.known_offset));
    if (window != -1) {
        write_footnote_start(ctx, out, '>');
        output_printf(out, "%s}\n", window_name(ctx, window));
    }
}

// A topic whose header was lost (salvage): its page, a title marked as
// recovered and the context names that point at it; nothing else of the
// header can be known.
void RtfWriter::on(DecompileContext& ctx, const RecoveredTopic& topic) {
    start_page(*this);
    note_topic_start(*this, as_offset(topic.offset));
    write_footnote_start(ctx, out, '$');
    escape_rtf_text(out, topic.title);
    output_puts("}\n", out);
    while (context_cursor < ctx.context_count && ctx.contexts[context_cursor].topic_offset <= as_offset(topic.offset))
        write_context_footnote(ctx, *this);
}

void RtfWriter::on(DecompileContext&, const ParagraphStart& paragraph) {
    output_puts("\\pard", out);
    if (paragraph.keep_next) output_puts("\\keepn", out);
    if (paragraph.in_table) output_puts("\\intbl", out);
}

namespace {

void write_border(MemoryFile* out, uint8_t border) {
    if (border & 0x01) output_puts("\\box", out);
    if (border & 0x02) output_puts("\\brdrt", out);
    if (border & 0x04) output_puts("\\brdrl", out);
    if (border & 0x08) output_puts("\\brdrb", out);
    if (border & 0x10) output_puts("\\brdrr", out);
    output_puts((border & 0x20) ? "\\brdrth" : "\\brdrs", out);
    if (border & 0x40) output_puts("\\brdrdb", out);
}
}  // namespace

void RtfWriter::on(DecompileContext&, const ParagraphFormat& format) {
    const uint16_t flags = format.flags;
    if (flags & 0x1000) output_puts("\\keep", out);
    if (flags & 0x0400) output_puts("\\qr", out);
    if (flags & 0x0800) output_puts("\\qc", out);
    static const char* const words[] = {"\\sb", "\\sa", "\\sl", "\\li", "\\ri", "\\fi"};
    for (int m = 0; m < 6; ++m)
        if (flags & (0x0002 << m)) output_control_word(out, words[m], format.measures[m]);
    if (flags & 0x0100) write_border(out, format.border);
    for (int i = 0; i < format.tab_count; ++i) {
        if (format.tabs[i].type == 1) output_puts("\\tqr", out);
        else if (format.tabs[i].type == 2) output_puts("\\tqc", out);
        output_control_word(out, "\\tx", format.tabs[i].twips);
    }
    output_putc(' ', out);
}

void RtfWriter::on(DecompileContext& ctx, const TableRow& table) {
    output_puts("\\trowd", out);
    const RowDefinition& row = table.row;
    if (row.centered) output_puts("\\trqc", out);
    if (!row.complete) return;
    const uint8_t* entry = row.entries;
    auto a = [entry](int j) -> int64_t { return static_cast<int16_t>(get_le16(entry + 4 * j)); };
    auto g = [entry](int j) -> int64_t { return static_cast<int16_t>(get_le16(entry + 4 * j + 2)); };
    const int64_t width = row.width;
    const int columns = row.columns;
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

void write_context_footnote(DecompileContext& ctx, RtfWriter& w) {
    const ContextEntry& entry = ctx.contexts[w.context_cursor];
    write_footnote_start(ctx, w.out, '#');
    escape_rtf_text(w.out, unhash(ctx, entry.hash), ctx.double_byte_text);
    output_puts("}\n", w.out);
    ++w.context_cursor;
    // Further names of the same topic are aliases, listed in the project
    // file; MediaView keeps a footnote for each.
    if (!ctx.mediaview)
        while (w.context_cursor < ctx.context_count && ctx.contexts[w.context_cursor].topic_offset == entry.topic_offset)
            ++w.context_cursor;
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
            write_footnote_start(ctx, out, '+');
            if (browse != 0) output_printf(out, "BROWSE%04x:%04x", browse & 0xFFFF, browse >> 16);
            any = true;
        }
        output_printf(out, ";%s", group.name != nullptr ? group.name : "");
    }
    if (any) output_puts("}\n", out);
    else if (browse != 0) {
        write_footnote_start(ctx, out, '+');
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

// A string of the text part through the character rules, with the context
// and keyword footnotes that fall on its characters.
void RtfWriter::on(DecompileContext& ctx, const TextRun& run) {
    const char* text = run.text;
    const long length = run.length;
    const FontDescriptor* font = font_of(ctx, current_font);
    const bool lower = length > 0 && font != nullptr && font->small_caps;
    // Every character position may owe a context or keyword footnote first.
    // Between the offsets where one is due, the characters go out as a run;
    // the order of the bytes is the one of writing them one by one.
    uint32_t start = run.range_start;
    const int32_t end = as_offset(run.range_end);
    // Topic offset of the next context footnote.
    auto next_context = [&] {
        return context_cursor < ctx.context_count ? ctx.contexts[context_cursor].topic_offset : INT32_MAX;
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
            while (context_cursor < ctx.context_count) {
                const int32_t at = ctx.contexts[context_cursor].topic_offset;
                if (at > as_offset(start) || at >= end) break;
                if (at != as_offset(start)) misplaced_context(ctx, ctx.contexts[context_cursor], as_offset(start));
                write_context_footnote(ctx, *this);
            }
            context_at = next_context();
            keyword_at = next_keyword();
        }
        const int32_t offset = as_offset(inside ? start : run.range_end - 1);
        if (keyword_at <= offset && keyword_footnotes_due(ctx, offset)) {
            write_keyword_footnotes(ctx, out, file, offset, topic_starts.data(), topic_starts.size());
            if (topic_starts.size() > 1) topic_starts.erase(topic_starts.begin(), topic_starts.end() - 1);
            keyword_at = next_keyword();
        }
        if (i == length) break;
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
}
