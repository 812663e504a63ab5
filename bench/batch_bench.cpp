// Throughput of the command-line tool over a folder of help files with one
// and with two files at once, and its memory against one file's. Every run
// is a separate process (through peak_rss). See bench/README.md.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "large_help_file.h"

namespace fs = std::filesystem;

namespace {

// The folder: eight generated 2x files (different seeds, so no two are the
// same) and links to the real help files of the corpus, read in place.
struct Folder {
    fs::path path = fs::path(HLP_BENCH_DATA_DIR) / "batch";
    std::vector<fs::path> files;
    double megabytes = 0;
};

const Folder& folder() {
    static Folder f = [] {
        Folder made;
        fs::remove_all(made.path);
        fs::create_directories(made.path / "generated");
        for (uint64_t seed = 1; seed <= 8; ++seed) {
            const fs::path file = made.path / "generated" / ("large_" + std::to_string(seed) + ".hlp");
            hlptest::LargeHelpFileOptions options;
            options.seed = seed;
            options.scale = 2;
            hlptest::write_large_help_file(file.string(), options);
            made.files.push_back(file);
        }
        std::error_code ec;
        fs::create_directories(made.path / "corpus");
        for (const fs::directory_entry& e : fs::directory_iterator(HLP_CORPUS_DIR, ec)) {
            std::string extension = e.path().extension().string();
            for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (extension != ".hlp" && extension != ".mvb") continue;
            fs::create_symlink(e.path(), made.path / "corpus" / e.path().filename());
            made.files.push_back(e.path());
        }
        for (const fs::path& file : made.files) made.megabytes += static_cast<double>(fs::file_size(file)) / 1e6;
        return made;
    }();
    return f;
}

struct Run {
    double seconds = 0;
    double peak_mib = 0;
};

// hlpunpack -q -t ARGS in its own process; its wall time and peak resident
// set. Damaged corpus files fail the test mode, so the status is not checked.
Run run_tool(const std::string& args) {
    const std::string command = std::string(HLP_PEAK_RSS_PATH) + " " + HLP_TOOL_PATH + " -q -t " + args;
    const auto start = std::chrono::steady_clock::now();
    std::FILE* pipe = popen(command.c_str(), "r");
    long peak_kb = 0;
    if (pipe == nullptr || std::fscanf(pipe, "%ld", &peak_kb) != 1) peak_kb = 0;
    if (pipe != nullptr) pclose(pipe);
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.peak_mib = static_cast<double>(peak_kb) / 1024.0;
    return run;
}

// The whole folder with -j N, timed by hand (the work is in the child).
void BM_Folder(benchmark::State& state) {
    const Folder& f = folder();
    const std::string args = "-j " + std::to_string(state.range(0)) + " " + f.path.string();
    double peak = 0, seconds = 0;
    for (auto _ : state) {
        Run run = run_tool(args);
        state.SetIterationTime(run.seconds);
        peak = std::max(peak, run.peak_mib);
        seconds += run.seconds;
    }
    state.counters["files"] = static_cast<double>(f.files.size());
    state.counters["MB"] = f.megabytes;
    state.counters["files_per_s"] = static_cast<double>(f.files.size()) * state.iterations() / seconds;
    state.counters["peak_MiB"] = peak;
}
BENCHMARK(BM_Folder)->Arg(1)->Arg(2)->UseManualTime()->Iterations(3)->Unit(benchmark::kMillisecond);

// -j 1 and -j 2 in turn, five times, the best of each: speedup in files per
// second, and the peaks of -j N against N times the largest peak of a
// single file (each file decompiled alone) + 16 MB.
void BM_FolderSpeedup(benchmark::State& state) {
    const Folder& f = folder();
    double one = 1e30, two = 1e30, peak_one = 0, peak_two = 0, file_peak = 0;
    for (auto _ : state) {
        for (int round = 0; round < 5; ++round) {
            Run single = run_tool("-j 1 " + f.path.string());
            one = std::min(one, single.seconds);
            peak_one = std::max(peak_one, single.peak_mib);
            Run parallel = run_tool("-j 2 " + f.path.string());
            two = std::min(two, parallel.seconds);
            peak_two = std::max(peak_two, parallel.peak_mib);
        }
        for (const fs::path& file : f.files) file_peak = std::max(file_peak, run_tool(file.string()).peak_mib);
    }
    state.counters["j1_files_per_s"] = static_cast<double>(f.files.size()) / one;
    state.counters["j2_files_per_s"] = static_cast<double>(f.files.size()) / two;
    state.counters["speedup_j2"] = one / two;
    state.counters["peak_j1_MiB"] = peak_one;
    state.counters["peak_j2_MiB"] = peak_two;
    state.counters["one_file_peak_MiB"] = file_peak;
    state.counters["bound_MiB"] = 2 * file_peak + 16;
    state.counters["within_bound"] = peak_one <= file_peak + 16 && peak_two <= 2 * file_peak + 16 ? 1 : 0;
}
BENCHMARK(BM_FolderSpeedup)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
