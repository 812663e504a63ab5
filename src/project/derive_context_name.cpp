// Readable names for context ids: a known prefix, characters of a topic
// title or keyword, and at most five characters more that make the hash
// come out right.
#include <algorithm>
#include <cstring>

#include "plugin/decompile_context.h"
#include "project/context_hash.h"
#include "project/context_hash_tables.h"
#include "project/context_map.h"

using context_tables::context_characters;
using context_tables::digit_characters;
using context_tables::hash_base;
using context_tables::hash_values;

namespace {

// Only the start of a long text is tried: it bounds the work per context id
// and keeps every candidate far below the size of the output buffer.
constexpr size_t text_limit = 255;
constexpr int suffix_limit = 5;
constexpr uint32_t powers_of_43[suffix_limit + 1] = {1, 43, 1849, 79507, 3418801, 147008443};

static_assert(context_tables::context_prefixes.back().text.size() + text_limit + suffix_limit < context_scratch_size);

enum Pass { hash_table_pass, context_table_pass, underscore_pass };

// The value the pass gives the character, 0 when the pass leaves it out.
int pass_value(Pass pass, unsigned char c) {
    if (pass == hash_table_pass) return hash_values[c];
    int value = context_characters[c];
    if (value == 0 && pass == underscore_pass) return context_characters['_'];
    return value;
}

bool usable(Pass pass, unsigned char c) {
    return pass == hash_table_pass ? hash_values[c] != 0 : context_characters[c] != 0;
}

// The text as one pass sees it: the characters it takes, in order, with the
// value each adds to the hash and how each is written, so that the search
// runs over plain arrays.
struct PassText {
    uint32_t value[text_limit];
    char written[text_limit];
    uint16_t taken_from[text_limit + 1];  // first taken character at or after a text position
    size_t count;

    void build(Pass pass, const unsigned char* text, size_t length) {
        count = 0;
        for (size_t i = 0; i < length; ++i) {
            taken_from[i] = static_cast<uint16_t>(count);
            int v = pass_value(pass, text[i]);
            if (v == 0) continue;
            value[count] = static_cast<uint32_t>(v);
            written[count] = usable(pass, text[i]) ? static_cast<char>(text[i]) : '_';
            ++count;
        }
        taken_from[length] = static_cast<uint16_t>(count);
    }
};

// A run of k text characters whose hash values are all digits 1..42, read
// as a base-43 number: the code a suffix of k characters must have. Start
// of the first run of k characters with this code, or -1.
long find_run(const unsigned char* text, size_t length, int k, uint32_t code) {
    for (size_t start = 0; start + k <= length; ++start) {
        uint32_t value = 0;
        int i = 0;
        for (; i < k; ++i) {
            const int digit = hash_values[text[start + i]];
            if (digit < 1 || digit >= hash_base) break;
            value = value * hash_base + static_cast<uint32_t>(digit);
        }
        if (i == k && value == code) return static_cast<long>(start);
    }
    return -1;
}

// The inverse of 43^k modulo 2^32 (43 is odd, so every power has one).
constexpr uint32_t inverse_mod_2_32(uint32_t a) {
    uint32_t x = a;  // correct to 3 bits; each step doubles them
    for (int i = 0; i < 5; ++i) x *= 2u - a * x;
    return x;
}
constexpr uint32_t inverse_powers_of_43[suffix_limit + 1] = {
    inverse_mod_2_32(powers_of_43[0]), inverse_mod_2_32(powers_of_43[1]), inverse_mod_2_32(powers_of_43[2]),
    inverse_mod_2_32(powers_of_43[3]), inverse_mod_2_32(powers_of_43[4]), inverse_mod_2_32(powers_of_43[5])};
static_assert(inverse_powers_of_43[5] * powers_of_43[5] == 1u);

// Suffixes of three or more characters must be runs of the text. For each
// run, only one candidate hash h has h * 43^k + run == target, so those
// hashes are few: a bit set of them rules out nearly every candidate with
// one look (a false hit only costs the exact test).
struct LongSuffixFilter {
    static constexpr int bits = 4096;
    uint64_t words[bits / 64];

