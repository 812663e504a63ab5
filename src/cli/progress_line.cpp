#include "progress_line.h"

namespace hlpcli {

namespace {

std::string megabytes(uint64_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

// m:ss, or h:mm:ss from an hour on.
std::string duration(double seconds) {
    const long whole = seconds < 0 ? 0 : static_cast<long>(seconds + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", whole / 60, whole % 60);
    return text;
}

}  // namespace

std::string progress_text(const run_counts& counts, double seconds) {
    std::string text = std::to_string(counts.files_done) + "/" + std::to_string(counts.files_total) + " files, " +
                       megabytes(counts.bytes_done) + "/" + megabytes(counts.bytes_total) + " MB";
    if (counts.bytes_done == 0 || seconds <= 0) return text;
    const double rate = static_cast<double>(counts.bytes_done) / seconds;
    char per_second[32];
    std::snprintf(per_second, sizeof per_second, "%.1f", rate / (1024.0 * 1024.0));
    text += std::string(", ") + per_second + " MB/s";
    if (counts.bytes_total >= counts.bytes_done)
        text += ", " + duration(static_cast<double>(counts.bytes_total - counts.bytes_done) / rate) + " left";
    return text;
}

std::string summary_text(const run_counts& counts, double seconds) {
    return std::to_string(counts.files_total) + (counts.files_total == 1 ? " file: " : " files: ") +
           std::to_string(counts.ok) + " ok, " + std::to_string(counts.salvaged) + " salvaged, " +
           std::to_string(counts.failed) + " failed; " + megabytes(counts.bytes_done) + " MB in " + duration(seconds);
}

void draw_progress(progress_line& line, const std::string& text) {
    if (line.stream == nullptr) return;
    const std::string shown = "hlpunpack: " + text;
    // Blanks cover what a longer line before left.
    const size_t pad = line.drawn > shown.size() ? line.drawn - shown.size() : 0;
    std::fprintf(line.stream, "\r%s%s", shown.c_str(), std::string(pad, ' ').c_str());
    if (pad > 0) std::fprintf(line.stream, "\r%s", shown.c_str());
    std::fflush(line.stream);
    line.drawn = shown.size();
}

void clear_progress(progress_line& line) {
    if (line.stream == nullptr || line.drawn == 0) return;
    std::fprintf(line.stream, "\r%s\r", std::string(line.drawn, ' ').c_str());
    std::fflush(line.stream);
    line.drawn = 0;
}

}  // namespace hlpcli
