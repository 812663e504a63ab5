// Browse sequences. The first pass meets topics in file order, which need
// not be browse order, so it assembles the sequences from pieces (chains)
// and records for each chain's start topic its final sequence number and
// position; the second pass reopens each chain there and counts from it.
#include "firstpass/browse.h"

#include <algorithm>
#include <cstdio>

#include "core/decompile_context.h"
#include "firstpass/browse_index.h"
#include "firstpass/keyword_window.h"

namespace {

unsigned long hex(int32_t v) { return static_cast<unsigned long>(static_cast<uint32_t>(v)); }

// A chain whose both ends are known is complete: its slot is freed, and in
// the first pass its start topic's numbers are recorded.
void close_chain(DecompileContext& ctx, BrowseChain* chain, bool first_pass) {
    if (chain->start == -1) return;
    if (chain->expected_next != -1 || chain->expected_previous != -1) return;
    if (first_pass) browse_record_start(ctx, chain->start, chain->sequence, chain->head_position);
    browse_free(ctx, chain);
}

uint32_t identifier(int16_t sequence, int16_t position) {
    return static_cast<uint32_t>(static_cast<uint16_t>(position)) << 16 | static_cast<uint16_t>(sequence);
}

void problem(DecompileContext& ctx, const char* what, int32_t c, int32_t n, int32_t p) {
    ctx.had_problems = true;
    std::fprintf(stderr, "Can not %s %08lx %08lx %08lx\n", what, hex(c), hex(n), hex(p));
}

void browse_start(DecompileContext& ctx, int32_t c, int32_t n, int32_t p) {
    BrowseChain* chain = browse_take_slot(ctx);
    browse_open(ctx, chain, {c, n, p, static_cast<int16_t>(ctx.next_browse_number++), 1, 1});
}

// Every open chain is listed after a failed link, up to a bound for the
// whole decompile: a file of many broken links and many open chains would
// otherwise print lines by the square of its topics.
constexpr int32_t open_browse_lines = 1000;

void list_open_chains(DecompileContext& ctx) {
    if (ctx.browse_index == nullptr) return;
    BrowseIndex& index = *ctx.browse_index;
    if (index.listed_open >= open_browse_lines || index.open_count == 0) return;
    for (int32_t i = 0; i < ctx.browse_chain_count; ++i) {
        const BrowseChain& open = ctx.browse_chains[i];
        if (open.start == -1) continue;
        if (index.listed_open++ == open_browse_lines) {
            std::fprintf(stderr, "Open browse: more are not listed\n");
            return;
        }
        std::fprintf(stderr, "Open browse %08lx %08lx\n", hex(open.expected_previous), hex(open.expected_next));
    }
}

void browse_link(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    BrowseChain* chain = browse_tail_chain(ctx, c, f);
    if (chain == nullptr) {
        problem(ctx, "link", c, n, p);
        return list_open_chains(ctx);
    }
    browse_set_next(ctx, chain, n);
    ++chain->tail_position;
    close_chain(ctx, chain, true);
}

void browse_backlink(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    BrowseChain* chain = browse_head_chain(ctx, c, f);
    if (chain == nullptr) return problem(ctx, "backlink", c, n, p);
    browse_set_previous(ctx, chain, p);
    ++chain->tail_position;
    ++chain->head_position;
    // Everything already placed in this sequence moves one place down.
    browse_shift_sequence(ctx, chain->sequence, 1);
    close_chain(ctx, chain, true);
}

void browse_merge(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    BrowseChain* tail = browse_tail_chain(ctx, c, f);
    BrowseChain* head = browse_head_chain(ctx, c, f);
    if (tail == nullptr || head == nullptr) return problem(ctx, "merge", c, n, p);
    ++tail->tail_position;
    browse_set_next(ctx, tail, head->expected_next);
    browse_move_sequence(ctx, head->sequence, tail->sequence, tail->tail_position);
    head->head_position = static_cast<int16_t>(head->head_position + tail->tail_position);
    browse_record_start(ctx, head->start, tail->sequence, head->head_position);
    tail->tail_position = static_cast<int16_t>(tail->tail_position + head->tail_position);
    // A chain merged with itself (links forming a cycle) is complete: freeing
    // the head frees it, so nothing waits for its ends any more.
    browse_free(ctx, head);
    close_chain(ctx, tail, true);
}

// The first start record (in record order) of topic c.
const BrowseStart* find_start(const DecompileContext& ctx, int32_t c) {
    if (ctx.browse_start_order != nullptr && ctx.browse_start_order_count == ctx.browse_start_count) {
        const int32_t* order = ctx.browse_start_order;
        const BrowseStart* starts = ctx.browse_starts;
        const int32_t* end = order + ctx.browse_start_count;
        const int32_t* at =
            std::lower_bound(order, end, c, [starts](int32_t i, int32_t topic) { return starts[i].start < topic; });
        return at != end && starts[*at].start == c ? &starts[*at] : nullptr;
    }
    for (int32_t i = 0; i < ctx.browse_start_count; ++i) {
        if (ctx.browse_starts[i].start == c) return &ctx.browse_starts[i];
    }
    return nullptr;
}

uint32_t browse_number_start(DecompileContext& ctx, int32_t c, int32_t n, int32_t p) {
    const BrowseStart* record = find_start(ctx, c);
    if (record == nullptr) {
        ctx.had_problems = true;
        std::fprintf(stderr, "Browse start %08lx not found\n", hex(c));
        return 0;
    }
    BrowseChain* chain = browse_take_slot(ctx);
    browse_open(ctx, chain, {c, n, p, record->sequence, record->position, record->position});
    return identifier(record->sequence, record->position);
}

namespace {

// A link extends its chain at the tail, a backlink at the head.
uint32_t extend_chain(DecompileContext& ctx, BrowseChain* chain, bool at_tail, int32_t c, int32_t n, int32_t p) {
    if (chain == nullptr) {
        problem(ctx, at_tail ? "link" : "backlink", c, n, p);
        return 0;
    }
    if (at_tail) {
        browse_set_next(ctx, chain, n);
        ++chain->tail_position;
    } else {
        browse_set_previous(ctx, chain, p);
        --chain->head_position;
    }
    const uint32_t result = identifier(chain->sequence, at_tail ? chain->tail_position : chain->head_position);
    close_chain(ctx, chain, false);
    return result;
}

}  // namespace

uint32_t browse_number_link(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    return extend_chain(ctx, browse_tail_chain(ctx, c, f), true, c, n, p);
}

uint32_t browse_number_backlink(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    return extend_chain(ctx, browse_head_chain(ctx, c, f), false, c, n, p);
}

uint32_t browse_number_merge(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    BrowseChain* tail = browse_tail_chain(ctx, c, f);
    BrowseChain* head = browse_head_chain(ctx, c, f);
    if (tail == nullptr || head == nullptr) {
        problem(ctx, "merge", c, n, p);
        return 0;
    }
    ++tail->tail_position;
    --head->head_position;
    if (tail->tail_position != head->head_position) {
        ctx.had_problems = true;
        std::fprintf(stderr, "Prev browse end %d doen't match next browse start %d\n", tail->tail_position,
                     head->head_position);
    }
    uint32_t result = identifier(tail->sequence, tail->tail_position);
    browse_set_next(ctx, tail, head->expected_next);
    tail->tail_position = head->tail_position;
    browse_free(ctx, head);
    return result;
}

enum class BrowseOperation { none, start, merge, backlink, link };

BrowseOperation select_operation(int32_t c, int32_t n, int32_t p) {
    if ((n > c || n == -1) && (p > c || p == -1) && !(n == -1 && p == -1)) return BrowseOperation::start;
    if (n != -1 && n < c && p != -1 && p < c) return BrowseOperation::merge;
    if (n != -1 && n < c && (p == -1 || p > c)) return BrowseOperation::backlink;
    if (p != -1 && p < c && (n == -1 || n > c)) return BrowseOperation::link;
    return BrowseOperation::none;
}

}  // namespace

