#include "archive_walk.h"

#include <chrono>
#include <cctype>
#include <cinttypes>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>

#include "entry_names.h"
#include "entry_time.h"
#include "text_convert.h"

namespace hlpcli {

namespace {

// The plug-in's wide paths hold 1023 code units and a terminator.
constexpr size_t max_wide_path = 1023;

struct entry_info {
    std::string name;  // UTF-8, as the help file names it
    uint64_t size = 0;
    int file_time = 0;
};

// 0 with `entry` filled, or ReadHeaderExW's own code (10 past the last).
int read_entry(WCX_HANDLE archive, entry_info& entry) {
    // Hosts hand over a zeroed record; keep it off the stack, it is 5 KiB.
    auto header = std::make_unique<tHeaderDataExW>();
    std::memset(header.get(), 0, sizeof(tHeaderDataExW));
    int result = ReadHeaderExW(archive, header.get());
    if (result != E_SUCCESS) return result;
    const WCX_WCHAR* name = header->FileName;
    size_t length = 0;
    while (length < 1024 && name[length] != 0) ++length;
    entry.name = utf16_to_utf8(std::u16string_view(name, length));
    entry.size = header->UnpSize | static_cast<uint64_t>(header->UnpSizeHigh) << 32;
    entry.file_time = header->FileTime;
    return E_SUCCESS;
}

int skip_entry(WCX_HANDLE archive) {
    WCX_WCHAR empty_name[1] = {0};
    return ProcessFileW(archive, PK_SKIP, nullptr, empty_name);
}

std::string end_failure(int result) {
    if (result == E_END_ARCHIVE) return "";
    return "damaged help file (error " + std::to_string(result) + " while listing)";
}

// Deals with a target that is already there. Returns true when the entry
// may be written; otherwise `why` says why not (empty: kept on purpose).
bool clear_target(const std::filesystem::path& target, bool force, std::string& why) {
    std::error_code ec;
    auto status = std::filesystem::symlink_status(target, ec);
    if (ec || !std::filesystem::exists(status)) return true;
    if (!force) return false;
    if (std::filesystem::is_symlink(status)) {
        // Writing through a link could land outside the folder.
        if (std::filesystem::remove(target, ec) && !ec) return true;
        why = "cannot replace the link " + utf8_from_path(target);
        return false;
    }
    if (std::filesystem::is_regular_file(status)) return true;
    why = utf8_from_path(target) + " is not a regular file";
    return false;
}

constexpr char damage_suffix[] = "-damage.txt";

bool ends_with_folded(const std::string& name, std::string_view suffix) {
    if (name.size() <= suffix.size()) return false;
    for (size_t i = 0; i < suffix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - suffix.size() + i])) != suffix[i]) return false;
    return true;
}

bool is_damage_report(const std::string& name) {
    const size_t n = sizeof damage_suffix - 1;
    return name.size() > n && name.compare(name.size() - n, n, damage_suffix) == 0;
}

bool is_project_file(const std::string& name) {
    return name.find('\\') == std::string::npos && (ends_with_folded(name, ".hpj") || ends_with_folded(name, ".mvp"));
}

// bmN.bmp, .wmf, .shg or .mrb: the pictures of the sources.
bool is_picture(const std::string& name) {
    size_t digits = 2;
    while (digits < name.size() && std::isdigit(static_cast<unsigned char>(name[digits]))) ++digits;
    if (name.compare(0, 2, "bm") != 0 || digits == 2 || name.size() != digits + 4) return false;
    const std::string extension = name.substr(digits);
    return extension == ".bmp" || extension == ".wmf" || extension == ".shg" || extension == ".mrb";
}

// The last non-empty line of a text, without its line end.
std::string last_line(const std::string& text) {
    std::string last;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        while (stop > start && text[stop - 1] == '\r') --stop;
        if (stop > start) last = text.substr(start, stop - start);
        start = end + 1;
    }
    return last;
}

std::string read_text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Extracts the entry at the walk's position into a temporary file and
// returns its bytes; the entry is consumed either way.
std::string text_from_entry(WCX_HANDLE archive) {
    std::error_code ec;
    std::filesystem::path folder = std::filesystem::temp_directory_path(ec);
    if (ec) {
        skip_entry(archive);
        return "";
    }
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    std::filesystem::path temporary =
        folder / ("hlpunpack-" + std::to_string(stamp) + "-" + std::to_string(reinterpret_cast<uintptr_t>(archive)) +
                  damage_suffix);
    std::optional<std::u16string> wide = utf8_to_utf16(utf8_from_path(temporary));
    if (!wide || wide->size() > max_wide_path) {
        skip_entry(archive);
        return "";
    }
    std::string text;
    if (ProcessFileW(archive, PK_EXTRACT, nullptr, wide->data()) == E_SUCCESS) text = read_text(temporary);
    std::filesystem::remove(temporary, ec);
    return text;
}

// What the walk keeps of an entry's text: the damage report whole, with
// its summary; the project file for the report.
void keep_text(walk_outcome& outcome, const std::string& name, std::string text) {
    if (is_damage_report(name)) {
        outcome.damage_summary = last_line(text);
        outcome.damage_text = std::move(text);
    } else {
        outcome.project_text = std::move(text);
    }
}

// The entries whose text the walk reads: the damage report with salvage,
// and with details the project file.
bool wanted_text(const std::string& name, bool salvage, bool details) {
    return (salvage && is_damage_report(name)) || (details && is_project_file(name));
}

