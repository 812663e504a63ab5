// The tool's work: each help file named on the command line is opened
// through the plug-in exports and listed, tested or extracted.
#ifndef HLPUNPACK_CLI_CLI_RUN_H
#define HLPUNPACK_CLI_CLI_RUN_H

#include <string>

#include "command_line.h"
#include "console.h"

namespace hlpcli {

// Exit status: 0 when every file succeeded, 1 otherwise. Each failed file
// gets one line on `con.err`; the other files are still processed.
int run_cli(const cli_options& options, const console& con);

// The folder a help file is extracted to when no -o is given: its name
// without directory and last extension ("manual" for dir/manual.hlp), or
// the name followed by ".out" when nothing would be left or there is no
// extension (the folder would clash with the file itself).
std::string default_folder_name(const std::string& file);

}  // namespace hlpcli

#endif