void browse_select(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    switch (select_operation(c, n, p)) {
        case BrowseOperation::start: browse_start(ctx, c, n, p); break;
        case BrowseOperation::merge: browse_merge(ctx, c, f, n, p); break;
        case BrowseOperation::backlink: browse_backlink(ctx, c, f, n, p); break;
        case BrowseOperation::link: browse_link(ctx, c, f, n, p); break;
        case BrowseOperation::none: break;
    }
}

uint32_t browse_number_select(DecompileContext& ctx, int32_t c, int32_t f, int32_t n, int32_t p) {
    switch (select_operation(c, n, p)) {
        case BrowseOperation::start: return browse_number_start(ctx, c, n, p);
        case BrowseOperation::merge: return browse_number_merge(ctx, c, f, n, p);
        case BrowseOperation::backlink: return browse_number_backlink(ctx, c, f, n, p);
        case BrowseOperation::link: return browse_number_link(ctx, c, f, n, p);
        case BrowseOperation::none: return 0;
    }
    return 0;
}

void browse_first_pass_start(DecompileContext& ctx) {
    browse_index_reset(ctx);
    ctx.next_browse_number = 1;
}

void browse_second_pass_start(DecompileContext& ctx) {
    browse_index_reset(ctx);
    browse_settle_starts(ctx);
    // The second pass looks a start record up for every sequence it opens:
    // an index by start topic (record order among equal ones) keeps that a
    // binary search. The records do not change in the second pass.
    if (ctx.browse_start_order != nullptr) tracked_free(ctx, ctx.browse_start_order);
    ctx.browse_start_order = nullptr;
    if (ctx.browse_start_count <= 0) return;
    int32_t* order = tracked_new_array<int32_t>(ctx, ctx.browse_start_count);
    for (int32_t i = 0; i < ctx.browse_start_count; ++i) order[i] = i;
    const BrowseStart* starts = ctx.browse_starts;
    std::stable_sort(order, order + ctx.browse_start_count,
                     [starts](int32_t a, int32_t b) { return starts[a].start < starts[b].start; });
    ctx.browse_start_order = order;
    ctx.browse_start_order_count = ctx.browse_start_count;
}
