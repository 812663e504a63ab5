#include "render/html/html_search_words.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <utility>

namespace html_site {

uint32_t next_character(std::string_view text, size_t at, size_t& length) {
    const auto b = static_cast<uint8_t>(text[at]);
    const size_t size = b < 0x80 ? 1 : b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 0;
    length = 1;
    if (size == 0 || at + size > text.size()) return size == 1 ? b : 0xFFFD;
    uint32_t c = size == 1 ? b : b & (0x7F >> size);
    for (size_t i = 1; i < size; ++i) {
        const auto more = static_cast<uint8_t>(text[at + i]);
        if ((more & 0xC0) != 0x80) return 0xFFFD;
        c = c << 6 | (more & 0x3F);
    }
    length = size;
    return c;
}

size_t utf8_bytes(char* out, uint32_t c) {
    if (c < 0x80) {
        out[0] = static_cast<char>(c);
        return 1;
    }
    if (c < 0x800) {
        out[0] = static_cast<char>(0xC0 | c >> 6);
        out[1] = static_cast<char>(0x80 | (c & 0x3F));
        return 2;
    }
    if (c < 0x10000) {
        out[0] = static_cast<char>(0xE0 | c >> 12);
        out[1] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
        out[2] = static_cast<char>(0x80 | (c & 0x3F));
        return 3;
    }
    out[0] = static_cast<char>(0xF0 | c >> 18);
    out[1] = static_cast<char>(0x80 | (c >> 12 & 0x3F));
    out[2] = static_cast<char>(0x80 | (c >> 6 & 0x3F));
    out[3] = static_cast<char>(0x80 | (c & 0x3F));
    return 4;
}

namespace {

// Lower case for the scripts help files are written in: ASCII, Latin-1 and
// Latin Extended-A, Greek, Cyrillic, full-width Latin. search.js folds the
// same way, so words and queries always meet.
uint32_t folded(uint32_t c) {
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) {
        const bool odd_upper = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        if (c == 0x130 || c == 0x131 || c == 0x138 || c == 0x149 || c == 0x178 || c == 0x17F) return c;
        return (c % 2 == 1) == odd_upper ? c + 1 : c;
    }
    if ((c >= 0x391 && c <= 0x3A9 && c != 0x3A2) || (c >= 0x410 && c <= 0x42F) || (c >= 0xFF21 && c <= 0xFF3A))
        return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    return c;
}

constexpr bool cjk(uint32_t c) {
    return (c >= 0x3040 && c <= 0x30FF) || (c >= 0x3400 && c <= 0x4DBF) || (c >= 0x4E00 && c <= 0x9FFF) ||
           (c >= 0xAC00 && c <= 0xD7AF) || (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF66 && c <= 0xFF9F);
}

// Signs and spaces of the ranges above, which part words.
constexpr bool separator(uint32_t c) {
    if (c < 0x80) return !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_');
    return c < 0xC0 || c == 0xD7 || c == 0xF7 || (c >= 0x2000 && c <= 0x2BFF) || (c >= 0x3000 && c <= 0x303F) ||
           (c >= 0xFF00 && c <= 0xFF20 && !(c >= 0xFF10 && c <= 0xFF19)) || (c >= 0xFF3B && c <= 0xFF40) ||
           (c >= 0xFF5B && c <= 0xFF65) || c == 0xFFFD || c == 0xFEFF;
}

constexpr size_t longest_word = 40;

// A byte as it is in a word (folded) when it is ASCII, 0 for one that
// parts words or starts a longer character.
constexpr auto ascii_words = [] {
    std::array<char, 256> table{};
    for (int c = 0; c < 128; ++c)
        if (!separator(static_cast<uint32_t>(c))) table[c] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    return table;
}();

constexpr uint64_t lanes = 0x0101010101010101ull, lane_tops = 0x8080808080808080ull;

// 0x80 in each of eight bytes (each below 0x80) that lies from `low` to
// `high`; no sum carries into the next byte.
constexpr uint64_t bytes_within(uint64_t x, uint8_t low, uint8_t high) {
    return (x + lanes * (0x80 - low)) & ~(x + lanes * (0x7F - high)) & lane_tops;
}

// 0x80 in each of eight bytes that is an ASCII letter, digit or '_'; the
// bytes with ASCII capitals folded into `folded`.
uint64_t word_bytes(uint64_t x, uint64_t& folded) {
    const uint64_t low = x & ~lane_tops;
    const uint64_t upper = bytes_within(low, 'A', 'Z');
    const uint64_t underscore = ~((low ^ (lanes * '_')) + lanes * 0x7F) & lane_tops;
    folded = x | upper >> 2;
    return (upper | bytes_within(low, 'a', 'z') | bytes_within(low, '0', '9') | underscore) & ~x;
}

// The run of ASCII letters, digits and '_' at bytes[at], folded into
// word[used...] up to the word's room and counted past it; where the run
// ends. The bounds are held in locals: a store through char* could change
// anything, and every bound would be read again for each byte.
size_t ascii_run(const uint8_t* bytes, size_t size, size_t at, char* word, size_t& used, size_t& characters) {
    const size_t room = longest_word - std::min(characters, longest_word);
    const uint8_t* const from = bytes + at;
    const uint8_t* const end = bytes + size;
    const uint8_t* const kept_end = from + std::min(room, static_cast<size_t>(end - from));
    const uint8_t* p = from;
    char* out = word + used;
    for (char lower; p < kept_end && (lower = ascii_words[*p]) != 0; ++p) *out++ = lower;
    used = static_cast<size_t>(out - word);
    while (p < end && ascii_words[*p] != 0) ++p;
    characters += static_cast<size_t>(p - from);
    return static_cast<size_t>(p - bytes);
}

// Most words: ASCII, eight bytes or fewer, an ASCII sign after them. The
// length of such a word starting at bytes[at], folded into word, else 0.
size_t short_word(const uint8_t* bytes, size_t size, size_t at, char* word) {
    if (std::endian::native != std::endian::little || at + 8 > size) return 0;
    uint64_t x, folded;
    std::memcpy(&x, bytes + at, 8);
    const uint64_t in_word = word_bytes(x, folded);
    const auto n = static_cast<size_t>(std::countr_zero(~in_word & lane_tops) / 8);
    if (n == 8 || (x >> (8 * n) & 0x80) != 0) return 0;
    std::memcpy(word, &folded, 8);
    return n;
}

// Calls found(word, size) for each of the search's words of UTF-8 text, in
// order: letters and digits (and '_') folded to lower case, at most 40
// characters a word; each Chinese, Japanese or Korean character is a word
// of its own (a word of those scripts is found as the topics that hold all
// its characters). search.js splits a query the same way. The word lies in
// a buffer with eight bytes to spare behind it.
template <class Word>
void for_each_word(std::string_view text, Word&& found) {
    char word[longest_word * 4 + 8];
    size_t used = 0, characters = 0;
    auto end_word = [&] {
        if (used != 0) found(word, used);
        used = 0;
        characters = 0;
    };
    const auto* bytes = reinterpret_cast<const uint8_t*>(text.data());
    for (size_t at = 0; at < text.size();) {
        if (ascii_words[bytes[at]] != 0) {
            const size_t whole = used == 0 ? short_word(bytes, text.size(), at, word) : 0;
            if (whole != 0) {
                found(word, whole);
                at += whole + 1;  // and the sign after it
                continue;
            }
            at = ascii_run(bytes, text.size(), at, word, used, characters);
            continue;
        }
        if (bytes[at] < 0x80) {
            end_word();
            ++at;
            continue;
        }
        size_t length = 1;
        const uint32_t c = next_character(text, at, length);
        if (cjk(c)) {
            end_word();
            std::memcpy(word, text.data() + at, length);
            used = length;  // one place calls found(), so it is inlined
            end_word();
        } else if (separator(c)) {
            end_word();
        } else if (characters++ < longest_word) {
            used += utf8_bytes(word + used, folded(c));
        }
        at += length;
    }
    end_word();
}

// Eight bytes of a word from p on, those past its end (`left` bytes
// remain) cleared.
uint64_t word_part(const char* p, size_t left) {
    uint64_t part;
    std::memcpy(&part, p, 8);
    const uint64_t low = left >= 8 ? ~uint64_t(0) : ~uint64_t(0) >> (64 - 8 * left);
    const uint64_t high = left >= 8 ? ~uint64_t(0) : ~(~uint64_t(0) >> (8 * left));
    return part & (std::endian::native == std::endian::little ? low : high);
}

constexpr uint64_t hash_factor = 0x9E3779B97F4A7C15ull;

// The bytes of a word past its first eight hashed onto `hash`: words are
// short, so mostly there are none.
uint64_t tail_hash(uint64_t hash, const char* word, size_t size) {
    for (size_t at = 8; at < size; at += 8) hash = (hash ^ word_part(word + at, size - at)) * hash_factor;
    return hash;
}

bool same_tail(const char* a, const char* b, size_t size) {
    for (size_t at = 8; at < size; at += 8)
        if (word_part(a + at, size - at) != word_part(b + at, size - at)) return false;
    return true;
}

// Where a word goes among `count` slots (a power of two).
size_t home_slot(uint64_t head, const char* word, size_t size, size_t count) {
    return static_cast<size_t>(tail_hash((head ^ size) * hash_factor, word, size) >> 32) & (count - 1);
}

void grow(SearchWords& words) {
    std::vector<SearchWords::Slot> larger(words.slots.size() * 2);
    const size_t mask = larger.size() - 1;
    for (const SearchWords::Slot& slot : words.slots) {
        if (slot.entry == 0) continue;
        const char* word = words.letters.data() + words.entries[slot.entry - 1].at;
        size_t at = home_slot(slot.head, word, slot.size, larger.size());
        while (larger[at].entry != 0) at = (at + 1) & mask;
        larger[at] = slot;
    }
    words.slots.swap(larger);
}

// A word met for the first time, in slot `slot`.
[[gnu::noinline]] SearchWords::Entry& new_entry(SearchWords& words, const char* word, size_t size, uint32_t topic,
                                                uint64_t head, size_t slot) {
    if (words.letters.empty()) words.letters.assign(8, '\0');
    const auto from = static_cast<uint32_t>(words.letters.size() - 8);
    words.letters.resize(from);
    words.letters.append(word, size);
    words.letters.append(8, '\0');
    words.entries.push_back({from, static_cast<uint32_t>(size), topic, 0, {}});
    words.slots[slot] = {head, static_cast<uint32_t>(size), static_cast<uint32_t>(words.entries.size())};
    if (words.entries.size() * 2 > words.slots.size()) grow(words);
    return words.entries.back();
}

// Words are looked up as the scanner holds them, without a copy; most are
// met many times, so the lookup is what counts: a slot holds what tells
// most words apart, their first eight bytes and their length.
SearchWords::Entry& entry_of(SearchWords& words, const char* word, size_t size, uint32_t topic) {
    const uint64_t head = word_part(word, size);
    const size_t mask = words.slots.size() - 1;
    size_t at = home_slot(head, word, size, words.slots.size());
    for (; words.slots[at].entry != 0; at = (at + 1) & mask) {
        const SearchWords::Slot& slot = words.slots[at];
        if (slot.head != head || slot.size != size) continue;
        SearchWords::Entry& entry = words.entries[slot.entry - 1];
        if (size <= 8 || same_tail(words.letters.data() + entry.at, word, size)) return entry;
    }
    return new_entry(words, word, size, topic, head, at);
}

size_t put_base36(char* out, size_t at, uint32_t value) {
    if (value < 10) {  // most topics follow closely, most counts are small
        out[at] = static_cast<char>('0' + value);
        return at + 1;
    }
    char digits[8];
    int count = 0;
    do {
        const uint32_t digit = value % 36;
        digits[count++] = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        value /= 36;
    } while (value != 0);
    while (count > 0) out[at++] = digits[--count];
    return at;
}

// A word's topics as the index writes them: "DELTA[*COUNT]" items apart
// by ',', in base 36, each topic number the one before plus DELTA, COUNT
// (1 when left out) the times the word is in that topic.
void append_items(std::string& out, const std::vector<uint32_t>& counts) {
    // An item is at most 16 characters: written in place, then cut to size.
    const size_t from = out.size();
    out.resize(from + counts.size() / 2 * 16);
    char* item = out.data() + from;
    size_t size = 0;
    uint32_t last = 0;
    for (size_t i = 0; i < counts.size(); i += 2) {
        if (i != 0) item[size++] = ',';
        size = put_base36(item, size, counts[i] - last);
        if (counts[i + 1] > 1) {
            item[size++] = '*';
            size = put_base36(item, size, counts[i + 1]);
        }
        last = counts[i];
    }
    out.resize(from + size);
}

// The words in the order of their bytes: by their first eight as a number,
// then by the rest.
std::vector<uint32_t> words_in_order(const SearchWords& words) {
    std::vector<std::pair<uint64_t, uint32_t>> keyed(words.entries.size());
    for (size_t i = 0; i < words.entries.size(); ++i) {
        const SearchWords::Entry& entry = words.entries[i];
        uint64_t key = 0;
        for (uint32_t b = 0; b < 8 && b < entry.size; ++b)
            key |= uint64_t(static_cast<uint8_t>(words.letters[entry.at + b])) << (56 - 8 * b);
        keyed[i] = {key, static_cast<uint32_t>(i)};
    }
    const auto text = [&](uint32_t i) {
        return std::string_view(words.letters).substr(words.entries[i].at, words.entries[i].size);
    };
    std::sort(keyed.begin(), keyed.end(), [&](const auto& a, const auto& b) {
        return a.first != b.first ? a.first < b.first : text(a.second) < text(b.second);
    });
    std::vector<uint32_t> order(keyed.size());
    for (size_t i = 0; i < keyed.size(); ++i) order[i] = keyed[i].second;
    return order;
}

}  // namespace

void search_words_add(SearchWords& words, std::string_view text, uint32_t topic, uint32_t weight) {
    for_each_word(text, [&](const char* word, size_t size) {
        SearchWords::Entry& entry = entry_of(words, word, size, topic);
        if (entry.topic != topic) {
            entry.counts.push_back(entry.topic);
            entry.counts.push_back(entry.count);
            entry.topic = topic;
            entry.count = 0;
        }
        entry.count += weight;
    });
}

// Words are letters and digits only, and items base-36 digits and signs,
// so neither needs escaping in JSON.
std::string search_words_json(SearchWords& words) {
    size_t size = 2;
    for (SearchWords::Entry& entry : words.entries) {
        entry.counts.push_back(entry.topic);
        entry.counts.push_back(entry.count);
        size += entry.size + 2 * entry.counts.size() + 6;
    }
    std::string out = "{";
    out.reserve(size);
    for (const uint32_t word : words_in_order(words)) {
        const SearchWords::Entry& entry = words.entries[word];
        if (out.size() > 1) out += ',';
        out += '"';
        out.append(words.letters, entry.at, entry.size);
        out += "\":\"";
        append_items(out, entry.counts);
        out += '"';
    }
    out += '}';
    return out;
}

}  // namespace html_site
