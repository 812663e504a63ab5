// The help files a run works on: the files named on the command line, and
// those found in the folders named there, each with its output folder.
#ifndef HLPUNPACK_CLI_HELP_JOBS_H
#define HLPUNPACK_CLI_HELP_JOBS_H

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "command_line.h"

namespace hlpcli {

struct help_job {
    std::string name;                     // as messages show it (UTF-8)
    std::filesystem::path path;
    std::filesystem::path output_folder;  // where extraction writes
    std::string contents_file;            // NAME.cnt beside it (UTF-8), empty when none
    uint64_t bytes = 0;                   // size of the help file
    // Set for a folder that gave no help file: the job fails with it and
    // nothing is opened.
    std::string failure;
};

// True when an argument names a folder.
bool names_a_folder(const cli_options& options);

// The jobs in command-line order; a folder's help files (.hlp, .mvb in any
// letter case, found in it and its subfolders, links to folders not
// followed) sorted by path. Each goes to its own folder under the output
// folder, in the tree of its folder; the output folder itself is not
// searched when it lies inside.
std::vector<help_job> find_help_jobs(const cli_options& options);

// Gives jobs that would share an output folder (a.hlp from two folders
// with -o, or two folders of the same name) folders of their own, by "~2",
// "~3", ... after the later one's name: files worked on at the same time
// must not write into one folder.
void separate_output_folders(std::vector<help_job>& jobs);

}  // namespace hlpcli

#endif
