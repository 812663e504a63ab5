// A help file with keyword indexes open in a decompile context, the rich
// text that write_keyword_footnotes produces for it, and that text read back.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "helpfile_fixture.h"
#include "keyword_index_builder.h"

struct KeywordRun {
    ContextHolder holder;
    OpenBytes help;
    MemoryFile* rtf;
    std::string progress;  // what the calls printed to stderr

    explicit KeywordRun(const hlptest::Bytes& help_file, bool minor_above_21 = true);
    DecompileContext& ctx() { return *holder.ctx; }
    // The footnotes written by one call for topic offset t.
    std::string write(int32_t t);
    int collections() const;  // "Collecting keywords..." lines printed so far
};

// One footnote as written: its mark ("K", "A", ...) and its text up to the
// closing brace, escapes left as written.
struct Footnote {
    std::string mark;
    std::string text;
};
// Fails the test on text that is not a run of footnotes.
std::vector<Footnote> parse_footnotes(const std::string& rtf);
// The keywords of a footnote text, split at the separators.
std::vector<std::string> split_keywords(const std::string& text);

// A reference as it should come out: the footnote mark and the keyword
// (with "L:" before the first keyword of a multi-key footnote).
struct WrittenKeyword {
    std::string mark;
    std::string keyword;
    bool operator==(const WrittenKeyword&) const = default;
};
// The keywords of a run of footnotes, in order; a multi-key footnote's
// letter prefix is kept in front of its first keyword.
std::vector<WrittenKeyword> written_keywords(const std::string& rtf);

hlptest::Bytes help_with(std::vector<hlptest::InternalFile> files);
