// The words of the HTML edition's search index: topic text split into
// words as search.js splits a query, each word with the topics it is in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace html_site {

// One character of UTF-8 at text[at], its length in `length`; a broken
// sequence is U+FFFD, one byte long.
uint32_t next_character(std::string_view text, size_t at, size_t& length);
// c as UTF-8 at out (room for four bytes); the bytes written.
size_t utf8_bytes(char* out, uint32_t c);

// Every word of the topics with its topics, as the index lists them.
struct SearchWords {
    // A word's topics in order with the times it is in each; the topic
    // being read is added when the word is met in a later one, or at the
    // end.
    struct Entry {
        uint32_t at, size;  // of the word in `letters`
        uint32_t topic;     // being counted
        uint32_t count;
        std::vector<uint32_t> counts;  // topic, count of each topic before `topic`
    };
    std::vector<Entry> entries;
    // The words one after the other, with room behind the last to read
    // eight bytes at a time.
    std::string letters;
    // Open slots (a power of two of them, at most half full): the word's
    // first eight bytes (zeros past its end), its length and its entry's
    // place plus one, 0 when empty.
    struct Slot {
        uint64_t head;
        uint32_t size;
        uint32_t entry;
    };
    std::vector<Slot> slots = std::vector<Slot>(1024);
};

// Counts the words of UTF-8 text (a topic's title or text) for `topic`,
// each `weight` times; topics come in order.
void search_words_add(SearchWords& words, std::string_view text, uint32_t topic, uint32_t weight);
// The words in order as a JSON object, word -> items.
std::string search_words_json(SearchWords& words);

}  // namespace html_site
