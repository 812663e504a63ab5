// Readable names for context ids: a known prefix, characters of a topic
// title or keyword, and at most five characters more that make the hash
// come out right.
#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "core/decompile_context.h"
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

static_assert(context_tables::generated_id_prefixes[2].text.size() + text_limit + suffix_limit < context_scratch_size);

enum Pass { hash_table_pass, context_table_pass, underscore_pass, generated_id_pass };

// The text as one pass sees it: the characters it takes, in order, with the
// value each adds to the hash and how each is written, so that the search
// runs over plain arrays.
struct PassText {
    uint32_t value[text_limit];
    char written[text_limit];
    size_t count;
};

// What every pass needs of each character, read once: its values in the
// two tables, and how many name characters follow from it.
struct TextValues {
    int8_t hash_value[text_limit];
    int8_t name_value[text_limit];
    uint16_t name_run[text_limit + 1];  // characters with a name value from here on
    bool unusable_met;                  // some character has no name value

    void build(const unsigned char* text, size_t length) {
        name_run[length] = 0;
        unsigned unusable = 0;
        for (size_t i = length; i-- > 0;) {
            hash_value[i] = hash_values[text[i]];
            name_value[i] = context_characters[text[i]];
            name_run[i] = name_value[i] != 0 ? static_cast<uint16_t>(name_run[i + 1] + 1) : 0;
            unusable |= name_value[i] == 0;
        }
        unusable_met = unusable != 0;
    }
};

