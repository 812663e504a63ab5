// What a reader gets from a damaged copy's topic file, against the intact
// file's: each topic matched to its intact counterpart (by context id, then
// title, then place) and compared word by word, in order.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

// Words as numbers, the same number for the same word in every topic file.
class WordDictionary {
public:
    int number(const std::string& word) { return numbers_.emplace(word, int(numbers_.size())).first->second; }

private:
    std::unordered_map<std::string, int> numbers_;
};

struct RtfTopic {
    std::vector<std::string> ids;  // its context ids (# footnotes)
    std::string title;             // its $ footnote
    std::vector<int> words;        // its words, as numbers of a shared dictionary
};


// The topics of a topic file, split at \page; control words, the header
// tables and group braces left out, \'hh read as the byte.
std::vector<RtfTopic> rtf_topics(const std::string& rtf, WordDictionary& words);

struct TextComparison {
    long intact = 0;  // words of the intact topics
    long kept = 0;    // of them, the words that come out in their place and order
    long wrong = 0;   // words that come out where the intact file has none: garbled or extra
};

// Compares the recovered topics with the intact ones. A recovered topic
// takes the intact topic that shares a context id with it, else the first
// one not yet taken with its title, else the one after the topic the
// previous recovered topic took (a topic that lost its header); others are
// wrong or extra all through. Kept words are the longest sequence common to
// the two topics' words.
TextComparison compare_topics(const std::vector<RtfTopic>& intact, const std::vector<RtfTopic>& recovered);

