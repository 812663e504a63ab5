// Speed and memory of the decompiler on generated help files. The files are
// written into the build directory when the run starts (a few seconds), so
// nothing large is kept in the repository. See bench/README.md.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "driver/decompile.h"
#include "firstpass/keyword_footnotes.h"
#include "firstpass/pictures.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "helpfile/lz77.h"
#include "hlpunpack/wcx.h"
#include "html_attack_files.h"
#include "large_help_file.h"
#include "picture_builder.h"
#include "plugin/output_cache.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "project/system_file.h"
#include "topics/phrases.h"
#include "topics/topic_reader.h"

namespace fs = std::filesystem;

namespace {

// ---------------------------------------------------------------- files

struct Generated {
    std::string path;
    hlptest::LargeHelpFileContents contents;
    double megabytes = 0;
};

const Generated& generated(unsigned scale, hlptest::PhraseScheme scheme = hlptest::PhraseScheme::packed) {
    static std::map<std::pair<unsigned, int>, Generated> files;
    auto key = std::make_pair(scale, static_cast<int>(scheme));
    auto found = files.find(key);
    if (found != files.end()) return found->second;
    fs::create_directories(HLP_BENCH_DATA_DIR);
    Generated g;
    g.path = std::string(HLP_BENCH_DATA_DIR) + "/large_" + std::to_string(scale) + "x" +
             (scheme == hlptest::PhraseScheme::packed ? "" : "_phrases") + ".hlp";
    hlptest::LargeHelpFileOptions options;
    options.scale = scale;
    options.phrases = scheme;
    g.contents = hlptest::write_large_help_file(g.path, options);
    g.megabytes = static_cast<double>(fs::file_size(g.path)) / 1e6;
    return files.emplace(key, g).first->second;
}

std::u16string wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

// The decompiler's progress lines and notes go to /dev/null while it runs.
struct Silence {
    int saved_out, saved_err, null;
    Silence() {
        std::fflush(stdout);
        std::fflush(stderr);
        saved_out = dup(1);
        saved_err = dup(2);
        null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
    }
    ~Silence() {
        std::fflush(stdout);
        std::fflush(stderr);
        dup2(saved_out, 1);
        dup2(saved_err, 2);
        close(saved_out);
        close(saved_err);
        close(null);
    }
};

struct Context {
    DecompileContext* ctx = new DecompileContext;
    Context() { context_init(*ctx); }
    ~Context() {
        context_release(*ctx);
        delete ctx;
    }
};

// ---------------------------------------------------------------- whole open

void open_and_close(const std::u16string& path, bool flush_cache) {
    tOpenArchiveDataW data{};
    std::u16string name = path;
    data.ArcName = name.data();
    data.OpenMode = PK_OM_LIST;
    WCX_HANDLE handle = OpenArchiveW(&data);
    if (handle == nullptr) throw std::runtime_error("open failed");
    CloseArchive(handle);
    if (flush_cache) {
        cache_shutdown();
        cache_startup();
    }
}

double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// CPU time of one whole open; the close and the emptying of the cache that
// follow (so the next open decompiles again) are left out of the
// benchmark's own clock when it is given.
double timed_open(const std::u16string& path, benchmark::State* state = nullptr) {
    double took = 0;
    {
        Silence quiet;
        tOpenArchiveDataW data{};
        std::u16string name = path;
        data.ArcName = name.data();
        data.OpenMode = PK_OM_LIST;
        const double before = thread_seconds();
        WCX_HANDLE handle = OpenArchiveW(&data);
        took = thread_seconds() - before;
        if (handle == nullptr) throw std::runtime_error("open failed");
        if (state) state->PauseTiming();
        CloseArchive(handle);
    }
    cache_shutdown();
    cache_startup();
    if (state) state->ResumeTiming();
    return took;
}

void BM_Open(benchmark::State& state) {
    const Generated& g = generated(static_cast<unsigned>(state.range(0)));
    const std::u16string path = wide(g.path);
    double spent = 0;
    double fastest = 0;
    for (auto _ : state) {
        const double took = timed_open(path, &state);
        spent += took;
        if (fastest == 0 || took < fastest) fastest = took;
    }
    const double per_open = spent / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(fs::file_size(g.path)));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * g.contents.topics));
    state.counters["MB"] = g.megabytes;
    state.counters["topics"] = static_cast<double>(g.contents.topics);
    state.counters["MB_per_s"] = g.megabytes / per_open;
    // The machine's own speed drifts; the fastest open of the run is the
    // one least slowed by it.
    state.counters["best_MB_per_s"] = g.megabytes / fastest;
    state.counters["us_per_topic"] = per_open * 1e6 / static_cast<double>(g.contents.topics);
}
BENCHMARK(BM_Open)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same opens with the HTML edition on: its second walk and the pages
// come on top of the decompile, and should cost no more than it.
void BM_OpenHtml(benchmark::State& state) {
    SetHlpunpackOptions(HLPUNPACK_HTML);
    BM_Open(state);
    SetHlpunpackOptions(0);
}
BENCHMARK(BM_OpenHtml)->Arg(1)->Arg(4)->Arg(16)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Time per topic at 16x against 1x, the two opened in turn, so that a drift
// of the machine's speed during the run weighs on both alike.
void BM_Scaling(benchmark::State& state) {
    const Generated& small = generated(1);
    const Generated& large = generated(16);
    const std::u16string small_path = wide(small.path), large_path = wide(large.path);
    double small_time = 0, large_time = 0;
    for (auto _ : state) {
        small_time += timed_open(small_path);
        large_time += timed_open(large_path);
    }
    const double per_topic_small = small_time / static_cast<double>(small.contents.topics);
    const double per_topic_large = large_time / static_cast<double>(large.contents.topics);
    state.counters["ratio_16x_1x"] = per_topic_large / per_topic_small;
    state.counters["us_per_topic_1x"] = per_topic_small * 1e6 / static_cast<double>(state.iterations());
    state.counters["us_per_topic_16x"] = per_topic_large * 1e6 / static_cast<double>(state.iterations());
}
BENCHMARK(BM_Scaling)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The HTML edition over two shapes a hostile file can take, at 1x and 4x
// topics: browse links that all disagree, and context names that all fold
// to one page name. Linear work keeps the time per topic level
// (ratio_4x_1x near 1).
void BM_HtmlShapes(benchmark::State& state) {
    const size_t topics = 10000;
    const auto build = [&](size_t n) {
        return state.range(0) == 0 ? hlptest::backward_browse_file(n) : hlptest::colliding_names_file(n);
    };
    fs::create_directories(HLP_BENCH_DATA_DIR);
    const std::string small = std::string(HLP_BENCH_DATA_DIR) + "/shape_small.hlp";
    const std::string large = std::string(HLP_BENCH_DATA_DIR) + "/shape_large.hlp";
    hlptest::write_file(small, build(topics));
    hlptest::write_file(large, build(4 * topics));
    SetHlpunpackOptions(HLPUNPACK_HTML | HLPUNPACK_NO_CACHE);
    double small_time = 0, large_time = 0;
    for (auto _ : state) {
        small_time += timed_open(wide(small));
        large_time += timed_open(wide(large));
    }
    SetHlpunpackOptions(0);
    state.counters["ratio_4x_1x"] = (large_time / 4) / small_time;
    state.counters["us_per_topic_1x"] = small_time * 1e6 / static_cast<double>(topics * state.iterations());
}
BENCHMARK(BM_HtmlShapes)->Arg(0)->Arg(1)->ArgName("names")->Unit(benchmark::kMillisecond)->Iterations(2);

