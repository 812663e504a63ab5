#include "topics/phrase_recovery.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/decompile_context.h"
#include "helpfile/lz77_trace.h"
#include "topics/phrase_order.h"
#include "topics/phrase_placement.h"

namespace {

// Readings started at this many offsets past the damage: far more than a
// control group's 17 bytes, so that some start on the stream's own groups;
// and so many bytes past where the first reading showed damage, which is
// mostly past the garbled bytes themselves.
constexpr long resync_starts = 256;
constexpr long resync_skip = 32;
constexpr long resync_reach = 16384;
// Garbling shows a little after it begins: this much before the first
// phrase that reads as damaged is not trusted either.
constexpr uint32_t back_phrases = 2;
constexpr int64_t back_bytes = 32;
constexpr int back_groups = 2;
// A byte of a reading placed at the texts' end without its phrases' order
// to confirm it.
constexpr uint8_t weakly_known = 2;
// How many phrases before the first that reads as damaged may be the one
// whose length came out wrong.
constexpr uint32_t length_mend_reach = 64;
constexpr uint32_t length_mend_check = 64;
// Phrases in order after the gap, the sign that the second reading is on
// the stream's own groups.
constexpr uint32_t in_order_run = 3;
// Damaged spots read past, one a round.
constexpr int max_rounds = 8;
// Bytes of phrases compared and of texts read again to place the readings
// of one table.
constexpr int64_t placement_budget = int64_t(1) << 26;
// The most a byte of the image expands to (a control byte and eight
// references of 18 bytes from 17).
constexpr int64_t lz77_expansion_bound = 9;

uint32_t phrase_length(const DecompileContext& ctx, uint32_t i) {
    return ctx.phrase_offsets[i + 1] - ctx.phrase_offsets[i];
}

// Where phrases start to read as damaged one after the other, as they do
// past a boundary that moved (garbled letters leave only a few here and
// there): the first of 16 phrases at least half of which read so; the count
// when there is none.
uint32_t first_disorder(const DecompileContext& ctx) {
    constexpr uint32_t window = 16;
    uint32_t bad = 0;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        bad += !phrase_plausible(ctx, i, ctx.phrase_texts);
        if (i >= window) bad -= !phrase_plausible(ctx, i - window, ctx.phrase_texts);
        if (bad >= window / 2) {
            const uint32_t start = i >= window ? i - window + 1 : 0;
            for (uint32_t k = start; k <= i; ++k)
                if (!phrase_plausible(ctx, k, ctx.phrase_texts)) return k;
        }
    }
    return ctx.phrase_count;
}

uint32_t first_implausible(const DecompileContext& ctx, uint32_t from) {
    for (uint32_t i = from; i < ctx.phrase_count; ++i)
        if (!phrase_plausible(ctx, i, ctx.phrase_texts)) return i;
    return ctx.phrase_count;
}

// The first phrase that may hold damage, given the first that shows it.
uint32_t damage_begins(const DecompileContext& ctx, uint32_t shown) {
    uint32_t i = shown > back_phrases ? shown - back_phrases : 0;
    const int64_t limit = int64_t(ctx.phrase_offsets[shown < ctx.phrase_count ? shown : ctx.phrase_count]) - back_bytes;
    while (i > 0 && int64_t(ctx.phrase_offsets[i]) > limit) --i;
    return i;
}

// A control byte of the image and the texts offset a reading puts its
// first byte at.
struct ReadingPlace {
    long input;
    int64_t output;
};

// The control group that produces texts byte `output` in the reading from
// `start`.
ReadingPlace group_at_output(const uint8_t* image, long size, ReadingPlace start, int64_t output) {
    ReadingPlace at = start;
    while (at.input < size) {
        const Lz77Group group = lz77_group_at(image, size, at.input);
        if (at.output + group.produced > output) break;
        at.output += group.produced;
        at.input = group.next;
    }
    return at;
}

