// The line that shows, on a terminal, how far a run over many files is.
// It is drawn with a carriage return and blanks only (no escape
// sequences), so it works in every terminal and console window.
#ifndef HLPUNPACK_CLI_PROGRESS_LINE_H
#define HLPUNPACK_CLI_PROGRESS_LINE_H

#include <cstdint>
#include <cstdio>
#include <string>

namespace hlpcli {

struct run_counts {
    int files_done = 0;
    int files_total = 0;
    uint64_t bytes_done = 0;
    uint64_t bytes_total = 0;
    int ok = 0;
    int salvaged = 0;
    int failed = 0;
};

// "12/40 files, 23.5/81.0 MB, 2.1 MB/s, 0:27 left"; rate and time left
// once there is something to measure them by.
std::string progress_text(const run_counts& counts, double seconds);

// "40 files: 37 ok, 1 salvaged, 2 failed; 81.0 MB in 0:38"
std::string summary_text(const run_counts& counts, double seconds);

// The line on `stream`: drawn over itself, and cleared before other lines
// are written so that they do not run into it.
struct progress_line {
    FILE* stream = nullptr;  // null: nothing is drawn
    size_t drawn = 0;        // characters on the screen now
};

void draw_progress(progress_line& line, const std::string& text);
void clear_progress(progress_line& line);

}  // namespace hlpcli

#endif
