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

// Every run of k text characters whose hash values are all digits 1..42,
// keyed by those values read as a base-43 number: a suffix is looked up by
// its own value instead of by scanning the text.
struct RunIndex {
    struct Run {
        uint32_t code;
        uint32_t start;
        bool operator<(const Run& other) const {
            return code != other.code ? code < other.code : start < other.start;
        }
    };
    Run runs[suffix_limit + 1][text_limit];
    size_t count[suffix_limit + 1];

    void build(const unsigned char* text, size_t length) {
        for (int k = 1; k <= suffix_limit; ++k) {
            count[k] = 0;
            for (size_t start = 0; start + k <= length; ++start) {
                uint32_t code = 0;
                bool digits = true;
                for (int j = 0; j < k && digits; ++j) {
                    int value = hash_values[text[start + j]];
                    digits = value >= 1 && value < hash_base;
                    code = code * hash_base + static_cast<uint32_t>(value);
                }
                if (digits) runs[k][count[k]++] = Run{code, static_cast<uint32_t>(start)};
            }
            std::sort(runs[k], runs[k] + count[k]);
        }
    }

    // Start of the first run of k characters with these values, or -1.
    long find(int k, uint32_t code) const {
        const Run* end = runs[k] + count[k];
        const Run* at = std::lower_bound(runs[k], end, Run{code, 0});
        return at != end && at->code == code ? static_cast<long>(at->start) : -1;
    }
};

struct Derivation {
    const unsigned char* text;
    size_t length;
    uint32_t target;
    char* output;
    RunIndex runs;
};

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

// Tries suffixes after a candidate of `length` characters with hash h.
bool try_suffixes(Derivation& d, size_t length, uint32_t h) {
    // Nearly every candidate admits no suffix length at all: one test of all
    // six, without branches, before the loop that finds the first.
    const uint32_t t = d.target;
    const bool any = ((t - h) < powers_of_43[0]) | ((t - h * powers_of_43[1]) < powers_of_43[1]) |
                     ((t - h * powers_of_43[2]) < powers_of_43[2]) | ((t - h * powers_of_43[3]) < powers_of_43[3]) |
                     ((t - h * powers_of_43[4]) < powers_of_43[4]) | ((t - h * powers_of_43[5]) < powers_of_43[5]);
    if (!any) return false;
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
        long run = k == 0 ? -1 : d.runs.find(k, code);
        if (run < 0 && k >= 3) continue;  // long made-up tails would read as noise
        if (run >= 0) std::memcpy(d.output + length, d.text + run, static_cast<size_t>(k));
        else std::memcpy(d.output + length, digits, static_cast<size_t>(k));
        d.output[length + k] = '\0';
        return true;
    }
    return false;
}

// Walks the text from a word start behind the prefix, trying suffixes after
// every character taken.
bool try_from(Derivation& d, Pass pass, const context_tables::ContextPrefix& prefix, size_t start) {
    size_t length = prefix.text.size();
    std::memcpy(d.output, prefix.text.data(), length);
    uint32_t h = prefix.hash;
    for (size_t i = start; i < d.length; ++i) {
        unsigned char c = d.text[i];
        int value = pass_value(pass, c);
        if (value == 0) continue;
        d.output[length++] = usable(pass, c) ? static_cast<char>(c) : '_';
        h = h * hash_base + static_cast<uint32_t>(value);
        if (try_suffixes(d, length, h)) return true;
    }
    return false;
}

bool is_word_start(const Derivation& d, Pass pass, size_t i) {
    if (i == 0) return true;
    if (pass == hash_table_pass) return false;
    return usable(pass, d.text[i]) && !usable(pass, d.text[i - 1]);
}

}  // namespace

bool derive_context_name(DecompileContext& ctx, const char* text, uint32_t hash, char* output) {
    Derivation d;
    d.text = reinterpret_cast<const unsigned char*>(text);
    d.length = strnlen(text, text_limit);
    d.target = hash;
    d.output = output;
    d.runs.build(d.text, d.length);

    bool unusable_met = false;
    for (size_t i = 0; i < d.length; ++i) unusable_met |= !usable(context_table_pass, d.text[i]);

    for (Pass pass : {hash_table_pass, context_table_pass, underscore_pass}) {
        if (pass == hash_table_pass && !ctx.winhelp4) continue;
        if (pass == underscore_pass && !unusable_met) continue;
        for (const auto& prefix : context_tables::context_prefixes) {
            for (size_t start = 0; start < d.length; ++start) {
                if (is_word_start(d, pass, start) && try_from(d, pass, prefix, start)) return true;
            }
        }
    }
    return false;
}

void derive_context_names(DecompileContext& ctx, const char* text, int32_t topic_offset) {
    int32_t first = first_context_of_topic(ctx, topic_offset);
    if (first < 0) return;
    for (int32_t i = first; i < ctx.context_count && ctx.contexts[i].topic_offset == topic_offset; ++i) {
        uint32_t hash = ctx.contexts[i].hash;
        if (known_context_name(ctx, hash) != nullptr) continue;
        if (derive_context_name(ctx, text, hash, ctx.scratch)) add_context_name(ctx, ctx.scratch, true);
    }
}
