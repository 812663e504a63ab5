// phrase_builder: the phrase tables of help files (|Phrases, or |PhrIndex
// with |PhrImage) and topic text compressed with their codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "help_builder.h"

namespace hlptest {

// ---------------------------------------------------------------- |Phrases

struct PhrasesOptions {
    bool compressed = true;    // minor 16 and later: expanded size, then LZ77 texts
    bool mediaview = false;    // 0x0800, the real count, and 30 reserved bytes
    uint16_t version = 0x0100;
};

// Count, version, [expanded size, [reserved]], count + 1 offsets counted from
// the start of the offset table, then the texts.
Bytes build_phrases_file(const std::vector<std::string>& phrases, const PhrasesOptions& options = {});

// Offsets into a built |Phrases file, for tests that damage one on purpose.
size_t phrases_offset_table(const PhrasesOptions& options);

// ---------------------------------------------------------------- |PhrIndex

struct PhraseIndexOptions {
    unsigned length_bits = 4;  // b: the low 4 bits of the word at offset 24
    bool compress_image = true;
    std::optional<uint32_t> recorded_image_size;  // replaces the size written at 16
    std::optional<uint32_t> count;                // replaces the count written at 4
    std::optional<uint32_t> expanded_size;        // replaces the size written at 12
};

struct PhraseIndexFiles {
    Bytes index;  // the 28-byte header and the length table
    Bytes image;  // the phrase texts, LZ77-compressed unless stored
};

// Throws std::invalid_argument for an empty phrase or a length the bit count
// cannot express.
PhraseIndexFiles build_phrase_index(const std::vector<std::string>& phrases, const PhraseIndexOptions& options = {});

// The length table's bits for one phrase length, in reading order: a set bit
// per 2^b above 1, a clear bit, then the remainder's bits 1, 2, 4, 8, 16 as
// far as b allows.
std::vector<bool> phrase_length_bits(size_t length, unsigned b);
// Packs bits into little-endian 32-bit words from the lowest bit up.
Bytes pack_length_bits(const std::vector<bool>& bits);

// ---------------------------------------------------------------- text

enum class PhraseScheme {
    phrases,  // |Phrases: bytes 1..15 start a two-byte code; odd codes add a space
    packed,   // |PhrIndex: phrase numbers, literal runs, runs of spaces and NULs
};

// Replaces the longest phrase at each step by its code. Throws
// std::invalid_argument when the text holds a byte the |Phrases scheme
// cannot carry (1..15) or a phrase number is beyond the scheme.
Bytes phrase_compress(std::string_view text, const std::vector<std::string>& phrases, PhraseScheme scheme);

// A text record whose text part is stored phrase-compressed: text_length is
// the expanded length.
TopicRecord phrase_compressed_record(uint8_t type, const Bytes& head, std::string_view text,
                                     const std::vector<std::string>& phrases, PhraseScheme scheme);

}  // namespace hlptest
