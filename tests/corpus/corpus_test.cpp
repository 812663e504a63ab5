// Every real help file of the corpus, when it is present beside the
// project, opens through the exports and yields its project and topic file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "wcx_fixture.h"

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
    return files;
}

class Corpus : public testing::TestWithParam<std::string> {};

std::string base_name(const std::string& path) { return fs::path(path).stem().string(); }

TEST_P(Corpus, OpensAndListsItsProjectAndTopicFile) {
    const std::string& path = GetParam();
    if (path.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    int result = 0;
    WCX_HANDLE h = open_archive(path, &result);
    std::string progress = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
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
}

std::vector<std::string> corpus_or_placeholder() {
    std::vector<std::string> files = corpus_files();
    if (files.empty()) files.push_back("");  // one case that skips
    return files;
}

INSTANTIATE_TEST_SUITE_P(RealHelpFiles, Corpus, testing::ValuesIn(corpus_or_placeholder()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param.empty() ? "absent" : base_name(info.param);
                             for (char& c : name) if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name + "_" + std::to_string(info.index);
                         });

}  // namespace

