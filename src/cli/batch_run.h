// Many help files at once: the files of folders, or any files with -j.
// Worker threads take the files in order; each file's lines are written
// whole when it is done, with its report line, and a terminal shows a
// progress line under them. One summary line ends the run.
#ifndef HLPUNPACK_CLI_BATCH_RUN_H
#define HLPUNPACK_CLI_BATCH_RUN_H

#include <vector>

#include "command_line.h"
#include "console.h"

namespace hlpcli {

struct help_job;
struct report_file;

// The worst exit status of the files (1, then 3, then 0). The decompiler's
// own messages are shown only when files are done one at a time and no
// progress line is drawn: lines of files decompiled together would mix.
int run_batch(const cli_options& options, const std::vector<help_job>& jobs, const console& con,
              report_file& report);

}  // namespace hlpcli

#endif
