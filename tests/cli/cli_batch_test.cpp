// Many files at once: folders searched and mirrored, the worst status, the
// report's lines and the progress line (on a pseudo-terminal only).
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "tool_runner.h"

namespace fs = std::filesystem;
using clitest::run_tool;
using clitest::write_bytes;

namespace {

// A help file whose font table is cut to three bytes: only salvage opens it.
std::string cut_help_file() { return clitest::help_file_with("Cut", {{"|FONT", std::string("\x05\x00\x01", 3)}}); }

class CliBatch : public ::testing::Test {
protected:
    void put(const std::string& relative, const std::string& bytes) {
        fs::create_directories((dir() / relative).parent_path());
        write_bytes(dir() / relative, bytes);
    }
    const fs::path& dir() const { return scratch.path; }
    clitest::scratch_folder scratch;
};

TEST_F(CliBatch, FolderTreeIsMirroredUnderTheOutputFolder) {
    put("in/one.hlp", clitest::minimal_help_file("One"));
    put("in/sub/Two.HLP", clitest::minimal_help_file("Two"));
    put("in/sub/deeper/three.mvb", clitest::minimal_help_file("Three"));
    put("in/sub/a.hlp", clitest::minimal_help_file("A"));
    put("in/sub/A.MVB", clitest::minimal_help_file("A too"));
    put("in/v1.2/b.hlp", clitest::minimal_help_file("B"));
    put("in/v1.2/b.mvb", clitest::minimal_help_file("B too"));
    put("in/sub/notes.txt", "not a help file, and not named like one");
    fs::create_directory_symlink(dir() / "in", dir() / "in" / "sub" / "loop");
    clitest::tool_result r = run_tool(dir(), {"-q", "-o", "out", "in"});
    ASSERT_EQ(r.status, 0) << r.err;
    // a.hlp and A.MVB share a folder name: the second in path order gets ~2.
    for (const char* project : {"one/one.hpj", "sub/Two/Two.hpj", "sub/deeper/three/three.mvp", "sub/A/A.mvp",
                                "sub/a~2/a.hpj", "v1.2/b/b.hpj", "v1.2/b~2/b.mvp"})
        EXPECT_TRUE(fs::is_regular_file(dir() / "out" / project)) << project;
    EXPECT_FALSE(fs::exists(dir() / "out" / "sub" / "loop"));
    EXPECT_EQ(r.err.rfind("hlpunpack: 7 files: 7 ok, 0 salvaged, 0 failed; 0.0 MB in ", 0), 0u) << r.err;

    // Without -o the tree goes beside the folder, into FOLDER.out; with
    // two folders each gets its own folder under -o.
    ASSERT_EQ(run_tool(dir(), {"-q", "in"}).status, 0);
    EXPECT_TRUE(fs::is_regular_file(dir() / "in.out" / "sub" / "Two" / "Two.hpj"));
    put("more/four.hlp", clitest::minimal_help_file("Four"));
    ASSERT_EQ(run_tool(dir(), {"-q", "-o", "both", "in", "more/"}).status, 0);
    EXPECT_TRUE(fs::is_regular_file(dir() / "both" / "in" / "one" / "one.hpj"));
    EXPECT_TRUE(fs::is_regular_file(dir() / "both" / "more" / "four" / "four.hpj"));
    // Files worked on together never share a folder.
    put("x/same.hlp", clitest::minimal_help_file("X"));
    put("y/same.hlp", clitest::minimal_help_file("Y"));
    ASSERT_EQ(run_tool(dir(), {"-q", "-j", "2", "-o", "two", "x/same.hlp", "y/same.hlp"}).status, 0);
    EXPECT_TRUE(fs::is_regular_file(dir() / "two" / "same" / "same.hpj"));
    EXPECT_TRUE(fs::is_regular_file(dir() / "two" / "same~2" / "same.hpj"));
}

TEST_F(CliBatch, StatusIsTheWorstOfTheFilesAndNoFileStopsTheOthers) {
    struct {
        std::vector<std::string> files;
        int status;
        const char* summary;
    } cases[] = {
        {{"good.hlp", "other.hlp"}, 0, "2 files: 2 ok, 0 salvaged, 0 failed"},
        {{"good.hlp", "cut.hlp"}, 3, "2 files: 1 ok, 1 salvaged, 0 failed"},
        {{"cut.hlp", "bad.hlp", "good.hlp"}, 1, "3 files: 1 ok, 1 salvaged, 1 failed"},
    };
    const std::map<std::string, std::string> bytes = {{"good.hlp", clitest::minimal_help_file("Good")},
                                                      {"other.hlp", clitest::minimal_help_file("Other")},
                                                      {"cut.hlp", cut_help_file()},
                                                      {"bad.hlp", "no magic here"}};
    for (const auto& c : cases) {
        for (const char* jobs : {"-j1", "-j2"}) {
            clitest::scratch_folder run;
            fs::create_directory(run.path / "in");
            for (const std::string& f : c.files) write_bytes(run.path / "in" / f, bytes.at(f));
            clitest::tool_result r = run_tool(run.path, {"-q", "-s", jobs, "-o", "out", "in"});
            EXPECT_EQ(r.status, c.status) << jobs << "\n" << r.err;
            EXPECT_NE(r.err.find(std::string("hlpunpack: ") + c.summary + "; "), std::string::npos) << r.err;
            EXPECT_TRUE(fs::is_regular_file(run.path / "out" / "good" / "good.hpj")) << jobs;
        }
    }
}

TEST_F(CliBatch, ListingsOfFilesWorkedOnTogetherStayWhole) {
    for (const char* name : {"a.hlp", "b.hlp", "c.hlp", "d.hlp"}) put(name, clitest::minimal_help_file(name));
    clitest::tool_result r = run_tool(dir(), {"-l", "-j", "4", "a.hlp", "b.hlp", "c.hlp", "d.hlp"});
    ASSERT_EQ(r.status, 0) << r.err;
    // Each file's header is followed by its own listing, to its total.
    for (const char* name : {"a", "b", "c", "d"}) {
        const std::string header = std::string(name) + ".hlp:\n";
        const size_t head = r.out.find(header);
        ASSERT_NE(head, std::string::npos) << r.out;
        const size_t end = r.out.find(" 2 files\n", head);
        EXPECT_LT(r.out.find(std::string("  ") + name + ".hpj\n", head), end) << r.out;
        EXPECT_GT(r.out.find(".hlp:\n", head + header.size()), end) << r.out;
    }
}

TEST_F(CliBatch, ReportHoldsOneObjectPerFile) {
    const std::string sample = clitest::read_bytes(fs::path(HLP_SOURCE_DIR) / "examples" / "sample.hlp");
    put("in/sample.hlp", sample);
    put("in/Sample.CNT", ":Base sample.hlp\n");
    put("in/cut.hlp", cut_help_file());
    put("in/bad.hlp", "no magic here");
    clitest::tool_result r = run_tool(dir(), {"-q", "-s", "--report", "r.jsonl", "-o", "out", "in"});
    EXPECT_EQ(r.status, 1) << r.err;
    std::map<std::string, nlohmann::json> lines;
    std::istringstream text(clitest::read_bytes(dir() / "r.jsonl"));
    for (std::string line; std::getline(text, line);) {
        nlohmann::json object = nlohmann::json::parse(line);
        lines[object["path"]] = object;
    }
    ASSERT_EQ(lines.size(), 3u);
    // The sample's figures, as make_sample writes it.
    const nlohmann::json& s = lines["in/sample.hlp"];
    EXPECT_EQ(s["status"], "ok");
    EXPECT_EQ(s["title"], "hlpunpack Sample");
    EXPECT_EQ(s["version"], "WinHelp 4.0");
    EXPECT_EQ(s["topics"], 6);
    EXPECT_EQ(s["pictures"], 5);
    EXPECT_EQ(s["keywords"], 10);  // nine in topics, one that runs a macro
    EXPECT_EQ(s["context_ids"], 9);  // six topics' and three aliases
    EXPECT_EQ(s["bytes"], sample.size());
    EXPECT_EQ(s["contents_file"], "in/Sample.CNT");
    const size_t on_disk = std::distance(fs::directory_iterator(dir() / "out" / "sample"), fs::directory_iterator());
    EXPECT_EQ(s["outputs"]["written"], on_disk);
    const nlohmann::json& cut = lines["in/cut.hlp"];
    EXPECT_EQ(cut["status"], "salvaged");
    EXPECT_EQ(cut["reason"], "0 of 0 topics recovered whole");
    EXPECT_EQ(cut["title"], "Cut");
    EXPECT_EQ(cut["version"], "WinHelp 3.1");
    ASSERT_FALSE(cut["damage"].empty());
    EXPECT_NE(cut["damage"][0].get<std::string>().find("|FONT: font table damaged"), std::string::npos);
    EXPECT_EQ(lines["in/bad.hlp"]["status"], "failed");
    EXPECT_EQ(lines["in/bad.hlp"]["reason"], "not a help file");
    EXPECT_TRUE(lines["in/bad.hlp"]["title"].is_null());

    // Named files without -j: the report is the only change.
    clitest::tool_result plain = run_tool(dir(), {"-t", "in/sample.hlp", "in/bad.hlp"});
    clitest::tool_result reported = run_tool(dir(), {"-t", "--report", "r2.jsonl", "in/sample.hlp", "in/bad.hlp"});
    EXPECT_EQ(reported.out, plain.out);
    EXPECT_EQ(reported.err, plain.err);
    EXPECT_EQ(reported.status, plain.status);

    // A report that cannot be made, or is cut short, fails the run.
    for (const char* where : {"missing/r.jsonl", "/dev/full"}) {
        clitest::tool_result failed = run_tool(dir(), {"-q", "-t", "--report", where, "in/sample.hlp"});
        EXPECT_EQ(failed.status, 1) << where;
        EXPECT_NE(failed.err.find(std::string("hlpunpack: cannot write the report ") + where), std::string::npos)
            << failed.err;
    }
}

// Everything the tool writes on a pseudo-terminal (standard output and
// error both), with its exit status.
std::pair<std::string, int> run_on_terminal(const fs::path& folder, std::vector<std::string> args) {
    args.insert(args.begin(), HLP_BINARY_DIR "/hlpunpack");
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    int terminal = -1;
    pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
    if (child == 0) {
        if (chdir(folder.c_str()) == 0) execv(argv[0], argv.data());
        _exit(127);
    }
    std::string seen;
    char chunk[4096];
    for (ssize_t n; (n = read(terminal, chunk, sizeof chunk)) > 0;) seen.append(chunk, static_cast<size_t>(n));
    int status = 0;
    waitpid(child, &status, 0);
    close(terminal);
    return {seen, WIFEXITED(status) ? WEXITSTATUS(status) : -1};
}

TEST_F(CliBatch, ProgressLineShowsOnATerminalOnly) {
    for (const char* name : {"in/a.hlp", "in/b.hlp", "in/c.hlp"}) put(name, clitest::minimal_help_file("X"));
    auto [seen, status] = run_on_terminal(dir(), {"-t", "-j", "2", "in"});
    EXPECT_EQ(status, 0) << seen;
    EXPECT_NE(seen.find("\rhlpunpack: 0/3 files, 0.0/0.0 MB"), std::string::npos) << seen;
    EXPECT_NE(seen.find("\rhlpunpack: 3/3 files"), std::string::npos) << seen;
    // The line is blanked before any other line is written.
    for (const char* name : {"in/a.hlp: OK", "in/b.hlp: OK", "in/c.hlp: OK"}) {
        const size_t line = seen.find(name);
        ASSERT_NE(line, std::string::npos) << seen;
        EXPECT_EQ(seen.substr(line - 2, 2), " \r") << name << "\n" << seen;
    }
    const size_t summary = seen.find("hlpunpack: 3 files: 3 ok");
    ASSERT_NE(summary, std::string::npos) << seen;
    EXPECT_EQ(seen[summary - 1], '\r');
    EXPECT_EQ(seen[summary - 2], ' ');
    EXPECT_EQ(seen.find("/3 files", summary), std::string::npos) << seen;

    auto [quiet, quiet_status] = run_on_terminal(dir(), {"-t", "-q", "-j", "2", "in"});
    EXPECT_EQ(quiet_status, 0);
    EXPECT_EQ(quiet.find("/3 files"), std::string::npos) << quiet;
    EXPECT_NE(quiet.find("hlpunpack: 3 files: 3 ok"), std::string::npos) << quiet;
    clitest::tool_result piped = run_tool(dir(), {"-t", "-j", "2", "in"});
    EXPECT_EQ(piped.err.find("/3 files"), std::string::npos) << piped.err;
}

}  // namespace
