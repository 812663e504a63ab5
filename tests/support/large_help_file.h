// large_help_file: whole WinHelp 4.0 files of any size, for benchmarks and
// for tests that need many topics. Each scale unit adds the same mix of
// content (about 1.2 MB of help file), so files of 1x, 4x and 16x differ in
// size only, not in kind: topics with formatted paragraphs, tables, jumps
// and popups; phrase-compressed text in LZ77 blocks; context ids, several
// keyword indexes and a window map; browse sequences; pictures stored as
// |bm files and inside topics.
//
// The same options always give the same bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "help_builder.h"
#include "phrase_builder.h"

namespace hlptest {

struct LargeHelpFileOptions {
    unsigned scale = 1;
    PhraseScheme phrases = PhraseScheme::packed;  // |PhrIndex, or |Phrases
    uint64_t seed = 1;
};

// What went into a file: the counts a decompile of it should report.
struct LargeHelpFileContents {
    size_t topics = 0;
    size_t text_records = 0;
    size_t table_rows = 0;
    size_t context_ids = 0;
    size_t derivable_ids = 0;  // ids whose name a decompiler can find from the title
    size_t keywords = 0;       // over all indexes
    size_t keyword_references = 0;
    size_t browse_sequences = 0;
    size_t bm_pictures = 0;        // |bmN files
    size_t embedded_pictures = 0;  // pictures stored in topic text
    size_t phrases = 0;
    size_t expanded_text = 0;  // bytes of topic text after phrase expansion
};

struct LargeHelpFile {
    Bytes data;
    LargeHelpFileContents contents;
};

LargeHelpFile build_large_help_file(const LargeHelpFileOptions& options = {});

// The topic file on its own: records laid out as one stream and cut into
// LZ77 blocks of 4096 bytes (16384 expanded). Unlike build_topic_file, which
// settles positions by repeated compression, fields that hold positions or
// topic offsets are kept out of back references, so one compression fixes
// the block boundaries and the values are patched in afterwards; the
// compressor's match search is bounded too. Linear in the records.
struct LargeTopicRecord {
    TopicRecord record;
    // Topic header fields that hold the topic offset of another topic header
    // (an index into the records), -1 leaving the field as it is.
    int64_t browse_previous = -1;  // head offset 4
    int64_t browse_next = -1;      // head offset 8
};

struct LargeTopicFile {
    Bytes data;
    // Of each record, then of the end marker that closes the chain, then of
    // the stream's end.
    std::vector<uint32_t> positions;
    std::vector<int32_t> topic_offsets;  // of each record, as a reader counts them
};

LargeTopicFile build_large_topic_file(const std::vector<LargeTopicRecord>& records);

// Topic offsets as the decompiler's passes count them: the offset runs on by
// each text record's character count and restarts at block << 15 whenever
// the next record lies in another block.
std::vector<int32_t> count_topic_offsets(const std::vector<TopicRecord>& records,
                                         const std::vector<uint32_t>& positions);

// Builds the file and writes it to path; returns what went into it.
LargeHelpFileContents write_large_help_file(const std::string& path, const LargeHelpFileOptions& options);

}  // namespace hlptest
