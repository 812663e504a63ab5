// Damages real help files the way old copies are damaged and measures what
// a decompile still gives, without salvage and with it.
//
//   salvage_measure [CORPUS_DIR] [--files] [--kind KIND] [--min KIND=PERCENT]...
//   salvage_measure [CORPUS_DIR] --honesty [--allow N]
//   salvage_measure --copy HELP_FILE KIND OUT   writes one damaged copy
//
// For each .hlp/.mvb file and each kind of damage (16 random bytes in the
// middle of |TOPIC, of the largest picture, of |KWDATA, of |FONT, of the
// phrase table; one flipped bit in the phrase table; damage scattered over
// the whole file; the last 5 % cut off) a damaged copy is made, the same for
// every run (the random numbers are seeded from the file name and the
// kind), and opened through the exports twice. Each topic of the copy's
// topic file is compared word by word, in order, with the intact file's
// topic it stands for: the table says per kind how many copies open, the
// average share of the intact text that comes out in its place ("kept") and
// the share of words that come out where the intact file has none ("wrong
// or extra"), and how many copies changed their text without a word in a
// damage report. --files adds a line per file and kind. Each --min sets a
// floor for a kind's text kept with salvage: below it the run fails (exit
// 1; 77 without a corpus). --honesty runs the damage-honesty check instead
// (honesty_of); --allow N lets it pass with up to N copies that lose more
// than 1 % of their text without a damage report.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "hlpunpack/wcx.h"
#include "plugin/archive_session.h"
#include "plugin/output_cache.h"
#include "topic_compare.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

uint32_t le32(const Bytes& b, size_t at) {
    return at + 4 <= b.size() ? uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
                                    uint32_t(b[at + 3]) << 24
                              : 0;
}
uint16_t le16(const Bytes& b, size_t at) { return at + 2 <= b.size() ? uint16_t(b[at] | b[at + 1] << 8) : 0; }

// An internal file: where its data starts in the help file and how long it is.
struct Internal {
    size_t start = 0, length = 0;
};

// The directory read on its own terms: its leaves, from the first one on.
std::map<std::string, Internal> directory(const Bytes& help) {
    std::map<std::string, Internal> files;
    if (le32(help, 0) != 0x00035F3F) return files;
    const size_t tree = size_t(le32(help, 4)) + 9;
    const uint16_t page_size = le16(help, tree + 4);
    int16_t page = static_cast<int16_t>(le16(help, tree + 26));
    const int levels = static_cast<int16_t>(le16(help, tree + 32));
    const size_t pages = tree + 38;
    if (page_size == 0) return files;
    for (int level = 1; level < levels; ++level) page = static_cast<int16_t>(le16(help, pages + size_t(page) * page_size + 6));
    for (int guard = 0; page >= 0 && guard < 65536; ++guard) {
        const size_t at = pages + size_t(page) * page_size;
        if (at + 8 > help.size()) break;
        const int entries = static_cast<int16_t>(le16(help, at + 2));
        size_t p = at + 8;
        for (int i = 0; i < entries && p < help.size(); ++i) {
            const size_t end = std::find(help.begin() + long(p), help.end(), 0) - help.begin();
            std::string name(help.begin() + long(p), help.begin() + long(end));
            const size_t offset = le32(help, end + 1);
            p = end + 5;
            if (offset + 9 <= help.size()) files[name] = {offset + 9, std::min<size_t>(le32(help, offset + 4), help.size() - offset - 9)};
        }
        page = static_cast<int16_t>(le16(help, at + 6));
    }
    return files;
}

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void write_bytes(const fs::path& path, const Bytes& data) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

struct Outcome {
    bool opened = false;
    std::string rtf, damage;  // the topic file and the damage report
    std::string outputs;      // every other entry, named and in order, the copy's name replaced
};

// Replaces every occurrence of the copy's own name, which the entries carry.
std::string without_name(std::string text, const std::string& stem) {
    for (size_t at = text.find(stem); at != std::string::npos; at = text.find(stem, at + 1)) text.replace(at, stem.size(), "NAME");
    return text;
}

