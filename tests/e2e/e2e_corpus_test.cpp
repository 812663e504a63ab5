// Every real help file of the corpus, when present beside the project,
// through the exports: the topic file reads in unrtf with every title and
// its text, the pictures decode in ImageMagick and libwmf, and every
// keyword reference into the topics is written once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <utility>

#include "context_builder.h"
#include "corpus_files.h"
#include "decompiled.h"
#include "external_tool.h"
#include "keyword_references.h"
#include "picture_checks.h"
#include "rtf_scan.h"

namespace {

namespace fs = std::filesystem;
using namespace e2e;

class CorpusE2e : public testing::TestWithParam<std::string> {
protected:
    std::string file_name() const { return fs::path(GetParam()).filename().string(); }
    long expected(const std::string& column) const {
        return hlptest::expected_count(HLP_CORPUS_DIR, file_name(), column);
    }
};

void expect_opened(const Decompiled& d) {
    ASSERT_TRUE(d.opened) << "open failed with " << d.open_result << "\n" << d.err.substr(d.err.size() > 500 ? d.err.size() - 500 : 0);
    ASSERT_TRUE(d.listed(d.project_name)) << d.project_name;
    ASSERT_TRUE(d.listed(d.topic_name)) << d.topic_name;
    EXPECT_TRUE(std::all_of(d.extract_results.begin(), d.extract_results.end(), [](int r) { return r == 0; }));
}

// Finds each piece in order from `cursor` on; the text keeps document order.
bool found_in_order(const std::string& text, const std::vector<std::string>& pieces, size_t& cursor) {
    for (const std::string& piece : pieces) {
        const size_t at = text.find(piece, cursor);
        if (at == std::string::npos) return false;
        cursor = at + piece.size();
    }
    return true;
}

TEST_P(CorpusE2e, TopicFileReadsInUnrtfWithEveryTitle) {
    if (GetParam().empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    if (hlptest::corpus_copy_damaged(GetParam())) GTEST_SKIP() << "a damaged copy: tests/corpus opens it";
    REQUIRE_TOOL("unrtf", "unrtf");
    Decompiled d(GetParam());
    ASSERT_NO_FATAL_FAILURE(expect_opened(d));
    const std::string rtf = d.contents(d.topic_name);
    const RtfScan scan = scan_rtf(rtf);
    EXPECT_TRUE(scan.balanced);
    if (expected("topic_headers") >= 0) {
        EXPECT_EQ(scan.pages + 1, expected("topic_headers"));
    }
    std::vector<std::string> titles;
    for (const RtfFootnote& note : scan.footnotes)
        if (note.mark == '$') titles.push_back(note.text);
    if (expected("nonempty_titles") >= 0) {
        EXPECT_EQ(long(titles.size()), expected("nonempty_titles"));
    }

    const ToolRun unrtf = run_tool({"unrtf", "--text", d.path(d.topic_name)}, d.folder.path.string());
    ASSERT_EQ(unrtf.status, 0) << unrtf.err.substr(0, 1000);
    const std::string shown = squeeze_spaces(unrtf.out);
    size_t cursor = 0;
    for (const std::string& title : titles)
        EXPECT_TRUE(found_in_order(shown, ascii_pieces(title), cursor)) << "title not shown: " << title;
    // A sample of the paragraph text, spread over the file.
    std::vector<std::string> runs;
    for (const std::string& run : scan.text_runs)
        if (squeeze_spaces(run).size() >= 20) runs.push_back(squeeze_spaces(run));
    const size_t step = std::max<size_t>(1, runs.size() / 40);
    cursor = 0;
    for (size_t i = 0; i < runs.size(); i += step)
        EXPECT_TRUE(found_in_order(shown, {runs[i]}, cursor)) << "text not shown: " << runs[i];
}

// Every topic the window map names gets its window, wherever its records
// fall in the topic blocks; and no text is painted on the black background
// the old compilers stored for "none".
TEST_P(CorpusE2e, EveryMappedWindowAndNoBlackCharacterBackground) {
    if (GetParam().empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    if (hlptest::corpus_copy_damaged(GetParam())) GTEST_SKIP() << "a damaged copy: tests/corpus opens it";
    Decompiled d(GetParam());
    ASSERT_NO_FATAL_FAILURE(expect_opened(d));
    const std::string rtf = d.contents(d.topic_name);
    size_t windows = 0;
    const std::string window_footnote = "{\\up >}{\\footnote";
    for (size_t at = rtf.find(window_footnote); at != std::string::npos; at = rtf.find(window_footnote, at + 1))
        ++windows;
    EXPECT_EQ(windows, window_map_size(GetParam()));

    const size_t table = rtf.find("{\\colortbl;");
    if (table == std::string::npos) return;
    const std::string colours = rtf.substr(table + 11, rtf.find('}', table) - table - 11);
    int index = 1;
    for (size_t at = 0; at < colours.size(); ++index) {
        const size_t end = colours.find(';', at);
        if (colours.substr(at, end - at) == "\\red0\\green0\\blue0") {
            const std::string word = "\\cb" + std::to_string(index);
            for (size_t w = rtf.find(word); w != std::string::npos; w = rtf.find(word, w + 1))
                EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(rtf[w + word.size()]))) << word;
        }
        at = end + 1;
    }
}

TEST_P(CorpusE2e, PicturesDecodeInImageMagickAndLibwmf) {
    if (GetParam().empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    if (hlptest::corpus_copy_damaged(GetParam())) GTEST_SKIP() << "a damaged copy: tests/corpus opens it";
    REQUIRE_TOOL("identify", "imagemagick");
    REQUIRE_TOOL("wmf2svg", "libwmf-bin");
    Decompiled d(GetParam());
    ASSERT_NO_FATAL_FAILURE(expect_opened(d));
    expect_bitmaps_decode(d);
    for (const auto& [name, size] : expect_metafiles_convert(d))
        EXPECT_TRUE(size.width > 0 && size.height > 0) << name;
    expect_picture_files_consistent(d);
    expect_named_pictures_extracted(d, scan_rtf(d.contents(d.topic_name)));
}

// A reference is written while the topic text passes its offset, so the
// footnotes written are the references up to some offset: those of the
// last offsets are missing only when they lie past the last topic (the
// topic chain of a file may end before its indexes do).
TEST_P(CorpusE2e, KeywordReferencesIntoTheTopicsAreWrittenOnce) {
    if (GetParam().empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    if (hlptest::corpus_copy_damaged(GetParam())) GTEST_SKIP() << "a damaged copy: tests/corpus opens it";
    if (has_multikey_index(GetParam())) GTEST_SKIP() << "multi-key indexes are checked in tests/keywords";
    std::vector<IndexReference> references = keyword_references(GetParam());
    if (expected("K_references") >= 0) {
        EXPECT_EQ(long(references.size()), expected("K_references") + expected("other_index_references"));
    }
    std::erase_if(references, [](const IndexReference& r) { return r.topic_offset < 0; });
    std::stable_sort(references.begin(), references.end(),
                     [](const auto& a, const auto& b) { return a.topic_offset < b.topic_offset; });
    bool index_letter[128] = {};
    for (const IndexReference& r : references) index_letter[static_cast<unsigned char>(r.letter)] = true;

    Decompiled d(GetParam());
    ASSERT_NO_FATAL_FAILURE(expect_opened(d));
    const RtfScan scan = scan_rtf(d.contents(d.topic_name));
    std::map<std::pair<char, std::string>, long> written;
    size_t written_count = 0;
    for (const RtfFootnote& note : scan.footnotes) {
        if (!index_letter[static_cast<unsigned char>(note.mark) & 0x7F]) continue;
        for (size_t at = 0; at <= note.text.size();) {
            const size_t end = std::min(note.text.find(';', at), note.text.size());
            ++written[{note.mark, note.text.substr(at, end - at)}];
            ++written_count;
            at = end + 1;
        }
    }
    ASSERT_LE(written_count, references.size()) << "more keywords written than referenced";
    // The topics whose context names the file writes were passed, and with
    // them every reference up to the largest of their offsets.
    const std::map<uint32_t, int32_t> contexts = context_offsets(GetParam());
    int32_t passed = -1;
    for (const RtfFootnote& note : scan.footnotes) {
        const auto context = contexts.find(hlptest::context_string_hash(note.text));
        if (note.mark == '#' && context != contexts.end()) passed = std::max(passed, context->second);
    }
    const auto up_to_passed = std::count_if(references.begin(), references.end(),
                                            [&](const IndexReference& r) { return r.topic_offset <= passed; });
    EXPECT_GE(long(written_count), long(up_to_passed)) << "references lost before topic offset " << passed;
    if (written_count > 0 && written_count < references.size()) {
        EXPECT_LT(references[written_count - 1].topic_offset, references[written_count].topic_offset)
            << "a reference was lost before topic offset " << references[written_count].topic_offset;
    }
    std::map<std::pair<char, std::string>, long> expected_written;
    for (size_t i = 0; i < written_count; ++i)
        ++expected_written[{references[i].letter, escape_like_topic_file(references[i].keyword)}];
    for (const auto& [key, count] : expected_written)
        EXPECT_EQ(written[key], count) << key.first << " footnote entry " << key.second;
    for (const auto& [key, count] : written)
        EXPECT_TRUE(expected_written.count(key)) << key.first << " footnote entry " << key.second << " not referenced";
}

// With salvage on, a file in which the salvaging walk finds no damage comes
// out byte for byte as without it, messages and exit included. A file the
// walk finds damaged (the corpus holds a few) keeps every output of the
// plain run, its topic file only growing by the topics recovered after the
// damage, and lists the damage report.
TEST_P(CorpusE2e, SalvageLeavesIntactFilesUnchanged) {
    if (GetParam().empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    if (hlptest::corpus_copy_damaged(GetParam())) GTEST_SKIP() << "a damaged copy: tests/corpus opens it";
    Decompiled plain(GetParam());
    SetHlpunpackOptions(HLPUNPACK_SALVAGE);
    Decompiled salvaged(GetParam());
    SetHlpunpackOptions(0);
    ASSERT_EQ(plain.opened, salvaged.opened);
    if (!plain.opened) return;
    const std::string report = fs::path(plain.project_name).stem().string() + "-damage.txt";
    const bool damaged = salvaged.listed(report);
    if (!damaged) {
        EXPECT_EQ(plain.out, salvaged.out);
        EXPECT_EQ(plain.err, salvaged.err);
    }
    ASSERT_EQ(plain.entries.size() + damaged, salvaged.entries.size());
    for (const Entry& entry : plain.entries) {
        ASSERT_TRUE(salvaged.listed(entry.name)) << entry.name;
        const std::string was = plain.contents(entry.name), is = salvaged.contents(entry.name);
        if (!damaged || entry.name != plain.topic_name) {
            EXPECT_EQ(was, is) << entry.name;
        } else {
            // The plain walk stops at the damage; the closing brace follows.
            ASSERT_FALSE(was.empty());
            EXPECT_EQ(is.compare(0, was.size() - 1, was, 0, was.size() - 1), 0) << entry.name;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealHelpFiles, CorpusE2e, testing::ValuesIn(hlptest::corpus_cases(HLP_CORPUS_DIR)),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return hlptest::corpus_case_name(info.param, info.index);
                         });

}  // namespace