// The texts offset of the control group `back` groups before the one that
// produces texts byte `output` in the reading from `start`: garbled bytes
// that copy sound text read as sound, so damage may begin some way before it
// shows.
int64_t output_groups_before(const uint8_t* image, long size, ReadingPlace start, int64_t output, int back) {
    ReadingPlace at = group_at_output(image, size, start, output);
    for (int k = 0; k < back && at.output > start.output; ++k) at = group_at_output(image, size, start, at.output - 1);
    return at.output;
}

// The first control byte that readings started at every offset in
// [from, to) all reach; -1 when they do not all meet before the end.
long merge_point(const uint8_t* image, long size, long from, long to) {
    std::vector<long> at;
    for (long s = from; s < to; ++s) at.push_back(s);
    for (;;) {
        std::sort(at.begin(), at.end());
        at.erase(std::unique(at.begin(), at.end()), at.end());
        // Readings that have not met this far past their starts seldom do:
        // giving up bounds the time a damaged image can take.
        if (at.empty() || at.back() >= size || at.back() - from > resync_reach) return -1;
        if (at.size() == 1) return at[0];
        const long highest = at.back();
        for (long& a : at)
            while (a < highest) a = lz77_group_at(image, size, a).next;
    }
}

// Whether the phrases lying wholly in texts[from, to) are at least two and
// all read as sound.
bool sound_stretch(const DecompileContext& ctx, const char* texts, int64_t from, int64_t to) {
    uint32_t whole = 0;
    for (uint32_t i = 0; i < ctx.phrase_count && ctx.phrase_offsets[i] < to; ++i) {
        if (ctx.phrase_offsets[i] < from || ctx.phrase_offsets[i + 1] > to) continue;
        if (!phrase_plausible(ctx, i, texts)) return false;
        ++whole;
    }
    return whole >= 2;
}

// The readings meet at `at` only some way past the damage. The earliest
// start before it whose reading, placed to end at `joined` where `at`'s
// begins, gives sound phrases is on the stream's own groups: the bytes
// between it and `at` are recovered too. That start and where its reading
// is placed; `at` placed at `joined` when none is.
ReadingPlace earliest_sound_start(DecompileContext& ctx, const uint8_t* image, long image_size, long from, long at,
                                  int64_t joined, int64_t kept, int64_t& budget) {
    const uint32_t size = ctx.phrase_offsets[ctx.phrase_count];
    ReadingPlace found{at, joined};
    if (joined <= kept || joined > size) return found;
    char* scratch = static_cast<char*>(tracked_malloc(ctx, int64_t(size) + 1));
    uint8_t* known = static_cast<uint8_t*>(tracked_malloc(ctx, int64_t(size) + 1));
    std::memset(scratch, 0, size);
    std::memset(known, 0, size);
    for (long start = from; start < std::min(at, from + resync_starts) && found.input == at && budget > 0; ++start) {
        int64_t produced = 0;
        long a = start;
        while (a < at) {
            const Lz77Group group = lz77_group_at(image, image_size, a);
            produced += group.produced;
            a = group.next;
        }
        const int64_t position = joined - produced;
        if (a != at || position < kept) continue;
        // Each reading sees the first reading's bytes behind it (as far back
        // as a reference reaches), not an earlier candidate's.
        const int64_t behind = std::max<int64_t>(0, position - lz77_window_size);
        budget -= joined - behind;
        std::memcpy(scratch + behind, ctx.phrase_texts + behind, static_cast<size_t>(joined - behind));
        lz77_expand_marked(image, at, start, reinterpret_cast<uint8_t*>(scratch), known, static_cast<long>(position),
                           static_cast<long>(joined));
        if (sound_stretch(ctx, scratch, position, joined)) found = {start, position};
    }
    tracked_free(ctx, known);
    tracked_free(ctx, scratch);
    return found;
}

