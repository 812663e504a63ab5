// Loading the context map (|CONTEXT, or |TOMAP in the oldest format) and
// naming topics by their offset.
#include "project/context_map.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_hash.h"

namespace {

constexpr const char* malformed_context = "malformed |CONTEXT file\n";
constexpr long context_entry_size = 8;

long bytes_left_in(std::FILE* file) {
    long here = std::ftell(file);
    std::fseek(file, 0, SEEK_END);
    long end = std::ftell(file);
    std::fseek(file, here, SEEK_SET);
    return end > here ? end - here : 0;
}

// The help compilers sort |CONTEXT by hash value read as a signed number;
// an entry out of that order has a garbled hash, and its context id's name
// and the jumps to it are lost. MediaView's compiler is left out: no file
// of it was at hand to confirm its order.
void check_context_order(DecompileContext& ctx, long loaded) {
    if (ctx.mediaview) return;
    long out_of_order = 0, first = -1;
    for (long i = 1; i < loaded; ++i) {
        if (static_cast<int32_t>(ctx.contexts[i].hash) >= static_cast<int32_t>(ctx.contexts[i - 1].hash)) continue;
        if (first < 0) first = i;
        ++out_of_order;
    }
    if (out_of_order > 0)
        damage_found(ctx, "|CONTEXT", -1, "%ld hash values out of order, the first between entries %ld and %ld: "
                     "their context ids may come out under other names", out_of_order, first, first + 1);
}

// |CONTEXT: leaf entries are (hash, topic offset) pairs in hash order.
void load_context_table(DecompileContext& ctx, std::FILE* file, long length) {
    BTreeWalk walk;
    long total = 0;
    int count = btree_first_leaf(ctx, walk, file, &total, length, "|CONTEXT");
    if (total == 0) return;
    // The header's count sizes the table, so it must fit the internal file,
    // as far as the help file holds it; a damaged header's table is sized
    // by the file.
    const long extent = std::min(length, walk.data_end - static_cast<long>(walk.pages_start));
    if (total < 0 && ctx.salvage) total = extent / context_entry_size;
    if (total < 0 || total > extent / context_entry_size) fatal_error("%s", malformed_context);
    ctx.contexts = tracked_new_array<ContextEntry>(ctx, total);
    long loaded = 0;
    for (; count; count = btree_next_leaf(ctx, walk, file)) {
        // With salvage a leaf that cannot be what it claims is skipped; the
        // table is full when the header's count is reached.
        const bool broken = count < 0 || loaded + count > total ||
                            std::ftell(file) + count * context_entry_size > walk.data_end;
        if (broken && ctx.salvage) {
            note_damage(ctx, "|CONTEXT", std::ftell(file), "leaf of %d entries skipped", count);
            if (loaded + std::max(count, 0) > total) break;
            continue;
        }
        if (count < 0 || loaded + count > total) fatal_error("%s", malformed_context);
        if (std::ftell(file) + count * context_entry_size > walk.data_end) fatal_error("%s", malformed_context);
        uint8_t* raw = reinterpret_cast<uint8_t*>(ctx.contexts + loaded);
        my_fread(count * context_entry_size, file, raw);
        // Convert in place: the file is little-endian whatever the host is.
        for (int i = 0; i < count; ++i, raw += context_entry_size) {
            ContextEntry entry{get_le32(raw), static_cast<int32_t>(get_le32(raw + 4))};
            ctx.contexts[loaded + i] = entry;
        }
        loaded += count;
    }
    ctx.context_count = static_cast<int32_t>(loaded);
    std::fprintf(stderr, "%d topic offsets and hash values loaded\n", ctx.context_count);
    check_context_order(ctx, loaded);
    // Stable, so a topic's ids keep their file order and the first of them
    // stays the topic's main id.
    std::stable_sort(ctx.contexts, ctx.contexts + loaded,
                     [](const ContextEntry& a, const ContextEntry& b) { return a.topic_offset < b.topic_offset; });
    index_context_topics(ctx);
}

void load_topic_map(DecompileContext& ctx, std::FILE* file, long length) {
    long count = length / 4;
    if (count <= 0) return;
    uint8_t* raw = read_internal_file(ctx, file, count * 4);
    ctx.topic_map = reinterpret_cast<int32_t*>(raw);
    for (long i = 0; i < count; ++i) ctx.topic_map[i] = static_cast<int32_t>(get_le32(raw + i * 4));
    ctx.topic_map_count = static_cast<int32_t>(count);
}

}  // namespace

uint8_t* read_internal_file(DecompileContext& ctx, std::FILE* file, long length) {
    if (length > bytes_left_in(file)) fatal_error("my_fread(%ld) at %ld failed", length, std::ftell(file));
    uint8_t* block = static_cast<uint8_t*>(tracked_malloc(ctx, length));
    my_fread(length, file, block);
    return block;
}

void check_entry_room(std::FILE* file, long data_end, long size) {
    if (std::ftell(file) + size > data_end) fatal_error("B+ tree entries run past their internal file.\n");
}

void read_entry_string(std::FILE* file, long data_end, char* destination, long limit) {
    long n = 0;
    for (long left = data_end - std::ftell(file);; --left) {
        if (left <= 0) fatal_error("B+ tree entries run past their internal file.\n");
        int c = file_getc(file);
        if (c <= 0) break;
        if (n >= limit - 1) fatal_message("String length exceeds decompiler limit.\n");
        destination[n++] = static_cast<char>(c);
    }
    destination[n] = '\0';
}

void load_context_map(DecompileContext& ctx, std::FILE* file) {
    const bool loaded = salvage_step(ctx, "|CONTEXT", "context table damaged; topics get made-up context names", [&] {
        long length = 0;
        if (find_internal_file(ctx, file, &length, "|CONTEXT")) {
            load_context_table(ctx, file, length);
        } else if (find_internal_file(ctx, file, &length, "|TOMAP")) {
            load_topic_map(ctx, file, length);
        }
    });
    if (loaded) return;
    // What a help file without a context table has.
    ctx.contexts = nullptr;
    ctx.context_count = 0;
    ctx.context_topic_buckets = nullptr;
    ctx.context_topic_bucket_count = 0;
    ctx.topic_map = nullptr;
    ctx.topic_map_count = 0;
}

const char* topic_offset_name(DecompileContext& ctx, int32_t topic_offset) {
    if (ctx.old_format) {
        // Offset 0 stands for the topic the map's first entry names.
        int32_t wanted = topic_offset == 0 && ctx.topic_map_count > 0 ? ctx.topic_map[0] : topic_offset;
        for (int32_t i = 16; i < ctx.topic_map_count; ++i) {
            if (ctx.topic_map[i] == wanted) {
                std::snprintf(ctx.topic_number_name, sizeof ctx.topic_number_name, "TOPIC%d", i);
                return ctx.topic_number_name;
            }
        }
    } else if (topic_offset == -1) {
        ctx.map_undefined = true;
        return "21KSYK4";  // hashes to 0xFFFFFFFF
    } else {
        int32_t i = first_context_of_topic(ctx, topic_offset);
        if (i >= 0) return unhash(ctx, ctx.contexts[i].hash);
    }
    if (topic_offset != 0) {
        std::fprintf(stderr, "Can not find topic offset %08lx\n",
                     static_cast<unsigned long>(static_cast<uint32_t>(topic_offset)));
    }
    return nullptr;
}
