// hlpunpack: command-line host of the plug-in exports.
#include <cstdio>
#include <string>
#include <vector>

#include "cli_run.h"
#include "command_line.h"
#include "console.h"
#include "text_convert.h"

namespace {

int run(const std::vector<std::string>& args) {
    hlpcli::parse_result parsed = hlpcli::parse_command_line(args);
    if (parsed.options.mode == hlpcli::cli_mode::help) {
        std::fputs(hlpcli::usage_text, stdout);
        return 0;
    }
    if (parsed.options.mode == hlpcli::cli_mode::version) {
        std::printf("hlpunpack %s\n", HLPUNPACK_VERSION);
        return 0;
    }
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "hlpunpack: %s\nTry 'hlpunpack --help'.\n", parsed.error.c_str());
        return 2;
    }
    hlpcli::console con = parsed.options.quiet ? hlpcli::silence_library_output() : hlpcli::console{};
    int status = hlpcli::run_cli(parsed.options, con);
    std::fflush(con.out);
    std::fflush(con.err);
    return status;
}

}  // namespace

#ifdef _WIN32
// Wide arguments keep names outside the ANSI code page intact (MinGW
// builds need -municode for this entry point).
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i)
        args.push_back(hlpcli::utf16_to_utf8(std::u16string_view(reinterpret_cast<const char16_t*>(argv[i]))));
    return run(args);
}
#else
int main(int argc, char** argv) {
    return run(std::vector<std::string>(argv + 1, argv + argc));
}
#endif
