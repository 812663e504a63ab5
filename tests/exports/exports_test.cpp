// Opening, listing, extracting and closing help files through the exports,
// in the order hosts call them, with the output cache between opens.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <cstring>
#include <string>
#include <vector>

#include "wcx_fixture.h"

namespace {

using hlptest::Bytes;

// Opens and closes the file; true when the open ran the decompiler.
bool open_decompiles(const std::string& path, WCX_HANDLE* kept = nullptr) {
    testing::internal::CaptureStderr();
    WCX_HANDLE handle = open_archive(path);
    std::string progress = testing::internal::GetCapturedStderr();
    EXPECT_NE(handle, nullptr);
    if (kept) *kept = handle;
    else CloseArchive(handle);
    return progress.find("Decompiling") != std::string::npos;
}

void set_mtime(const std::string& path, time_t when) {
    struct utimbuf times{when, when};
    ASSERT_EQ(utime(path.c_str(), &times), 0);
}

TEST(Exports, ListsAndExtractsTheProjectAndTopicFiles) {
    TempDir dir;
    std::string path = dir.file("manual.hlp");
    hlptest::write_file(path, minimal_help_file());
    set_mtime(path, 1000000000);
    WCX_HANDLE h = open_archive(path);
    ASSERT_NE(h, nullptr);

    tHeaderDataExW header;
    std::memset(&header, 0xAB, sizeof header);
    ASSERT_EQ(ReadHeaderExW(h, &header), 0);
    EXPECT_EQ(to_utf8(header.ArcName), path);
    EXPECT_EQ(to_utf8(header.FileName), "manual.rtf");  // newest first
    EXPECT_EQ(header.UnpSize, header.PackSize);
    EXPECT_EQ(header.PackSizeHigh, 0u);
    EXPECT_EQ(header.FileTime, 1000000000);
    EXPECT_EQ(header.FileAttr, S_IFREG | 0644);
    EXPECT_EQ(header.Flags, 0);
    // Past FileAttr the hosts' layouts differ: nothing there is written.
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(&header);
    for (size_t i = WCX_HEADER_EX_COMMON_SIZE; i < sizeof header; ++i) ASSERT_EQ(raw[i], 0xAB) << i;
    // Reading again does not move on.
    ASSERT_EQ(ReadHeaderExW(h, &header), 0);
    EXPECT_EQ(to_utf8(header.FileName), "manual.rtf");

    TempDir out;
    std::vector<int> results = extract_all(h, out.path.string());
    EXPECT_EQ(results, (std::vector<int>{0, 0}));
    std::string rtf = read_file(out.file("manual.rtf"));
    EXPECT_EQ(rtf.rfind("{\\rtf1", 0), 0u) << rtf;
    EXPECT_EQ(rtf.back(), '}');
    std::string project = read_file(out.file("manual.hpj"));
    EXPECT_EQ(project.find("[OPTIONS]\r\nTITLE=Minimal\r\n"), 0u) << project;
    EXPECT_NE(project.find("[FILES]\r\nmanual.rtf\r\n\r\n"), std::string::npos) << project;
    EXPECT_EQ(ReadHeaderExW(h, &header), E_END_ARCHIVE);
    EXPECT_EQ(ProcessFileW(h, PK_SKIP, nullptr, nullptr), E_END_ARCHIVE);
    EXPECT_EQ(CloseArchive(h), 0);
}

TEST(Exports, EveryProcessCallConsumesOneEntry) {
    TempDir dir;
    std::string path = dir.file("ops.hlp");
    hlptest::write_file(path, minimal_help_file());
    WCX_HANDLE h = open_archive(path);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(ProcessFileW(h, 7, nullptr, nullptr), E_NOT_SUPPORTED);
    tHeaderDataExW header;
    ASSERT_EQ(ReadHeaderExW(h, &header), 0);
    EXPECT_EQ(to_utf8(header.FileName), "ops.hpj");
    // A target that cannot be created is 16 and still consumes the entry.
    std::u16string bad = to_u16(dir.file("no/such/folder/ops.hpj"));
    EXPECT_EQ(ProcessFileW(h, PK_EXTRACT, nullptr, bad.data()), E_ECREATE);
    EXPECT_EQ(ReadHeaderExW(h, &header), E_END_ARCHIVE);
    CloseArchive(h);
}

TEST(Exports, ExtractionWithTheWholePathInDestName) {
    TempDir dir;
    std::string path = dir.file("whole.hlp");
    hlptest::write_file(path, minimal_help_file());
    WCX_HANDLE h = open_archive(path);
    ASSERT_NE(h, nullptr);
    std::u16string target = to_u16(dir.file("target.rtf"));
    EXPECT_EQ(ProcessFileW(h, PK_EXTRACT, nullptr, target.data()), 0);
    EXPECT_EQ(read_file(dir.file("target.rtf")).back(), '}');
    // Joined paths that do not fit the host's buffer cannot be created.
    std::u16string long_name(1100, u'a');
    EXPECT_EQ(ProcessFileW(h, PK_EXTRACT, nullptr, long_name.data()), E_ECREATE);
    CloseArchive(h);
}

TEST(Exports, MediaViewFilesGetAMediaViewProject) {
    TempDir dir;
    for (const char* name : {"movie.MVB", "movie.mvb"}) {
        hlptest::write_file(dir.file(name), minimal_help_file());
        WCX_HANDLE h = open_archive(dir.file(name));
        ASSERT_NE(h, nullptr);
        std::vector<Entry> entries = list_entries(h);
        ASSERT_EQ(entries.size(), 2u);
        EXPECT_EQ(entries[1].name, "movie.mvp");
        CloseArchive(h);
    }
}

TEST(Exports, FilesThatAreNotHelpFilesFailWith15) {
    TempDir dir;
    struct Case {
        const char* name;
        Bytes bytes;
    };
    Bytes wrong_magic(16, 0);
    Bytes damaged = minimal_help_file();
    damaged.resize(40);
    Bytes no_system = hlptest::build_help_file({{"|TOPIC", Bytes{}}});
    std::vector<Case> cases = {{"empty.hlp", {}},
                               {"short.hlp", Bytes{0x3F, 0x5F, 0x03, 0x00, 1, 2, 3, 4, 5, 6}},
                               {"magic.hlp", wrong_magic},
                               {"damaged.hlp", damaged}};
    for (const Case& c : cases) {
        hlptest::write_file(dir.file(c.name), c.bytes);
        int result = 0;
        testing::internal::CaptureStderr();
        EXPECT_EQ(open_archive(dir.file(c.name), &result), nullptr) << c.name;
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(result, E_EOPEN) << c.name;
    }
    int result = 0;
    EXPECT_EQ(open_archive(dir.file("missing.hlp"), &result), nullptr);
    EXPECT_EQ(result, E_EOPEN);
    EXPECT_EQ(open_archive(dir.path.string(), &result), nullptr);  // a folder
    EXPECT_EQ(result, E_EOPEN);
    EXPECT_EQ(open_archive(std::string(1100, 'x'), &result), nullptr);
    EXPECT_EQ(result, E_EOPEN);
}

TEST(OutputCache, ReopeningAnUnchangedFileDoesNotDecompileAgain) {
    TempDir dir;
    std::string path = dir.file("cached.hlp");
    hlptest::write_file(path, minimal_help_file());
    set_mtime(path, 1100000000);
    WCX_HANDLE first = nullptr;
    EXPECT_TRUE(open_decompiles(path, &first));
    list_entries(first);
    CloseArchive(first);
    WCX_HANDLE second = nullptr;
    EXPECT_FALSE(open_decompiles(path, &second));
    EXPECT_EQ(second, first);
    EXPECT_EQ(list_entries(second).size(), 2u);  // the listing starts over
    CloseArchive(second);

    set_mtime(path, 1100000100);  // touched
    EXPECT_TRUE(open_decompiles(path));
    std::string other_case = dir.file("CACHED.hlp");
    hlptest::write_file(other_case, minimal_help_file());
    set_mtime(other_case, 1100000100);
    EXPECT_TRUE(open_decompiles(other_case));
}

TEST(OutputCache, TwoSlotsFilledAlternately) {
    TempDir dir;
    std::vector<std::string> paths;
    for (const char* name : {"a.hlp", "b.hlp", "c.hlp"}) {
        paths.push_back(dir.file(name));
        hlptest::write_file(paths.back(), minimal_help_file());
        EXPECT_TRUE(open_decompiles(paths.back()));
    }
    // A was evicted when C was parked; B and C stay.
    EXPECT_FALSE(open_decompiles(paths[1]));
    EXPECT_FALSE(open_decompiles(paths[2]));
    // Taking B back and closing it returns it to its slot: C survives.
    EXPECT_FALSE(open_decompiles(paths[1]));
    EXPECT_FALSE(open_decompiles(paths[2]));
    EXPECT_TRUE(open_decompiles(paths[0]));
}

TEST(OutputCache, OpeningTwiceWithoutClosingDecompilesTwice) {
    TempDir dir;
    std::string path = dir.file("twice.hlp");
    hlptest::write_file(path, minimal_help_file());
    WCX_HANDLE one = nullptr, two = nullptr;
    open_decompiles(path, &one);
    EXPECT_TRUE(open_decompiles(path, &two));
    EXPECT_NE(one, two);
    CloseArchive(one);
    CloseArchive(two);
    EXPECT_FALSE(open_decompiles(path));
}

}  // namespace
