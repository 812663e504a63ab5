#include "cli_run.h"

#include <chrono>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>

#include <hlpunpack/wcx.h>

#include "archive_walk.h"
#include "batch_run.h"
#include "console.h"
#include "help_file_check.h"
#include "help_jobs.h"
#include "run_report.h"
#include "text_convert.h"

namespace fs = std::filesystem;

namespace hlpcli {

namespace {

constexpr size_t max_wide_path = 1023;

std::string open_failure(int open_result, bool salvage) {
    switch (open_result) {
        case E_EOPEN: return salvage ? "damaged help file" : "damaged help file (--salvage recovers what is intact)";
        case E_NO_MEMORY: return "cannot open (out of memory)";
        case E_SMALL_BUF: return "cannot open (output too large)";
        default: return "cannot open (error " + std::to_string(open_result) + ")";
    }
}

file_result result_of(const walk_outcome& outcome) { return {outcome.failure, outcome, false, {}, 0}; }

// Runs the chosen walk over one opened help file.
file_result walk_file(WCX_HANDLE archive, const cli_options& options, const help_job& job, const console& con,
                      bool details, bool several) {
    const char* file = job.name.c_str();
    if (options.mode == cli_mode::list) {
        if (several) print_out(con, "%s:\n", file);
        return result_of(list_entries(archive, con, options.salvage, details));
    }
    if (options.mode == cli_mode::test) {
        walk_outcome outcome = test_entries(archive, options.salvage, details);
        if (outcome.failure.empty())
            print_out(con, "%s: OK, %d %s\n", file, outcome.entries, outcome.entries == 1 ? "file" : "files");
        return result_of(outcome);
    }
    const fs::path& folder = job.output_folder;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (!fs::is_directory(folder, ec)) {
        return {"cannot write the output: cannot create the folder " + utf8_from_path(folder), {}, false, {}, 0};
    }
    walk_outcome outcome = extract_entries(archive, folder, options.force, con, options.salvage, details);
    if (outcome.failure.empty()) {
        print_out(con, "%s: %d %s written to %s%s\n", file, outcome.written, outcome.written == 1 ? "file" : "files",
                  utf8_from_path(folder).c_str(),
                  outcome.kept > 0 ? (", " + std::to_string(outcome.kept) + " existing left alone").c_str() : "");
    }
    return result_of(outcome);
}

file_result failed(const std::string& why) { return {why, {}, false, {}, 0}; }

file_result process_file(const cli_options& options, const help_job& job, const console& con, bool details,
                         bool several) {
    const fs::path& path = job.path;
    switch (check_help_file(path)) {
        case help_file_status::cannot_open: return failed("cannot open");
        case help_file_status::not_help_file: return failed("not a help file");
        case help_file_status::ok: break;
    }
    // File managers hand over full paths; so does the tool.
    std::error_code ec;
    fs::path full = fs::absolute(path, ec);
    if (ec) full = path;
    std::optional<std::u16string> wide = utf8_to_utf16(utf8_from_path(full));
    if (!wide) return failed("cannot open (the file name is not valid UTF-8)");
    if (wide->size() > max_wide_path) return failed("cannot open (the path is too long)");

    tOpenArchiveDataW request{};
    request.ArcName = wide->data();
    request.OpenMode = options.mode == cli_mode::list ? PK_OM_LIST : PK_OM_EXTRACT;
    WCX_HANDLE archive = nullptr;
    {
        // A listing or a test report may be piped: the decompiler's notes
        // must not mix into it. (Silenced, they go nowhere anyway.)
        stdout_to_stderr notes((options.mode == cli_mode::list || options.mode == cli_mode::test) &&
                               con.shows_library_output);
        archive = OpenArchiveW(&request);
    }
    if (!archive) {
        // The decompiler's fatal messages may end without a line feed.
        if (con.shows_library_output) std::fputs("\n", con.err);
        return failed(open_failure(request.OpenResult, options.salvage));
    }
    // Closed on every way out, exceptions included, as a host would.
    std::unique_ptr<void, int (*)(WCX_HANDLE)> closer(archive, [](WCX_HANDLE h) { return CloseArchive(h); });
    file_result result = walk_file(archive, options, job, con, details, several);
    if (details) result.has_facts = GetHlpunpackFacts(archive, &result.facts) == E_SUCCESS;
    return result;
}

}  // namespace

std::string default_folder_name(const std::string& file) {
    std::string name = utf8_from_path(path_from_utf8(file).filename());
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return name + ".out";
    return name.substr(0, dot);
}

file_result run_job(const cli_options& options, const help_job& job, const console& con, bool details,
                    bool several) {
    const auto start = std::chrono::steady_clock::now();
    file_result result;
    if (!job.failure.empty()) {
        result.failure = job.failure;
    } else {
        try {
            result = process_file(options, job, con, details, several);
        } catch (const std::exception& e) {
            result = failed(std::string("failed: ") + e.what());
        }
    }
    result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return result;
}

void tell_result(const console& con, const std::string& name, const file_result& result) {
    if (!result.walk.damage_summary.empty()) {
        print_err(con, "hlpunpack: %s: salvaged with losses: %s\n", name.c_str(), result.walk.damage_summary.c_str());
        std::fflush(con.err);
    }
    if (!result.failure.empty()) {
        print_err(con, "hlpunpack: %s: %s\n", name.c_str(), result.failure.c_str());
        std::fflush(con.err);
    }
}

int status_of(const file_result& result) {
    if (!result.failure.empty()) return 1;
    return result.walk.damage_summary.empty() ? 0 : 3;
}

int worse_status(int a, int b) {
    if (a == 1 || b == 1) return 1;
    return a == 3 || b == 3 ? 3 : 0;
}

int run_cli(const cli_options& options, const console& con) {
    const bool batch = options.jobs > 0 || names_a_folder(options);
    SetHlpunpackOptions((options.salvage ? HLPUNPACK_SALVAGE : 0) | (options.html ? HLPUNPACK_HTML : 0) |
                        (options.htmlhelp ? HLPUNPACK_HTMLHELP : 0) | (batch ? HLPUNPACK_NO_CACHE : 0));
    std::vector<help_job> jobs = find_help_jobs(options);
    if (batch) separate_output_folders(jobs);
    report_file report;
    if (!options.report.empty() && !open_report(report, options.report)) {
        print_err(con, "hlpunpack: cannot write the report %s\n", options.report.c_str());
        return 1;
    }
    int status = 0;
    if (batch) {
        status = run_batch(options, jobs, con, report);
    } else {
        for (const help_job& job : jobs) {
            file_result result = run_job(options, job, con, report.active, jobs.size() > 1);
            std::fflush(stdout);
            std::fflush(con.out);
            tell_result(con, job.name, result);
            write_report_line(report, job, result, options);
            status = worse_status(status, status_of(result));
        }
    }
    // A report cut short by a full disk must not pass for a whole one.
    if (!close_report(report)) {
        print_err(con, "hlpunpack: cannot write the report %s\n", options.report.c_str());
        status = 1;
    }
    return status;
}

}  // namespace hlpcli
