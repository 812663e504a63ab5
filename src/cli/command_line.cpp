#include "command_line.h"

namespace hlpcli {

const char usage_text[] =
    "Usage: hlpunpack [OPTIONS] FILE.hlp|FILE.mvb|FOLDER...\n"
    "Decompile Windows Help and MediaView files into help-compiler sources\n"
    "(project file, topic file, pictures, ...).\n"
    "\n"
    "  -o DIR, --output DIR  extract into DIR (created if missing); with several\n"
    "                        files, each goes to DIR/<name>, where <name> is the\n"
    "                        file name without its extension\n"
    "  -l, --list            list the entries (size, date, name); write nothing\n"
    "  -t, --test            decompile and report success or failure; write nothing\n"
    "  -f, --force           overwrite existing files (default: keep them and\n"
    "                        skip those entries)\n"
    "  -q, --quiet           hide the decompiler's progress lines, warnings and notes\n"
    "  -s, --salvage         recover what is intact from a damaged help file and\n"
    "                        report what was lost in NAME-damage.txt; the summary\n"
    "                        \"N of M topics recovered whole\" goes to standard error\n"
    "      --html            also write a browsable HTML edition into html/\n"
    "      --htmlhelp        --html, and an HTML Help project beside its pages\n"
    "                        (NAME.hhp, .h, .hhc, .hhk) to compile into NAME.chm\n"
    "  -j N, --jobs N        decompile N files at once (default with a folder:\n"
    "                        the number of cores)\n"
    "      --report FILE     write one JSON object per help file into FILE\n"
    "                        (JSON Lines: status, title, counts, damage, outputs)\n"
    "  -h, --help            show this help\n"
    "  -V, --version         show the version\n"
    "\n"
    "Without -o, each file is extracted into a new folder in the current\n"
    "directory named after the file without its extension (FILE for FILE.hlp,\n"
    "FILE.out for a name without extension).\n"
    "Entry names are flattened to plain file names: '/', '\\', ':' and control\n"
    "characters become '_', so nothing is written outside the folder; names\n"
    "that then clash get ~2, ~3, ... before their extension.\n"
    "A FOLDER is searched with its subfolders for .hlp and .mvb files (any letter\n"
    "case); each goes to its own folder under -o (or FOLDER.out), in the same\n"
    "tree. On a terminal a progress line shows how far the run is; one summary\n"
    "line ends it.\n"
    "\n"
    "Exit status: 0 on success, 1 if any file failed (nothing recovered), 2 on a\n"
    "usage error, 3 if a file was salvaged with losses (-s) and none failed.\n";

namespace {

// -j's number: a whole number from 1 to 1024.
bool set_jobs(const std::string& text, parse_result& result) {
    int jobs = 0;
    for (char c : text) {
        if (c < '0' || c > '9' || jobs > 1024) {
            jobs = 0;
            break;
        }
        jobs = jobs * 10 + (c - '0');
    }
    if (jobs < 1 || jobs > 1024) {
        result.error = "-j takes a whole number from 1 to 1024";
        return false;
    }
    result.options.jobs = jobs;
    return true;
}

// An option that takes a value: the rest of the word after '=' or the
// next argument. Returns false with an error when it is missing.
bool take_value(const std::vector<std::string>& args, size_t& i, size_t name_length, std::string& value,
                parse_result& result) {
    const std::string& arg = args[i];
    if (arg.size() > name_length && arg[name_length] == '=') {
        value = arg.substr(name_length + 1);
        return true;
    }
    if (i + 1 >= args.size()) {
        result.error = arg + " needs a value";
        return false;
    }
    value = args[++i];
    return true;
}

bool set_mode(cli_options& options, cli_mode mode, parse_result& result) {
    if (options.mode != cli_mode::extract && options.mode != mode) {
        result.error = "-l and -t cannot be combined";
        return false;
    }
    options.mode = mode;
    return true;
}

// One short flag without an argument; false with an error when unknown.
bool apply_flag(char flag, parse_result& result) {
    cli_options& options = result.options;
    switch (flag) {
        case 'l': return set_mode(options, cli_mode::list, result);
        case 't': return set_mode(options, cli_mode::test, result);
        case 'f': options.force = true; return true;
        case 'q': options.quiet = true; return true;
        case 's': options.salvage = true; return true;
        default: result.error = std::string("unknown option -") + flag; return false;
    }
}

}  // namespace

parse_result parse_command_line(const std::vector<std::string>& args) {
    parse_result result;
    cli_options& options = result.options;
    bool only_files = false;
    bool output_given = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (only_files || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
        } else if (arg == "--") {
            only_files = true;
        } else if (arg == "-h" || arg == "--help") {
            options.mode = cli_mode::help;
            return result;
        } else if (arg == "-V" || arg == "--version") {
            options.mode = cli_mode::version;
            return result;
        } else if (arg == "--html") {
            options.html = true;
        } else if (arg == "--htmlhelp") {
            options.html = options.htmlhelp = true;
        } else if (arg == "--jobs" || arg.rfind("--jobs=", 0) == 0) {
            std::string value;
            if (!take_value(args, i, 6, value, result) || !set_jobs(value, result)) return result;
        } else if (arg == "--report" || arg.rfind("--report=", 0) == 0) {
            if (!take_value(args, i, 8, options.report, result)) return result;
            if (options.report.empty()) {
                result.error = "the file of --report is empty";
                return result;
            }
        } else if (arg == "--list" || arg == "--test" || arg == "--force" || arg == "--quiet" || arg == "--salvage") {
            // Each long name starts with the letter of its short flag.
            if (!apply_flag(arg[2], result)) return result;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 >= args.size()) {
                result.error = arg + " needs a folder";
                return result;
            }
            options.output_dir = args[++i];
            output_given = true;
        } else if (arg.rfind("--output=", 0) == 0) {
            options.output_dir = arg.substr(9);
            output_given = true;
        } else if (arg[1] == '-') {
            result.error = "unknown option " + arg;
            return result;
        } else {
            // Grouped short flags (-qf); -o may end a group and take the
            // rest of the word or the next argument as its folder.
            for (size_t k = 1; k < arg.size(); ++k) {
                if (arg[k] == 'j') {
                    std::string value = arg.substr(k + 1);
                    if (value.empty() && i + 1 < args.size()) value = args[++i];
                    if (!set_jobs(value, result)) return result;
                    break;
                }
                if (arg[k] == 'o') {
                    output_given = true;
                    if (k + 1 < arg.size()) {
                        options.output_dir = arg.substr(k + 1);
                    } else if (i + 1 < args.size()) {
                        options.output_dir = args[++i];
                    } else {
                        result.error = "-o needs a folder";
                        return result;
                    }
                    break;
                }
                if (!apply_flag(arg[k], result)) return result;
            }
        }
    }
    if (output_given && options.output_dir.empty()) result.error = "the folder of -o is empty";
    else if (options.files.empty()) result.error = "no help file given";
    return result;
}

}  // namespace hlpcli
