// Runs the readers that other programs use on what the decompiler writes
// (unrtf, ImageMagick, libwmf), as separate processes.
#pragma once

#include <string>
#include <vector>

namespace e2e {

struct ToolRun {
    int status = -1;  // exit status; -1 when the program did not exit normally
    std::string out;
    std::string err;
};

// The program's path on PATH, or empty when it is not installed.
std::string find_tool(const std::string& name);
// Runs the program (looked up on PATH) with the arguments, standard input
// from /dev/null, its output gathered in files of `scratch_folder`.
ToolRun run_tool(const std::vector<std::string>& argv, const std::string& scratch_folder);

// Fails the test when the program is missing: the test command installs it
// with its Debian package.
#define REQUIRE_TOOL(name, package)                                                                     \
    do {                                                                                                \
        if (e2e::find_tool(name).empty())                                                               \
            FAIL() << (name) << " is not installed: run scripts/install-deps.sh (Debian package " \
                   << (package) << ")";                                                                 \
    } while (0)

}  // namespace e2e
