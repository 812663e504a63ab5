// peak_rss PROGRAM ARGS...: runs the program (its output thrown away) and
// prints its peak resident set in KiB; exits with the program's status.
// A small process of its own, so the peak measured is the program's and not
// that of whatever started it (a forked child counts its parent's pages).
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: peak_rss PROGRAM ARGS...\n");
        return 2;
    }
    pid_t child = fork();
    if (child < 0) return 2;
    if (child == 0) {
        int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execv(argv[1], argv + 1);
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return 2;
    std::printf("%ld\n", usage.ru_maxrss);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 2;
}
