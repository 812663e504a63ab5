#include "tool_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "help_builder.h"

extern char** environ;

namespace clitest {

namespace fs = std::filesystem;

tool_result run_tool(const fs::path& folder, const std::vector<std::string>& args) {
    const std::string tool = HLP_BINARY_DIR "/hlpunpack";
    const fs::path out_file = folder / ".tool_out", err_file = folder / ".tool_err";
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(tool.c_str()));
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, err_file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid;
    int spawned = posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + tool);
    int wait_status = 0;
    waitpid(pid, &wait_status, 0);

    tool_result result;
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
    result.out = read_bytes(out_file);
    result.err = read_bytes(err_file);
    fs::remove(out_file);
    fs::remove(err_file);
    return result;
}

scratch_folder::scratch_folder() {
    std::string pattern = (fs::temp_directory_path() / "hlpunpack-cli-XXXXXX").string();
    if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path = pattern;
}

scratch_folder::~scratch_folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
}

std::string minimal_help_file(const std::string& title) {
    return help_file_with(title, {});
}

std::string help_file_with(const std::string& title, const std::map<std::string, std::string>& extra_files) {
    using namespace hlptest;
    std::vector<InternalFile> files;
    files.push_back({"|SYSTEM", build_system_file(21, 0, {system_string_record(system_title, title)})});
    for (const auto& [name, data] : extra_files) files.push_back({name, bytes_of(data)});
    Bytes file = build_help_file(std::move(files));
    return std::string(file.begin(), file.end());
}

void write_bytes(const fs::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace clitest
