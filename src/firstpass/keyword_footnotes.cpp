// Keyword footnotes. The keyword indexes list the topics of each keyword;
// the topic file wants the keywords of each topic. The references are turned
// around in a window sorted by topic offset that holds at most
// keyword_window_capacity of them; once the second pass has written a window,
// the next one is collected from where it ended.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/keyword_footnotes.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_map.h"
#include "topics/rtf_escape.h"

namespace {

constexpr int32_t keyword_window_capacity = 16384;
constexpr int32_t end_mark = keyword_window_end;

// The data file of a keyword index: simple indexes by letter, multi-key
// ones by their key letter.
void index_name(char* name, size_t size, int32_t kind, uint8_t letter) {
    std::snprintf(name, size, kind == 0 ? "|%cWDATA" : "|%cKWDATA", letter);
}

// The references one collection gathers: topic offsets in [lower, upper),
// less the first `skip` references at lower (in collection order), which
// earlier windows wrote.
struct Collection {
    int32_t lower;
    int32_t upper;
    int64_t skip;
    // The window filled up with references at lower alone; the ones that did
    // not fit are left to the next collection, which starts at lower again.
    bool overfull;
};

// Every reference of the keyword indexes is read once, at the first
// collection, into a table of (topic offset, keyword) in index order, so a
// refill scans memory instead of reading and parsing every index again.
template <typename T>
T* grown(DecompileContext& ctx, T* array, int64_t& capacity, int64_t needed) {
    if (needed <= capacity) return array;
    int64_t room = capacity ? capacity * 2 : 1024;
    while (room < needed) room *= 2;
    array = static_cast<T*>(tracked_realloc(ctx, array, static_cast<long>(room * int64_t(sizeof(T)))));
    capacity = room;
    return array;
}

void add_keyword(DecompileContext& ctx, int32_t kind, uint8_t letter, const char* keyword) {
    const int64_t length = static_cast<int64_t>(std::strlen(keyword)) + 1;
    ctx.keyword_texts = grown(ctx, ctx.keyword_texts, ctx.keyword_text_capacity, ctx.keyword_text_size + length);
    std::memcpy(ctx.keyword_texts + ctx.keyword_text_size, keyword, static_cast<size_t>(length));
    ctx.keyword_sources =
        grown(ctx, ctx.keyword_sources, ctx.keyword_source_capacity, ctx.keyword_source_count + 1);
    ctx.keyword_sources[ctx.keyword_source_count++] =
        KeywordSource{kind, letter, ctx.keyword_text_size, static_cast<int32_t>(length - 1)};
    ctx.keyword_text_size += length;
}

void add_occurrence(DecompileContext& ctx, int32_t t) {
    ctx.keyword_occurrences =
        grown(ctx, ctx.keyword_occurrences, ctx.keyword_occurrence_capacity, ctx.keyword_occurrence_count + 1);
    ctx.keyword_occurrences[ctx.keyword_occurrence_count++] =
        KeywordOccurrence{t, static_cast<int32_t>(ctx.keyword_source_count - 1)};
}

// One index: its data file read whole, then the references of every keyword
// of its B-tree in leaf order.
void load_index(DecompileContext& ctx, std::FILE* file, int32_t kind, uint8_t letter) {
    char data_name[16];
    char tree_name[16];
    index_name(data_name, sizeof data_name, kind, letter);
    std::snprintf(tree_name, sizeof tree_name, kind == 0 ? "|%cWBTREE" : "|%cKWBTREE", letter);
    char first_lost[keyword_limit] = "";
    const long lost = walk_keyword_index(
        ctx, file, data_name, tree_name,
        [&](const char* keyword, int32_t t) {
            // References come keyword by keyword; a keyword is kept once.
            const KeywordSource* previous =
                ctx.keyword_source_count ? &ctx.keyword_sources[ctx.keyword_source_count - 1] : nullptr;
            if (previous == nullptr || previous->kind != kind || previous->letter != letter ||
                std::strcmp(ctx.keyword_texts + previous->text, keyword) != 0) {
                add_keyword(ctx, kind, letter, keyword);
            }
            add_occurrence(ctx, t);
        },
        [] {}, first_lost);
    if (lost > 0)
        note_damage(ctx, tree_name, -1, "%ld keywords (the first \"%.60s\") name topic lists outside %s: they are left out",
                    lost, first_lost, data_name);
}

// Simple indexes before the multi-key ones, letters in ascending order.
void load_keyword_table(DecompileContext& ctx, std::FILE* file) {
    ctx.keyword_table_loaded = true;
    for (int32_t kind = 0; kind < 2; ++kind) {
        const bool* letters = kind == 0 ? ctx.keyword_file_letters : ctx.keyword_index_letters;
        for (int letter = '0'; letter <= 'z'; ++letter) {
            if (!letters[letter]) continue;
            // References read before the damage are kept.
            char tree[16];
            std::snprintf(tree, sizeof tree, kind == 0 ? "|%cWBTREE" : "|%cKWBTREE", letter);
            salvage_step(ctx, tree, "keyword list from the damage on",
                         [&] { load_index(ctx, file, kind, static_cast<uint8_t>(letter)); });
        }
    }
}

// The window being collected: a max-heap of occurrences ordered by topic
// offset and then by occurrence number (arrival), so the largest offset is
// at hand for the window's upper end and each reference costs a logarithmic
// step. Each item packs the offset (biased to sort as unsigned) above the
// occurrence number, so comparing items compares both without looking
// anything up. Sorting the heap in place at the end gives what keeping the
// window sorted gave: ascending topic offsets, equal ones in arrival order.
struct WindowHeap {
    uint64_t* items;
    int32_t count;