// Reads the stream again from control byte `at`, its first byte placed at
// texts offset `start`. Bytes before `kept` stay as the readings before gave
// them and must agree where they overlap this one; false when they do not.
bool read_at(DecompileContext& ctx, const uint8_t* image, long image_size, long at, int64_t start, uint32_t size,
             int64_t kept, uint8_t* known) {
    if (!lz77_measure(image + at, image_size - at).whole_items || start < 0) return false;
    uint8_t* texts = reinterpret_cast<uint8_t*>(ctx.phrase_texts);
    uint8_t* copy = static_cast<uint8_t*>(tracked_malloc(ctx, int64_t(size) * 2 + 1));
    uint8_t* copy_known = copy + size;
    std::memcpy(copy, texts, size);
    std::memcpy(copy_known, known, size);
    lz77_expand_marked(image, image_size, at, copy, copy_known, static_cast<long>(start), static_cast<long>(size));
    bool agree = true;
    for (int64_t x = start; x < kept && agree; ++x) agree = copy[x] == texts[x];
    if (agree && kept < size) {
        std::memcpy(texts + kept, copy + kept, static_cast<size_t>(size - kept));
        std::memcpy(known + kept, copy_known + kept, static_cast<size_t>(size - kept));
    }
    tracked_free(ctx, copy);
    return agree;
}

// The first phrase past `start` whose bytes the reading vouches for that
// reads as damaged, once a pair has read in order: where the next damage
// shows. The count when there is none.
uint32_t next_damage_shown(const DecompileContext& ctx, const uint8_t* known, int64_t start) {
    const uint32_t* offsets = ctx.phrase_offsets;
    uint32_t i = uint32_t(std::lower_bound(offsets, offsets + ctx.phrase_count + 1, start) - offsets) + 1;
    for (; i < ctx.phrase_count; ++i) {
        bool whole = true;
        for (uint32_t x = offsets[i - 1]; x < offsets[i + 1] && whole; ++x) whole = known[x] != 0;
        if (whole && !phrase_plausible(ctx, i, ctx.phrase_texts)) return i;
    }
    return ctx.phrase_count;
}

// Bytes of each phrase the readings do not vouch for; a phrase holding a
// byte only weakly vouched for (of a reading not placed by its order) counts
// as doubtful whole where it has any byte in doubt.
std::vector<uint32_t> doubtful_bytes(const DecompileContext& ctx, const uint8_t* known) {
    std::vector<uint32_t> doubt(ctx.phrase_count, 0);
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        bool weak = false;
        for (uint32_t x = ctx.phrase_offsets[i]; x < ctx.phrase_offsets[i + 1]; ++x)
            doubt[i] += known[x] == 0, weak |= known[x] == weakly_known;
        if (weak && doubt[i] > 0) doubt[i] = phrase_length(ctx, i);
    }
    return doubt;
}

// A phrase reads as sound by the bytes vouched for: in order only where it
// and the one before are wholly so.
bool reads_sound(const DecompileContext& ctx, const std::vector<uint32_t>& doubt, const uint8_t* known, uint32_t i) {
    if (doubt[i] == 0 && (i == 0 || doubt[i - 1] == 0)) return phrase_plausible(ctx, i, ctx.phrase_texts);
    for (uint32_t x = ctx.phrase_offsets[i]; x < ctx.phrase_offsets[i + 1]; ++x) {
        const unsigned char c = static_cast<unsigned char>(ctx.phrase_texts[x]);
        if (known[x] && (c < 0x20 || c == 0x7F)) return false;
    }
    return true;
}

bool weakly_vouched(const DecompileContext& ctx, const uint8_t* known, uint32_t i) {
    for (uint32_t x = ctx.phrase_offsets[i]; x < ctx.phrase_offsets[i + 1]; ++x)
        if (known[x] == weakly_known) return true;
    return false;
}

