#include "tool_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <sstream>
#include <stdexcept>

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

namespace {

void put16(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}

void put32(std::string& s, uint32_t v) {
    put16(s, v & 0xFFFF);
    put16(s, v >> 16);
}

// Internal-file header: reserved space, used space, flags.
std::string internal_file(const std::string& data) {
    std::string s;
    put32(s, static_cast<uint32_t>(data.size()));
    put32(s, static_cast<uint32_t>(data.size()));
    s += '\0';
    return s + data;
}

}  // namespace

std::string minimal_help_file(const std::string& title) {
    return help_file_with(title, {});
}

std::string help_file_with(const std::string& title, const std::map<std::string, std::string>& extra_files) {
    std::string system;
    put16(system, 0x036C);  // magic
    put16(system, 21);      // minor version
    put16(system, 1);       // major version
    put32(system, 0);       // generation date
    put16(system, 0);       // flags: uncompressed topics
    put16(system, 1);       // record type 1: title
    put16(system, static_cast<uint16_t>(title.size() + 1));
    system += title + '\0';

    // std::map orders the names by unsigned bytes (std::string compares
    // through char_traits<char>, which compares as unsigned char), the
    // order the directory needs.
    std::map<std::string, std::string> files = extra_files;
    files["|SYSTEM"] = system;

    // Internal files first, each after its 9-byte header; the directory last.
    const uint16_t page_size = 1024;
    std::string body;
    std::string leaf;
    put16(leaf, 0);                                        // free bytes (not read)
    put16(leaf, static_cast<uint16_t>(files.size()));      // entries
    put16(leaf, 0xFFFF);                                   // previous page
    put16(leaf, 0xFFFF);                                   // next page: none
    for (const auto& [name, data] : files) {
        leaf += name + '\0';
        put32(leaf, static_cast<uint32_t>(16 + body.size()));
        body += internal_file(data);
    }
    leaf.resize(page_size, '\0');
    std::string tree;
    put16(tree, 0x293B);                                   // tree magic
    put16(tree, 0x0402);                                   // flags
    put16(tree, page_size);
    tree += std::string("z4", 2) + std::string(14, '\0');  // structure
    put16(tree, 0);                                        // reserved
    put16(tree, 0);                                        // page splits
    put16(tree, 0);                                        // root page
    put16(tree, 0xFFFF);                                   // reserved
    put16(tree, 1);                                        // total pages
    put16(tree, 1);                                        // levels: the root is the leaf
    put32(tree, static_cast<uint32_t>(files.size()));      // total entries
    const uint32_t directory_start = static_cast<uint32_t>(16 + body.size());
    body += internal_file(tree + leaf);

    std::string file;
    put32(file, 0x00035F3F);
    put32(file, directory_start);
    put32(file, 0xFFFFFFFF);
    put32(file, static_cast<uint32_t>(16 + body.size()));
    return file + body;
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
