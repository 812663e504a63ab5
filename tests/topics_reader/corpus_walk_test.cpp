// Real help files, when present beside the project: the phrase table loads
// with the expected count and the walk meets every topic header.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "topics/phrases.h"
#include "topics_fixture.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> corpus_files() {
    std::vector<std::string> files;
    std::error_code error;
    if (!fs::is_directory(HLP_CORPUS_DIR, error)) return files;
    for (const auto& entry : fs::directory_iterator(HLP_CORPUS_DIR, error)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && (ext == ".hlp" || ext == ".mvb")) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    if (files.empty()) files.push_back("");  // one case that skips
    return files;
}

// One column of EXPECTED.tsv for the named file, or -1.
long expected(const std::string& file, const std::string& column) {
    std::ifstream in(fs::path(HLP_CORPUS_DIR) / "EXPECTED.tsv");
    std::string line;
    std::vector<std::string> header;
    auto split = [](const std::string& text) {
        std::vector<std::string> cells;
        std::stringstream cells_in(text);
        for (std::string cell; std::getline(cells_in, cell, '\t');) cells.push_back(cell);
        return cells;
    };
    if (!std::getline(in, line)) return -1;
    header = split(line);
    auto at = std::find(header.begin(), header.end(), column);
    while (std::getline(in, line)) {
        auto cells = split(line);
        if (!cells.empty() && cells[0] == file && at != header.end()) {
            size_t i = static_cast<size_t>(at - header.begin());
            return i < cells.size() ? std::stol(cells[i]) : -1;
        }
    }
    return -1;
}

class CorpusWalk : public testing::TestWithParam<std::string> {};

TEST_P(CorpusWalk, PhrasesAndTopicHeadersMatchTheirCounts) {
    const std::string& path = GetParam();
    if (path.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    const std::string name = fs::path(path).filename().string();
    const long topic_headers = expected(name, "topic_headers");
    const long phrases = expected(name, "phrases");
    if (topic_headers < 0) GTEST_SKIP() << name << " has no expected counts";

    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    long length = 0;
    uint8_t header[12];
    ASSERT_TRUE(find_internal_file(file, &length, "|SYSTEM"));
    ASSERT_GE(length, 12);
    my_fread(12, file, header);
    set_topic_format(ctx, get_le16(header + 2), get_le16(header + 10));

    long headers = 0;
    try {
        load_phrase_table(ctx, file);
        for (const WalkedRecord& r : walk_all(ctx, file)) headers += r.link.record_type == 2 && !r.head.empty();
    } catch (const FatalError&) {
        ADD_FAILURE() << name << ": fatal error";
    }
    std::fclose(file);
    EXPECT_EQ(long(ctx.phrase_count), phrases) << name;
    EXPECT_EQ(headers, topic_headers) << name;
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusWalk, testing::ValuesIn(corpus_files()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string n = info.param.empty() ? "absent" : fs::path(info.param).stem().string();
                             for (char& c : n)
                                 if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return n + "_" + std::to_string(info.index);
                         });

}  // namespace
