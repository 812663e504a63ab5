// Where the tool's own messages go. The decompiler prints progress lines,
// warnings and notes on the process's standard streams; with -q those are
// pointed at the null device while the tool keeps copies of the original
// streams for its own output, so its failure lines still show.
#ifndef HLPUNPACK_CLI_CONSOLE_H
#define HLPUNPACK_CLI_CONSOLE_H

#include <cstdio>

namespace hlpcli {

struct console {
    FILE* out = stdout;
    FILE* err = stderr;
    // False once the decompiler's own messages go to the null device.
    bool shows_library_output = true;
};

// Silences descriptors 1 and 2 for the rest of the run and returns the
// streams that still reach the user. Falls back to the plain standard
// streams (nothing silenced) if the descriptors cannot be duplicated.
console silence_library_output();

}  // namespace hlpcli

#endif