// A reading its phrases' order did not place stands where it ends at the
// texts' end, which is right past the last damaged spot only. Where it is
// misplaced, its phrases still read in order now and then, so its bytes
// vouch only for the phrases from where they read in order, the doubtful
// ones passed over, to the texts' end: the first of them, or phrase_count
// when fewer than settling pairs do.
uint32_t weak_tail(const DecompileContext& ctx, const std::vector<uint32_t>& doubt, const uint8_t* known) {
    constexpr uint32_t settling_pairs = 40;
    uint32_t from = ctx.phrase_count, in_order = 0;
    for (uint32_t i = ctx.phrase_count; i-- > 1;) {
        if (doubt[i] > 0 || doubt[i - 1] > 0) {
            from = i;
            continue;
        }
        if (!reads_sound(ctx, doubt, known, i)) break;
        ++in_order;
        from = i - 1;
    }
    return in_order >= settling_pairs ? from : ctx.phrase_count;
}

// Flags phrases no byte of which is vouched for, and past the bytes kept
// from the first reading those that read as damaged, and those before the
// second reading shows a run of phrases in order after a gap. A phrase
// vouched for in part keeps those bytes, its others written as '?' in place.
void flag_unknown(DecompileContext& ctx, const uint8_t* known, int64_t kept, uint8_t* untrusted) {
    const std::vector<uint32_t> doubt = doubtful_bytes(ctx, known);
    const uint32_t weak_from = weak_tail(ctx, doubt, known);
    uint32_t in_order = in_order_run;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        if ((doubt[i] > 0 && doubt[i] == phrase_length(ctx, i)) || (i < weak_from && weakly_vouched(ctx, known, i))) {
            untrusted[i] = phrase_marked_whole;
            in_order = 0;
            continue;
        }
        if (in_order < in_order_run) {
            uint32_t run = 0;
            while (i + run < ctx.phrase_count && run < in_order_run && reads_sound(ctx, doubt, known, i + run)) ++run;
            if (run < in_order_run) {
                untrusted[i] = phrase_marked_whole;
                continue;
            }
            in_order = in_order_run;
        }
        if (ctx.phrase_offsets[i + 1] > kept && !reads_sound(ctx, doubt, known, i)) untrusted[i] = phrase_marked_whole;
        else if (doubt[i] > 0 && untrusted[i] == 0) untrusted[i] = phrase_marked_in_place;
    }
    for (uint32_t i = 0; i < ctx.phrase_count; ++i)
        for (uint32_t x = ctx.phrase_offsets[i]; x < ctx.phrase_offsets[i + 1] && untrusted[i] == phrase_marked_in_place; ++x)
            if (!known[x]) ctx.phrase_texts[x] = '?';
}

}  // namespace

uint32_t mend_phrase_offsets(uint32_t* offsets, uint32_t count, uint32_t size, uint8_t* untrusted) {
    // The sound entries: the longest run, in table order, of values inside
    // the texts that never go back (with 0 before and size after it).
    std::vector<uint32_t> tails, parent(size_t(count) + 1, UINT32_MAX);
    for (uint32_t i = 0; i <= count; ++i) {
        // The first entry is the texts' start, the last their end.
        if (offsets[i] > size || (i == 0 && offsets[i] != 0) || (i == count && offsets[i] != size)) continue;
        const auto at = std::upper_bound(tails.begin(), tails.end(), offsets[i],
                                         [&](uint32_t value, uint32_t j) { return value < offsets[j]; });
        if (at != tails.begin()) parent[i] = *(at - 1);
        if (at == tails.end()) tails.push_back(i);
        else *at = i;
    }
    std::vector<uint8_t> sound(size_t(count) + 1, 0);
    for (uint32_t i = tails.empty() ? UINT32_MAX : tails.back(); i != UINT32_MAX; i = parent[i]) sound[i] = 1;
    uint32_t unsound = 0;
    for (uint32_t i = 0; i <= count;) {
        if (sound[i]) {
            ++i;
            continue;
        }
        uint32_t end = i;
        while (end <= count && !sound[end]) ++end;
        // A run reaching the table's end ends at the texts' end itself.
        const bool to_end = end > count;
        const uint64_t low = i > 0 ? offsets[i - 1] : 0, high = to_end ? size : offsets[end];
        const uint32_t steps = to_end ? end - i : end - i + 1;
        for (uint32_t k = i; k < end; ++k) {
            offsets[k] = static_cast<uint32_t>(low + (high - low) * (k - i + 1) / steps);
            if (k > 0) untrusted[k - 1] = 1;
            if (k < count) untrusted[k] = 1;
        }
        unsound += end - i;
        i = end;
    }
    return unsound;
}

