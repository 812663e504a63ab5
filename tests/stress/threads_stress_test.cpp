// Sessions and the output cache under eight threads: each thread opens,
// lists, extracts and closes a handful of help files through the exports for
// a few seconds, several threads on the same file at once, while one file's
// modification time keeps changing. Every listing and every extracted entry
// must match what one thread alone got, and every session the exports
// created must be freed exactly once, by eviction or by unload.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "help_builder.h"
#include "hlpunpack/wcx.h"
#include "paragraph_builder.h"
#include "picture_builder.h"
#include "plugin/output_cache.h"
#include "plugin/session_counts.h"

namespace {

using namespace hlptest;
namespace fs = std::filesystem;

constexpr int thread_count = 8;
constexpr auto run_time = std::chrono::seconds(3);

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

std::string narrow(const char16_t* text) {
    std::string out;
    for (; *text; ++text) out += static_cast<char>(*text);
    return out;
}

std::string read_whole(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

struct TempFolder {
    fs::path path;
    TempFolder() {
        char pattern[] = "/tmp/hlpunpack-stress-XXXXXX";
        path = mkdtemp(pattern);
    }
    ~TempFolder() {
        std::error_code ignored;
        fs::remove_all(path, ignored);
    }
};

// ---------------------------------------------------------------- files

TopicRecord text_paragraph(const std::string& text) {
    TextRecordSpec recipe;
    recipe.paragraphs = {plain_paragraph(text)};
    return text_record(recipe);
}

Bytes topics_file(uint16_t minor, uint16_t flags, int topics, bool with_picture) {
    std::vector<TopicRecord> records;
    for (int i = 0; i < topics; ++i) {
        records.push_back(topic_header_record("Topic " + std::to_string(i), static_cast<uint32_t>(i)));
        records.push_back(text_paragraph("Paragraph of topic " + std::to_string(i) + ", long enough to compress "
                                         "well: the same words, the same words, the same words."));
    }
    link_topic_headers(records);
    std::vector<InternalFile> files = {
        {"|SYSTEM", build_system_file(minor, flags, {system_string_record(1, "Stress " + std::to_string(topics))})},
        {"|TOPIC", build_topic_file(records, topic_layout_for(minor, flags)).data}};
    if (with_picture) {
        PictureSpec picture;
        picture.bits_per_pixel = 1;
        picture.width = 8;
        picture.height = 2;
        picture.colour_table = grey_colour_table(2);
        picture.data = bitmap_rows(8, 2, 1, 4, [](uint32_t x, uint32_t) { return x & 1; });
        files.push_back(picture_internal_file(0, build_picture_file({picture}).data));
    }
    return build_help_file(files);
}

struct Expected {
    std::vector<std::string> names;   // in listing order
    std::map<std::string, std::string> contents;
};

struct StressFile {
    std::string path;
    bool opens;         // false: every open must fail with E_EOPEN
    bool touched;       // its modification time changes while the threads run
    Expected expected;  // what one thread alone lists and extracts
};

// Opens, lists and extracts every entry into the folder; false when the
// open fails (result in *result).
bool open_list_extract(const std::string& path, const fs::path& folder, Expected& got, int* result) {
    std::u16string name = wide(path);
    tOpenArchiveDataW data{};
    data.ArcName = name.data();
    data.OpenMode = PK_OM_EXTRACT;
    WCX_HANDLE handle = OpenArchiveW(&data);
    *result = data.OpenResult;
    if (handle == nullptr) return false;
    std::u16string target = wide(folder.string() + "/");
    tHeaderDataExW header;
    got = Expected{};
    while (ReadHeaderExW(handle, &header) == 0) {
        std::string entry = narrow(header.FileName);
        got.names.push_back(entry);
        if (ProcessFileW(handle, PK_EXTRACT, target.data(), header.FileName) != 0) {
            got.contents[entry] = "<extraction failed>";
            continue;
        }
        got.contents[entry] = read_whole(folder / entry);
        fs::remove(folder / entry);
    }
    *result = CloseArchive(handle);
    return true;
}

// ---------------------------------------------------------------- test

struct Tally {
    std::atomic<long> opens{0};
    std::atomic<long> failures{0};    // an open, extraction or close that went wrong
    std::atomic<long> mismatches{0};  // a listing or entry that differs from the expected one
    std::atomic<long> double_opens{0};
    std::mutex lock;
    std::string first_problem;  // the first failure or mismatch, described

    void note(std::atomic<long>& counter, const std::string& what) {
        ++counter;
        std::lock_guard<std::mutex> guard(lock);
        if (first_problem.empty()) first_problem = what;
    }
};

void compare(const StressFile& file, const Expected& got, Tally& tally) {
    if (got.names != file.expected.names) tally.note(tally.mismatches, file.path + ": other entries listed");
    else if (got.contents != file.expected.contents) tally.note(tally.mismatches, file.path + ": other contents");
}

void worker(int index, const std::vector<StressFile>& files, const fs::path& folder,
            std::chrono::steady_clock::time_point deadline, Tally& tally) {
    fs::path own = folder / ("thread" + std::to_string(index));
    fs::create_directories(own);
    for (unsigned round = 0; std::chrono::steady_clock::now() < deadline; ++round) {
        // Neighbouring threads pick the same file in most rounds.
        const StressFile& file = files[(round + index / 3) % files.size()];
        Expected got;
        int result = 0;
        bool opened = open_list_extract(file.path, own, got, &result);
        ++tally.opens;
        if (opened != file.opens || (!opened && result != E_EOPEN) || (opened && result != 0)) {
            tally.note(tally.failures, file.path + (opened ? ": opened, close gave " : ": open gave ") +
                                           std::to_string(result));
            continue;
        }
        if (opened) compare(file, got, tally);
        // Now and then the same file twice without a close in between: the
        // second open decompiles anew and both sessions get parked.
        if (file.opens && round % 7 == static_cast<unsigned>(index)) {
            std::u16string name = wide(file.path);
            tOpenArchiveDataW data{};
            data.ArcName = name.data();
            WCX_HANDLE first = OpenArchiveW(&data);
            WCX_HANDLE second = OpenArchiveW(&data);
            if (first == nullptr || second == nullptr || first == second) {
                tally.note(tally.failures, file.path + ": opening twice failed");
            }
            if (first) CloseArchive(first);
            if (second) CloseArchive(second);
            ++tally.double_opens;
        }
    }
}

// Gives the file a new modification time over and over until the deadline.
void toucher(const std::string& path, std::chrono::steady_clock::time_point deadline) {
    for (time_t when = 1200000000; std::chrono::steady_clock::now() < deadline; when += 2) {
        struct utimbuf times{when, when};
        utime(path.c_str(), &times);
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
}

std::string sanitizer_lines(const std::string& text) {
    std::string found;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("Sanitizer") != std::string::npos || line.find("runtime error") != std::string::npos) {
            found += line + "\n";
        }
    }
    return found;
}

TEST(ThreadsStress, SessionsAndTheCacheHoldUpUnderEightThreads) {
    TempFolder folder;
    std::vector<StressFile> files;
    auto add = [&](const std::string& name, const Bytes& data, bool opens, bool touched) {
        std::string path = (folder.path / name).string();
        write_file(path, data);
        files.push_back({path, opens, touched, {}});
    };
    add("compressed.hlp", topics_file(33, 4, 12, true), true, false);
    add("stored.hlp", topics_file(21, 0, 5, false), true, false);
    add("touched.hlp", topics_file(33, 8, 7, true), true, true);
    add("viewer.mvb", topics_file(33, 4, 3, false), true, false);
    Bytes damaged = topics_file(33, 4, 4, false);
    put_u32(damaged, 4, static_cast<uint32_t>(damaged.size()));  // the directory lies past the end
    add("damaged.hlp", damaged, false, false);
    std::string sample = std::string(HLP_SOURCE_DIR) + "/examples/sample.hlp";
    if (fs::exists(sample)) files.push_back({sample, true, false, {}});

    // What one thread alone gets from each file.
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    std::vector<int> alone;
    for (StressFile& file : files) {
        int result = 0;
        bool opened = open_list_extract(file.path, folder.path, file.expected, &result);
        alone.push_back(opened ? 0 : result);
        if (opened != file.opens) alone.back() = -1;
    }

    Tally tally;
    auto deadline = std::chrono::steady_clock::now() + run_time;
    std::vector<std::thread> threads;
    for (int i = 0; i < thread_count; ++i) {
        threads.emplace_back(worker, i, std::cref(files), folder.path, deadline, std::ref(tally));
    }
    std::thread touching(toucher, files[2].path, deadline);
    for (std::thread& t : threads) t.join();
    touching.join();
    testing::internal::GetCapturedStdout();
    std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_EQ(sanitizer_lines(errors), "");
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(alone[i], files[i].opens ? 0 : E_EOPEN) << files[i].path << " opened by one thread";
    }

    EXPECT_EQ(tally.failures.load(), 0) << tally.first_problem;
    EXPECT_EQ(tally.mismatches.load(), 0) << tally.first_problem;
    EXPECT_GE(tally.opens.load(), thread_count) << "every thread opened something";
    EXPECT_GT(tally.double_opens.load(), 0);
    std::printf("%ld opens, %ld of them twice without a close, %ld sessions created\n", tally.opens.load(),
                tally.double_opens.load(), session_count_created());

    // At most the two parked sessions are still alive; unloading frees them.
    long alive = session_count_created() - session_count_freed();
    EXPECT_GE(alive, 0);
    EXPECT_LE(alive, 2);
    cache_shutdown();
    EXPECT_EQ(session_count_created(), session_count_freed());
    cache_startup();
}

}  // namespace
