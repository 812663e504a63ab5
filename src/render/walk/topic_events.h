// The events of the record walk, declared once: one detail record per event
// (empty where the event carries nothing), the list of them, the concept a
// writer satisfies, a base whose empty handlers a writer overrides for the
// events it uses, and a tee that hands each event to several writers in
// turn. A writer is a type with `on(DecompileContext&, const Event&)`
// handlers; the walk is a template over it, so handlers are called directly.
#pragma once

#include <concepts>
#include <cstdint>
#include <tuple>

#include "topics/topic_records.h"

struct DecompileContext;

// |TOPIC is there and the walk begins.
struct WalkStarted {};

// A topic header record.
struct TopicStart {
    const TopicHeader& header;
    long number;            // the walk's topic counter: 16 for the first topic
    uint32_t position;      // topic position of the header record
    uint32_t offset;        // topic offset where the topic starts (old format: see number)
    uint32_t known_offset;  // the offset the context table knows it by (next block's start at a block end)
    const char* text;       // the header's text part: title, then entry macros; may be null
    long text_size;
    long title_length;
};

// A topic whose header was lost (salvage) starts at this record.
struct RecoveredTopic {
    long number;
    uint32_t offset;
    const char* title;  // "Recovered topic N", NUL-terminated
    long title_length;
};

struct ParagraphStart {
    bool keep_next;  // inside the non-scrolling region
    bool in_table;
};

// The paragraph's format fields that could be read; the event comes after
// every ParagraphStart, empty when the paragraph header was cut.
using ParagraphFormat = ParagraphFields;

// A string of the text part with the topic offsets it covers: characters
// from range_start on are counted while they stay before range_end.
struct TextRun {
    const char* text;
    long length;
    uint32_t range_start;
    uint32_t range_end;
};

struct TableRow {
    const RowDefinition& row;
};

struct Field {
    int32_t number;
};
struct Dtype {
    int16_t number;
};
struct FontChange {
    int16_t font;
};
struct LineBreak {};
struct Tab {};
struct NonBreakingSpace {};
struct SoftHyphen {};

// How a paragraph ends: outside tables, in a cell that goes on, the cell's
// last paragraph with the same column following, the cell, or the row.
enum class ParagraphEndKind : uint8_t { plain, in_table, cell_paragraph, cell, row };
struct ParagraphEnd {
    ParagraphEndKind kind;
};

struct Picture {
    char side;  // 'l', 'r' or 'c'
    unsigned number;
};

struct EmbeddedWindow {
    const char* command;  // "ewl", "ewr" or "ewc"
    const char* text;
};

struct MacroHotspot {
    uint8_t code;
    const char* macro;
};

// Jumps and popups to a topic of this file by context hash (or, for 0xE0
// and 0xE1, by topic number).
struct TopicHotspot {
    uint8_t code;
    uint32_t operand;
};

// Jumps and popups into another window or file: link types 1 (window
// number), 4 (file), 6 (window and file), else plain.
struct ExtendedHotspot {
    uint8_t code;
    uint8_t link_type;
    uint32_t hash;
    int8_t window_number;
    const char* window;
    const char* file;
};

struct HotspotEnd {};

// Every event, once: the list the concept checks and the writers declare
// their handlers from.
#define HLP_TOPIC_EVENTS(X)                                                                                      \
    X(WalkStarted) X(TopicStart) X(RecoveredTopic) X(ParagraphStart) X(ParagraphFormat) X(TextRun) X(TableRow) \
    X(Field) X(Dtype) X(FontChange) X(LineBreak) X(Tab) X(NonBreakingSpace) X(SoftHyphen) X(ParagraphEnd)      \
    X(Picture) X(EmbeddedWindow) X(MacroHotspot) X(TopicHotspot) X(ExtendedHotspot) X(HotspotEnd)

template <class Writer, class Event>
concept TakesTopicEvent = requires(Writer& w, DecompileContext& ctx, const Event& e) { w.on(ctx, e); };

// A writer takes every event of the walk.
#define HLP_TAKES_TOPIC_EVENT(Event) &&TakesTopicEvent<Writer, Event>
template <class Writer>
concept TopicWriter = true HLP_TOPIC_EVENTS(HLP_TAKES_TOPIC_EVENT);
#undef HLP_TAKES_TOPIC_EVENT

// Declares a handler for every event, for a writer that takes them all.
#define HLP_TOPIC_HANDLER(Event) void on(DecompileContext& ctx, const Event& event);
#define HLP_TOPIC_HANDLERS HLP_TOPIC_EVENTS(HLP_TOPIC_HANDLER)

// Empty handlers; a writer brings them in (`using TopicEventsBase::on;`)
// and declares its own for the events it uses.
struct TopicEventsBase {
    template <class Event>
    void on(DecompileContext&, const Event&) {}
};

// Several writers fed by one walk: each event goes to every writer, in the
// order they are named, so the topics are read and expanded once.
template <TopicWriter... Writers>
struct TopicTee {
    std::tuple<Writers&...> writers;
    explicit TopicTee(Writers&... w) : writers(w...) {}
    template <class Event>
    void on(DecompileContext& ctx, const Event& event) {
        std::apply([&](auto&... w) { (w.on(ctx, event), ...); }, writers);
    }
};
