// Every real help file of the corpus, when it is present beside the
// project, opens through the exports and yields its project and topic file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "wcx_fixture.h"

namespace {

namespace fs = std::filesystem;

class Corpus : public testing::TestWithParam<std::string> {};

std::string base_name(const std::string& path) { return fs::path(path).stem().string(); }

TEST_P(Corpus, OpensAndListsItsProjectAndTopicFile) {
    const std::string& path = GetParam();
    if (path.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    const bool damaged = hlptest::corpus_copy_damaged(path);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    int result = 0;
    WCX_HANDLE h = open_archive(path, &result);
    const bool failed_plain = h == nullptr;
    const int plain_result = result;
    if (damaged && failed_plain) {
        SetHlpunpackOptions(HLPUNPACK_SALVAGE);
        h = open_archive(path, &result);
        SetHlpunpackOptions(0);
    }
    std::string progress = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    if (damaged) {
        EXPECT_TRUE(failed_plain);
        EXPECT_EQ(plain_result, E_EOPEN);
    }
    ASSERT_NE(h, nullptr) << "open failed with " << result << "\n" << progress;
    std::vector<Entry> entries = list_entries(h);
    CloseArchive(h);
    std::string base = base_name(path);
    std::string ext = fs::path(path).extension().string();
    bool mediaview = ext.size() == 4 && (ext[1] | 0x20) == 'm';
    auto listed = [&](const std::string& name) {
        return std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.name == name; });
    };
    EXPECT_TRUE(listed(base + (mediaview ? ".mvp" : ".hpj")));
    EXPECT_TRUE(listed(base + ".rtf"));
    EXPECT_EQ(listed(base + "-damage.txt"), damaged);
}

INSTANTIATE_TEST_SUITE_P(RealHelpFiles, Corpus, testing::ValuesIn(hlptest::corpus_cases(HLP_CORPUS_DIR)),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return hlptest::corpus_case_name(info.param, info.index);
                         });

}  // namespace

