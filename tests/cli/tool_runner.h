// Runs the real hlpunpack binary in a scratch folder and captures what it
// prints, and writes the small help files the runs work on.
#ifndef HLPUNPACK_TESTS_CLI_TOOL_RUNNER_H
#define HLPUNPACK_TESTS_CLI_TOOL_RUNNER_H

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace clitest {

struct tool_result {
    int status = -1;  // exit status, -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs hlpunpack with `args` in `folder`.
tool_result run_tool(const std::filesystem::path& folder, const std::vector<std::string>& args);

// A fresh folder under the system's temporary folder, removed on
// destruction.
struct scratch_folder {
    scratch_folder();
    ~scratch_folder();
    scratch_folder(const scratch_folder&) = delete;
    scratch_folder& operator=(const scratch_folder&) = delete;
    std::filesystem::path path;
};

// The smallest help file the decompiler accepts: the 16-byte header and a
// one-leaf directory naming a |SYSTEM file (version 1.21, a title record).
std::string minimal_help_file(const std::string& title);

// The same with further internal files (name, contents) in the directory,
// such as baggage files, which the decompiler lists under their own names.
std::string help_file_with(const std::string& title, const std::map<std::string, std::string>& extra_files);

void write_bytes(const std::filesystem::path& path, const std::string& bytes);
std::string read_bytes(const std::filesystem::path& path);

}  // namespace clitest

#endif