    static uint64_t item(int32_t topic_offset, uint32_t occurrence) {
        return uint64_t(static_cast<uint32_t>(topic_offset) ^ 0x80000000u) << 32 | occurrence;
    }
    static int32_t offset_of(uint64_t item) { return static_cast<int32_t>(static_cast<uint32_t>(item >> 32) ^ 0x80000000u); }
    static uint32_t occurrence_of(uint64_t item) { return static_cast<uint32_t>(item); }

    void sift_down(int32_t at, int32_t size) {
        const uint64_t moving = items[at];
        for (;;) {
            int32_t child = 2 * at + 1;
            if (child >= size) break;
            if (child + 1 < size && items[child] < items[child + 1]) ++child;
            if (items[child] <= moving) break;
            items[at] = items[child];
            at = child;
        }
        items[at] = moving;
    }
    void push(uint64_t value) {
        int32_t at = count++;
        while (at > 0) {
            const int32_t parent = (at - 1) / 2;
            if (items[parent] >= value) break;
            items[at] = items[parent];
            at = parent;
        }
        items[at] = value;
    }
    int32_t largest_offset() const { return offset_of(items[0]); }
    void drop_largest() {
        const int32_t largest = largest_offset();
        while (count > 0 && offset_of(items[0]) == largest) {
            items[0] = items[--count];
            sift_down(0, count);
        }
    }
    void sort() {
        for (int32_t end = count - 1; end > 0; --end) {
            std::swap(items[0], items[end]);
            sift_down(0, end);
        }
    }
};

void add_reference(Collection& c, WindowHeap& heap, int32_t t, uint32_t occurrence) {
    if (t < c.lower || t >= c.upper) return;
    if (t == c.lower && c.skip > 0) {
        --c.skip;
        return;
    }
    if (heap.count == keyword_window_capacity) {
        int32_t largest = heap.largest_offset();
        if (largest == c.lower) {
            // Dropping the largest offset would empty the window without
            // moving on: keep these, and take the rest of this topic's
            // references in the next window.
            c.overfull = true;
            c.upper = c.lower + 1;
            return;
        }
        c.upper = largest;
        heap.drop_largest();
        if (t >= c.upper) return;
    }
    heap.push(WindowHeap::item(t, occurrence));
}

// Later collections take their window from every occurrence sorted once
// (packed as in the heap), instead of scanning all of them per window. The
// heap keeps the longest run of whole topics from the lower bound that fits,
// or the first window's worth of one overfull topic; that is what the
// slice holds. Only when whole topics fill the window exactly with more
// references behind does the heap's result depend on the order references
// arrive in: then the scan decides (false).
bool take_sorted_window(DecompileContext& ctx, Collection& c, WindowHeap& heap) {
    const int64_t n = ctx.keyword_occurrence_count;
    if (ctx.keyword_sorted == nullptr) {
        ctx.keyword_sorted = tracked_new_array<uint64_t>(ctx, n > 0 ? n : 1);
        for (int64_t i = 0; i < n; ++i)
            ctx.keyword_sorted[i] = WindowHeap::item(ctx.keyword_occurrences[i].topic_offset, static_cast<uint32_t>(i));
        std::sort(ctx.keyword_sorted, ctx.keyword_sorted + n);
    }
    const uint64_t* sorted = ctx.keyword_sorted;
    const uint64_t* end = sorted + n;
    const uint64_t* from = std::lower_bound(sorted, end, WindowHeap::item(c.lower, 0));
    const uint64_t* to = std::lower_bound(from, end, WindowHeap::item(c.upper, 0));
    const uint64_t* lower_end = std::lower_bound(from, to, WindowHeap::item(c.lower + 1, 0));
    from += std::min<int64_t>(c.skip, lower_end - from);
    const uint64_t* stop;
    if (lower_end - from > keyword_window_capacity) {
        stop = from + keyword_window_capacity;
        c.overfull = true;
        c.upper = c.lower + 1;
    } else {
        stop = lower_end;
        while (stop < to) {
            const int32_t offset = WindowHeap::offset_of(*stop);
            const uint64_t* group_end = stop;
            while (group_end < to && WindowHeap::offset_of(*group_end) == offset) ++group_end;
            if (group_end - from > keyword_window_capacity) break;
            stop = group_end;
        }
        if (stop < to) {
            if (stop - from == keyword_window_capacity) return false;
            c.upper = WindowHeap::offset_of(*stop);
        }
    }
    heap.count = static_cast<int32_t>(stop - from);
    std::copy(from, stop, heap.items);
    return true;
}

// Refills the window with the references from the end of the previous one:
// in ascending topic offset; among equal offsets the simple indexes before the
// multi-key ones, letters in ascending order, keywords in B-tree order.
void collect_keywords(DecompileContext& ctx, std::FILE* file) {
    std::fputs("Collecting keywords...", stderr);
    long position = std::ftell(file);
    if (ctx.keyword_window == nullptr) {
        ctx.keyword_window = tracked_new_array<KeywordReference>(ctx, keyword_window_capacity);
        ctx.keyword_arrival = tracked_new_array<uint64_t>(ctx, keyword_window_capacity);
    }
    // One scan is cheaper than sorting when a single window holds everything.
    const bool first = !ctx.keyword_table_loaded;
    if (first) load_keyword_table(ctx, file);
    Collection c{ctx.keyword_upper_bound, end_mark, ctx.keyword_resume_skip, false};
    ctx.keyword_count = 0;
    ctx.keyword_cursor = 0;
    WindowHeap heap{ctx.keyword_arrival, 0};
    // (A slice refused leaves the collection and the heap untouched.)
    if (first || !take_sorted_window(ctx, c, heap)) {
        for (int64_t i = 0; i < ctx.keyword_occurrence_count; ++i) {
            add_reference(c, heap, ctx.keyword_occurrences[i].topic_offset, static_cast<uint32_t>(i));
        }
        heap.sort();
    }
    // The pool of keyword texts no longer changes: the window points into it.
    const KeywordOccurrence* occurrences = ctx.keyword_occurrences;
    for (int32_t i = 0; i < heap.count; ++i) {
        const KeywordOccurrence& o = occurrences[WindowHeap::occurrence_of(heap.items[i])];
        const KeywordSource& k = ctx.keyword_sources[o.keyword];
        ctx.keyword_window[i] = KeywordReference{k.kind, k.letter, ctx.keyword_texts + k.text, o.topic_offset, k.length};
    }
    ctx.keyword_count = heap.count;
    if (c.overfull) {
        ctx.keyword_upper_bound = c.lower;
        ctx.keyword_resume_skip += ctx.keyword_count;
    } else {
        ctx.keyword_upper_bound = c.upper;
        ctx.keyword_resume_skip = 0;
    }
    std::fseek(file, position, SEEK_SET);
    for (int i = 0; i < 22; ++i) std::fputs("\b \b", stderr);
}

// The footnote being written: its text length so far, letter and kind.
struct FootnoteRun {
    long length;
    uint8_t letter;
    int32_t kind;
};

void open_footnote(const DecompileContext& ctx, MemoryFile* out, const KeywordReference& reference) {
    if (reference.kind == 1) {
        write_footnote_start(ctx, out, 'K');
        output_putc(reference.letter, out);
        output_putc(':', out);
    } else {
        write_footnote_start(ctx, out, static_cast<char>(reference.letter));
    }
}

void misplaced_keyword(DecompileContext& ctx, const KeywordReference& reference, int32_t written) {
    char index[16], what[200];
    index_name(index, sizeof index, reference.kind, reference.letter);
    std::snprintf(what, sizeof what, "a reference of keyword \"%.*s\"", std::min(reference.length, 100),
                  reference.keyword);
    reference_misplaced(ctx, index, what, reference.topic_offset, written);
}

// Topic starts as write_keyword_footnotes takes them.
struct Starts {
    const int32_t* at;
    size_t count;
    bool misplaced(int32_t named, int32_t written) const {
        return at != nullptr && named < written && std::find(at, at + count, named) == at + count;
    }
};

void write_up_to(DecompileContext& ctx, MemoryFile* out, FootnoteRun& run, int32_t topic_offset,
                 const Starts& starts) {
    const long limit = ctx.minor_above_21 ? 1023 : 254;
    // The keywords lie all over their pool: asking for the texts of the
    // references a few topics ahead hides most of the wait for them.
    constexpr int32_t ahead = 8;
    while (ctx.keyword_cursor < ctx.keyword_count) {
        const KeywordReference& reference = ctx.keyword_window[ctx.keyword_cursor];
        if (reference.topic_offset > topic_offset) break;
        if (ctx.keyword_cursor + ahead < ctx.keyword_count)
            __builtin_prefetch(ctx.keyword_window[ctx.keyword_cursor + ahead].keyword);
        const long keyword_length = reference.length;
        if (starts.misplaced(reference.topic_offset, topic_offset)) misplaced_keyword(ctx, reference, topic_offset);
        if (run.length == 0) {
            open_footnote(ctx, out, reference);
        } else if (reference.letter == run.letter && reference.kind == run.kind &&
                   keyword_length + run.length <= limit) {
            output_puts(";", out);
        } else {
            output_puts("}\n", out);
            run.length = 0;
            open_footnote(ctx, out, reference);
        }
        escape_rtf_bytes(out, reference.keyword, keyword_length, ctx.double_byte_text);
        run.length += keyword_length + 1;
        run.letter = reference.letter;
        run.kind = reference.kind;
        ++ctx.keyword_cursor;
    }
}

}  // namespace

