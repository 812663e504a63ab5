// The tool's own look at a file before the plug-in gets it, so that a
// failure can be told apart: unreadable, not a help file, or damaged.
#ifndef HLPUNPACK_CLI_HELP_FILE_CHECK_H
#define HLPUNPACK_CLI_HELP_FILE_CHECK_H

#include <filesystem>

namespace hlpcli {

enum class help_file_status { ok, cannot_open, not_help_file };

// ok when the file can be read, is at least 16 bytes long and starts with
// the help file magic number 0x00035F3F (little-endian).
help_file_status check_help_file(const std::filesystem::path& path);

}  // namespace hlpcli

#endif