// A run of k name characters of the text, read as a base-43 number of their
// hash values: the code a suffix of k characters must have. Start of the
// first run of k characters with this code, or -1. Other characters that
// share those hash values (':' hashes as '0') would make a name no project
// file can hold.
long find_run(const unsigned char* text, size_t length, int k, uint32_t code) {
    for (size_t start = 0; start + k <= length; ++start) {
        uint32_t value = 0;
        int i = 0;
        for (; i < k; ++i) {
            const int digit = context_characters[text[start + i]];
            if (digit == 0) break;
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
            const int d = context_characters[text[i]];
            const bool usable = d != 0;
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

struct Walk {
    size_t first;   // first taken character
    size_t tested;  // characters from there an earlier pass tried
};

// The pass's characters, and the walks from its word starts: in the hash
// table pass the text's start only, in the others also every start of a run
// of name characters. Word starts with no taken character between them begin
// the same walk: only the first of them is kept.
//
// A walk's first characters may have been tried by an earlier pass with the
// same hash values behind every prefix. A name character counts the same in
// every pass, so the walks agree up to the first character the passes treat
// differently: the underscore pass agrees with the context table pass from
// each word start up to the word's end, and the context table pass with the
// hash table pass (tried from the text's start only) up to the first word's
// end.
size_t pass_walks(Pass pass, bool hash_pass_ran, const unsigned char* text, size_t length, const TextValues& values,
                  PassText& taken, Walk* walks) {
    size_t count = 0;
    size_t walk_count = 0;
    // Letters and digits: what stays of the text in the generated-id pass.
    auto id_character = [&](size_t i) { return values.name_value[i] != 0 && text[i] != '.' && text[i] != '_'; };
    for (size_t i = 0; i < length; ++i) {
        const int name_value = values.name_value[i];
        // A name holding a character that is no name character could not
        // stand in a project file: the hash table pass ends there.
        if (pass == hash_table_pass && name_value == 0) break;
        bool word_start = i == 0;
        if (pass == generated_id_pass) word_start = word_start || (id_character(i) && !id_character(i - 1));
        else if (pass != hash_table_pass) word_start = word_start || (name_value != 0 && values.name_value[i - 1] == 0);
        if (word_start && (walk_count == 0 || walks[walk_count - 1].first != count)) {
            size_t tested = 0;
            if (pass == underscore_pass || (pass == context_table_pass && i == 0 && hash_pass_ran)) {
                tested = values.name_run[i];
            }
            walks[walk_count++] = Walk{count, tested};
        }
        int value;
        char written = static_cast<char>(text[i]);
        if (pass == hash_table_pass) {
            value = values.hash_value[i];
        } else if (pass == generated_id_pass ? id_character(i) : (name_value != 0 || pass == context_table_pass)) {
            value = name_value;
        } else {
            value = context_characters['_'];
            written = '_';
        }
        if (value == 0) continue;
        taken.value[count] = static_cast<uint32_t>(value);
        taken.written[count] = written;
        ++count;
    }
    taken.count = count;
    // A walk that takes no character at all tries nothing.
    if (walk_count > 0 && walks[0].first == count) walk_count = 0;
    return walk_count;
}

// A name accepted: a prefix, the taken characters first..last of a walk and
// a suffix.
struct Accepted {
    int prefix;  // -1: none yet
    size_t first;
    size_t last;
    char suffix[suffix_limit];
    int suffix_length;
};

using PrefixList = std::span<const context_tables::ContextPrefix>;

void write_name(Derivation& d, const PassText& taken, PrefixList prefixes, const Accepted& a) {
    const std::string_view prefix = prefixes[static_cast<size_t>(a.prefix)].text;
    size_t length = prefix.size();
    std::memcpy(d.output, prefix.data(), length);
    std::memcpy(d.output + length, taken.written + a.first, a.last + 1 - a.first);
    length += a.last + 1 - a.first;
    std::memcpy(d.output + length, a.suffix, static_cast<size_t>(a.suffix_length));
    d.output[length + a.suffix_length] = '\0';
}

// Whether a suffix completes the candidate with hash h; kept in `a` if so.
inline bool accepts(Derivation& d, uint32_t h, int prefix, size_t first, size_t last, Accepted& a) {
    if (!some_suffix_fits(d, h)) return false;
    char suffix[suffix_limit];
    const int k = find_suffix(d, h, suffix);
    if (k < 0) return false;
    a.prefix = prefix;
    a.first = first;
    a.last = last;
    std::memcpy(a.suffix, suffix, static_cast<size_t>(k));
    a.suffix_length = k;
    return true;
}

constexpr size_t prefix_limit = context_tables::generated_id_prefixes.size();

// Tries the walks behind all prefixes at once: one running hash of a
// walk's characters, and each prefix's hash times 43 per character on top.
// Each walk skips the characters an earlier pass tried. The name is the one
// that trying prefix by prefix, walk by walk would find first: a hit behind
// the empty prefix ends the search; a hit behind a later prefix is kept, and
// from then on only earlier prefixes can win over it.
bool search_pass(Derivation& d, const PassText& taken, const Walk* walks, size_t walk_count, PrefixList prefixes) {
    const size_t prefix_count = prefixes.size();
    Accepted best{-1, 0, 0, {}, 0};
    for (size_t i = 0; i < walk_count; ++i) {
        const size_t first = walks[i].first;
        uint32_t walked = 0;
        uint32_t behind[prefix_limit] = {};
        for (size_t p = 1; p < prefix_count; ++p) behind[p] = prefixes[p].hash;
        const size_t untested = std::min(first + walks[i].tested, taken.count);
        for (size_t j = first; j < untested; ++j) {
            walked = walked * hash_base + taken.value[j];
            for (size_t p = 1; p < prefix_count; ++p) behind[p] *= hash_base;
        }
        for (size_t j = untested; j < taken.count; ++j) {
            walked = walked * hash_base + taken.value[j];
            for (size_t p = 1; p < prefix_count; ++p) behind[p] *= hash_base;
            if (accepts(d, walked, 0, first, j, best)) {
                write_name(d, taken, prefixes, best);
                return true;
            }
            const size_t tried = best.prefix < 0 ? prefix_count : static_cast<size_t>(best.prefix);
            for (size_t p = 1; p < tried; ++p) {
                if (accepts(d, behind[p] + walked, static_cast<int>(p), first, j, best)) break;
            }
        }
    }
    if (best.prefix < 0) return false;
    write_name(d, taken, prefixes, best);
    return true;
}

}  // namespace

bool derive_context_name(DecompileContext& ctx, const char* text, uint32_t hash, char* output) {
    Derivation d;
    d.text = reinterpret_cast<const unsigned char*>(text);
    d.length = strnlen(text, text_limit);
    d.target = hash;
    d.output = output;

    d.long_suffixes.build(d.text, d.length, d.target);
    TextValues values;
    values.build(d.text, d.length);

    PassText taken;
    Walk walks[text_limit];
    for (Pass pass : {hash_table_pass, context_table_pass, underscore_pass}) {
        if (pass == hash_table_pass && !ctx.winhelp4) continue;
        if (pass == underscore_pass && !values.unusable_met) continue;
        const size_t walk_count = pass_walks(pass, ctx.winhelp4, d.text, d.length, values, taken, walks);
        if (search_pass(d, taken, walks, walk_count, context_tables::context_prefixes)) return true;
    }
    // Before a synthetic name: help ids as tools generate them, with every
    // character but letters and digits written '_' ("Item.Open" as
    // Item_Open) and the prefixes of generated ids.
    const size_t walk_count = pass_walks(generated_id_pass, false, d.text, d.length, values, taken, walks);
    return search_pass(d, taken, walks, walk_count, context_tables::generated_id_prefixes);
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
