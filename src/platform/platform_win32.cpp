// The Win32 calls behind platform.h. char16_t and wchar_t are both UTF-16
// code units on Windows, so wide paths pass straight through.
#include "platform/platform.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <share.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wide paths are UTF-16 on Windows");

namespace platform {

namespace {

const wchar_t* wide(const char16_t* text) { return reinterpret_cast<const wchar_t*>(text); }

HANDLE to_handle(void* p) { return static_cast<HANDLE>(p); }

}  // namespace

// Mutex and WriteHandle stay incomplete: their pointers are Win32 handles.

Mutex* mutex_create() { return static_cast<Mutex*>(static_cast<void*>(CreateMutexW(nullptr, FALSE, nullptr))); }
void mutex_wait(Mutex* mutex) { WaitForSingleObject(to_handle(mutex), INFINITE); }
void mutex_release(Mutex* mutex) { ReleaseMutex(to_handle(mutex)); }
void mutex_close(Mutex* mutex) { CloseHandle(to_handle(mutex)); }

namespace {

struct ThreadStart {
    void (*body)(void*);
    void* argument;
};

DWORD WINAPI run_thread(LPVOID parameter) {
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.body(start.argument);
    return 0;
}

}  // namespace

Thread* thread_start(void (*body)(void*), void* argument) {
    ThreadStart* start = new (std::nothrow) ThreadStart{body, argument};
    if (start == nullptr) return nullptr;
    HANDLE handle = CreateThread(nullptr, 0, run_thread, start, 0, nullptr);
    if (handle == nullptr) {
        delete start;
        return nullptr;
    }
    return static_cast<Thread*>(static_cast<void*>(handle));
}

void thread_join(Thread* thread) {
    WaitForSingleObject(to_handle(thread), INFINITE);
    CloseHandle(to_handle(thread));
}

int processor_count() {
    SYSTEM_INFO info;
    GetSystemInfo(&info);
    return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

void sleep_milliseconds(int milliseconds) { Sleep(static_cast<DWORD>(milliseconds)); }

bool file_mtime(const char16_t* path, int64_t* seconds) {
    struct _stat64 status;
    if (_wstat64(wide(path), &status) != 0) return false;
    *seconds = static_cast<int64_t>(status.st_mtime);
    return true;
}

bool dos_date_time(int64_t unix_seconds, uint32_t* result) {
    // The epoch taken to local time applies the zone's current bias, then
    // the file's seconds are added in 100-nanosecond units.
    SYSTEMTIME epoch{};
    epoch.wYear = 1970;
    epoch.wMonth = 1;
    epoch.wDay = 1;
    FILETIME utc, local;
    if (!SystemTimeToFileTime(&epoch, &utc)) return false;
    if (!FileTimeToLocalFileTime(&utc, &local)) return false;
    ULARGE_INTEGER ticks;
    ticks.LowPart = local.dwLowDateTime;
    ticks.HighPart = local.dwHighDateTime;
    constexpr int64_t ticks_per_second = 10000000;
    if (unix_seconds > INT64_MAX / ticks_per_second || unix_seconds < INT64_MIN / ticks_per_second) return false;
    ticks.QuadPart += static_cast<uint64_t>(unix_seconds * ticks_per_second);
    local.dwLowDateTime = ticks.LowPart;
    local.dwHighDateTime = ticks.HighPart;
    WORD date = 0, time = 0;
    if (!FileTimeToDosDateTime(&local, &date, &time)) return false;
    *result = (static_cast<uint32_t>(date) << 16) | time;
    return true;
}

int wide_to_ansi(const char16_t* text, size_t length, char* out, size_t size) {
    if (size == 0 || length > INT_MAX || size - 1 > INT_MAX) return -1;
    int n = 0;
    if (length > 0) {
        n = WideCharToMultiByte(CP_ACP, 0, wide(text), static_cast<int>(length), out, static_cast<int>(size - 1),
                                nullptr, nullptr);
        if (n <= 0) return -1;  // does not fit (or cannot be converted)
    }
    out[n] = '\0';
    return n;
}

void ansi_to_wide(const char* text, char16_t* out, size_t size) {
    if (size == 0) return;
    out[0] = 0;
    wchar_t* dest = reinterpret_cast<wchar_t*>(out);
    int units = size > INT_MAX ? INT_MAX : static_cast<int>(size);
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, dest, units) > 0) return;
    // Too long: convert the whole text aside and keep what fits.
    int needed = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (needed <= 0) return;
    wchar_t* all = static_cast<wchar_t*>(std::malloc(static_cast<size_t>(needed) * sizeof(wchar_t)));
    if (all == nullptr) return;
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, all, needed) > 0) {
        size_t keep = size - 1;
        // Never end on the first half of a surrogate pair.
        if (keep > 0 && all[keep - 1] >= 0xD800 && all[keep - 1] <= 0xDBFF) --keep;
        std::memcpy(dest, all, keep * sizeof(wchar_t));
        dest[keep] = 0;
    }
    std::free(all);
}

std::FILE* open_for_reading(const char16_t* path) {
    // Others may keep the file open for reading or writing meanwhile.
    return _wfsopen(wide(path), L"rb", _SH_DENYNO);
}

std::FILE* open_beside(const char16_t* path, const char* extension) {
    // Windows matches names without regard to case by itself.
    std::u16string beside(path);
    const size_t folder = beside.find_last_of(u"\\/");
    const size_t dot = beside.rfind(u'.');
    if (dot != std::u16string::npos && (folder == std::u16string::npos || dot > folder)) beside.erase(dot);
    for (const char* c = extension; *c; ++c) beside += static_cast<char16_t>(static_cast<unsigned char>(*c));
    return open_for_reading(beside.c_str());
}

WriteHandle* create_file(const char16_t* path) {
    HANDLE file = CreateFileW(wide(path), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return static_cast<WriteHandle*>(static_cast<void*>(file));
}

bool write_file(WriteHandle* handle, const void* data, size_t length, size_t* written) {
    // Output files stay far below 4 GiB, so this is one WriteFile call;
    // the loop only keeps a larger length from being cut silently.
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < length) {
        DWORD chunk = length - done > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(length - done);
        DWORD n = 0;
        if (!WriteFile(to_handle(handle), p + done, chunk, &n, nullptr) || n == 0) {
            done += n;
            break;
        }
        done += n;
        if (n < chunk) break;
    }
    *written = done;
    return done == length;
}

void close_file(WriteHandle* handle) { CloseHandle(to_handle(handle)); }

bool module_path(char16_t* out, size_t size) {
    if (size == 0 || size > 0x7FFFFFFF) return false;
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            reinterpret_cast<LPCWSTR>(&module_path), &module))
        return false;
    DWORD n = GetModuleFileNameW(module, reinterpret_cast<wchar_t*>(out), static_cast<DWORD>(size));
    // A full buffer means the path was cut.
    return n > 0 && n < size;
}

}  // namespace platform