void BM_Reopen(benchmark::State& state) {
    const Generated& g = generated(static_cast<unsigned>(state.range(0)));
    const std::u16string path = wide(g.path);
    {
        Silence quiet;
        open_and_close(path, false);  // parked in the cache
    }
    for (auto _ : state) open_and_close(path, false);
    cache_shutdown();
    cache_startup();
}
BENCHMARK(BM_Reopen)->Arg(1)->Arg(16)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- LZ77

// The compressed blocks of a generated |TOPIC, as stored.
std::vector<std::vector<uint8_t>> topic_blocks(const Generated& g) {
    std::FILE* file = std::fopen(g.path.c_str(), "rb");
    long length = 0;
    if (file == nullptr || !find_internal_file(file, &length, "|TOPIC")) throw std::runtime_error("no |TOPIC");
    std::vector<std::vector<uint8_t>> blocks;
    for (long at = 0; at + 12 < length; at += 4096) {
        std::vector<uint8_t> block(static_cast<size_t>(std::min<long>(4096, length - at)));
        if (std::fread(block.data(), 1, block.size(), file) != block.size()) break;
        block.erase(block.begin(), block.begin() + 12);
        blocks.push_back(std::move(block));
    }
    std::fclose(file);
    return blocks;
}

// Nanoseconds per memcpy of n bytes between two warm buffers.
double memcpy_nanoseconds(size_t n, int blocks) {
    std::vector<uint8_t> from(n * static_cast<size_t>(blocks), 1), to(n, 0);
    const int repeats = 2000;
    auto start = std::chrono::steady_clock::now();
    for (int r = 0; r < repeats; ++r) {
        for (int b = 0; b < blocks; ++b) {
            std::memcpy(to.data(), from.data() + n * static_cast<size_t>(b), n);
            benchmark::ClobberMemory();
        }
    }
    std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / repeats;
}