int64_t keyword_references_left(const DecompileContext& ctx) {
    if (!ctx.keyword_table_loaded) return 0;
    int64_t left = ctx.keyword_count - ctx.keyword_cursor;
    if (ctx.keyword_upper_bound != end_mark) {
        for (int64_t i = 0; i < ctx.keyword_occurrence_count; ++i)
            left += ctx.keyword_occurrences[i].topic_offset >= ctx.keyword_upper_bound;
        left -= ctx.keyword_resume_skip;
    }
    return left;
}

void write_keyword_footnotes(DecompileContext& ctx, MemoryFile* out, std::FILE* file, int32_t topic_offset,
                             const int32_t* topic_starts, size_t topic_start_count) {
    const Starts starts{topic_starts, topic_start_count};
    if (ctx.keyword_cursor >= ctx.keyword_count) {
        if (ctx.keyword_upper_bound == end_mark) return;
        collect_keywords(ctx, file);
    }
    FootnoteRun run{0, 0, 0};
    for (;;) {
        write_up_to(ctx, out, run, topic_offset, starts);
        // A window that ran out at or below the topic offset leaves references
        // up to it to the next window; write them now, in the same footnotes.
        // Every collection starts past the previous one (or, within one
        // overfull topic, past the references already written), so this ends.
        if (ctx.keyword_cursor < ctx.keyword_count || ctx.keyword_upper_bound == end_mark ||
            ctx.keyword_upper_bound > topic_offset) {
            break;
        }
        collect_keywords(ctx, file);
    }
    if (run.length != 0) output_puts("}\n", out);
}
