// The compiler name, the [OPTIONS] section line by line, and the order of
// the sections that follow it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/context_map.h"
#include "project/system_file.h"
#include "system_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::SystemRecordSpec;
using hlptest::system_string_record;

TEST(ProjectOptions, CompilerNames) {
    struct Case {
        uint16_t minor;
        bool mediaview;
        const char* name;
    } cases[] = {{15, false, "HC30"},     {21, false, "HC31/HCP"}, {27, true, "WMVC/MVCC"},
                 {33, true, "MVC"},       {33, false, "HCRTF"},    {18, false, ""}};
    for (const auto& c : cases) {
        auto files = c.minor < 16 ? std::vector<hlptest::InternalFile>{{"|SYSTEM", hlptest::build_old_system_file("")}}
                                  : help_files(c.minor, 4, {});
        ProjectRun run(files, c.mediaview);
        run.options();
        EXPECT_STREQ(run.ctx().compiler_name, c.name) << c.minor;
    }
}

TEST(ProjectOptions, NothingWithoutProjectOrSystem) {
    ProjectRun run(help_files(33, 4, {system_string_record(1, "T")}));
    load_system_file(run.ctx(), run.file());
    write_project_options(run.ctx(), run.file(), nullptr, "test.ico");
    EXPECT_STREQ(run.ctx().compiler_name, "");

    ProjectRun none({{"|TOPIC", Bytes(4, 0)}});
    write_project_options(none.ctx(), none.file(), none.project, "test.ico");
    EXPECT_EQ(none.text(), "");
    EXPECT_STREQ(none.ctx().compiler_name, "");
}

TEST(ProjectOptions, RecordLinesInRecordOrder) {
    Bytes icon{0, 0, 1, 0, 1, 0, 0xAA, 0x55, 0};
    ProjectRun run(help_files(
        21, 4,
        {system_string_record(1, "Sample Help"), system_string_record(2, "(c) Someone\r\n"),
         hlptest::contents_record(0xFFFFFFFF), system_string_record(8, "From the sample"),
         SystemRecordSpec{5, icon}, hlptest::lcid_record(int16_t(0x8409), 0x0409, -2),
         system_string_record(10, "sample.cnt"), hlptest::deffont_record(10, 1, "Arial"),
         system_string_record(14, ",;"), system_string_record(18, "English"), system_string_record(7, "ignored"),
         system_string_record(0, "ignored"), system_string_record(25, "ignored")}));
    EXPECT_EQ(run.options(),
              "[OPTIONS]\n"
              "TITLE=Sample Help\n"
              "COPYRIGHT=(c) Someone%date\n"
              "CONTENTS=21KSYK4\n"
              "CITATION=From the sample\n"
              "ICON=test.ico\n"
              "LCID=0xFFFF8409 0x409 0xFFFFFFFE\n"
              "CNT=sample.cnt\n"
              "DEFFONT=Arial,10,1\n"
              "INDEX_SEPARATORS=\",;\"\n"
              "LANGUAGE=English\n"
              "COMPRESS=MEDIUM\n"
              "\n");
    // The icon goes out unchanged, every byte of the record.
    EXPECT_EQ(run.output_bytes("test.ico"), std::string(icon.begin(), icon.end()));
    EXPECT_FALSE(run.outputs_named("test.ico")[0]->text);
}

TEST(ProjectOptions, EmptyAndEdgeRecords) {
    ProjectRun run(help_files(33, 0,
                              {system_string_record(1, ""), system_string_record(2, ""),
                               system_string_record(2, "Plain copyright"), system_string_record(2, "\rrest"),
                               hlptest::raw_record(3, Bytes{0xFF, 0xFF}),  // too short for an offset
                               hlptest::contents_record(0x1234),           // no topic of that offset
                               system_string_record(8, ""), system_string_record(10, ""),
                               system_string_record(18, ""), hlptest::raw_record(9, Bytes{0x09, 0x04})}));
    testing::internal::CaptureStderr();
    std::string text = run.options();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(text,
              "[OPTIONS]\n"
              "COPYRIGHT=Plain copyright\n"
              "COPYRIGHT=%date\n"
              "LCID=0x0 0x409 0x0\n"
              "COMPRESS=0\n"
              "\n");
}

TEST(ProjectOptions, ContentsNamesTheTopic) {
    // |CONTEXT with one id for the topic at offset 0.
    hlptest::ByteWriter key, value;
    key.u32(0x12345678);
    value.u32(0);
    hlptest::BTreeOptions tree;
    tree.structure = "L4";
    Bytes context = hlptest::build_btree({{key.take(), value.take()}}, tree);
    ProjectRun run(help_files(33, 0, {hlptest::contents_record(0), hlptest::raw_record(3, Bytes{0, 0})},
                              {{"|CONTEXT", context}}));
    load_system_file(run.ctx(), run.file());
    testing::internal::CaptureStderr();
    load_context_map(run.ctx(), run.file());
    write_project_options(run.ctx(), run.file(), run.project, "test.ico");
    testing::internal::GetCapturedStderr();
    std::string name = topic_offset_name(run.ctx(), 0);
    ASSERT_FALSE(name.empty());
    // The record too short for an offset names nothing.
    EXPECT_EQ(run.text(), "[OPTIONS]\nCONTENTS=" + name + "\nCOMPRESS=0\n\n");
}