// One real topic block (4084 stored bytes) into the 16384-byte block buffer,
// the way the topic reader expands it; against memcpy of the same output.
void BM_Lz77Block(benchmark::State& state) {
    const auto blocks = topic_blocks(generated(1));
    const auto& block = blocks.at(blocks.size() / 2);
    Context c;
    std::vector<uint8_t> out(16384);
    long produced = 0;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        produced = lz77_expand_buffer(*c.ctx, block.data(), static_cast<long>(block.size()), out.data(), 16384, nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    const double per = spent.count() / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * produced);
    state.counters["x_memcpy"] = per / memcpy_nanoseconds(static_cast<size_t>(produced), 1);
}
BENCHMARK(BM_Lz77Block);

// Every block of the 4x |TOPIC from memory, each into the block buffer.
void BM_Lz77Topic(benchmark::State& state) {
    const auto blocks = topic_blocks(generated(4));
    Context c;
    std::vector<uint8_t> out(16384);
    int64_t produced = 0;
    auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        produced = 0;
        for (const auto& block : blocks)
            produced += lz77_expand_buffer(*c.ctx, block.data(), static_cast<long>(block.size()), out.data(), 16384,
                                           nullptr);
        benchmark::DoNotOptimize(out.data());
    }
    std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    const double per = spent.count() / static_cast<double>(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * produced);
    state.counters["x_memcpy"] =
        per / memcpy_nanoseconds(static_cast<size_t>(produced / static_cast<int64_t>(blocks.size())),
                                 static_cast<int>(blocks.size())) ;
}
BENCHMARK(BM_Lz77Topic)->Unit(benchmark::kMillisecond);

// The same block through the byte streams (a call per byte each way): what
// the pictures' expansion still does, and what topic blocks did before.
void BM_Lz77Streams(benchmark::State& state) {
    const auto blocks = topic_blocks(generated(1));
    auto block = blocks.at(blocks.size() / 2);
    Context c;
    std::vector<uint8_t> out(16384);
    for (auto _ : state) {
        ByteStream* in = stream_open_buffer(*c.ctx, block.data(), static_cast<long>(block.size()));
        ByteStream* to = stream_open_buffer(*c.ctx, out.data(), 16384);
        benchmark::DoNotOptimize(lz77_expand(*c.ctx, lz77_lz_flag, static_cast<long>(block.size()), in, to));
        tracked_free(*c.ctx, to);
        tracked_free(*c.ctx, in);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 16384);
}
BENCHMARK(BM_Lz77Streams);

// ---------------------------------------------------------------- phrases

