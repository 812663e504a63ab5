// Where the tool's own messages go. The decompiler prints progress lines,
// warnings and notes on the process's standard streams; with -q those are
// pointed at the null device while the tool keeps copies of the original
// streams for its own output, so its failure lines still show.
#ifndef HLPUNPACK_CLI_CONSOLE_H
#define HLPUNPACK_CLI_CONSOLE_H

#include <cstdio>
#include <string>
#include <vector>

namespace hlpcli {

// The tool's lines of one help file, kept while other files are worked on
// at the same time and written out whole when it is done.
struct captured_text {
    struct piece {
        bool to_err;
        std::string text;
    };
    std::vector<piece> pieces;
};

struct console {
    FILE* out = stdout;
    FILE* err = stderr;
    // False once the decompiler's own messages go to the null device.
    bool shows_library_output = true;
    captured_text* capture = nullptr;  // when set, the tool's lines go here
};

#if defined(__MINGW32__)
#define HLP_PRINTF_FORMAT __MINGW_PRINTF_FORMAT
#else
#define HLP_PRINTF_FORMAT printf
#endif

// printf onto the console's standard output or standard error (or into its
// capture).
void print_out(const console& con, const char* format, ...) __attribute__((format(HLP_PRINTF_FORMAT, 2, 3)));
void print_err(const console& con, const char* format, ...) __attribute__((format(HLP_PRINTF_FORMAT, 2, 3)));
// Writes captured lines onto `out` and `err` in their order.
void replay(const captured_text& text, FILE* out, FILE* err);

// True when the stream is a terminal (a console window on Windows).
bool is_terminal(FILE* stream);

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
