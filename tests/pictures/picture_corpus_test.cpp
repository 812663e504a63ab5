// The |bm files of every real help file of the corpus export, and every
// written picture is consistent.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "bmp_reader.h"
#include "corpus_files.h"
#include "picture_file_parser.h"
#include "picture_test_support.h"
#include "project/system_file.h"

namespace {

namespace fs = std::filesystem;
using hlptest::Bytes;

// The WinHelp files only: MediaView files keep their pictures elsewhere.
std::vector<std::string> winhelp_cases() {
    std::vector<std::string> files = hlptest::corpus_files(HLP_CORPUS_DIR);
    std::erase_if(files, [](const std::string& path) { return (fs::path(path).extension().string()[1] | 0x20) == 'm'; });
    if (files.empty()) files.push_back("");  // one case that skips
    return files;
}

void check_bitmap(const std::string& name, const Bytes& file) {
    std::string ignored;
    BmpImage bmp = read_bmp(file, ignored);
    EXPECT_EQ(bmp.type, 0x4D42) << name;
    EXPECT_EQ(bmp.file_size, file.size()) << name;
    EXPECT_GE(bmp.data_offset, 54u) << name;
    EXPECT_LE(bmp.data_offset, file.size()) << name;
    EXPECT_EQ(bmp.image_size, uint64_t(bmp.stride()) * uint32_t(bmp.height)) << name;
    // A few compilers stored a little less pixel data than the image needs;
    // never more.
    EXPECT_LE(file.size() - bmp.data_offset, bmp.image_size) << name;
}

void check_metafile(const std::string& name, const Bytes& file) {
    ASSERT_GE(file.size(), 22u) << name;
    EXPECT_EQ(hlptest::get_u32(file, 0), 0x9AC6CDD7u) << name;
    uint16_t all = 0;
    for (size_t i = 0; i < 22; i += 2) all ^= hlptest::get_u16(file, i);
    EXPECT_EQ(all, 0) << name;
}

void check_picture_file(const std::string& name, const Bytes& file) {
    try {
        ParsedPictureFile f = parse_picture_file(file);
        EXPECT_EQ(f.count > 1, name.ends_with(".mrb")) << name;
        for (const ParsedPicture& p : f.pictures) {
            EXPECT_EQ(p.packing & 2, 0) << name;
            EXPECT_EQ(p.packed_slot & 1, 1u) << name;
            if (!p.hotspots.empty()) {
                EXPECT_EQ(p.hotspots[0], 1) << name;
                EXPECT_EQ(p.hotspot_offset, p.packed_offset + p.packed_slot / 2) << name;
            }
        }
    } catch (const std::out_of_range& e) {
        ADD_FAILURE() << name << ": " << e.what();
    }
}

class PictureCorpus : public testing::TestWithParam<std::string> {};

TEST_P(PictureCorpus, EveryBmFileExportsConsistently) {
    const std::string& path = GetParam();
    if (path.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ContextHolder h;
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    bool failed = false;
    try {
        load_system_file(*h.ctx, file);
        export_bitmap_files(*h.ctx, file);
    } catch (const FatalError&) {
        failed = true;
    }
    std::string errors = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    std::fclose(file);
    ASSERT_FALSE(failed) << errors;
    EXPECT_EQ(errors.find("cut short"), std::string::npos) << errors;

    std::vector<const MemoryFile*> files = outputs(*h.ctx);
    long expected = hlptest::expected_count(HLP_CORPUS_DIR, fs::path(path).filename().string(), "bm_files");
    if (expected >= 0) {
        EXPECT_EQ(long(files.size()), expected);
    }
    for (const MemoryFile* f : files) {
        std::string name = entry_name(f);
        Bytes bytes = contents(f);
        if (name.ends_with(".bmp")) {
            check_bitmap(name, bytes);
        } else if (name.ends_with(".wmf")) {
            check_metafile(name, bytes);
        } else {
            ASSERT_TRUE(name.ends_with(".shg") || name.ends_with(".mrb")) << name;
            check_picture_file(name, bytes);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(RealHelpFiles, PictureCorpus, testing::ValuesIn(winhelp_cases()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return hlptest::corpus_case_name(info.param, info.index);
                         });

}  // namespace