// Topic text of a generated file, phrase-compressed again with the table the
// decompiler loaded from it.
void BM_PhraseExpand(benchmark::State& state) {
    const auto scheme = state.range(0) ? hlptest::PhraseScheme::phrases : hlptest::PhraseScheme::packed;
    const Generated& g = generated(1, scheme);
    Context c;
    DecompileContext& ctx = *c.ctx;
    std::FILE* file = std::fopen(g.path.c_str(), "rb");
    std::string text;
    {
        Silence quiet;
        load_system_file(ctx, file);
        phrase_table_load(ctx, file);
        TopicWalk walk{};
        topic_walk_start(ctx, file, walk);
        while (text.size() < 65536 && topic_walk_next(ctx, file, walk))
            if (walk.text && walk.link.record_type != 2) text.append(walk.text, static_cast<size_t>(walk.text_size));
        topic_walk_end(ctx, walk);
    }
    std::fclose(file);
    std::vector<std::string> phrases;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i)
        phrases.emplace_back(ctx.phrase_texts + ctx.phrase_offsets[i], ctx.phrase_offsets[i + 1] - ctx.phrase_offsets[i]);
    // The compressor takes the longest phrase anywhere; words end in letters.
    const hlptest::Bytes packed = hlptest::phrase_compress(text, phrases, scheme);
    std::vector<char> out(text.size() + 1);
    for (auto _ : state) {
        char* end = phrase_expand(ctx, out.data(), static_cast<long>(text.size()), packed.data(),
                                  static_cast<long>(packed.size()));
        benchmark::DoNotOptimize(end);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
    state.SetLabel(state.range(0) ? "|Phrases" : "|PhrIndex");
}
BENCHMARK(BM_PhraseExpand)->Arg(0)->Arg(1);

// ---------------------------------------------------------------- context names

std::vector<std::string> sample_names(size_t n) {
    std::vector<std::string> names;
    const char* words[] = {"Open", "File", "Window", "Print", "Setup", "Dialog", "Font", "Table", "Index", "Search"};
    for (size_t i = 0; i < n; ++i)
        names.push_back(std::string("IDH_") + words[i % 10] + words[(i / 10) % 10] + std::to_string(i));
    return names;
}

void BM_ContextHash(benchmark::State& state) {
    const auto names = sample_names(1000);
    for (auto _ : state)
        for (const auto& n : names) benchmark::DoNotOptimize(context_hash(n.c_str()));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * names.size()));
}
BENCHMARK(BM_ContextHash);

// unhash of known names in a table of state.range(0) names, and of hashes
// no name gives (a synthetic name is spelled).
void BM_Unhash(benchmark::State& state) {
    const auto names = sample_names(static_cast<size_t>(state.range(0)));
    Context c;
    for (const auto& n : names) add_context_name(*c.ctx, n.c_str(), false);
    std::vector<uint32_t> hashes;
    for (size_t i = 0; i < 1000; ++i) hashes.push_back(context_hash(names[i * names.size() / 1000].c_str()));
    for (size_t i = 0; i < 1000; ++i) hashes.push_back(static_cast<uint32_t>(i * 2654435761u));
    for (auto _ : state)
        for (uint32_t h : hashes) benchmark::DoNotOptimize(unhash(*c.ctx, h));
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * hashes.size()));
}
BENCHMARK(BM_Unhash)->Arg(1000)->Arg(30000);

// Filling the name table: state.range(0) names in hash order that is random
// to the table, as titles and keywords give them.
void BM_AddContextNames(benchmark::State& state) {
    const auto names = sample_names(static_cast<size_t>(state.range(0)));
    for (auto _ : state) {
        Context c;
        for (const auto& n : names) add_context_name(*c.ctx, n.c_str(), true);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * names.size()));
}
BENCHMARK(BM_AddContextNames)->Arg(2000)->Arg(32000)->Unit(benchmark::kMillisecond);

// The derivation of a name from a title: one that succeeds (the name is the
// title without spaces) and one that cannot (a numbered name).
void BM_Derive(benchmark::State& state) {
    Context c;
    c.ctx->winhelp4 = true;
    const char* title = "Printing Selected Topics And Windows";
    const uint32_t hash = state.range(0) ? context_hash("PrintingSelectedTopicsAndWindows") : context_hash("IDH_40417");
    char output[context_scratch_size];
    bool found = false;
    for (auto _ : state) {
        found = derive_context_name(*c.ctx, title, hash, output);
        benchmark::DoNotOptimize(found);
    }
    state.SetLabel(found ? "found" : "not found");
}
BENCHMARK(BM_Derive)->Arg(1)->Arg(0);

// ---------------------------------------------------------------- keywords

