// The tool's work: each help file named on the command line (or found in a
// folder named there) is opened through the plug-in exports and listed,
// tested or extracted.
#ifndef HLPUNPACK_CLI_CLI_RUN_H
#define HLPUNPACK_CLI_CLI_RUN_H

#include <string>

#include <hlpunpack/wcx.h>

#include "archive_walk.h"
#include "command_line.h"
#include "console.h"

namespace hlpcli {

struct help_job;

// What became of one help file: the failure reason (empty on success), the
// walk's findings (a salvaged file's damage summary among them) and, when
// asked for, the decompile's figures.
struct file_result {
    std::string failure;
    walk_outcome walk;
    bool has_facts = false;
    tHlpunpackFacts facts{};
    double seconds = 0;
};

// Exit status: 0 when every file succeeded, 1 when one failed, 3 when one
// was salvaged with losses and none failed. Each failed file gets one line
// on `con.err`; the other files are still processed.
int run_cli(const cli_options& options, const console& con);

// One help file from start to end, exceptions included. With `details`,
// the project file's text and the figures are kept for the report; with
// `several`, a listing is headed by the file's name.
file_result run_job(const cli_options& options, const help_job& job, const console& con, bool details,
                    bool several);
// The file's lines after its work: salvaged with losses, or failed.
void tell_result(const console& con, const std::string& name, const file_result& result);
// 1, 3 or 0 for one file; the run's status is the worst (1, then 3).
int status_of(const file_result& result);
int worse_status(int a, int b);

// The folder a help file is extracted to when no -o is given: its name
// without directory and last extension ("manual" for dir/manual.hlp), or
// the name followed by ".out" when nothing would be left or there is no
// extension (the folder would clash with the file itself).
std::string default_folder_name(const std::string& file);

}  // namespace hlpcli

#endif