TEST(ProjectOptions, MediaViewLeavesWinHelpOnlyLinesOut) {
    ProjectRun run(help_files(33, 4,
                              {hlptest::lcid_record(0x409, 0x409, 0), system_string_record(10, "x.cnt"),
                               hlptest::deffont_record(10, 0, "Arial"), system_string_record(14, ",")}),
                   true);
    std::string text = run.options();
    EXPECT_EQ(section(text, "[OPTIONS]"), "[OPTIONS]\nCOMPRESS=MEDIUM\n\n");
}

TEST(ProjectOptions, CompressionValues) {
    struct Case {
        uint16_t minor, flags;
        long phrases;
        bool packed;
        const char* lines;
    } cases[] = {
        {33, 0, 0, false, "COMPRESS=0\n"},
        {33, 4, 0, false, "COMPRESS=8\n"},
        {33, 8, 0, false, "COMPRESS=8\nCDROMOPT=true\n"},
        {33, 8, 120, true, "COMPRESS=12\nCDROMOPT=true\n"},
        {33, 8, 120, false, "COMPRESS=10\nCDROMOPT=true\n"},
        {33, 0, 120, false, "COMPRESS=2\n"},
        {33, 0, 120, true, "COMPRESS=4\n"},
        {21, 0, 120, false, "COMPRESS=OFF\n"},
        {21, 4, 0, false, "COMPRESS=MEDIUM\n"},
        {21, 4, 120, false, "COMPRESS=HIGH\n"},
        {27, 8, 120, false, "COMPRESS=HIGH\nCDROMOPT=true\n"},
        {21, 2, 0, false, "COMPRESS=OFF\n"},
    };
    for (const auto& c : cases) {
        ProjectRun run(help_files(c.minor, c.flags, {}));
        run.ctx().phrase_count = c.phrases;
        run.ctx().packed_phrases = c.packed;
        EXPECT_EQ(run.options(), std::string("[OPTIONS]\n") + c.lines + "\n")
            << c.minor << "/" << c.flags << "/" << c.phrases << "/" << c.packed;
    }
}

std::vector<hlptest::InternalFile> keyword_files(const std::string& letters) {
    std::vector<hlptest::InternalFile> files;
    for (char c : letters) {
        files.push_back({std::string("|") + c + "WDATA", Bytes(4, 0)});
        files.push_back({std::string("|") + c + "WBTREE", Bytes(4, 0)});
    }
    return files;
}

TEST(ProjectOptions, MultikeyLines) {
    ProjectRun winhelp4(help_files(33, 0, {}, keyword_files("AKaz")));
    EXPECT_EQ(winhelp4.options(), "[OPTIONS]\nCOMPRESS=0\nMULTIKEY=a\nMULTIKEY=z\n\n");
    ProjectRun winhelp31(help_files(21, 0, {}, keyword_files("AKaz")));
    EXPECT_EQ(winhelp31.options(), "[OPTIONS]\nCOMPRESS=OFF\nMULTIKEY=A\nMULTIKEY=a\nMULTIKEY=z\n\n");
    ProjectRun mediaview(help_files(33, 0, {}, keyword_files("A")), true);
    EXPECT_EQ(mediaview.options(), "[OPTIONS]\nCOMPRESS=OFF\nMULTIKEY=A\n\n");
}

// |TOMAP: sixteen reserved entries, then one per topic number.
Bytes topic_map(int32_t first_offset, int count) {
    hlptest::ByteWriter out;
    out.u32(uint32_t(first_offset));
    for (int i = 1; i < 16; ++i) out.u32(0);
    for (int i = 0; i < count; ++i) out.u32(uint32_t(first_offset - 0x40 + i * 0x20));
    return out.take();
}

TEST(ProjectOptions, OldFormat) {
    // Only TITLE, INDEX, COMPRESS and MULTIKEY, and no section after them,
    // whatever else the file holds.
    ProjectRun run({{"|SYSTEM", hlptest::build_old_system_file("Old Help")},
                    {"|TOMAP", topic_map(0x60, 4)},
                    {"|KWDATA", Bytes(4, 0)},
                    {"|KWBTREE", Bytes(4, 0)},
                    {"|BWDATA", Bytes(4, 0)},
                    {"|BWBTREE", Bytes(4, 0)},
                    {"|CF0", hlptest::config_macros_file({"BrowseButtons()"})},
                    {"|GMACROS", hlptest::group_macros_file({{.entry = "A()"}})}});
    run.ctx().phrase_count = 5;
    run.ctx().browse_count = 2;
    load_system_file(run.ctx(), run.file());
    load_context_map(run.ctx(), run.file());
    write_project_options(run.ctx(), run.file(), run.project, "test.ico");
    EXPECT_EQ(run.text(), "[OPTIONS]\nTITLE=Old Help\nINDEX=TOPIC18\nCOMPRESS=true\nMULTIKEY=B\n\n");

    // A title starting with a line feed is no title; a map whose first entry
    // names no topic gives no INDEX.
    ProjectRun other({{"|SYSTEM", hlptest::build_old_system_file("\nOld")}, {"|TOMAP", topic_map(0x10, 2)}});
    load_system_file(other.ctx(), other.file());
    load_context_map(other.ctx(), other.file());
    write_project_options(other.ctx(), other.file(), other.project, "test.ico");
    EXPECT_EQ(other.text(), "[OPTIONS]\nCOMPRESS=false\n\n");
}

}  // namespace