void recover_phrase_image(DecompileContext& ctx, const uint8_t* image, long image_size, uint32_t size,
                          uint8_t* untrusted) {
    const uint32_t shown = first_implausible(ctx, 0);
    int64_t kept = size > back_bytes ? int64_t(size) - back_bytes : 0;
    if (shown < ctx.phrase_count) kept = ctx.phrase_offsets[damage_begins(ctx, shown)];
    const int64_t first_kept = kept;
    uint8_t* known = static_cast<uint8_t*>(tracked_malloc(ctx, int64_t(size) + 1));
    std::memset(known, 0, size);
    std::memset(known, 1, static_cast<size_t>(kept));
    int64_t shown_at = shown < ctx.phrase_count ? ctx.phrase_offsets[shown] : kept;
    ReadingPlace reading{0, 0};
    int64_t budget = placement_budget;
    // Each round reads past one damaged spot; the stretch up to the next one
    // is placed where its phrases read in order, the last so that it ends at
    // the texts' end.
    for (int round = 0; round < max_rounds; ++round) {
        // The readings start past where the damage showed (so past the
        // garbled bytes, mostly), where the reading before is sure to have
        // gone wrong.
        const ReadingPlace damage = group_at_output(image, image_size, reading, shown_at);
        const long from = std::min(image_size, damage.input + resync_skip);
        long at = merge_point(image, image_size, from, std::min(image_size, from + resync_starts));
        if (at < 0) break;
        const int64_t end_aligned = int64_t(size) - lz77_measure(image + at, image_size - at).produced;
        const ReadingPlace base = group_at_output(image, image_size, reading, kept);
        const ReadingPlacement placement = place_reading(ctx, image, image_size, at, end_aligned, kept,
                                                         base.output + lz77_expansion_bound * (at - base.input), budget);
        const int64_t joined = placement.place;
        const ReadingPlace earliest =
            earliest_sound_start(ctx, image, image_size, std::max(0L, from - resync_skip), at, joined, kept, budget);
        const int64_t start = earliest.output;
        at = earliest.input;
        if (!read_at(ctx, image, image_size, at, start, size, kept, known)) {
            // The readings disagree where both should be sound: keep neither's
            // bytes there.
            std::memset(known + kept, 0, size - kept);
            break;
        }
        // Bytes of a reading its phrases' order did not place vouch only for
        // phrases that read as sound whole.
        if (!placement.confirmed)
            for (int64_t x = kept; x < size; ++x) known[x] = known[x] ? weakly_known : 0;
        if (joined == end_aligned) break;
        const uint32_t next = next_damage_shown(ctx, known, start);
        if (next >= ctx.phrase_count) break;
        kept = std::min<int64_t>(ctx.phrase_offsets[damage_begins(ctx, next)],
                                 output_groups_before(image, image_size, {at, start}, ctx.phrase_offsets[next], back_groups));
        kept = std::max<int64_t>(start, kept);
        std::memset(known + kept, 0, size - kept);
        shown_at = ctx.phrase_offsets[next];
        reading = {at, start};
    }
    flag_unknown(ctx, known, first_kept, untrusted);
    tracked_free(ctx, known);
}

namespace {

// How many of the phrases from `from` on, up to length_mend_check of them,
// read as damaged: other damage further on must not hide a mend that is right.
uint32_t implausible_near(const DecompileContext& ctx, uint32_t from) {
    uint32_t found = 0;
    for (uint32_t i = from; i < ctx.phrase_count && i < from + length_mend_check; ++i)
        found += !phrase_plausible(ctx, i, ctx.phrase_texts);
    return found;
}

}  // namespace