// Opens the file through the exports as a file manager does and takes the
// topic file from the session; messages go to /dev/null.
Outcome decompile(const fs::path& path, bool salvage) {
    static unsigned long serial = 0;
    // A new name every time: the cache must not answer for an earlier copy.
    const std::string stem = "open" + std::to_string(serial++) + "_";
    const fs::path copy = path.parent_path() / (stem + path.extension().string());
    fs::copy_file(path, copy, fs::copy_options::overwrite_existing);
    SetHlpunpackOptions(salvage ? HLPUNPACK_SALVAGE : 0);
    std::fflush(stdout);
    std::fflush(stderr);
    const int out = dup(1), err = dup(2), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    Outcome outcome;
    const std::string narrow = copy.string();
    std::u16string wide(narrow.begin(), narrow.end());
    tOpenArchiveDataW data{};
    data.ArcName = wide.data();
    data.OpenMode = PK_OM_EXTRACT;
    if (WCX_HANDLE handle = OpenArchiveW(&data)) {
        outcome.opened = true;
        ArchiveSession* session = static_cast<ArchiveSession*>(handle);
        tHeaderDataExW header;
        while (ReadHeaderExW(handle, &header) == 0) {
            const MemoryFile* file = session->context.outputs.cursor->file;
            std::u16string name(header.FileName);
            const std::string bytes(reinterpret_cast<const char*>(file->buffer), file->length);
            if (name.size() > 4 && name.compare(name.size() - 4, 4, u".rtf") == 0) outcome.rtf = bytes;
            if (name.size() > 11 && name.compare(name.size() - 11, 11, u"-damage.txt") == 0)
                outcome.damage = without_name(bytes, stem);
            else outcome.outputs += without_name(std::string(name.begin(), name.end()) + "\n" + bytes, stem);
            ProcessFileW(handle, PK_SKIP, nullptr, nullptr);
        }
        CloseArchive(handle);
    }
    cache_shutdown();
    cache_startup();
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(out, 1);
    dup2(err, 2);
    close(out);
    close(err);
    close(null);
    fs::remove(copy);
    return outcome;
}

