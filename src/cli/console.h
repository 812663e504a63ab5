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

// Points descriptor 1 at descriptor 2 until the guard ends, so that what
// the decompiler prints on standard output (its notes about the help
// compiler) goes to standard error instead; the tool's own output is
// written after the guard ends. Leaves things as they are if descriptor 1
// cannot be duplicated.
class stdout_to_stderr {
public:
    explicit stdout_to_stderr(bool active);
    ~stdout_to_stderr();
    stdout_to_stderr(const stdout_to_stderr&) = delete;
    stdout_to_stderr& operator=(const stdout_to_stderr&) = delete;

private:
    int saved_ = -1;
};

}  // namespace hlpcli

#endif