bool mend_one_length(DecompileContext& ctx, uint32_t size, const std::vector<uint32_t>& lengths, uint8_t* untrusted) {
    const uint32_t count = ctx.phrase_count;
    const uint32_t shown = first_disorder(ctx);
    int64_t total = 0;
    for (const uint32_t n : lengths) total += n;
    const int64_t delta = int64_t(size) - total;
    if (shown >= count || delta == 0 || lengths.size() != count) return false;
    // The boundaries with phrase `changed`'s length set right by delta; false
    // (the texts' boundaries then left in place of none) where one would
    // fall outside the texts or a length below zero.
    std::vector<uint32_t> as_read(ctx.phrase_offsets, ctx.phrase_offsets + count + 1);
    const auto set_boundaries = [&](uint32_t changed) {
        uint64_t at = 0;
        for (uint32_t j = 0; j < count; ++j) {
            const int64_t n = int64_t(lengths[j]) + (j == changed ? delta : 0);
            if (n < 0 || at + uint64_t(n) > size) {
                std::copy(as_read.begin(), as_read.end(), ctx.phrase_offsets);
                return false;
            }
            at += uint64_t(n);
            ctx.phrase_offsets[j + 1] = static_cast<uint32_t>(at);
        }
        return true;
    };
    // Set right at a neighbour of the wrong one, the lengths also add up
    // and only a phrase or two come out cut wrongly, which may still read
    // as sound: every phrase where the mend reads as sound is flagged.
    uint32_t first = UINT32_MAX, last = 0;
    for (uint32_t i = shown > length_mend_reach ? shown - length_mend_reach : 0; i <= shown; ++i) {
        if (!set_boundaries(i)) continue;
        if (implausible_near(ctx, i + 1) <= 1) first = std::min(first, i), last = i;
    }
    if (first == UINT32_MAX) {
        std::copy(as_read.begin(), as_read.end(), ctx.phrase_offsets);
        return false;
    }
    set_boundaries(last);
    for (uint32_t i = first; i <= last + 1 && i < count; ++i) untrusted[i] = 1;
    return true;
}

void distrust_from_disorder(const DecompileContext& ctx, uint8_t* untrusted) {
    if (ctx.phrase_count == 0) return;
    const uint32_t shown = first_disorder(ctx);
    // Boundaries that went wrong without showing: only the last phrase is
    // sure to be cut wrongly.
    const uint32_t from = shown < ctx.phrase_count ? damage_begins(ctx, shown) : ctx.phrase_count - 1;
    for (uint32_t i = from; i < ctx.phrase_count; ++i) untrusted[i] = 1;
}

uint32_t flag_control_characters(const DecompileContext& ctx, uint8_t* untrusted) {
    uint32_t flagged = 0;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        if (untrusted[i] || !phrase_holds_control_character(ctx, i, ctx.phrase_texts)) continue;
        untrusted[i] = 1;
        ++flagged;
    }
    return flagged;
}

uint32_t mark_untrusted_phrases(DecompileContext& ctx, uint8_t* untrusted, uint32_t& first, uint32_t& last,
                                uint32_t& in_place) {
    uint32_t count = 0;
    in_place = 0;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        if (!untrusted[i]) continue;
        if (count++ == 0) first = i;
        last = i;
        if (untrusted[i] == phrase_marked_in_place) {
            ++in_place;
            continue;
        }
        char* text = ctx.phrase_texts + ctx.phrase_offsets[i];
        const uint32_t length = phrase_length(ctx, i);
        for (uint32_t k = 0; k < length; ++k) text[k] = '?';
        if (length >= 3) {
            text[0] = '[';
            text[length - 1] = ']';
        }
    }
    ctx.phrase_untrusted = count > 0 ? untrusted : nullptr;
    return count;
}
