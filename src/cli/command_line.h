// The tool's options and their parsing.
#ifndef HLPUNPACK_CLI_COMMAND_LINE_H
#define HLPUNPACK_CLI_COMMAND_LINE_H

#include <string>
#include <vector>

namespace hlpcli {

enum class cli_mode { extract, list, test, help, version };

struct cli_options {
    cli_mode mode = cli_mode::extract;
    std::string output_dir;  // -o; empty: a folder per file named after it
    bool force = false;      // -f: overwrite existing files
    bool quiet = false;      // -q: silence the decompiler's messages
    bool salvage = false;    // -s: recover what is intact from a damaged file
    bool html = false;       // --html: add the browsable HTML edition
    bool htmlhelp = false;   // --htmlhelp: and its HTML Help project (sets html)
    int jobs = 0;            // -j: files decompiled at once; 0 when not given
    std::string report;      // --report: JSON Lines file, one line per help file
    std::vector<std::string> files;  // UTF-8; help files and folders
};

struct parse_result {
    cli_options options;
    std::string error;  // empty on success
};

// `args` excludes the program name; all strings UTF-8.
parse_result parse_command_line(const std::vector<std::string>& args);

extern const char usage_text[];

}  // namespace hlpcli

#endif
