// Real help files, when present beside the project: the phrase table loads
// with the expected count and the walk meets every topic header.
#include <filesystem>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "topics/phrases.h"
#include "topics_fixture.h"

namespace {

namespace fs = std::filesystem;

long expected(const std::string& file, const std::string& column) {
    return hlptest::expected_count(HLP_CORPUS_DIR, file, column);
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

INSTANTIATE_TEST_SUITE_P(Files, CorpusWalk, testing::ValuesIn(hlptest::corpus_cases(HLP_CORPUS_DIR)),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return hlptest::corpus_case_name(info.param, info.index);
                         });

}  // namespace
