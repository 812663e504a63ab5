#include "console.h"

#include <fcntl.h>

#ifdef _WIN32
#include <io.h>
#define hlp_dup _dup
#define hlp_dup2 _dup2
#define hlp_close _close
#define hlp_open _open
#define hlp_fdopen _fdopen
static const char* const null_device = "NUL";
#else
#include <unistd.h>
#define hlp_dup dup
#define hlp_dup2 dup2
#define hlp_close close
#define hlp_open open
#define hlp_fdopen fdopen
static const char* const null_device = "/dev/null";
#endif

namespace hlpcli {

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
