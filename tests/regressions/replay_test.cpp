// Every input the fuzzers found that once crashed, hung, leaked or ran out
// of memory is kept in inputs/ and replayed here the way fuzz_open runs it:
// written to a file (odd sizes named .mvb, even ones .hlp), opened, listed,
// every entry extracted, closed, opened again from the cache and closed.
// Each must open or fail with E_EOPEN, and extract only into the folder given,
// without salvage and with it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "hlpunpack/wcx.h"

namespace {

namespace fs = std::filesystem;

const fs::path inputs = fs::path(HLP_SOURCE_DIR) / "tests" / "regressions" / "inputs";

std::vector<fs::path> regression_inputs() {
    std::vector<fs::path> found;
    if (fs::is_directory(inputs)) {
        for (const fs::directory_entry& entry : fs::directory_iterator(inputs)) {
            if (entry.is_regular_file()) found.push_back(entry.path());
        }
    }
    std::sort(found.begin(), found.end());
    return found;
}

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

struct Folder {
    fs::path path;
    Folder() {
        char pattern[] = "/tmp/hlpunpack-replay-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~Folder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// Extracts every entry; returns how many there were.
size_t extract_all(WCX_HANDLE handle, const fs::path& folder) {
    std::u16string target = wide(folder.string() + "/");
    tHeaderDataExW header;
    size_t entries = 0;
    while (ReadHeaderExW(handle, &header) == 0) {
        EXPECT_EQ(ProcessFileW(handle, PK_EXTRACT, target.data(), header.FileName), 0);
        ++entries;
    }
    return entries;
}

// Entry names are plain file names: everything extracted is a file directly
// in the folder given, nothing lands beside it or in a folder of its own.
void expect_only_files_in(const fs::path& work, const fs::path& out) {
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(work)) {
        if (entry.path() == out || entry.path().parent_path() == work) {
            EXPECT_TRUE(entry.path() == out || entry.path().extension() == ".hlp" || entry.path().extension() == ".mvb")
                << entry.path();
            continue;
        }
        EXPECT_EQ(entry.path().parent_path(), out);
        EXPECT_TRUE(entry.is_regular_file()) << entry.path();
    }
}

void replay(const fs::path& input, const Folder& work) {
    std::ifstream in(input, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    fs::path help = work.path / ("input" + std::string(bytes.size() % 2 ? ".mvb" : ".hlp"));
    std::ofstream(help, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    fs::path out = work.path / "out";
    fs::create_directories(out);

    std::u16string path = wide(help.string());
    tOpenArchiveDataW data{};
    data.ArcName = path.data();
    data.OpenMode = PK_OM_EXTRACT;
    WCX_HANDLE handle = OpenArchiveW(&data);
    if (handle == nullptr) {
        EXPECT_EQ(data.OpenResult, E_EOPEN);
        return;
    }
    size_t entries = extract_all(handle, out);
    EXPECT_EQ(CloseArchive(handle), 0);
    expect_only_files_in(work.path, out);
    handle = OpenArchiveW(&data);
    ASSERT_NE(handle, nullptr);
    fs::remove_all(out);
    fs::create_directories(out);
    EXPECT_EQ(extract_all(handle, out), entries);
    EXPECT_EQ(CloseArchive(handle), 0);
}

TEST(RegressionReplay, EveryFoundInputOpensOrFailsCleanly) {
    std::vector<fs::path> all = regression_inputs();
    ASSERT_FALSE(all.empty()) << "no inputs in " << inputs;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    // As fuzz_open and fuzz_open_salvage run them.
    for (int flags : {0, HLPUNPACK_SALVAGE}) {
        SetHlpunpackOptions(flags);
        for (const fs::path& input : all) {
            SCOPED_TRACE(input.filename().string() + (flags ? " with salvage" : ""));
            Folder work;
            replay(input, work);
        }
    }
    SetHlpunpackOptions(0);
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
}

}  // namespace
