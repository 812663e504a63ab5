// Damages real help files the way old copies are damaged and measures what
// a decompile still gives, without salvage and with it.
//
//   salvage_measure [CORPUS_DIR] [--files]
//   salvage_measure --copy HELP_FILE KIND OUT   writes one damaged copy
//
// For each .hlp/.mvb file and each kind of damage (16 random bytes in the
// middle of |TOPIC, of the largest picture, of |KWDATA, of |FONT; the last
// 5 % cut off) a damaged copy is made, the same for every run (the random
// numbers are seeded from the file name and the kind), and opened through
// the exports twice. The table says per kind how many copies open and the
// average share of the intact file's topic text that comes out: the words
// of the topic file's text, counted with repeats, that the damaged copy's
// topic file still holds. --files adds a line per file and kind.
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

// The words of a topic file's text: control words, the header tables and
// group braces left out, \'hh read as the byte.
std::map<std::string, long> rtf_words(const std::string& rtf) {
    std::map<std::string, long> words;
    std::string word;
    auto flush = [&] {
        if (!word.empty()) ++words[word];
        word.clear();
    };
    int skip_depth = 0, depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        const char c = rtf[i];
        if (c == '{') {
            flush();
            ++depth;
            for (const char* table : {"{\\fonttbl", "{\\colortbl", "{\\stylesheet"})
                if (!skip_depth && rtf.compare(i, std::strlen(table), table) == 0) skip_depth = depth;
        } else if (c == '}') {
            flush();
            if (skip_depth == depth) skip_depth = 0;
            --depth;
        } else if (c == '\\' && i + 1 < rtf.size()) {
            const char n = rtf[i + 1];
            if (n == '\'' && i + 3 < rtf.size()) {
                if (!skip_depth) word += static_cast<char>(std::stoi(rtf.substr(i + 2, 2), nullptr, 16));
                i += 3;
            } else if (std::isalpha(static_cast<unsigned char>(n))) {
                flush();
                size_t j = i + 1;
                while (j < rtf.size() && std::isalpha(static_cast<unsigned char>(rtf[j]))) ++j;
                if (j < rtf.size() && rtf[j] == '-') ++j;
                while (j < rtf.size() && std::isdigit(static_cast<unsigned char>(rtf[j]))) ++j;
                if (j < rtf.size() && rtf[j] == ' ') ++j;
                i = j - 1;
            } else {
                if (!skip_depth && n != '\n') word += n;
                ++i;
            }
        } else if (std::isspace(static_cast<unsigned char>(c))) {
            flush();
        } else if (!skip_depth) {
            word += c;
        }
    }
    flush();
    return words;
}

struct Outcome {
    bool opened = false;
    std::string rtf, damage;  // the topic file and the damage report
};

// Opens the file through the exports as a file manager does and takes the
// topic file from the session; messages go to /dev/null.
Outcome decompile(const fs::path& path, bool salvage) {
    static unsigned long serial = 0;
    // A new name every time: the cache must not answer for an earlier copy.
    const fs::path copy = path.parent_path() / ("open" + std::to_string(serial++) + path.extension().string());
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
            if (name.size() > 11 && name.compare(name.size() - 11, 11, u"-damage.txt") == 0) outcome.damage = bytes;
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

double share(const std::map<std::string, long>& intact, const std::string& rtf) {
    long total = 0, kept = 0;
    const auto words = rtf_words(rtf);
    for (const auto& [word, count] : intact) {
        total += count;
        const auto found = words.find(word);
        if (found != words.end()) kept += std::min(count, found->second);
    }
    return total ? double(kept) / double(total) : 1.0;
}

uint32_t seed_of(const std::string& text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text) h = (h ^ c) * 16777619u;
    return h;
}

// 16 bytes written somewhere in the middle half of an internal file; at
// is where, counted from the file's start.
bool garble(Bytes& help, const Internal& file, uint32_t seed, size_t& at_in_file) {
    if (file.length < 64) return false;
    uint32_t r = seed;
    auto next = [&r] { return r = r * 1103515245u + 12345u, r >> 8; };
    const size_t at = file.start + file.length / 4 + next() % (file.length / 2 - 16);
    for (size_t i = 0; i < 16; ++i) help[at + i] = static_cast<uint8_t>(next());
    at_in_file = at - file.start;
    return true;
}

