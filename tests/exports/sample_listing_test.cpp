// The committed sample help file through the exports: it decompiles without
// complaint into one entry of every kind the decompiler writes.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "wcx_fixture.h"

namespace {

TEST(SampleHelpFile, ListsEveryKindOfEntryWithoutWarnings) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    WCX_HANDLE h = open_archive(std::string(HLP_SOURCE_DIR) + "/examples/sample.hlp");
    const std::string notes = testing::internal::GetCapturedStdout();
    const std::string progress = testing::internal::GetCapturedStderr();
    ASSERT_NE(h, nullptr) << progress;
    std::set<std::string> names;
    for (const Entry& e : list_entries(h)) {
        EXPECT_GT(e.size, 0u) << e.name;
        names.insert(e.name);
    }
    CloseArchive(h);

    // Project, topics, phrases, icon, baggage; a bitmap, a metafile, a
    // picture with hotspots, one of two resolutions, and the picture
    // stored in topic text.
    EXPECT_EQ(names, (std::set<std::string>{"sample.hpj", "sample.rtf", "sample.ph", "sample.ico", "readme.txt",
                                            "bm0.bmp", "bm1.wmf", "bm2.shg", "bm3.mrb", "bm4.bmp"}));
    for (const char* complaint : {"Bad macro", "not exported", "Wrong hash", "Can not", "Browse"})
        EXPECT_EQ(progress.find(complaint), std::string::npos) << complaint << "\n" << progress;
    for (const char* complaint : {"had problems", "Warning", "Error"})
        EXPECT_EQ(notes.find(complaint), std::string::npos) << complaint << "\n" << notes;
}

}  // namespace
