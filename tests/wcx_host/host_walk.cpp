#include "host_walk.h"

#include <cstdio>
#include <cstring>
#include <sstream>

namespace wcxhost {

namespace {

// Hosts zero the record before each call; this pattern shows what the
// plug-in wrote and whether it stayed inside the part every host shares.
constexpr unsigned char untouched = 0xA5;
constexpr size_t header_guard = 64;
// Where pointers are 32 bits wide every host has the 5180-byte layout;
// elsewhere only the fields up to FileAttr sit at the same offsets.
constexpr size_t header_written = sizeof(void*) == 4 ? WCX_HEADER_EX_SIZE_32 : WCX_HEADER_EX_COMMON_SIZE;

// The heap's own bookkeeping of a block varies by a few KiB with where it
// lands; a leaked session would be megabytes, a leak per call add up over
// the rounds.
constexpr long long heap_noise = 32 * 1024;

int process_data_calls = 0;

int WCX_API change_volume(char*, int) { return 1; }
int WCX_API change_volume_w(WCX_WCHAR*, int) { return 1; }
int WCX_API process_data(char*, int) {
    ++process_data_calls;
    return 1;
}
int WCX_API process_data_w(WCX_WCHAR*, int) {
    ++process_data_calls;
    return 1;
}

std::string shown(const std::u16string& text) { return "\"" + to_utf8(text) + "\""; }

std::u16string entry_file_name(size_t index) {
    char name[32];
    std::snprintf(name, sizeof name, "%03zu.bin", index);
    return from_utf8(name);
}

WCX_HANDLE open_archive(const Plugin& plugin, const std::u16string& help_file, int mode, int& result) {
    std::u16string name = help_file;
    tOpenArchiveDataW data{};
    data.ArcName = name.data();
    data.OpenMode = mode;
    data.OpenResult = 0;
    WCX_HANDLE handle = plugin.open_archive_w(&data);
    result = data.OpenResult;
    return handle;
}

// One ReadHeaderExW into a patterned record; checks the bytes written
// and the fields every entry shares.
int read_header(const Plugin& plugin, WCX_HANDLE handle, const std::u16string& help_file, Entry& entry,
                Report& report) {
    alignas(8) unsigned char buffer[sizeof(tHeaderDataExW) + header_guard];
    std::memset(buffer, untouched, sizeof buffer);
    tHeaderDataExW* header = reinterpret_cast<tHeaderDataExW*>(buffer);
    int result = plugin.read_header_ex_w(handle, header);
    size_t beyond = 0;
    for (size_t i = header_written; i < sizeof buffer; ++i) beyond += buffer[i] != untouched;
    report.check(beyond == 0, "ReadHeaderExW wrote " + std::to_string(beyond) + " bytes past offset " +
                                  std::to_string(header_written));
    std::u16string arc_name(header->ArcName, std::char_traits<char16_t>::length(header->ArcName));
    report.check(arc_name == help_file, "ArcName " + shown(arc_name) + " names the help file");
    int file_time = 0;
    if (expected_file_time(help_file, file_time))
        report.check(header->FileTime == file_time, "FileTime " + std::to_string(header->FileTime) +
                                                        ", expected " + std::to_string(file_time));
    if (result != 0) return result;
    entry.name.assign(header->FileName, std::char_traits<char16_t>::length(header->FileName));
    entry.size = header->UnpSize;
    std::string what = "entry " + shown(entry.name);
    report.check(!entry.name.empty(), "an entry has a name");
    report.check(entry.name.find_first_of(u"\\/") == std::u16string::npos, what + " has no folder part");
    report.check(header->PackSize == header->UnpSize, what + ": PackSize equals UnpSize");
    report.check(header->FileAttr == expected_file_attr(), what + ": FileAttr " + std::to_string(header->FileAttr));
    report.check(header->Flags == 0 && header->PackSizeHigh == 0 && header->UnpSizeHigh == 0 &&
                     header->HostOS == 0 && header->FileCRC == 0 && header->UnpVer == 0 && header->Method == 0,
                 what + ": the unused fields are zero");
    if (sizeof(void*) == 4)
        report.check(header->CmtBuf == nullptr && header->CmtBufSize == 0 && header->CmtSize == 0 &&
                         header->CmtState == 0 && header->Reserved[0] == 0 && header->Reserved[1023] == 0,
                     what + ": comment fields and Reserved are zero");
    return result;
}

void write_manifest(const std::u16string& out_dir, const std::vector<Entry>& entries) {
    std::ostringstream manifest;
    for (size_t i = 0; i < entries.size(); ++i)
        manifest << i << '\t' << entries[i].size << '\t' << to_utf8(entries[i].name) << '\n';
    write_bytes(join(out_dir, u"manifest.txt"), manifest.str());
}

// Reopens the parked session; the cache must hand back the same handle.
WCX_HANDLE reopen(const Plugin& plugin, const std::u16string& help_file, WCX_HANDLE parked, Report& report) {
    int result = 0;
    WCX_HANDLE handle = open_archive(plugin, help_file, PK_OM_EXTRACT, result);
    report.check(handle != nullptr, "reopening " + shown(help_file));
    report.check(handle == parked, "reopening an unchanged file takes the parked session from the cache");
    return handle;
}

void extract_all(const Plugin& plugin, WCX_HANDLE handle, const std::u16string& help_file,
                 const std::u16string& out_dir, const std::vector<Entry>& entries, Report& report) {
    for (size_t i = 0; i <= entries.size(); ++i) {
        Entry entry;
        int result = read_header(plugin, handle, help_file, entry, report);
        if (i == entries.size()) {
            report.check(result == E_END_ARCHIVE, "the listing starts again and ends after the same entries");
            break;
        }
        if (!report.check(result == 0 && entry.name == entries[i].name,
                          "the reopened listing starts at the first entry again (" + shown(entries[i].name) + ")"))
            return;
        // The two ways hosts name the target: a folder and a name, or a
        // null folder and the whole path in the name.
        std::u16string name = entry_file_name(i);
        std::u16string folder = out_dir + path_separator;
        std::u16string full = join(out_dir, name);
        int extracted = i % 2 == 0 ? plugin.process_file_w(handle, PK_EXTRACT, folder.data(), name.data())
                                   : plugin.process_file_w(handle, PK_EXTRACT, nullptr, full.data());
        std::string bytes;
        report.check(extracted == 0, "extracting " + shown(entry.name) + " returns " + std::to_string(extracted));
        report.check(read_bytes(full, bytes) && bytes.size() == entry.size,
                     "the extracted " + shown(entry.name) + " holds UnpSize bytes");
    }
}

// Skips entries up to the first one with content; false if there is none.
bool skip_to_content(const Plugin& plugin, WCX_HANDLE handle, const std::vector<Entry>& entries) {
    for (const Entry& entry : entries) {
        if (entry.size > 0) return true;
        plugin.process_file_w(handle, PK_SKIP, nullptr, nullptr);
    }
    return false;
}

void check_failing_operations(const Plugin& plugin, const std::u16string& help_file, const std::u16string& out_dir,
                              WCX_HANDLE parked, const std::vector<Entry>& entries, Report& report) {
    // An unknown operation still consumes its entry.
    WCX_HANDLE handle = reopen(plugin, help_file, parked, report);
    if (handle == nullptr) return;
    Entry entry;
    read_header(plugin, handle, help_file, entry, report);
    report.check(plugin.process_file_w(handle, 7, nullptr, nullptr) == E_NOT_SUPPORTED, "operation 7 returns 24");
    if (entries.size() > 1) {
        read_header(plugin, handle, help_file, entry, report);
        report.check(entry.name == entries[1].name, "after operation 7 the next entry is listed");
        report.check(plugin.process_file_w(handle, PK_TEST, nullptr, nullptr) == 0, "PK_TEST returns 0");
    }
    plugin.close_archive(handle);

    // A target in a folder that does not exist cannot be created.
    handle = reopen(plugin, help_file, parked, report);
    if (handle == nullptr) return;
    std::u16string missing = join(join(out_dir, u"no such folder"), u"entry.bin");
    report.check(plugin.process_file_w(handle, PK_EXTRACT, nullptr, missing.data()) == E_ECREATE,
                 "extracting into a missing folder returns 16");
    plugin.close_archive(handle);

    // A device that is always full takes the file but not its bytes.
    std::u16string full_device = full_device_path();
    if (full_device.empty()) {
        std::printf("note: no full device here; the failed write is not checked\n");
        return;
    }
    handle = reopen(plugin, help_file, parked, report);
    if (handle == nullptr) return;
    if (skip_to_content(plugin, handle, entries))
        report.check(plugin.process_file_w(handle, PK_EXTRACT, nullptr, full_device.data()) == E_EWRITE,
                     "a failed write returns 19");
    plugin.close_archive(handle);
}

}  // namespace

std::vector<Entry> walk_help_file(const Plugin& plugin, const std::u16string& help_file,
                                  const std::u16string& out_dir, Report& report) {
    std::vector<Entry> entries;
    report.check(plugin.get_packer_caps() == (PK_CAPS_MULTIPLE | PK_CAPS_SEARCHTEXT | PK_CAPS_HIDE),
                 "GetPackerCaps returns 388");
    report.check(plugin.get_background_flags() == BACKGROUND_UNPACK, "GetBackgroundFlags returns 1");

    // The ANSI set answers that it is not supported.
    std::string ansi_name = to_utf8(help_file);
    tOpenArchiveData ansi{};
    ansi.ArcName = ansi_name.data();
    report.check(plugin.open_archive(&ansi) == nullptr && ansi.OpenResult == E_NOT_SUPPORTED,
                 "OpenArchive returns null with 24");
    tHeaderData ansi_header{};
    report.check(plugin.read_header(nullptr, &ansi_header) == E_NOT_SUPPORTED, "ReadHeader returns 24");
    report.check(plugin.process_file(nullptr, PK_EXTRACT, nullptr, ansi_name.data()) == E_NOT_SUPPORTED,
                 "ProcessFile returns 24");

    // Hosts pass -1 when no archive is open.
    WCX_HANDLE no_archive = reinterpret_cast<WCX_HANDLE>(static_cast<intptr_t>(-1));
    plugin.set_change_vol_proc_w(no_archive, change_volume_w);
    plugin.set_process_data_proc_w(no_archive, process_data_w);

    int result = -1;
    WCX_HANDLE handle = open_archive(plugin, help_file, PK_OM_LIST, result);
    if (!report.check(handle != nullptr, "opening " + shown(help_file) + " (OpenResult " + std::to_string(result) + ")"))
        return entries;
    report.check(result == 0, "a successful open leaves OpenResult as the host set it");
    plugin.set_change_vol_proc_w(handle, change_volume_w);
    plugin.set_change_vol_proc(handle, change_volume);
    plugin.set_process_data_proc_w(handle, process_data_w);
    plugin.set_process_data_proc(handle, process_data);

    std::u16string empty;
    for (;;) {
        Entry entry;
        int read = read_header(plugin, handle, help_file, entry, report);
        if (read == E_END_ARCHIVE) break;
        if (!report.check(read == 0 && entries.size() < 100000, "ReadHeaderExW returns 0 or 10")) break;
        entries.push_back(entry);
        report.check(plugin.process_file_w(handle, PK_SKIP, nullptr, empty.data()) == 0, "PK_SKIP returns 0");
    }
    report.check(!entries.empty(), "the help file lists entries");
    report.check(plugin.process_file_w(handle, PK_SKIP, nullptr, empty.data()) == E_END_ARCHIVE,
                 "ProcessFileW after the last entry returns 10");
    report.check(plugin.close_archive(handle) == 0, "CloseArchive returns 0");

    WCX_HANDLE parked = handle;
    handle = reopen(plugin, help_file, parked, report);
    if (handle != nullptr) {
        extract_all(plugin, handle, help_file, out_dir, entries, report);
        plugin.close_archive(handle);
    }
    check_failing_operations(plugin, help_file, out_dir, parked, entries, report);
    report.check(process_data_calls == 0, "the process-data callback is never called");
    write_manifest(out_dir, entries);
    return entries;
}

void compare_with_reference(const std::u16string& out_dir, const std::u16string& reference_dir, Report& report) {
    std::string manifest, expected;
    report.check(read_bytes(join(reference_dir, u"manifest.txt"), expected), "the reference run left a manifest");
    read_bytes(join(out_dir, u"manifest.txt"), manifest);
    report.check(manifest == expected, "the entries (names, sizes, order) match the reference:\n" + manifest +
                                           "reference:\n" + expected);
    size_t lines = 0;
    for (char c : expected) lines += c == '\n';
    for (size_t i = 0; i < lines; ++i) {
        std::string ours, theirs;
        std::u16string name = entry_file_name(i);
        read_bytes(join(out_dir, name), ours);
        read_bytes(join(reference_dir, name), theirs);
        size_t at = 0;
        while (at < ours.size() && at < theirs.size() && ours[at] == theirs[at]) ++at;
        report.check(ours == theirs, "entry " + std::to_string(i) + " matches the reference byte for byte (" +
                                         std::to_string(ours.size()) + " and " + std::to_string(theirs.size()) +
                                         " bytes, first difference at " + std::to_string(at) + ")");
    }
}

void check_open_failures(const Plugin& plugin, const std::u16string& help_file, const std::u16string& work_dir,
                         Report& report) {
    std::string valid;
    report.check(read_bytes(help_file, valid) && valid.size() > 64, "reading " + shown(help_file));
    std::string text;
    for (int i = 0; i < 20; ++i) text += "This is a text file, not a help file.\r\n";
    std::u16string not_help = join(work_dir, u"not-help.hlp");
    std::u16string tiny = join(work_dir, u"tiny.hlp");
    std::u16string cut = join(work_dir, u"cut.hlp");
    std::u16string folder = join(work_dir, u"folder.hlp");
    write_bytes(not_help, text);
    write_bytes(tiny, valid.substr(0, 10));
    write_bytes(cut, valid.substr(0, valid.size() * 2 / 5));
    std::error_code ignored;
    std::filesystem::create_directories(fs_path(folder), ignored);
    const std::u16string files[] = {not_help, tiny, cut, folder, join(work_dir, u"missing.hlp")};

    auto fail_all = [&](bool record) {
        for (const std::u16string& file : files) {
            int result = 0;
            WCX_HANDLE handle = open_archive(plugin, file, PK_OM_LIST, result);
            if (handle != nullptr) plugin.close_archive(handle);
            if (record) report.check(handle == nullptr && result == E_EOPEN, shown(file) + " fails to open with 15");
        }
    };
    fail_all(true);
    long handles = handle_count();
    long long heap = heap_in_use();
    for (int round = 0; round < 10; ++round) fail_all(false);
    // Measured before the messages are built: those take heap blocks too.
    long handles_after = handle_count();
    long long heap_after = heap_in_use();
    if (handles >= 0)
        report.check(handles_after == handles, "failed opens leave no handle open (" + std::to_string(handles) +
                                                   " before, " + std::to_string(handles_after) + " after)");
    if (heap >= 0)
        report.check(heap_after - heap <= heap_noise, "failed opens leave no memory behind (" + std::to_string(heap) +
                                             " bytes before, " + std::to_string(heap_after) + " after)");
}

namespace {

struct ThreadWork {
    const Plugin* plugin;
    std::u16string file;
    int opened = 0;
    int listed = 0;
};

// What a background unpack does: open, list, close, and the same again.
void list_twice(void* p) {
    ThreadWork& work = *static_cast<ThreadWork*>(p);
    for (int round = 0; round < 2; ++round) {
        int result = 0;
        WCX_HANDLE handle = open_archive(*work.plugin, work.file, PK_OM_LIST, result);
        if (handle == nullptr) continue;
        ++work.opened;
        alignas(8) unsigned char buffer[sizeof(tHeaderDataExW) + header_guard];
        tHeaderDataExW* header = reinterpret_cast<tHeaderDataExW*>(buffer);
        std::memset(buffer, 0, sizeof buffer);
        while (work.plugin->read_header_ex_w(handle, header) == 0 && work.listed < 100000) {
            ++work.listed;
            work.plugin->process_file_w(handle, PK_SKIP, nullptr, nullptr);
        }
        work.plugin->close_archive(handle);
    }
}

// Two threads (or one after the other) list their files twice each; then
// the first file is opened twice at once (two sessions) and both are
// closed, so that whatever came before, the cache ends up holding those two.
void use_twice(const Plugin& plugin, const std::u16string& first_file, const std::u16string& second_file,
               bool concurrently, Report& report) {
    ThreadWork first{&plugin, first_file};
    ThreadWork second{&plugin, second_file};
    if (concurrently) {
        run_concurrently(list_twice, &first, list_twice, &second);
    } else {
        list_twice(&first);
        list_twice(&second);
    }
    report.check(first.opened == 2 && second.opened == 2, "both threads open their file twice");
    report.check(first.listed > 0 && first.listed % 2 == 0 && second.listed > 0 && second.listed % 2 == 0,
                 "both threads list every entry each time");
    int result = 0;
    WCX_HANDLE a = open_archive(plugin, first_file, PK_OM_LIST, result);
    WCX_HANDLE b = open_archive(plugin, first_file, PK_OM_LIST, result);
    report.check(a != nullptr && b != nullptr && a != b, "the same file open twice gives two sessions");
    if (a) plugin.close_archive(a);
    if (b) plugin.close_archive(b);
}

}  // namespace

namespace {

// Handles that loading and unloading a library of the runtime alone keeps.
long runtime_handles(const std::u16string& probe_path, int loads) {
    if (probe_path.empty()) return 0;
    long first = -1;
    for (int load = 0; load < loads; ++load) {
        void* library = library_open(probe_path);
        if (library == nullptr) return 0;
        library_close(library);
        if (load == 0) first = handle_count();
    }
    return first < 0 ? 0 : handle_count() - first;
}

}  // namespace

void check_load_cycles(const std::u16string& plugin_path, const std::u16string& first_file,
                       const std::u16string& second_file, const std::u16string& probe_path, Report& report) {
    // The static C++ runtime takes its emergency exception pool (some 70
    // KiB) at each load and never gives it back; a leaked session of the
    // large help file the tests use is far bigger than this allowance.
    constexpr long long runtime_keeps_per_load = 256 * 1024;
    constexpr int loads = 5;
    const long runtime_keeps = runtime_handles(probe_path, loads);
    long handles = -1;
    long long heap = -1;
    for (int load = 0; load < loads; ++load) {
        Plugin plugin;
        std::string error;
        if (!report.check(plugin_load(plugin, plugin_path, error), "loading the plug-in: " + error)) return;
        // The first load stays on one thread: the system keeps a few heap
        // bytes of ended threads for a while, which would blur the count.
        use_twice(plugin, first_file, second_file, load != 0, report);
        if (load == 0) {
            // The cache holds the same two sessions after each round.
            long long settled = heap_in_use();
            for (int round = 0; round < 4; ++round) use_twice(plugin, first_file, second_file, false, report);
            long long after = heap_in_use();
            if (settled >= 0)
                report.check(after - settled <= heap_noise, "repeated use leaves no memory behind (" +
                                                                std::to_string(settled) + " bytes, then " +
                                                                std::to_string(after) + ")");
        }
        plugin_unload(plugin);
        if (load == 0) {
            handles = handle_count();
            heap = heap_in_use();
        }
    }
    long handles_after = handle_count();
    long long heap_after = heap_in_use();
    if (handles >= 0)
        report.check(handles_after - handles <= runtime_keeps,
                     "load and unload cycles leave no handle open (" + std::to_string(handles) + " after the first, " +
                         std::to_string(handles_after) + " at the end, " + std::to_string(runtime_keeps) +
                         " kept by the runtime alone)");
    if (heap >= 0)
        report.check(heap_after - heap <= (loads - 1) * runtime_keeps_per_load,
                     "unloading frees the parked sessions (" + std::to_string(heap) + " bytes after the first load, " +
                         std::to_string(heap_after) + " at the end)");
}

}  // namespace wcxhost
