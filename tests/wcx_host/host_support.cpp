#include "host_support.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <pthread.h>
#include <sys/stat.h>
#endif

#include <cstdio>
#include <fstream>
#include <iterator>

namespace wcxhost {

std::string to_utf8(const std::u16string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::u16string from_utf8(const std::string& text) {
    std::u16string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        int n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        uint32_t c = n == 1 ? b : n == 2 ? (b & 0x1F) : n == 3 ? (b & 0x0F) : (b & 0x07);
        for (int k = 1; k < n && i + k < text.size(); ++k) c = (c << 6) | (text[i + k] & 0x3F);
        i += n;
        if (c >= 0x10000) {
            c -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (c >> 10));
            out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
    }
    return out;
}

#if defined(_WIN32)
const char16_t path_separator = u'\\';
#else
const char16_t path_separator = u'/';
#endif

std::u16string native_path(const std::u16string& path) {
#if defined(_WIN32)
    std::u16string out = path;
    for (char16_t& c : out)
        if (c == u'/') c = u'\\';
    if (!out.empty() && out[0] == u'\\' && (out.size() < 2 || out[1] != u'\\')) out = u"Z:" + out;
    return out;
#else
    return path;
#endif
}

std::filesystem::path fs_path(const std::u16string& path) {
#if defined(_WIN32)
    return std::filesystem::path(std::wstring(path.begin(), path.end()));
#else
    return std::filesystem::path(to_utf8(path));
#endif
}

std::u16string join(const std::u16string& folder, const std::u16string& name) {
    if (!folder.empty() && folder.back() == path_separator) return folder + name;
    return folder + path_separator + name;
}

bool read_bytes(const std::u16string& path, std::string& out) {
    std::ifstream in(fs_path(path), std::ios::binary);
    if (!in) return false;
    out.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

bool write_bytes(const std::u16string& path, const std::string& bytes) {
    std::ofstream out(fs_path(path), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool expected_file_time(const std::u16string& path, int& value) {
#if defined(_WIN32)
    std::wstring wide(path.begin(), path.end());
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
    FILETIME local;
    WORD date = 0, time = 0;
    if (!FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !FileTimeToDosDateTime(&local, &date, &time))
        return false;
    value = static_cast<int>((static_cast<uint32_t>(date) << 16) | time);
#else
    struct stat status;
    if (stat(to_utf8(path).c_str(), &status) != 0) return false;
    value = static_cast<int>(status.st_mtime);
#endif
    return true;
}

int expected_file_attr() {
#if defined(_WIN32)
    return FILE_ATTRIBUTE_ARCHIVE;
#else
    return S_IFREG | 0644;
#endif
}

long handle_count() {
#if defined(_WIN32)
    DWORD count = 0;
    if (GetProcessHandleCount(GetCurrentProcess(), &count) && count > 0) return static_cast<long>(count);
    // Wine answers 0. A leaked handle holds a low slot, which pushes the
    // slots of fresh handles up.
    HANDLE probes[16];
    uintptr_t highest = 0;
    for (HANDLE& probe : probes) {
        probe = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (probe == nullptr) return -1;
        if (reinterpret_cast<uintptr_t>(probe) > highest) highest = reinterpret_cast<uintptr_t>(probe);
    }
    for (HANDLE probe : probes) CloseHandle(probe);
    return static_cast<long>(highest / 4);
#else
    std::error_code error;
    long count = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error);
         !error && it != std::filesystem::directory_iterator(); it.increment(error))
        ++count;
    return error ? -1 : count;
#endif
}

long long heap_in_use() {
#if defined(_WIN32)
    HANDLE heaps[64];
    DWORD count = GetProcessHeaps(64, heaps);
    if (count == 0 || count > 64) return -1;
    long long total = 0;
    for (DWORD i = 0; i < count; ++i) {
        PROCESS_HEAP_ENTRY entry{};
        if (!HeapLock(heaps[i])) return -1;
        while (HeapWalk(heaps[i], &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) total += entry.cbData;
        HeapUnlock(heaps[i]);
    }
    return total;
#else
    // glibc counts per arena and threads get arenas of their own, so no
    // one figure tells; the sanitizer build checks leaks here instead.
    return -1;
#endif
}

std::u16string full_device_path() {
#if defined(_WIN32)
    // Under Wine the Linux /dev/full can be reached by its Unix name.
    for (std::u16string path : {u"\\\\?\\unix\\dev\\full", u"Z:\\dev\\full"}) {
        std::wstring wide(path.begin(), path.end());
        HANDLE probe = CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (probe == INVALID_HANDLE_VALUE) continue;
        CloseHandle(probe);
        return path;
    }
    return std::u16string();
#else
    struct stat status;
    return stat("/dev/full", &status) == 0 ? std::u16string(u"/dev/full") : std::u16string();
#endif
}

namespace {

struct ThreadStart {
    void (*work)(void*);
    void* arg;
};

#if defined(_WIN32)
DWORD WINAPI thread_main(void* p) {
#else
void* thread_main(void* p) {
#endif
    ThreadStart* start = static_cast<ThreadStart*>(p);
    start->work(start->arg);
    return 0;
}

}  // namespace

void run_concurrently(void (*work)(void*), void* work_arg, void (*other)(void*), void* other_arg) {
    ThreadStart start{work, work_arg};
#if defined(_WIN32)
    HANDLE thread = CreateThread(nullptr, 0, thread_main, &start, 0, nullptr);
    other(other_arg);
    if (thread == nullptr) {
        work(work_arg);
        return;
    }
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
#else
    pthread_t thread;
    bool started = pthread_create(&thread, nullptr, thread_main, &start) == 0;
    other(other_arg);
    if (!started) {
        work(work_arg);
        return;
    }
    pthread_join(thread, nullptr);
#endif
}

bool Report::check(bool ok, const std::string& what) {
    if (ok) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED: %s\n", what.c_str());
        std::fflush(stdout);
    }
    return ok;
}

}  // namespace wcxhost
