#include "help_jobs.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "cli_run.h"
#include "text_convert.h"

namespace fs = std::filesystem;

namespace hlpcli {

namespace {

std::string folded(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

bool is_help_file_name(const fs::path& path) {
    const std::string extension = folded(utf8_from_path(path.extension()));
    return extension == ".hlp" || extension == ".mvb";
}

uint64_t size_of(const fs::path& path) {
    std::error_code ec;
    uintmax_t size = fs::file_size(path, ec);
    return ec ? 0 : static_cast<uint64_t>(size);
}

// The folder's own name, also for "." and names that end in a separator.
std::string folder_name(const fs::path& folder) {
    std::error_code ec;
    fs::path full = fs::absolute(folder, ec).lexically_normal();
    if (!full.has_filename()) full = full.parent_path();
    std::string name = utf8_from_path(full.filename());
    return name.empty() ? "hlpunpack" : name;
}

// The output folder of an argument: -o itself for a lone argument, else a
// folder in it (or in the current directory) named after the argument.
fs::path output_root(const cli_options& options, const std::string& argument, bool folder) {
    const std::string own = folder ? folder_name(path_from_utf8(argument)) + ".out" : default_folder_name(argument);
    if (options.output_dir.empty()) return path_from_utf8(own);
    fs::path chosen = path_from_utf8(options.output_dir);
    if (options.files.size() == 1) return chosen;
    return chosen / path_from_utf8(folder ? folder_name(path_from_utf8(argument)) : own);
}

// NAME.cnt, in any letter case, among the folder's files (folded name to
// real path).
std::string contents_beside(const fs::path& file, const std::map<std::string, fs::path>& files) {
    fs::path wanted = file;
    wanted.replace_extension(".cnt");
    auto found = files.find(folded(utf8_from_path(wanted)));
    return found == files.end() ? "" : utf8_from_path(found->second);
}

bool same_folder(const fs::path& a, const fs::path& b) {
    std::error_code ec;
    return fs::equivalent(a, b, ec) && !ec;
}

// Every regular file in `folder` and below, without following links to
// folders (they could loop) and without entering `skip`; folders that
// cannot be read are added to `unreadable`.
void files_below(const fs::path& folder, const fs::path& skip, std::vector<fs::path>& files,
                 std::vector<fs::path>& unreadable) {
    std::error_code ec;
    fs::directory_iterator it(folder, ec), end;
    if (ec) {
        unreadable.push_back(folder);
        return;
    }
    for (; it != end; it.increment(ec)) {
        std::error_code kind;
        if (it->is_directory(kind) && !it->is_symlink(kind)) {
            if (!same_folder(it->path(), skip)) files_below(it->path(), skip, files, unreadable);
        } else if (it->is_regular_file(kind)) {
            files.push_back(it->path());
        }
    }
    if (ec) unreadable.push_back(folder);
}

// The folder's files by their names folded to small letters.
std::map<std::string, fs::path> files_by_folded_name(const std::vector<fs::path>& files) {
    std::map<std::string, fs::path> named;
    for (const fs::path& file : files) named[folded(utf8_from_path(file))] = file;
    return named;
}

void add_folder_jobs(const cli_options& options, const std::string& argument, std::vector<help_job>& jobs) {
    const fs::path folder = path_from_utf8(argument);
    const fs::path root = output_root(options, argument, true);
    std::vector<fs::path> files, unreadable;
    files_below(folder, root, files, unreadable);
    std::sort(files.begin(), files.end());
    const std::map<std::string, fs::path> by_folded_name = files_by_folded_name(files);
    size_t found = 0;
    for (const fs::path& file : files) {
        if (!is_help_file_name(file)) continue;
        ++found;
        // Two files of one folder (a.hlp and a.mvb) share this name until
        // separate_output_folders sets them apart.
        const fs::path subfolder = file.lexically_relative(folder).parent_path();
        const fs::path output = root / subfolder / path_from_utf8(default_folder_name(utf8_from_path(file.filename())));
        jobs.push_back({utf8_from_path(file), file, output, contents_beside(file, by_folded_name), size_of(file), ""});
    }
    for (const fs::path& bad : unreadable)
        jobs.push_back({utf8_from_path(bad), bad, {}, "", 0, "cannot read the folder"});
    if (found == 0 && unreadable.empty()) jobs.push_back({argument, folder, {}, "", 0, "no help file in this folder"});
}

}  // namespace

void separate_output_folders(std::vector<help_job>& jobs) {
    std::set<std::string> used;
    for (help_job& job : jobs) {
        if (!job.failure.empty()) continue;
        const fs::path wanted = job.output_folder;
        for (int n = 2; !used.insert(folded(utf8_from_path(job.output_folder.lexically_normal()))).second; ++n)
            job.output_folder = wanted.parent_path() / path_from_utf8(utf8_from_path(wanted.filename()) + "~" +
                                                                      std::to_string(n));
    }
}

bool names_a_folder(const cli_options& options) {
    std::error_code ec;
    return std::any_of(options.files.begin(), options.files.end(),
                       [&](const std::string& f) { return fs::is_directory(path_from_utf8(f), ec); });
}

std::vector<help_job> find_help_jobs(const cli_options& options) {
    std::vector<help_job> jobs;
    for (const std::string& argument : options.files) {
        const fs::path path = path_from_utf8(argument);
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            add_folder_jobs(options, argument, jobs);
            continue;
        }
        // The folder beside it is listed for NAME.cnt, in any letter case.
        std::vector<fs::path> siblings;
        fs::path parent = path.has_parent_path() ? path.parent_path() : fs::path(".");
        for (fs::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec))
            siblings.push_back(path.parent_path() / it->path().filename());
        const std::map<std::string, fs::path> beside = files_by_folded_name(siblings);
        jobs.push_back({argument, path, output_root(options, argument, false), contents_beside(path, beside),
                        size_of(path), ""});
    }
    return jobs;
}

}  // namespace hlpcli
