// The tool end to end: what it writes, lists and reports for good files.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <set>

#include "tool_runner.h"

namespace fs = std::filesystem;
using clitest::read_bytes;
using clitest::run_tool;
using clitest::write_bytes;

namespace {

class CliTool : public ::testing::Test {
protected:
    void SetUp() override { write_bytes(dir() / "manual.hlp", clitest::minimal_help_file("Manual")); }
    const fs::path& dir() const { return scratch.path; }
    clitest::scratch_folder scratch;
};

TEST_F(CliTool, ExtractsIntoAFolderNamedAfterTheFile) {
    clitest::tool_result r = run_tool(dir(), {"manual.hlp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "manual" / "manual.rtf"));
    std::string project = read_bytes(dir() / "manual" / "manual.hpj");
    // The project names its topic file: the whole buffer reached the disk.
    EXPECT_NE(project.find("[FILES]\r\nmanual.rtf\r\n"), std::string::npos) << project;
    EXPECT_NE(r.out.find("manual.hlp: 2 files written to manual"), std::string::npos) << r.out;

    // A file without an extension gets a folder that cannot clash with it.
    fs::copy_file(dir() / "manual.hlp", dir() / "plain");
    r = run_tool(dir(), {"plain"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "plain.out" / "plain.hpj"));
}

TEST_F(CliTool, OutputFolderIsCreatedAndHoldsOneSubfolderPerFileWhenSeveral) {
    clitest::tool_result r = run_tool(dir(), {"-o", "out/deep", "manual.hlp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "out" / "deep" / "manual.hpj"));
    EXPECT_FALSE(fs::exists(dir() / "manual"));

    fs::create_directory(dir() / "sub");
    write_bytes(dir() / "sub" / "guide.hlp", clitest::minimal_help_file("Guide"));
    r = run_tool(dir(), {"manual.hlp", "--output=many", "sub/guide.hlp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "many" / "manual" / "manual.rtf"));
    EXPECT_TRUE(fs::is_regular_file(dir() / "many" / "guide" / "guide.rtf"));
}

TEST_F(CliTool, ListShowsSizesAndTheHelpFileDateWithoutWriting) {
    std::tm when{};
    when.tm_year = 2001 - 1900;
    when.tm_mon = 1;
    when.tm_mday = 3;
    when.tm_hour = 4;
    when.tm_min = 5;
    when.tm_isdst = -1;
    struct timespec times[2] = {{std::mktime(&when), 0}, {std::mktime(&when), 0}};
    ASSERT_EQ(utimensat(AT_FDCWD, (dir() / "manual.hlp").c_str(), times, 0), 0);

    clitest::tool_result listed = run_tool(dir(), {"-l", "manual.hlp"});
    ASSERT_EQ(listed.status, 0) << listed.err;
    EXPECT_FALSE(fs::exists(dir() / "manual"));
    ASSERT_EQ(run_tool(dir(), {"-q", "manual.hlp"}).status, 0);
    for (const char* name : {"manual.hpj", "manual.rtf"}) {
        std::string line = std::to_string(fs::file_size(dir() / "manual" / name)) + "  2001-02-03 04:05  " + name;
        EXPECT_NE(listed.out.find(line), std::string::npos) << line << "\n" << listed.out;
    }
    EXPECT_NE(listed.out.find("2 files"), std::string::npos) << listed.out;
}

// A listing or a test report can be piped: the decompiler's notes about the
// help compiler go to standard error then, and stay on standard output when
// extracting.
TEST_F(CliTool, NotesGoToStandardErrorWhenListingOrTesting) {
    const std::string note = "Use HC31/HCP manual.hpj to recompile helpfile.\n";
    for (const char* mode : {"-l", "-t"}) {
        clitest::tool_result r = run_tool(dir(), {mode, "manual.hlp"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("recompile"), std::string::npos) << mode << "\n" << r.out;
        EXPECT_NE(r.err.find(note), std::string::npos) << mode << "\n" << r.err;
    }
    clitest::tool_result extracted = run_tool(dir(), {"-o", "out", "manual.hlp"});
    ASSERT_EQ(extracted.status, 0) << extracted.err;
    EXPECT_NE(extracted.out.find(note), std::string::npos) << extracted.out;
    EXPECT_EQ(extracted.err.find("recompile"), std::string::npos) << extracted.err;
}

TEST_F(CliTool, TestDecompilesAndWritesNothing) {
    clitest::tool_result r = run_tool(dir(), {"-t", "manual.hlp"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("manual.hlp: OK, 2 files"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir() / "manual"));
}

TEST_F(CliTool, ExistingFilesAreKeptUnlessForced) {
    fs::create_directory(dir() / "manual");
    write_bytes(dir() / "manual" / "manual.rtf", "mine");
    clitest::tool_result r = run_tool(dir(), {"-q", "manual.hlp"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_bytes(dir() / "manual" / "manual.rtf"), "mine");
    EXPECT_TRUE(fs::is_regular_file(dir() / "manual" / "manual.hpj"));
    EXPECT_NE(r.err.find("manual/manual.rtf already exists"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("-f"), std::string::npos) << r.err;

    r = run_tool(dir(), {"-qf", "manual.hlp"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(read_bytes(dir() / "manual" / "manual.rtf"), "mine");
    EXPECT_EQ(r.err, "");
}

TEST_F(CliTool, ForcedExtractionReplacesALinkInsteadOfWritingThroughIt) {
    fs::create_directory(dir() / "manual");
    write_bytes(dir() / "elsewhere.txt", "untouched");
    fs::create_symlink(dir() / "elsewhere.txt", dir() / "manual" / "manual.rtf");
    clitest::tool_result r = run_tool(dir(), {"-f", "-q", "manual.hlp"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(read_bytes(dir() / "elsewhere.txt"), "untouched");
    EXPECT_FALSE(fs::is_symlink(dir() / "manual" / "manual.rtf"));
    EXPECT_TRUE(fs::is_regular_file(dir() / "manual" / "manual.rtf"));
}

TEST_F(CliTool, QuietHidesTheDecompilerButNotTheTool) {
    clitest::tool_result loud = run_tool(dir(), {"-t", "manual.hlp"});
    EXPECT_NE(loud.err.find("Pass 1..."), std::string::npos) << loud.err;
    clitest::tool_result quiet = run_tool(dir(), {"-t", "-q", "manual.hlp"});
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out, "manual.hlp: OK, 2 files\n");
}

TEST_F(CliTool, HtmlEditionGoesIntoItsSubfolderAndOnlyWhenAsked) {
    clitest::tool_result plain = run_tool(dir(), {"-l", "-q", "manual.hlp"});
    EXPECT_EQ(plain.out.find("html"), std::string::npos) << plain.out;
    clitest::tool_result listed = run_tool(dir(), {"-l", "-q", "--html", "manual.hlp"});
    EXPECT_NE(listed.out.find("html/index.html"), std::string::npos) << listed.out;
    EXPECT_EQ(listed.out.find(".hhp"), std::string::npos) << listed.out;
    // --htmlhelp writes the edition too, with its project beside the pages.
    listed = run_tool(dir(), {"-l", "-q", "--htmlhelp", "manual.hlp"});
    for (const char* name : {"html/index.html", "html/manual.hhp", "html/manual.hhc", "html/manual.hhk"})
        EXPECT_NE(listed.out.find(name), std::string::npos) << name << "\n" << listed.out;
    // The folder is there already as a link: nothing is written through it.
    fs::create_directories(dir() / "out");
    fs::create_directory(dir() / "elsewhere");
    fs::create_directory_symlink(dir() / "elsewhere", dir() / "out" / "html");
    clitest::tool_result r = run_tool(dir(), {"-q", "--html", "-o", "out", "manual.hlp"});
    EXPECT_NE(r.status, 0);
    EXPECT_TRUE(fs::is_empty(dir() / "elsewhere"));
    fs::remove(dir() / "out" / "html");
    r = run_tool(dir(), {"-q", "--html", "-o", "out", "manual.hlp"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "out" / "html" / "index.html"));
    EXPECT_TRUE(fs::is_regular_file(dir() / "out" / "html" / "style.css"));
    EXPECT_TRUE(fs::is_regular_file(dir() / "out" / "manual.rtf"));
}

TEST_F(CliTool, EntryNamesFromAHostileFileNameStayInsideTheFolder) {
    // The entries are named after the help file, so a name with a colon and
    // an escape sequence reaches the tool as an entry name.
    const std::string hostile = "a:b\x1b[2Jc.hlp";
    fs::copy_file(dir() / "manual.hlp", dir() / hostile);
    clitest::tool_result r = run_tool(dir(), {"-q", "-o", "out", hostile});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "out" / "a_b_[2Jc.hpj"));
    clitest::tool_result listed = run_tool(dir(), {"-l", "-q", hostile});
    EXPECT_EQ(listed.out.find('\x1b'), std::string::npos);
    EXPECT_NE(listed.out.find("a_b_[2Jc.rtf"), std::string::npos) << listed.out;
}

TEST_F(CliTool, HostileBaggageNamesCannotLeaveTheFolder) {
    // Files the help file carries are listed under their directory names,
    // which the file's author chooses freely.
    write_bytes(dir() / "evil.hlp", clitest::help_file_with("Evil", {{"..", "dots"},
                                                                      {"../escaped.txt", "up"},
                                                                      {"/rooted.txt", "root"},
                                                                      {"C:drive.txt", "drive"},
                                                                      {"tab\tname", "tab"}}));
    fs::create_directory(dir() / "out");
    clitest::tool_result r = run_tool(dir() / "out", {"-q", "../evil.hlp"});
    ASSERT_EQ(r.status, 0) << r.err;
    clitest::tool_result listed = run_tool(dir(), {"-l", "-q", "evil.hlp"});

    // Everything written is a plain file directly inside out/evil, and the
    // listing names exactly what was written.
    std::set<std::string> written;
    for (const fs::directory_entry& e : fs::recursive_directory_iterator(dir())) {
        if (e.is_directory()) continue;
        fs::path relative = fs::relative(e.path(), dir());
        if (relative == "evil.hlp" || relative == "manual.hlp") continue;
        EXPECT_EQ(relative.parent_path(), fs::path("out") / "evil") << relative;
        written.insert(relative.filename().string());
    }
    EXPECT_TRUE(written.count("evil.hpj"));
    for (const std::string& name : written)
        EXPECT_NE(listed.out.find("  " + name + "\n"), std::string::npos) << name << "\n" << listed.out;
    EXPECT_EQ(listed.out.find('\t'), std::string::npos) << listed.out;
    // Once baggage is exported, the flattened names are the expected ones.
    if (written.count("__")) {
        EXPECT_EQ(read_bytes(dir() / "out" / "evil" / ".._escaped.txt"), "up");
        EXPECT_EQ(read_bytes(dir() / "out" / "evil" / "_rooted.txt"), "root");
        EXPECT_EQ(read_bytes(dir() / "out" / "evil" / "C_drive.txt"), "drive");
        EXPECT_EQ(read_bytes(dir() / "out" / "evil" / "tab_name"), "tab");
    }
}

}  // namespace
