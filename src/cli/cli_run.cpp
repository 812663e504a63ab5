#include "cli_run.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

#include <hlpunpack/wcx.h>

#include "archive_walk.h"
#include "console.h"
#include "help_file_check.h"
#include "text_convert.h"

namespace fs = std::filesystem;

namespace hlpcli {

namespace {

constexpr size_t max_wide_path = 1023;

fs::path output_folder(const cli_options& options, const std::string& file) {
    if (options.output_dir.empty()) return path_from_utf8(default_folder_name(file));
    fs::path chosen = path_from_utf8(options.output_dir);
    if (options.files.size() == 1) return chosen;
    return chosen / path_from_utf8(default_folder_name(file));
}

std::string open_failure(int open_result, bool salvage) {
    switch (open_result) {
        case E_EOPEN: return salvage ? "damaged help file" : "damaged help file (--salvage recovers what is intact)";
        case E_NO_MEMORY: return "cannot open (out of memory)";
        default: return "cannot open (error " + std::to_string(open_result) + ")";
    }
}

// What became of one help file: the failure reason (empty on success) and,
// for a salvaged file that lost something, its damage summary.
struct file_result {
    std::string failure;
    std::string damage_summary;
};

file_result result_of(const walk_outcome& outcome) { return {outcome.failure, outcome.damage_summary}; }

// Runs the chosen walk over one opened help file.
file_result walk_file(WCX_HANDLE archive, const cli_options& options, const std::string& file,
                      const console& con) {
    if (options.mode == cli_mode::list) {
        if (options.files.size() > 1) std::fprintf(con.out, "%s:\n", file.c_str());
        return result_of(list_entries(archive, con, options.salvage));
    }
    if (options.mode == cli_mode::test) {
        walk_outcome outcome = test_entries(archive, options.salvage);
        if (outcome.failure.empty())
            std::fprintf(con.out, "%s: OK, %d %s\n", file.c_str(), outcome.entries,
                         outcome.entries == 1 ? "file" : "files");
        return result_of(outcome);
    }
    fs::path folder = output_folder(options, file);
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        return {"cannot write the output: cannot create the folder " + utf8_from_path(folder), ""};
    }
    walk_outcome outcome = extract_entries(archive, folder, options.force, con, options.salvage);
    if (outcome.failure.empty()) {
        std::fprintf(con.out, "%s: %d %s written to %s", file.c_str(), outcome.written,
                     outcome.written == 1 ? "file" : "files", utf8_from_path(folder).c_str());
        if (outcome.kept > 0) std::fprintf(con.out, ", %d existing left alone", outcome.kept);
        std::fprintf(con.out, "\n");
    }
    return result_of(outcome);
}

file_result process_file(const cli_options& options, const std::string& file, const console& con) {
    fs::path path = path_from_utf8(file);
    switch (check_help_file(path)) {
        case help_file_status::cannot_open: return {"cannot open", ""};
        case help_file_status::not_help_file: return {"not a help file", ""};
        case help_file_status::ok: break;
    }
    // File managers hand over full paths; so does the tool.
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    if (ec) full = path;
    std::optional<std::u16string> wide = utf8_to_utf16(utf8_from_path(full));
    if (!wide) return {"cannot open (the file name is not valid UTF-8)", ""};
    if (wide->size() > max_wide_path) return {"cannot open (the path is too long)", ""};

    tOpenArchiveDataW request{};
    request.ArcName = wide->data();
    request.OpenMode = options.mode == cli_mode::list ? PK_OM_LIST : PK_OM_EXTRACT;
    WCX_HANDLE archive = nullptr;
    {
        // A listing or a test report may be piped: the decompiler's notes
        // must not mix into it.
        stdout_to_stderr notes(options.mode == cli_mode::list || options.mode == cli_mode::test);
        archive = OpenArchiveW(&request);
    }
    if (!archive) {
        // The decompiler's fatal messages may end without a line feed.
        if (con.shows_library_output) std::fputs("\n", con.err);
        return {open_failure(request.OpenResult, options.salvage), ""};
    }
    // Closed on every way out, exceptions included, as a host would.
    std::unique_ptr<void, int (*)(WCX_HANDLE)> closer(archive, [](WCX_HANDLE h) { return CloseArchive(h); });
    return walk_file(archive, options, file, con);
}

}  // namespace

std::string default_folder_name(const std::string& file) {
    std::string name = utf8_from_path(path_from_utf8(file).filename());
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + ".out";
    return name.substr(0, dot);
}

int run_cli(const cli_options& options, const console& con) {
    SetHlpunpackOptions((options.salvage ? HLPUNPACK_SALVAGE : 0) | (options.html ? HLPUNPACK_HTML : 0));
    bool failed = false, salvaged = false;
    for (const std::string& file : options.files) {
        file_result result;
        try {
            result = process_file(options, file, con);
        } catch (const std::exception& e) {
            result.failure = std::string("failed: ") + e.what();
        }
        std::fflush(stdout);
        std::fflush(con.out);
        if (!result.damage_summary.empty()) {
            std::fprintf(con.err, "hlpunpack: %s: salvaged with losses: %s\n", file.c_str(),
                         result.damage_summary.c_str());
            std::fflush(con.err);
            salvaged = true;
        }
        if (!result.failure.empty()) {
            std::fprintf(con.err, "hlpunpack: %s: %s\n", file.c_str(), result.failure.c_str());
            std::fflush(con.err);
            failed = true;
        }
    }
    return failed ? 1 : salvaged ? 3 : 0;
}

}  // namespace hlpcli
