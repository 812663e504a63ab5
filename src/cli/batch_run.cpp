#include "batch_run.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "cli_run.h"
#include "help_jobs.h"
#include "platform/platform.h"
#include "progress_line.h"
#include "run_report.h"

namespace hlpcli {

namespace {

using clock_type = std::chrono::steady_clock;

struct batch {
    const cli_options& options;
    const std::vector<help_job>& jobs;
    console con;  // the tool's own streams
    report_file& report;
    clock_type::time_point start = clock_type::now();
    std::vector<size_t> order;  // the jobs in the order they are taken
    std::atomic<size_t> next{0};
    size_t finished = 0;  // jobs done, folders that gave no file included
    platform::Mutex* lock = platform::mutex_create();  // guards what follows, and the tool's streams
    run_counts counts{};
    int status = 0;
    progress_line progress{};
};

double elapsed(const batch& b) { return std::chrono::duration<double>(clock_type::now() - b.start).count(); }

// A folder that gave no help file is not one of the files.
void count(run_counts& counts, const help_job& job, const file_result& result) {
    if (!job.failure.empty()) return;
    ++counts.files_done;
    counts.bytes_done += job.bytes;
    switch (status_of(result)) {
        case 1: ++counts.failed; break;
        case 3: ++counts.salvaged; break;
        default: ++counts.ok; break;
    }
}

// Holds the batch's lock for a scope.
struct held {
    explicit held(platform::Mutex* m) : mutex(m) { platform::mutex_wait(mutex); }
    ~held() { platform::mutex_release(mutex); }
    held(const held&) = delete;
    held& operator=(const held&) = delete;
    platform::Mutex* mutex;
};

// A file is done: its lines, its report line and the counts, at once.
void finish_job(batch& b, const help_job& job, const file_result& result, const captured_text& text) {
    held hold(b.lock);
    clear_progress(b.progress);
    // The decompiler's notes on standard output come before the tool's lines.
    std::fflush(stdout);
    replay(text, b.con.out, b.con.err);
    tell_result(b.con, job.name, result);
    std::fflush(b.con.out);
    write_report_line(b.report, job, result, b.options);
    count(b.counts, job, result);
    ++b.finished;
    b.status = worse_status(b.status, status_of(result));
    draw_progress(b.progress, progress_text(b.counts, elapsed(b)));
}

void work(void* argument) {
    batch& b = *static_cast<batch*>(argument);
    for (size_t taken; (taken = b.next++) < b.order.size();) {
        const size_t i = b.order[taken];
        captured_text text;
        console con = b.con;
        con.capture = &text;
        file_result result = run_job(b.options, b.jobs[i], con, b.report.active, b.jobs.size() > 1);
        finish_job(b, b.jobs[i], result, text);
    }
}

// Redraws the progress line twice a second (rate and time left move on
// while a large file is worked on) until every file is done.
void watch(batch& b) {
    for (int tick = 1;; ++tick) {
        platform::sleep_milliseconds(50);
        held hold(b.lock);
        if (b.finished >= b.jobs.size()) return;
        if (tick % 10 == 0) draw_progress(b.progress, progress_text(b.counts, elapsed(b)));
    }
}

// In path order one at a time; with several at once the largest first,
// so that the run does not end with one large file worked on alone.
std::vector<size_t> job_order(const std::vector<help_job>& jobs, size_t workers) {
    std::vector<size_t> order(jobs.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (workers > 1)
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return jobs[a].bytes > jobs[b].bytes; });
    return order;
}

size_t worker_count(const cli_options& options, size_t files) {
    size_t wanted = static_cast<size_t>(options.jobs > 0 ? options.jobs : platform::processor_count());
    return std::max<size_t>(1, std::min(wanted, files));
}

}  // namespace

int run_batch(const cli_options& options, const std::vector<help_job>& jobs, const console& con,
              report_file& report) {
    const size_t workers = worker_count(options, jobs.size());
    const bool show_progress = !options.quiet && is_terminal(con.err);
    console own = con;
    if (con.shows_library_output && (workers > 1 || show_progress)) own = silence_library_output();
    batch b{.options = options, .jobs = jobs, .con = own, .report = report, .order = job_order(jobs, workers)};
    for (const help_job& job : jobs) {
        b.counts.files_total += job.failure.empty() ? 1 : 0;
        b.counts.bytes_total += job.bytes;
    }
    if (show_progress) {
        b.progress.stream = own.err;
        draw_progress(b.progress, progress_text(b.counts, 0));
    }

    std::vector<platform::Thread*> threads;
    for (size_t i = 0; i < workers; ++i) {
        platform::Thread* thread = platform::thread_start(work, &b);
        if (thread != nullptr) threads.push_back(thread);
    }
    // Without threads to spare, this one does the work.
    if (threads.empty()) {
        work(&b);
    } else if (show_progress) {
        watch(b);
    }
    for (platform::Thread* thread : threads) platform::thread_join(thread);
    platform::mutex_close(b.lock);

    clear_progress(b.progress);
    std::fprintf(own.err, "hlpunpack: %s\n", summary_text(b.counts, elapsed(b)).c_str());
    std::fflush(own.out);
    std::fflush(own.err);
    return b.status;
}

}  // namespace hlpcli
