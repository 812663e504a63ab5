// The window a topic is shown in, from |VIOLA: a B-tree of (topic offset,
// window number) in ascending topic offset. Topics are asked for in
// ascending order, so one leaf page is held at a time and the walk only
// moves forward.
#include <cstdio>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "firstpass/keyword_footnotes.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

namespace {

constexpr long viola_entry_size = 8;

void free_page(DecompileContext& ctx) {
    if (ctx.viola_entries) tracked_free(ctx, ctx.viola_entries);
    ctx.viola_entries = nullptr;
    ctx.viola_count = 0;
    ctx.viola_cursor = 0;
}

// Loads the entries of the leaf at the stream position; false when the leaf
// has none, which ends the map.
bool load_page(DecompileContext& ctx, std::FILE* file, int count) {
    free_page(ctx);
    if (count <= 0) return false;
    long size = count * viola_entry_size;
    if (std::ftell(file) + size > ctx.viola_walk.data_end) {
        fatal_error("B+ tree entries run past their internal file.\n");
    }
    ctx.viola_entries = static_cast<uint8_t*>(tracked_malloc(ctx, size));
    my_fread(size, file, ctx.viola_entries);
    ctx.viola_count = count;
    return true;
}

int32_t entry_topic_offset(const DecompileContext& ctx) {
    return static_cast<int32_t>(get_le32(ctx.viola_entries + ctx.viola_cursor * viola_entry_size));
}

void open_window_map(DecompileContext& ctx, std::FILE* file) {
    ctx.window_state = 0;
    long length = 0;
    if (!find_internal_file(ctx, file, &length, "|VIOLA")) return;
    // The walk is bounded by the tree's length, so a looping leaf chain ends.
    int count = btree_first_leaf(ctx, ctx.viola_walk, file, nullptr, length, "|VIOLA");
    if (load_page(ctx, file, count)) ctx.window_state = 1;
}

}  // namespace

int32_t topic_window_number(DecompileContext& ctx, std::FILE* file, int32_t topic_offset) {
    if (ctx.window_state == 0) return -1;
    long position = std::ftell(file);
    // Most topics are answered from the page at hand: the help file is
    // then neither read nor moved, and needs no seek back.
    bool moved = false;
    // A damaged map ends where the damage starts: later topics keep the
    // default window.
    const bool read = salvage_step(ctx, "|VIOLA", "topic windows from the damage on", [&] {
        if (ctx.window_state == -1) {
            open_window_map(ctx, file);
            moved = true;
        }
        while (ctx.window_state == 1 && entry_topic_offset(ctx) < topic_offset) {
            if (++ctx.viola_cursor < ctx.viola_count) continue;
            moved = true;
            ctx.window_state = 0;  // until the next page has loaded
            if (load_page(ctx, file, btree_next_leaf(ctx, ctx.viola_walk, file))) ctx.window_state = 1;
        }
    });
    if (!read) {
        ctx.window_state = 0;
        moved = true;
    }
    int32_t window = -1;
    if (ctx.window_state == 1 && entry_topic_offset(ctx) == topic_offset) {
        window = static_cast<int32_t>(get_le32(ctx.viola_entries + ctx.viola_cursor * viola_entry_size + 4));
    }
    if (moved || std::feof(file)) std::fseek(file, position, SEEK_SET);
    return window;
}