uint32_t seed_of(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

struct Random {
    uint32_t r;
    uint32_t next() { return r = r * 1103515245u + 12345u, r >> 8; }
};

// 16 bytes written somewhere in the middle half of an internal file; at
// is where, counted from the file's start.
bool garble(Bytes& help, const Internal& file, Random& random, size_t& at_in_file) {
    if (file.length < 64) return false;
    const size_t at = file.start + file.length / 4 + random.next() % (file.length / 2 - 16);
    for (size_t i = 0; i < 16; ++i) help[at + i] = static_cast<uint8_t>(random.next());
    at_in_file = at - file.start;
    return true;
}

// One bit flipped somewhere in the middle half of an internal file.
bool flip_bit(Bytes& help, const Internal& file, Random& random) {
    if (file.length < 8) return false;
    const size_t at = file.start + file.length / 4 + random.next() % (file.length / 2);
    help[at] ^= static_cast<uint8_t>(1u << (random.next() % 8));
    return true;
}

// A hard disk's or a floppy's kind of damage over the whole file: three
// 512-byte sectors zeroed, a bit flipped in every 8 KiB, and two spots of
// 16 garbled bytes in |TOPIC.
bool scatter(Bytes& help, const Internal& topic, Random& random) {
    if (help.size() < 4096 || topic.length < 256) return false;
    for (int i = 0; i < 3; ++i) {
        const size_t sector = 1 + random.next() % (help.size() / 512 - 1);
        std::fill(help.begin() + long(sector * 512), help.begin() + long(std::min(help.size(), sector * 512 + 512)), 0);
    }
    for (size_t window = 0; window + 8192 <= help.size(); window += 8192)
        help[window + random.next() % 8192] ^= static_cast<uint8_t>(1u << (random.next() % 8));
    size_t at = 0;
    for (int i = 0; i < 2; ++i) {
        const Internal spot{topic.start + i * topic.length / 2, topic.length / 2};
        garble(help, spot, random, at);
    }
    return true;
}

bool is_picture_name(const std::string& name) {
    const size_t digits = name.rfind("bm", 2) == 0 ? 2 : (name.rfind("|bm", 0) == 0 ? 3 : 0);
    return digits && name.size() > digits &&
           std::all_of(name.begin() + long(digits), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The internal file a kind of damage hits; empty when there is none.
std::string target_of(const std::map<std::string, Internal>& files, const std::string& kind) {
    if (kind == "picture") {
        std::string name;
        size_t largest = 0;
        for (const auto& [n, f] : files)
            if (is_picture_name(n) && f.length > largest) largest = f.length, name = n;
        return name;
    }
    if (kind == "phrases" || kind == "phrase bit") return files.count("|Phrases") ? "|Phrases" : "|PhrImage";
    if (kind == "scattered") return "|TOPIC";
    return kind;
}

// The damaged copy of one kind; empty when the file has nothing to damage.
Bytes damaged(const Bytes& help, const std::string& kind, const std::string& file_name, size_t& at_in_file) {
    Bytes copy = help;
    Random random{seed_of(file_name + "/" + kind)};
    if (kind == "cut") {
        copy.resize(help.size() - help.size() / 20);
        return copy;
    }
    const auto files = directory(help);
    const auto found = files.find(target_of(files, kind));
    if (found == files.end()) return {};
    const bool hit = kind == "phrase bit"  ? flip_bit(copy, found->second, random)
                     : kind == "scattered" ? scatter(copy, found->second, random)
                                           : garble(copy, found->second, random, at_in_file);
    return hit ? copy : Bytes{};
}

struct Tally {
    int files = 0, opened[2] = {0, 0};
    double kept[2] = {0, 0}, wrong = 0;  // shares of the intact text, added up over the files
    double worst_topic_loss = 0;
    std::string worst_file;
    long words = 0, words_kept = 0;  // over all files, with salvage
    std::vector<std::string> silent;      // copies whose text changed with salvage but without a report
    int quiet = 0;                        // copies that opened without salvage with other text
    std::vector<std::string> past_bound;  // |TOPIC: lost more than a block and a topic hold
};

// The size of a |TOPIC block, as |SYSTEM announces it.
long topic_block_size(const Bytes& help) {
    const auto files = directory(help);
    const auto system = files.find("|SYSTEM");
    if (system == files.end()) return 4096;
    const uint16_t minor = le16(help, system->second.start + 2), flags = le16(help, system->second.start + 10);
    return minor < 16 || flags == 8 ? 2048 : 4096;
}

long topic_blocks(const Bytes& help) {
    const auto files = directory(help);
    const auto topic = files.find("|TOPIC");
    if (topic == files.end()) return 1;
    return std::max<long>(1, long((topic->second.length + topic_block_size(help) - 1) / topic_block_size(help)));
}

// What the damage report says was lost outside the garbled block (empty:
// nothing): records of another block, whole blocks skipped, or the rest of
// |TOPIC dropped before its last block. A record of the block before that
// runs into the garbled one is the topic cut there; losses the intact file
// has too (a corpus file damaged as it is) do not count.
std::string loss_beyond_block(const std::string& report, const std::string& intact_report, long block, long blocks) {
    for (size_t at = report.find("block "); at != std::string::npos; at = report.find("block ", at + 1)) {
        const long other = std::atol(report.c_str() + at + 6);
        const size_t line_end = report.find('\n', at);
        const std::string line = report.substr(at, line_end - at);
        if (intact_report.find(line) != std::string::npos) continue;
        const std::string holds = "block " + std::to_string(other) + " holds ";
        const bool cut_record = other == block - 1 && line.find("that record dropped") != std::string::npos;
        if (line.compare(0, holds.size(), holds) == 0 && other != block && !cut_record)
            return "lost records in block " + std::to_string(other) + ", the damage is in block " + std::to_string(block);
        const size_t on = line.find("going on at block ");
        if (on != std::string::npos && std::atol(line.c_str() + on + 18) > block + 1) return "skipped whole blocks: " + line;
        if (line.find("to the end of |TOPIC") != std::string::npos && block + 1 < blocks) return "dropped the rest: " + line;
    }
    return {};
}

// A copy's text measured against the intact file's topics.
TextComparison measure(const std::vector<RtfTopic>& intact, const Outcome& outcome, WordDictionary& words) {
    if (!outcome.opened) {
        TextComparison none;
        for (const RtfTopic& topic : intact) none.intact += long(topic.words.size());
        return none;
    }
    return compare_topics(intact, rtf_topics(outcome.rtf, words));
}

double share(long part, long whole) { return whole ? double(part) / double(whole) : 1.0; }

const std::vector<std::string> kinds = {"|TOPIC", "picture", "|KWDATA", "|FONT", "phrases", "phrase bit",
                                        "scattered", "cut"};

std::string label_of(const std::string& kind) {
    if (kind == "cut") return "last 5 % cut off";
    if (kind == "picture") return "16 bytes in the largest picture";
    if (kind == "phrases") return "16 bytes in the phrase table";
    if (kind == "phrase bit") return "1 bit flipped in the phrase table";
    if (kind == "scattered") return "3 sectors, a bit per 8 KiB, 2 spots in `\\|TOPIC`";
    return "16 bytes in `\\" + kind + "`";
}

// Opens one damaged copy twice and adds what came out to the kind's tally;
// returns the damage report of the salvaged copy.
std::string measure_copy(const fs::path& copy_path, const std::string& name, const std::string& kind,
                  const std::vector<RtfTopic>& intact, const std::string& intact_report, WordDictionary& words,
                  Tally& t, bool per_file) {
    ++t.files;
    TextComparison got[2];
    std::string report;
    for (int salvage = 0; salvage < 2; ++salvage) {
        const Outcome o = decompile(copy_path, salvage == 1);
        if (salvage) report = o.damage;
        got[salvage] = measure(intact, o, words);
        t.opened[salvage] += o.opened;
        t.kept[salvage] += share(got[salvage].kept, got[salvage].intact);
        const bool changed = got[salvage].kept != got[salvage].intact || got[salvage].wrong != 0;
        const bool reported = salvage ? o.damage != intact_report : !o.opened;
        if (o.opened && changed && !reported && salvage) t.silent.push_back(name);
        if (o.opened && changed && !salvage) ++t.quiet;
    }
    t.wrong += share(got[1].wrong, got[1].intact);
    t.words += got[1].intact;
    t.words_kept += got[1].kept;
    const double loss = 1 - share(got[1].kept, got[1].intact);
    if (loss > t.worst_topic_loss) t.worst_topic_loss = loss, t.worst_file = name;
    if (per_file)
        std::printf("%-40s %-10s off %5.1f %%  on %5.1f %%  wrong %5.1f %%\n", name.c_str(), kind.c_str(),
                    100 * share(got[0].kept, got[0].intact), 100 * share(got[1].kept, got[1].intact),
                    100 * share(got[1].wrong, got[1].intact));
    return report;
}

void print_table(std::map<std::string, Tally>& tallies) {
    std::printf("| damage | files | open without salvage | text kept without salvage | open with salvage | text kept "
                "with salvage | wrong or extra with salvage | all files' text kept with salvage | largest loss "
                "with salvage | changed without a word, without salvage | changed without a word, with salvage |\n");
    std::printf("| --- | --- | --- | --- | --- | --- | --- | --- | --- | --- | --- |\n");
    for (const std::string& kind : kinds) {
        const Tally& t = tallies[kind];
        if (t.files == 0) continue;
        std::printf("| %s | %d | %d | %.1f %% | %d | %.1f %% | %.1f %% | %.1f %% | %.1f %% (%s) | %d | %zu |\n",
                    label_of(kind).c_str(), t.files, t.opened[0], 100 * t.kept[0] / t.files, t.opened[1],
                    100 * t.kept[1] / t.files, 100 * t.wrong / t.files, 100 * share(t.words_kept, t.words),
                    100 * t.worst_topic_loss, t.worst_file.c_str(), t.quiet, t.silent.size());
    }
    const Tally& topic = tallies["|TOPIC"];
    std::printf("\n|TOPIC damage: %zu files lost records outside the garbled block\n", topic.past_bound.size());
    for (const std::string& line : topic.past_bound) std::printf("  %s\n", line.c_str());
    for (const std::string& kind : kinds)
        for (const std::string& line : tallies[kind].silent) std::printf("silent: %s: %s\n", kind.c_str(), line.c_str());
}

// The floors of --min KIND=PERCENT: false (and a line) for each kind whose
// text kept with salvage is below its floor.
bool meets_floors(std::map<std::string, Tally>& tallies, const std::map<std::string, double>& floors) {
    bool met = true;
    for (const auto& [kind, floor] : floors) {
        const Tally& t = tallies[kind];
        const double kept = t.files ? 100 * t.kept[1] / t.files : 100;
        if (kept < floor) {
            std::printf("FAILED: %s: %.1f %% of the text kept with salvage, below %.1f %%\n", kind.c_str(), kept,
                        floor);
            met = false;
        }
    }
    return met;
}

// Four bytes of one internal file garbled at seeded places.
Bytes honesty_copy(const Bytes& help, const std::string& file_name, const std::string& name, const Internal& file) {
    Bytes copy = help;
    Random random{seed_of(file_name + "/" + name)};
    for (int i = 0; i < 4; ++i) copy[file.start + random.next() % file.length] ^= uint8_t(1 + random.next() % 255);
    return copy;
}

// The damage-honesty check of one help file: in each internal file (pictures
// beyond the first two left out), four bytes garbled at seeded places. With
// salvage a copy whose entries differ from the intact file's must say so in
// a damage report, or fail; the lines returned are the copies that did not.
// Without salvage a copy that opens with other entries is counted in
// `quiet`: where the walk ends quietly at damage, as it always has.
std::vector<std::string> honesty_of(const fs::path& path, const Bytes& help, const fs::path& work, long& cases,
                                    long& quiet) {
    std::vector<std::string> silent;
    const fs::path intact_path = work / ("intact" + path.extension().string());
    write_bytes(intact_path, help);
    const Outcome intact[2] = {decompile(intact_path, false), decompile(intact_path, true)};
    if (!intact[0].opened) return silent;
    int pictures = 0;
    for (const auto& [name, file] : directory(help)) {
        if (file.length < 8 || (is_picture_name(name) && ++pictures > 2)) continue;
        const Bytes copy = honesty_copy(help, path.filename().string(), name, file);
        const fs::path copy_path = work / ("damaged" + path.extension().string());
        write_bytes(copy_path, copy);
        ++cases;
        const Outcome plain = decompile(copy_path, false), salvaged = decompile(copy_path, true);
        quiet += plain.opened && (plain.outputs != intact[0].outputs || plain.rtf != intact[0].rtf);
        const bool changed = salvaged.outputs != intact[1].outputs || salvaged.rtf != intact[1].rtf;
        if (salvaged.opened && changed && salvaged.damage == intact[1].damage) {
            WordDictionary words;
            const TextComparison text =
                compare_topics(rtf_topics(intact[1].rtf, words), rtf_topics(salvaged.rtf, words));
            const bool large = text.intact - text.kept > text.intact / 100 || text.wrong > text.intact / 100;
            silent.push_back(std::string(large ? "more than 1 %: " : "") + path.filename().string() + " " + name +
                             ": " + std::to_string(text.intact - text.kept) +
                             " of " + std::to_string(text.intact) + " words of the text lost, " +
                             std::to_string(text.wrong) + " wrong or extra" +
                             (salvaged.rtf == intact[1].rtf ? " (other entries changed)" : ""));
        }
    }
    return silent;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 5 && std::string(argv[1]) == "--copy") {
        size_t at = 0;
        const Bytes copy = damaged(read_bytes(argv[2]), argv[3], fs::path(argv[2]).filename().string(), at);
        if (copy.empty()) return 1;
        write_bytes(argv[4], copy);
        return 0;
    }
    if (argc == 5 && std::string(argv[1]) == "--honesty-copy") {
        // The honesty check's copy of one internal file, to look into.
        const Bytes help = read_bytes(argv[2]);
        const auto files = directory(help);
        const auto found = files.find(argv[3]);
        if (found == files.end()) return 1;
        write_bytes(argv[4], honesty_copy(help, fs::path(argv[2]).filename().string(), found->first, found->second));
        return 0;
    }
    std::string folder = HLP_CORPUS_DIR;
    bool per_file = false, honesty = false;
    long allowed = 0;  // --allow: silent copies losing more than 1 % that the honesty check lets pass
    std::string only;  // --kind: measure this kind alone
    std::map<std::string, double> floors;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--files") per_file = true;
        else if (arg == "--honesty") honesty = true;
        else if (arg == "--allow" && i + 1 < argc) allowed = std::atol(argv[++i]);
        else if (arg == "--kind" && i + 1 < argc) only = argv[++i];
        else if (arg == "--min" && i + 1 < argc) {
            const std::string floor = argv[++i];
            const size_t equals = floor.rfind('=');
            floors[floor.substr(0, equals)] = std::atof(floor.c_str() + equals + 1);
        } else folder = arg;
    }
    if (!fs::is_directory(folder)) {
        std::fprintf(stderr, "no corpus at %s\n", folder.c_str());
        return 77;
    }
    std::vector<fs::path> paths;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (ext == ".hlp" || ext == ".mvb") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    const fs::path work = fs::temp_directory_path() / ("salvage_measure." + std::to_string(getpid()));
    fs::create_directories(work);
    if (honesty) {
        long cases = 0, quiet = 0;
        std::vector<std::string> silent;
        for (const fs::path& path : paths) {
            const auto found = honesty_of(path, read_bytes(path), work, cases, quiet);
            silent.insert(silent.end(), found.begin(), found.end());
        }
        fs::remove_all(work);
        long large = 0;
        for (const std::string& line : silent) {
            std::printf("changed without a damage report: %s\n", line.c_str());
            large += line.rfind("more than 1 %", 0) == 0;
        }
        std::printf("%ld damaged copies: %zu changed without a damage report with salvage, %ld of them losing more "
                    "than 1 %% of the text (allowed: %ld); without salvage %ld opened with other entries\n",
                    cases, silent.size(), large, allowed, quiet);
        return large <= allowed ? 0 : 1;
    }
    std::map<std::string, Tally> tallies;
    int intact_files = 0;
    for (const fs::path& path : paths) {
        const Bytes help = read_bytes(path);
        const fs::path intact_path = work / ("intact" + path.extension().string());
        write_bytes(intact_path, help);
        const Outcome intact = decompile(intact_path, false);
        if (!intact.opened) continue;  // only files that open intact are measured
        ++intact_files;
        WordDictionary words;
        const std::vector<RtfTopic> topics = rtf_topics(intact.rtf, words);
        const std::string intact_report = decompile(intact_path, true).damage;
        const std::string name = path.filename().string();
        for (const std::string& kind : kinds) {
            if (!only.empty() && kind != only) continue;
            size_t at = 0;
            const Bytes copy = damaged(help, kind, name, at);
            if (copy.empty()) continue;
            const fs::path copy_path = work / ("damaged" + path.extension().string());
            write_bytes(copy_path, copy);
            const std::string report =
                measure_copy(copy_path, name, kind, topics, intact_report, words, tallies[kind], per_file);
            if (kind != "|TOPIC") continue;
            const std::string beyond =
                loss_beyond_block(report, intact_report, long(at / topic_block_size(help)), topic_blocks(help));
            if (!beyond.empty()) tallies[kind].past_bound.push_back(name + ": " + beyond);
        }
    }
    fs::remove_all(work);
    std::printf("%d files that open intact, from %s\n\n", intact_files, folder.c_str());
    print_table(tallies);
    return meets_floors(tallies, floors) ? 0 : 1;
}