    static constexpr uint32_t mixer = 2654435761u;
    static uint32_t bit_of(uint32_t h) { return (h * mixer) >> 20; }
    // bit_of(inverse_powers_of_43[k] * (target - code)) with one product.
    static constexpr uint32_t mixed_inverses[suffix_limit + 1] = {
        inverse_powers_of_43[0] * mixer, inverse_powers_of_43[1] * mixer, inverse_powers_of_43[2] * mixer,
        inverse_powers_of_43[3] * mixer, inverse_powers_of_43[4] * mixer, inverse_powers_of_43[5] * mixer};
    void set(uint32_t bit) { words[bit / 64] |= uint64_t(1) << (bit % 64); }
    void build(const unsigned char* text, size_t length, uint32_t target) {
        std::memset(words, 0, sizeof words);
        // Digit values, and how many characters with digit values start at
        // each position (at most five are needed), from the end backwards.
        uint8_t run[text_limit + 1];
        uint32_t digit[text_limit];
        run[length] = 0;
        for (size_t i = length; i-- > 0;) {
            const int d = hash_values[text[i]];
            const bool usable = d >= 1 && d < hash_base;
            digit[i] = static_cast<uint32_t>(d);
            run[i] = usable ? static_cast<uint8_t>(std::min<int>(run[i + 1] + 1, suffix_limit)) : 0;
        }
        for (size_t start = 0; start + 3 <= length; ++start) {
            const int k = run[start];
            if (k < 3) continue;
            uint32_t code = (digit[start] * hash_base + digit[start + 1]) * hash_base + digit[start + 2];
            set(((target - code) * mixed_inverses[3]) >> 20);
            if (k < 4) continue;
            code = code * hash_base + digit[start + 3];
            set(((target - code) * mixed_inverses[4]) >> 20);
            if (k < 5) continue;
            code = code * hash_base + digit[start + 4];
            set(((target - code) * mixed_inverses[5]) >> 20);
        }
    }
    bool may_hold(uint32_t h) const { return (words[bit_of(h) / 64] >> (bit_of(h) % 64)) & 1; }
};

struct Derivation {
    const unsigned char* text;
    size_t length;
    uint32_t target;
    char* output;
    LongSuffixFilter long_suffixes;
};

// Whether some suffix could give the target after a candidate with hash h:
// made-up suffixes of up to two characters by arithmetic, longer ones
// through the filter. Nearly every candidate admits none.
inline bool some_suffix_fits(const Derivation& d, uint32_t h) {
    const uint32_t t = d.target;
    return ((t - h) < powers_of_43[0]) | ((t - h * powers_of_43[1]) < powers_of_43[1]) |
           ((t - h * powers_of_43[2]) < powers_of_43[2]) | d.long_suffixes.may_hold(h);
}

// The shortest suffix that completes a candidate with hash h, written to
// `suffix`; its length, or -1 when none does.
int find_suffix(Derivation& d, uint32_t h, char* suffix) {
    for (int k = 0; k <= suffix_limit; ++k) {
        uint32_t code = d.target - h * powers_of_43[k];
        if (code >= powers_of_43[k]) continue;
        char digits[suffix_limit];
        bool spelled = true;
        uint32_t rest = code;
        for (int j = k - 1; j >= 0 && spelled; --j) {
            digits[j] = digit_characters[rest % hash_base];
            spelled = digits[j] != '\0';
            rest /= hash_base;
        }
        if (!spelled) continue;
        long run = -1;
        if (k > 0) run = find_run(d.text, d.length, k, code);
        if (run < 0 && k >= 3) continue;  // long made-up tails would read as noise
        std::memcpy(suffix, run >= 0 ? reinterpret_cast<const char*>(d.text) + run : digits, static_cast<size_t>(k));
        return k;
    }
    return -1;
}

// Walks the text from a word start behind the prefix, trying suffixes after
// every character taken past the first `tested` (which an earlier pass
// tried with the same hashes); the name is written only when one fits.
bool try_from(Derivation& d, const PassText& taken, const context_tables::ContextPrefix& prefix, size_t first,
              size_t tested) {
    uint32_t h = prefix.hash;
    const size_t untested = std::min(first + tested, taken.count);
    for (size_t j = first; j < untested; ++j) h = h * hash_base + taken.value[j];
    for (size_t j = untested; j < taken.count; ++j) {
        h = h * hash_base + taken.value[j];
        if (!some_suffix_fits(d, h)) continue;
        char suffix[suffix_limit];
        int k = find_suffix(d, h, suffix);
        if (k < 0) continue;
        size_t length = prefix.text.size();
        std::memcpy(d.output, prefix.text.data(), length);
        std::memcpy(d.output + length, taken.written + first, j + 1 - first);
        length += j + 1 - first;
        std::memcpy(d.output + length, suffix, static_cast<size_t>(k));
        d.output[length + k] = '\0';
        return true;
    }
    return false;
}

bool is_word_start(const Derivation& d, Pass pass, size_t i) {
    if (i == 0) return true;
    if (pass == hash_table_pass) return false;
    return usable(pass, d.text[i]) && !usable(pass, d.text[i - 1]);
}

struct Walk {
    size_t first;   // first taken character
    size_t tested;  // characters from there an earlier pass tried
};

// How many characters from this start an earlier pass walked with the same
// hash values behind every prefix. A name character counts the same in
// every pass, so the walks agree up to the first character the passes treat
// differently: the underscore pass agrees with the context table pass from
// each word start up to the word's end, and the context table pass with the
// hash table pass (tried from the text's start only) up to the first word's
// end.
size_t tested_before(const Derivation& d, Pass pass, bool hash_pass_ran, size_t start) {
    if (pass == hash_table_pass || (pass == context_table_pass && (start != 0 || !hash_pass_ran))) return 0;
    size_t end = start;
    while (end < d.length && usable(context_table_pass, d.text[end])) ++end;
    return end - start;
}

}  // namespace