bool is_picture_name(const std::string& name) {
    const size_t digits = name.rfind("bm", 2) == 0 ? 2 : (name.rfind("|bm", 0) == 0 ? 3 : 0);
    return digits && name.size() > digits &&
           std::all_of(name.begin() + long(digits), name.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
}

// The damaged copy of one kind; empty when the file has nothing to damage.
Bytes damaged(const Bytes& help, const std::string& kind, const std::string& file_name, size_t& at_in_file) {
    Bytes copy = help;
    const auto files = directory(help);
    const uint32_t seed = seed_of(file_name + "/" + kind);
    if (kind == "cut") {
        copy.resize(help.size() - help.size() / 20);
        return copy;
    }
    std::string name = kind;
    if (kind == "picture") {
        name.clear();
        size_t largest = 0;
        for (const auto& [n, f] : files)
            if (is_picture_name(n) && f.length > largest) largest = f.length, name = n;
    }
    const auto found = files.find(name);
    if (found == files.end() || !garble(copy, found->second, seed, at_in_file)) return {};
    return copy;
}

struct Tally {
    int files = 0, opened[2] = {0, 0};
    double text[2] = {0, 0};
    double worst_topic_loss = 0;
    std::string worst_file;
    long words = 0, words_kept = 0;  // over all files, with salvage
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

long word_count(const std::map<std::string, long>& words) {
    long n = 0;
    for (const auto& entry : words) n += entry.second;
    return n;
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
    std::string folder = HLP_CORPUS_DIR;
    bool per_file = false;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--files") per_file = true;
        else folder = argv[i];
    }
    if (!fs::is_directory(folder)) {
        std::fprintf(stderr, "no corpus at %s\n", folder.c_str());
        return 1;
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
    const std::vector<std::string> kinds = {"|TOPIC", "picture", "|KWDATA", "|FONT", "cut"};
    std::map<std::string, Tally> tallies;
    int intact_files = 0;
    for (const fs::path& path : paths) {
        const Bytes help = read_bytes(path);
        const fs::path intact_path = work / ("intact" + path.extension().string());
        write_bytes(intact_path, help);
        const Outcome intact = decompile(intact_path, false);
        if (!intact.opened) continue;  // only files that open intact are measured
        ++intact_files;
        const auto words = rtf_words(intact.rtf);
        const std::string intact_report = decompile(intact_path, true).damage;
        for (const std::string& kind : kinds) {
            size_t at = 0;
            const Bytes copy = damaged(help, kind, path.filename().string(), at);
            if (copy.empty()) continue;
            const fs::path copy_path = work / ("damaged" + path.extension().string());
            write_bytes(copy_path, copy);
            Tally& t = tallies[kind];
            ++t.files;
            double got[2];
            long kept_words = 0;
            std::string report;
            for (int salvage = 0; salvage < 2; ++salvage) {
                const Outcome o = decompile(copy_path, salvage == 1);
                if (salvage) report = o.damage;
                got[salvage] = o.opened ? share(words, o.rtf) : 0.0;
                if (salvage) kept_words = std::lround(got[1] * double(word_count(words)));
                t.opened[salvage] += o.opened;
                t.text[salvage] += got[salvage];
            }
            t.words += word_count(words);
            t.words_kept += kept_words;
            if (kind == "|TOPIC") {
                const std::string beyond = loss_beyond_block(report, intact_report, long(at / topic_block_size(help)), topic_blocks(help));
                if (!beyond.empty()) t.past_bound.push_back(path.filename().string() + ": " + beyond);
            }
            if (1 - got[1] > t.worst_topic_loss) t.worst_topic_loss = 1 - got[1], t.worst_file = path.filename().string();
            if (per_file)
                std::printf("%-40s %-8s off %5.1f %%  on %5.1f %%\n", path.filename().string().c_str(), kind.c_str(),
                            100 * got[0], 100 * got[1]);
        }
    }
    fs::remove_all(work);
    std::printf("%d files that open intact, from %s\n\n", intact_files, folder.c_str());
    std::printf("| damage | files | open without salvage | text without salvage | open with salvage | text with salvage | all files' text with salvage | largest loss with salvage |\n");
    std::printf("| --- | --- | --- | --- | --- | --- | --- | --- |\n");
    for (const std::string& kind : kinds) {
        const Tally& t = tallies[kind];
        if (t.files == 0) continue;
        const char* label = kind == "cut" ? "last 5 % cut off" : kind == "picture" ? "16 bytes in the largest picture" : nullptr;
        std::string name = label ? label : "16 bytes in `" + kind + "`";
        std::printf("| %s | %d | %d | %.1f %% | %d | %.1f %% | %.1f %% | %.1f %% (%s) |\n", name.c_str(), t.files,
                    t.opened[0], 100 * t.text[0] / t.files, t.opened[1], 100 * t.text[1] / t.files,
                    t.words ? 100.0 * double(t.words_kept) / double(t.words) : 100.0, 100 * t.worst_topic_loss,
                    t.worst_file.c_str());
    }
    const Tally& topic = tallies["|TOPIC"];
    std::printf("\n|TOPIC damage: %zu files lost records outside the garbled block\n",
                topic.past_bound.size());
    for (const std::string& line : topic.past_bound) std::printf("  %s\n", line.c_str());
    return 0;
}