// Every keyword footnote of the 16x file (over 16384 references, so the
// window is refilled several times), topic by topic as the second pass asks.
void BM_KeywordFootnotes(benchmark::State& state) {
    const Generated& g = generated(static_cast<unsigned>(state.range(0)));
    std::FILE* file = std::fopen(g.path.c_str(), "rb");
    for (auto _ : state) {
        state.PauseTiming();
        Context c;
        DecompileContext& ctx = *c.ctx;
        MemoryFile* rtf = output_open("bench.rtf", "wt");
        output_add(ctx.outputs, rtf);
        {
            Silence quiet;
            load_system_file(ctx, file);
            load_context_map(ctx, file);
        }
        state.ResumeTiming();
        {
            Silence quiet;
            for (int32_t i = 0; i < ctx.context_count; ++i)
                write_keyword_footnotes(ctx, rtf, file, ctx.contexts[i].topic_offset);
        }
    }
    std::fclose(file);
    state.counters["references"] = static_cast<double>(g.contents.keyword_references);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * g.contents.keyword_references));
}
BENCHMARK(BM_KeywordFootnotes)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------- pictures

// A 640 x 480 bitmap of 16 colours, run-length and LZ77 packed.
void BM_PictureExport(benchmark::State& state) {
    hlptest::PictureSpec p;
    p.type = hlptest::dib_bitmap;
    p.packing = 3;
    p.bits_per_pixel = 4;
    p.width = 640;
    p.height = 480;
    p.colours_used = 16;
    p.colour_table = hlptest::grey_colour_table(16);
    p.data = hlptest::bitmap_rows(640, 480, 4, 4, [](uint32_t x, uint32_t y) { return (x / 7 + y / 5) % 16; });
    hlptest::Bytes picture = hlptest::build_picture_file({p}).data;
    for (auto _ : state) {
        Context c;  // its setup and release are a small part
        char name[32] = "bm1";
        ByteStream* stream = stream_open_buffer(*c.ctx, picture.data(), static_cast<long>(picture.size()));
        benchmark::DoNotOptimize(picture_export(*c.ctx, name, stream));
        tracked_free(*c.ctx, stream);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * p.data.size()));
}
BENCHMARK(BM_PictureExport)->Unit(benchmark::kMicrosecond);

// ---------------------------------------------------------------- memory

// Peak resident set of a separate process that opens the file with the
// command-line tool (the plug-in's exports), against the bound: help file
// + twice its outputs + 16 MB.
void BM_PeakMemory(benchmark::State& state) {
    const Generated& g = generated(static_cast<unsigned>(state.range(0)));
    double outputs = 0;
    {
        Silence quiet;
        Context c;
        std::FILE* file = std::fopen(g.path.c_str(), "rb");
        std::snprintf(c.ctx->base_name, sizeof c.ctx->base_name, "large");
        decompile_help_file(*c.ctx, file);
        std::fclose(file);
        for (OutputNode* n = c.ctx->outputs.head; n; n = n->next) outputs += n->file->length;
    }
    long peak_kb = 0;
    for (auto _ : state) {
        const std::string command = std::string(HLP_PEAK_RSS_PATH) + " " + HLP_TOOL_PATH + " -q -t " + g.path;
        std::FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr || std::fscanf(pipe, "%ld", &peak_kb) != 1) peak_kb = 0;
        if (pipe == nullptr || pclose(pipe) != 0 || peak_kb == 0) state.SkipWithError("the tool failed");
    }
    const double file_mb = static_cast<double>(fs::file_size(g.path)) / (1024.0 * 1024.0);
    const double outputs_mb = outputs / (1024.0 * 1024.0);
    const double peak_mb = static_cast<double>(peak_kb) / 1024.0;
    state.counters["peak_MiB"] = peak_mb;
    state.counters["file_MiB"] = file_mb;
    state.counters["outputs_MiB"] = outputs_mb;
    state.counters["bound_MiB"] = file_mb + 2 * outputs_mb + 16;
    state.counters["within_bound"] = peak_mb <= file_mb + 2 * outputs_mb + 16 ? 1 : 0;
}
BENCHMARK(BM_PeakMemory)->Arg(1)->Arg(16)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