bool derive_context_name(DecompileContext& ctx, const char* text, uint32_t hash, char* output) {
    Derivation d;
    d.text = reinterpret_cast<const unsigned char*>(text);
    d.length = strnlen(text, text_limit);
    d.target = hash;
    d.output = output;

    d.long_suffixes.build(d.text, d.length, d.target);

    bool unusable_met = false;
    for (size_t i = 0; i < d.length; ++i) unusable_met |= !usable(context_table_pass, d.text[i]);

    PassText taken;
    for (Pass pass : {hash_table_pass, context_table_pass, underscore_pass}) {
        if (pass == hash_table_pass && !ctx.winhelp4) continue;
        if (pass == underscore_pass && !unusable_met) continue;
        taken.build(pass, d.text, d.length);
        // Word starts with no taken character between them begin the same
        // walk: only the first of them is tried.
        Walk walks[text_limit];
        size_t walk_count = 0;
        for (size_t start = 0; start < d.length; ++start) {
            if (!is_word_start(d, pass, start)) continue;
            const size_t first = taken.taken_from[start];
            if (first == (walk_count ? walks[walk_count - 1].first : taken.count)) continue;
            walks[walk_count++] = Walk{first, tested_before(d, pass, ctx.winhelp4, start)};
        }
        for (const auto& prefix : context_tables::context_prefixes) {
            for (size_t i = 0; i < walk_count; ++i) {
                if (try_from(d, taken, prefix, walks[i].first, walks[i].tested)) return true;
            }
        }
    }
    return false;
}

void derive_context_names(DecompileContext& ctx, const char* text, int32_t topic_offset) {
    int32_t first = first_context_of_topic(ctx, topic_offset);
    if (first < 0) return;
    // The guessing asks again for every keyword of the topic: an entry once
    // found named is not looked up again.
    if (ctx.context_named == nullptr) {
        ctx.context_named = tracked_new_array<uint8_t>(ctx, ctx.context_count);
        std::memset(ctx.context_named, 0, static_cast<size_t>(ctx.context_count));
    }
    for (int32_t i = first; i < ctx.context_count && ctx.contexts[i].topic_offset == topic_offset; ++i) {
        if (ctx.context_named[i]) continue;
        uint32_t hash = ctx.contexts[i].hash;
        if (known_context_name(ctx, hash) == nullptr) {
            if (!derive_context_name(ctx, text, hash, ctx.scratch)) continue;
            add_context_name(ctx, ctx.scratch, true);
        }
        ctx.context_named[i] = 1;
    }
}
