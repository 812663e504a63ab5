// The date of an entry as the plug-in reports it in FileTime: a DOS
// date/time on Windows, Unix seconds elsewhere (what the file managers of
// each platform expect).
#ifndef HLPUNPACK_CLI_ENTRY_TIME_H
#define HLPUNPACK_CLI_ENTRY_TIME_H

#include <string>

namespace hlpcli {

// "YYYY-MM-DD HH:MM" in local time, or "-" padded to the same width when
// the plug-in could not tell (FileTime 0).
std::string format_entry_time(int file_time);

}  // namespace hlpcli

#endif
