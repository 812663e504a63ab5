// --report: one JSON object per help file, one per line (JSON Lines), for
// scripts that sort a large run's files by how they fared.
#ifndef HLPUNPACK_CLI_RUN_REPORT_H
#define HLPUNPACK_CLI_RUN_REPORT_H

#include <fstream>
#include <string>

#include "command_line.h"

namespace hlpcli {

struct file_result;
struct help_job;

struct report_file {
    std::ofstream out;
    bool active = false;  // a report was asked for and could be created
};

// Creates (or empties) the report file; false when it cannot be written.
bool open_report(report_file& report, const std::string& path);

// The file's line: path, status (ok, salvaged, failed) and reason, title,
// help-file version, topics, pictures, keywords, context ids, damage
// notes, bytes, seconds and the outputs written. Written at once, so that
// a run that is stopped keeps the lines of the files it finished.
void write_report_line(report_file& report, const help_job& job, const file_result& result,
                       const cli_options& options);

// Closes the report; false when a line could not be written.
bool close_report(report_file& report);

// The object's text, without a line end.
std::string report_line(const help_job& job, const file_result& result, const cli_options& options);

}  // namespace hlpcli

#endif
