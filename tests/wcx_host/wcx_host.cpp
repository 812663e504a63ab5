// wcx_host: loads a packer plug-in as a file manager does and checks it.
//
//   wcx_host walk PLUGIN HELPFILE OUTDIR [REFDIR]
//       the host's calling order on one help file; entries are extracted
//       into OUTDIR and, with REFDIR, compared with a reference run there
//   wcx_host failures PLUGIN HELPFILE WORKDIR
//       damaged, foreign and missing files (made in WORKDIR from HELPFILE)
//   wcx_host cycles PLUGIN HELPFILE OTHERFILE [RUNTIME_PROBE]
//       load, use from two threads, unload; repeated, nothing leaks (but
//       what a library of the runtime alone, RUNTIME_PROBE, leaks too)
//
// Paths may be Linux paths on Windows too (they are taken to drive Z:).
#include <cstdio>
#include <string>
#include <vector>

#include "host_support.h"
#include "host_walk.h"
#include "plugin_loader.h"

namespace {

using namespace wcxhost;

// Sends the standard error stream to a file, or nowhere for "".
void quiet_stderr(const std::u16string& file) {
#if defined(_WIN32)
    std::wstring name = file.empty() ? std::wstring(L"NUL") : std::wstring(file.begin(), file.end());
    if (_wfreopen(name.c_str(), L"w", stderr) == nullptr) std::printf("note: stderr stays\n");
#else
    if (std::freopen(file.empty() ? "/dev/null" : to_utf8(file).c_str(), "w", stderr) == nullptr)
        std::printf("note: stderr stays\n");
#endif
}

int usage() {
    std::fprintf(stderr,
                 "usage: wcx_host walk PLUGIN HELPFILE OUTDIR [REFDIR]\n"
                 "       wcx_host failures PLUGIN HELPFILE WORKDIR\n"
                 "       wcx_host cycles PLUGIN HELPFILE OTHERFILE [RUNTIME_PROBE]\n");
    return 2;
}

int run(std::vector<std::u16string> args) {
    if (args.size() < 4) return usage();
    const std::u16string mode = args[0];
    for (size_t i = 1; i < args.size(); ++i) args[i] = native_path(args[i]);
    Report report;
    if (mode == u"cycles" && (args.size() == 4 || args.size() == 5)) {
        quiet_stderr(u"");
        check_load_cycles(args[1], args[2], args[3], args.size() == 5 ? args[4] : std::u16string(), report);
    } else if ((mode == u"walk" && args.size() <= 5) || (mode == u"failures" && args.size() == 4)) {
        std::error_code error;
        std::filesystem::remove_all(fs_path(args[3]), error);
        std::filesystem::create_directories(fs_path(args[3]), error);
        // The decompiler's progress lines would drown the report.
        quiet_stderr(join(args[3], u"stderr.log"));
        Plugin plugin;
        std::string load_error;
        if (!report.check(plugin_load(plugin, args[1], load_error), "loading the plug-in: " + load_error)) {
            std::printf("wcx_host: %d passed, %d failed\n", report.passed, report.failed);
            return 1;
        }
        if (mode == u"walk") {
            std::vector<Entry> entries = walk_help_file(plugin, args[2], args[3], report);
            std::printf("%zu entries in %s\n", entries.size(), to_utf8(args[2]).c_str());
            if (args.size() == 5) compare_with_reference(args[3], args[4], report);
        } else {
            check_open_failures(plugin, args[2], args[3], report);
        }
        plugin_unload(plugin);
    } else {
        return usage();
    }
    std::printf("wcx_host: %d passed, %d failed\n", report.passed, report.failed);
    return report.failed == 0 ? 0 : 1;
}

}  // namespace

#if defined(_WIN32)
int wmain(int argc, wchar_t** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) {
        std::wstring arg(argv[i]);
        args.emplace_back(arg.begin(), arg.end());
    }
    return run(args);
}
#else
int main(int argc, char** argv) {
    std::vector<std::u16string> args;
    for (int i = 1; i < argc; ++i) args.push_back(from_utf8(argv[i]));
    return run(args);
}
#endif
