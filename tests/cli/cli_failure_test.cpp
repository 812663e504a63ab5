// The tool's failure lines and exit status, and its command-line handling.
#include <gtest/gtest.h>

#include <filesystem>

#include "tool_runner.h"

namespace fs = std::filesystem;
using clitest::run_tool;
using clitest::write_bytes;

namespace {

size_t count_lines(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
    return count;
}

class CliFailures : public ::testing::Test {
protected:
    const fs::path& dir() const { return scratch.path; }
    clitest::scratch_folder scratch;
};

TEST_F(CliFailures, EachKindOfBadFileGetsItsOwnReason) {
    std::string good = clitest::minimal_help_file("Good");
    write_bytes(dir() / "text.hlp", "This is a plain text file, not help.");
    write_bytes(dir() / "short.hlp", good.substr(0, 12));  // magic, but under 16 bytes
    write_bytes(dir() / "damaged.hlp", good.substr(0, 20));  // magic, but the directory is cut off
    fs::create_directory(dir() / "folder.hlp");
    struct {
        const char* file;
        const char* line;
    } cases[] = {
        {"missing.hlp", "hlpunpack: missing.hlp: cannot open\n"},
        // A folder is searched for help files; this one holds none.
        {"folder.hlp",
         "hlpunpack: folder.hlp: no help file in this folder\n"
         "hlpunpack: 0 files: 0 ok, 0 salvaged, 0 failed; 0.0 MB in 0:00\n"},
        {"text.hlp", "hlpunpack: text.hlp: not a help file\n"},
        {"short.hlp", "hlpunpack: short.hlp: not a help file\n"},
        {"damaged.hlp", "hlpunpack: damaged.hlp: damaged help file (--salvage recovers what is intact)\n"},
    };
    for (const auto& c : cases) {
        for (const char* mode : {"-x", "-l", "-t"}) {
            std::vector<std::string> args = {"-q", c.file};
            if (std::string(mode) != "-x") args.insert(args.begin(), mode);
            clitest::tool_result r = run_tool(dir(), args);
            EXPECT_NE(r.status, 0) << c.file << " " << mode;
            EXPECT_EQ(r.err, c.line) << c.file << " " << mode;
        }
    }
    EXPECT_FALSE(fs::exists(dir() / "damaged"));
}

TEST_F(CliFailures, OneBadFileDoesNotStopTheOthers) {
    write_bytes(dir() / "one.hlp", clitest::minimal_help_file("One"));
    write_bytes(dir() / "two.hlp", clitest::minimal_help_file("Two"));
    write_bytes(dir() / "bad.hlp", "no magic here, just some bytes");
    clitest::tool_result r = run_tool(dir(), {"one.hlp", "bad.hlp", "two.hlp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(count_lines(r.err, "hlpunpack: "), 1u) << r.err;
    EXPECT_NE(r.err.find("hlpunpack: bad.hlp: not a help file"), std::string::npos);
    EXPECT_TRUE(fs::is_regular_file(dir() / "one" / "one.hpj"));
    EXPECT_TRUE(fs::is_regular_file(dir() / "two" / "two.hpj"));
}

TEST_F(CliFailures, AnUnwritableFolderIsReportedPerFile) {
    write_bytes(dir() / "one.hlp", clitest::minimal_help_file("One"));
    write_bytes(dir() / "blocker", "a file where the folder should go");
    clitest::tool_result r = run_tool(dir(), {"-q", "-o", "blocker/out", "one.hlp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("hlpunpack: one.hlp: cannot write the output", 0), 0u) << r.err;
    EXPECT_EQ(count_lines(r.err, "\n"), 1u) << r.err;

    // A folder squatting on an entry's name cannot be overwritten, even with -f.
    fs::create_directories(dir() / "one" / "one.rtf");
    r = run_tool(dir(), {"-q", "-f", "one.hlp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err.rfind("hlpunpack: one.hlp: cannot write the output", 0), 0u) << r.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "one" / "one.hpj"));
}

TEST_F(CliFailures, DamagedFileLineStandsOnItsOwnLineAfterTheDecompilerMessage) {
    write_bytes(dir() / "damaged.hlp", clitest::minimal_help_file("X").substr(0, 20));
    clitest::tool_result r = run_tool(dir(), {"damaged.hlp"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\nhlpunpack: damaged.hlp: damaged help file (--salvage recovers what is intact)\n"),
              std::string::npos)
        << r.err;
}

TEST_F(CliFailures, SalvageExitStatusesAndSummary) {
    // A help file whose font table is cut to three bytes: only salvage opens it.
    std::string whole = clitest::help_file_with("Cut", {{"|FONT", std::string("\x05\x00\x01", 3)}});
    write_bytes(dir() / "cut.hlp", whole);
    clitest::tool_result plain = run_tool(dir(), {"-q", "-t", "cut.hlp"});
    EXPECT_EQ(plain.status, 1);
    EXPECT_EQ(plain.err, "hlpunpack: cut.hlp: damaged help file (--salvage recovers what is intact)\n");
    write_bytes(dir() / "good.hlp", clitest::minimal_help_file("Good"));
    write_bytes(dir() / "hopeless.hlp", whole.substr(0, 40));  // no |SYSTEM left
    const std::string summary = "hlpunpack: cut.hlp: salvaged with losses: 0 of 0 topics recovered whole\n";
    for (const char* mode : {"-x", "-l", "-t"}) {
        std::vector<std::string> args = {"-q", "-s", "cut.hlp"};
        if (std::string(mode) != "-x") args.insert(args.begin(), mode);
        clitest::tool_result r = run_tool(dir(), args);
        EXPECT_EQ(r.status, 3) << mode << r.err;
        EXPECT_EQ(r.err, summary) << mode;
    }
    EXPECT_NE(clitest::read_bytes(dir() / "cut" / "cut-damage.txt").find("|FONT: font table damaged"),
              std::string::npos);
    EXPECT_NE(clitest::read_bytes(dir() / "cut" / "cut.rtf").find("{\\fonttbl}"), std::string::npos);
    // Extracted again over the kept files, the summary is still this run's.
    clitest::tool_result again = run_tool(dir(), {"-q", "-s", "cut.hlp"});
    EXPECT_EQ(again.status, 3);
    EXPECT_NE(again.err.find(summary), std::string::npos) << again.err;
    // No loss: 0; a failure anywhere: 1, even beside a salvaged file.
    EXPECT_EQ(run_tool(dir(), {"-q", "-s", "good.hlp"}).status, 0);
    clitest::tool_result mixed = run_tool(dir(), {"-q", "-s", "-t", "cut.hlp", "hopeless.hlp"});
    EXPECT_EQ(mixed.status, 1);
    EXPECT_NE(mixed.err.find("hlpunpack: hopeless.hlp: damaged help file\n"), std::string::npos) << mixed.err;
}

TEST_F(CliFailures, UsageErrorsHelpAndVersion) {
    for (std::vector<std::string> args : std::vector<std::vector<std::string>>{
             {}, {"-z", "a.hlp"}, {"--bogus", "a.hlp"}, {"-o"}, {"-l", "-t", "a.hlp"}, {"-o", "", "a.hlp"},
             {"-j0", "a.hlp"}, {"-j", "two", "a.hlp"}, {"--jobs=1025", "a.hlp"}, {"--report"}, {"--report=", "a.hlp"}}) {
        clitest::tool_result r = run_tool(dir(), args);
        EXPECT_EQ(r.status, 2) << ::testing::PrintToString(args);
        EXPECT_NE(r.err.find("--help"), std::string::npos) << r.err;
    }
    clitest::tool_result help = run_tool(dir(), {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("-o DIR"), std::string::npos);
    clitest::tool_result version = run_tool(dir(), {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "hlpunpack " HLPUNPACK_VERSION "\n");

    // After "--" a name that looks like an option is a file.
    write_bytes(dir() / "-l.hlp", clitest::minimal_help_file("Dash"));
    clitest::tool_result dashed = run_tool(dir(), {"-q", "--", "-l.hlp"});
    EXPECT_EQ(dashed.status, 0) << dashed.err;
    EXPECT_TRUE(fs::is_regular_file(dir() / "-l" / "-l.hpj"));
}

}  // namespace
