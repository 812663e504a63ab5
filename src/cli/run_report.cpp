#include "run_report.h"

#include <nlohmann/json.hpp>

#include "cli_run.h"
#include "help_jobs.h"
#include "platform/code_page.h"
#include "platform/unicode.h"
#include "text_convert.h"

namespace hlpcli {

namespace {

// Keys in the order the report describes them.
using json = nlohmann::ordered_json;

bool valid_utf8(const std::string& text) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
    for (size_t at = 0; at < text.size();) {
        uint32_t code = 0;
        int length = platform::utf8_sequence(bytes + at, text.size() - at, &code);
        if (length == 0) return false;
        at += static_cast<size_t>(length);
    }
    return true;
}

// The project file is written in the help file's code page.
std::string to_utf8(const std::string& text, int code_page) {
    if (valid_utf8(text)) return text;
    platform::CodePageConverter* converter = platform::code_page_open(code_page);
    std::string converted;
    platform::code_page_append(converter, text.data(), text.size(), converted);
    platform::code_page_close(converter);
    return converted;
}

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        size_t stop = end;
        while (stop > start && text[stop - 1] == '\r') --stop;
        if (stop > start) lines.push_back(text.substr(start, stop - start));
        start = end + 1;
    }
    return lines;
}

// TITLE= of the project file's options; null when there is none.
json title_of(const std::string& project, int code_page) {
    for (const std::string& line : lines_of(project))
        if (line.rfind("TITLE=", 0) == 0) return to_utf8(line.substr(6), code_page);
    return nullptr;
}

std::string version_of(const tHlpunpackFacts& facts) {
    if (facts.MediaView || facts.SystemMinor == 27) return "MediaView";
    if (facts.SystemMinor < 16) return "WinHelp 3.0";
    if (facts.SystemMinor <= 21) return "WinHelp 3.1";
    return "WinHelp 4.0";
}

const char* status_name(const file_result& result) {
    switch (status_of(result)) {
        case 1: return "failed";
        case 3: return "salvaged";
        default: return "ok";
    }
}

// The damage report's loss lines: between its heading ("Damage found while
// salvaging NAME") and its summary, which is the reason.
json damage_notes(const file_result& result, int code_page) {
    std::vector<std::string> lines = lines_of(result.walk.damage_text);
    if (!lines.empty()) lines.pop_back();
    if (!lines.empty() && lines.front().rfind("Damage found while salvaging", 0) == 0) lines.erase(lines.begin());
    json notes = json::array();
    for (const std::string& line : lines) notes.push_back(to_utf8(line, code_page));
    return notes;
}

json outputs_of(const help_job& job, const file_result& result, const cli_options& options) {
    if (options.mode != cli_mode::extract || result.walk.entries == 0) return nullptr;
    return json{{"folder", utf8_from_path(job.output_folder)},
                {"written", result.walk.written},
                {"kept", result.walk.kept}};
}

}  // namespace

bool open_report(report_file& report, const std::string& path) {
    report.out.open(path_from_utf8(path), std::ios::binary | std::ios::trunc);
    report.active = report.out.is_open();
    return report.active;
}

std::string report_line(const help_job& job, const file_result& result, const cli_options& options) {
    const bool opened = result.has_facts;
    const int code_page = opened ? result.facts.CodePage : 1252;
    json line = {{"path", job.name}, {"status", status_name(result)}};
    line["reason"] = !result.failure.empty()                 ? json(result.failure)
                     : !result.walk.damage_summary.empty() ? json(result.walk.damage_summary)
                                                            : json(nullptr);
    line["title"] = opened ? title_of(result.walk.project_text, code_page) : json(nullptr);
    line["version"] = opened ? json(version_of(result.facts)) : json(nullptr);
    line["topics"] = opened ? json(result.facts.Topics) : json(nullptr);
    line["pictures"] = opened ? json(result.walk.pictures) : json(nullptr);
    line["keywords"] = opened ? json(result.facts.Keywords) : json(nullptr);
    line["context_ids"] = opened ? json(result.facts.ContextIds) : json(nullptr);
    line["damage"] = damage_notes(result, code_page);
    line["bytes"] = job.bytes;
    line["seconds"] = static_cast<double>(static_cast<int64_t>(result.seconds * 1000 + 0.5)) / 1000;
    line["outputs"] = outputs_of(job, result, options);
    line["contents_file"] = job.contents_file.empty() ? json(nullptr) : json(job.contents_file);
    // Paths are bytes on some systems; a name that is not UTF-8 must not
    // end the run.
    return line.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool close_report(report_file& report) {
    if (!report.active) return true;
    report.out.close();
    report.active = false;
    return !report.out.fail();
}

void write_report_line(report_file& report, const help_job& job, const file_result& result,
                       const cli_options& options) {
    if (!report.active) return;
    report.out << report_line(job, result, options) << '\n';
    report.out.flush();
}

}  // namespace hlpcli