// The HTML edition's folder: created when missing, refused when it is a
// link (writing through it could land outside the output folder).
bool make_subfolder(const std::filesystem::path& sub, std::string& why) {
    std::error_code ec;
    auto status = std::filesystem::symlink_status(sub, ec);
    if (!ec && std::filesystem::is_symlink(status)) {
        why = utf8_from_path(sub) + " is a link";
        return false;
    }
    if (!ec && std::filesystem::is_directory(status)) return true;
    std::filesystem::create_directory(sub, ec);
    if (ec || !std::filesystem::is_directory(std::filesystem::symlink_status(sub, ec))) {
        why = "cannot create the folder " + utf8_from_path(sub);
        return false;
    }
    return true;
}

}  // namespace

walk_outcome list_entries(WCX_HANDLE archive, const console& con, bool salvage, bool details) {
    walk_outcome outcome;
    used_names used;
    uint64_t total = 0;
    entry_info entry;
    print_out(con, "%12s  %-16s  %s\n", "Size", "Modified", "Name");
    int result;
    while ((result = read_entry(archive, entry)) == E_SUCCESS) {
        // The name shown is the one extraction would write: raw names may
        // hold control characters meant for the terminal.
        std::string shown = claim_unique_name(used, entry_path(entry.name));
        print_out(con, "%12" PRIu64 "  %s  %s\n", entry.size, format_entry_time(entry.file_time).c_str(),
                  shown.c_str());
        total += entry.size;
        ++outcome.entries;
        if (is_picture(entry.name)) ++outcome.pictures;
        if (wanted_text(entry.name, salvage, details)) {
            keep_text(outcome, entry.name, text_from_entry(archive));
        } else {
            skip_entry(archive);
        }
    }
    print_out(con, "%12" PRIu64 "  %-16s  %d %s\n", total, "", outcome.entries,
              outcome.entries == 1 ? "file" : "files");
    outcome.failure = end_failure(result);
    return outcome;
}

walk_outcome test_entries(WCX_HANDLE archive, bool salvage, bool details) {
    walk_outcome outcome;
    entry_info entry;
    int result;
    while ((result = read_entry(archive, entry)) == E_SUCCESS) {
        ++outcome.entries;
        if (is_picture(entry.name)) ++outcome.pictures;
        if (wanted_text(entry.name, salvage, details)) {
            keep_text(outcome, entry.name, text_from_entry(archive));
            continue;
        }
        WCX_WCHAR empty_name[1] = {0};
        int tested = ProcessFileW(archive, PK_TEST, nullptr, empty_name);
        if (tested != E_SUCCESS && outcome.failure.empty())
            outcome.failure = "damaged help file (error " + std::to_string(tested) + " testing " +
                              flatten_entry_name(entry.name) + ")";
    }
    if (outcome.failure.empty()) outcome.failure = end_failure(result);
    return outcome;
}

namespace {

// Writes the entry at the walk's position to `target`, or says why not.
std::string write_entry(WCX_HANDLE archive, const std::filesystem::path& target) {
    // File managers name the target by its full path; so does the tool.
    std::error_code ec;
    std::filesystem::path full = std::filesystem::absolute(target, ec);
    std::optional<std::u16string> wide = utf8_to_utf16(utf8_from_path(ec ? target : full));
    if (!wide || wide->size() > max_wide_path) {
        skip_entry(archive);
        return utf8_from_path(target) + " (path too long)";
    }
    int written = ProcessFileW(archive, PK_EXTRACT, nullptr, wide->data());
    if (written == E_SUCCESS) return "";
    if (written == E_ECREATE) return "cannot create " + utf8_from_path(target);
    if (written == E_EWRITE) return "cannot write " + utf8_from_path(target);
    return utf8_from_path(target) + " (error " + std::to_string(written) + ")";
}

}  // namespace

walk_outcome extract_entries(WCX_HANDLE archive, const std::filesystem::path& folder, bool force,
                             const console& con, bool salvage, bool details) {
    walk_outcome outcome;
    used_names used;
    entry_info entry;
    int failures = 0;
    auto fail = [&](const std::string& why) {
        if (failures++ == 0) outcome.failure = "cannot write the output: " + why;
    };
    int result;
    while ((result = read_entry(archive, entry)) == E_SUCCESS) {
        ++outcome.entries;
        if (is_picture(entry.name)) ++outcome.pictures;
        const std::string relative = claim_unique_name(used, entry_path(entry.name));
        std::filesystem::path target = folder / path_from_utf8(relative);
        const bool wanted = wanted_text(entry.name, salvage, details);
        std::string why;
        if (relative.find('/') != std::string::npos && !make_subfolder(target.parent_path(), why)) {
            fail(why);
            skip_entry(archive);
            continue;
        }
        if (!clear_target(target, force, why)) {
            if (why.empty()) {
                ++outcome.kept;
                print_err(con, "hlpunpack: %s already exists, left alone (use -f to overwrite)\n",
                          utf8_from_path(target).c_str());
            } else {
                fail(why);
            }
            // The text comes from this decompile, not from the file kept.
            if (wanted) {
                keep_text(outcome, entry.name, text_from_entry(archive));
            } else {
                skip_entry(archive);
            }
            continue;
        }
        why = write_entry(archive, target);
        if (!why.empty()) {
            fail(why);
            continue;
        }
        ++outcome.written;
        if (wanted) keep_text(outcome, entry.name, read_text(target));
    }
    if (failures > 1) outcome.failure += " and " + std::to_string(failures - 1) + " more";
    if (outcome.failure.empty()) outcome.failure = end_failure(result);
    return outcome;
}

}  // namespace hlpcli
