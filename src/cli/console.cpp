#include "console.h"

#include <fcntl.h>

#include <cstdarg>

#ifdef _WIN32
#include <io.h>
#define hlp_dup _dup
#define hlp_dup2 _dup2
#define hlp_close _close
#define hlp_open _open
#define hlp_fdopen _fdopen
#define hlp_isatty _isatty
#define hlp_fileno _fileno
static const char* const null_device = "NUL";
#else
#include <unistd.h>
#define hlp_dup dup
#define hlp_dup2 dup2
#define hlp_close close
#define hlp_open open
#define hlp_fdopen fdopen
#define hlp_isatty isatty
#define hlp_fileno fileno
static const char* const null_device = "/dev/null";
#endif

namespace hlpcli {

namespace {

void print_to(const console& con, bool to_err, const char* format, va_list args) {
    if (con.capture == nullptr) {
        std::vfprintf(to_err ? con.err : con.out, format, args);
        return;
    }
    va_list again;
    va_copy(again, args);
    char small[256];
    int length = std::vsnprintf(small, sizeof small, format, args);
    if (length < 0) {
        va_end(again);
        return;
    }
    std::string text(static_cast<size_t>(length), '\0');
    if (static_cast<size_t>(length) < sizeof small) {
        text.assign(small, static_cast<size_t>(length));
    } else {
        std::vsnprintf(text.data(), text.size() + 1, format, again);
    }
    va_end(again);
    con.capture->pieces.push_back({to_err, std::move(text)});
}

}  // namespace

void print_out(const console& con, const char* format, ...) {
    va_list args;
    va_start(args, format);
    print_to(con, false, format, args);
    va_end(args);
}

void print_err(const console& con, const char* format, ...) {
    va_list args;
    va_start(args, format);
    print_to(con, true, format, args);
    va_end(args);
}

void replay(const captured_text& text, FILE* out, FILE* err) {
    for (const captured_text::piece& p : text.pieces) {
        std::fputs(p.text.c_str(), p.to_err ? err : out);
        if (!p.to_err) std::fflush(out);
    }
}

bool is_terminal(FILE* stream) { return stream != nullptr && hlp_isatty(hlp_fileno(stream)) != 0; }

console silence_library_output() {
    std::fflush(stdout);
    std::fflush(stderr);
    int saved_out = hlp_dup(1);
    int saved_err = hlp_dup(2);
    int null_fd = hlp_open(null_device, O_WRONLY);
    FILE* out = saved_out >= 0 ? hlp_fdopen(saved_out, "w") : nullptr;
    FILE* err = saved_err >= 0 ? hlp_fdopen(saved_err, "w") : nullptr;
    if (!out || !err || null_fd < 0) {
        if (out) std::fclose(out);
        else if (saved_out >= 0) hlp_close(saved_out);
        if (err) std::fclose(err);
        else if (saved_err >= 0) hlp_close(saved_err);
        if (null_fd >= 0) hlp_close(null_fd);
        return console{};
    }
    // Failure lines must not wait in a buffer behind a crash.
    std::setvbuf(err, nullptr, _IONBF, 0);
    hlp_dup2(null_fd, 1);
    hlp_dup2(null_fd, 2);
    hlp_close(null_fd);
    // The decompiler writes a progress line per topic; unbuffered, each is a
    // system call under the stream's lock, which files decompiled together
    // would queue on.
    std::setvbuf(stdout, nullptr, _IOFBF, 1 << 16);
    std::setvbuf(stderr, nullptr, _IOFBF, 1 << 16);
    return console{out, err, false};
}

stdout_to_stderr::stdout_to_stderr(bool active) {
    if (!active) return;
    std::fflush(stdout);
    saved_ = hlp_dup(1);
    if (saved_ >= 0 && hlp_dup2(2, 1) < 0) {
        hlp_close(saved_);
        saved_ = -1;
    }
}

stdout_to_stderr::~stdout_to_stderr() {
    if (saved_ < 0) return;
    std::fflush(stdout);
    hlp_dup2(saved_, 1);
    hlp_close(saved_);
}

}  // namespace hlpcli
