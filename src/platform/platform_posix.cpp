// POSIX stand-ins for the Win32 calls of platform.h. The ANSI code page is
// UTF-8 here; bytes that do not form UTF-8 are read as Windows-1252 so that
// names stored in old help files stay readable.
#include "platform/platform.h"
#include "platform/unicode.h"

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <ctime>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <string>

namespace platform {

struct Mutex {
    std::mutex lock;
};

Mutex* mutex_create() { return new (std::nothrow) Mutex; }
void mutex_wait(Mutex* mutex) { mutex->lock.lock(); }
void mutex_release(Mutex* mutex) { mutex->lock.unlock(); }
void mutex_close(Mutex* mutex) { delete mutex; }

struct Thread {
    std::thread thread;
};

Thread* thread_start(void (*body)(void*), void* argument) {
    try {
        return new Thread{std::thread(body, argument)};
    } catch (...) {
        return nullptr;
    }
}

void thread_join(Thread* thread) {
    thread->thread.join();
    delete thread;
}

int processor_count() { return std::max(1, static_cast<int>(std::thread::hardware_concurrency())); }

void sleep_milliseconds(int milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

namespace {

std::string path_to_utf8(const char16_t* path) {
    size_t length = 0;
    while (path[length]) ++length;
    return utf16_to_utf8(std::u16string_view(path, length));
}

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones map to themselves.
const char16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

int wide_to_ansi(const char16_t* text, size_t length, char* out, size_t size) {
    std::string utf8 = utf16_to_utf8(std::u16string_view(text, length));
    if (size == 0 || utf8.size() >= size) return -1;
    utf8.copy(out, utf8.size());
    out[utf8.size()] = '\0';
    return static_cast<int>(utf8.size());
}

void ansi_to_wide(const char* text, char16_t* out, size_t size) {
    if (size == 0) return;
    size_t used = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
    while (*p && used + 1 < size) {
        uint32_t code;
        // The name is NUL-terminated: a sequence cut by the NUL is not UTF-8.
        int n = utf8_sequence(p, 4, &code);
        if (n == 0) {
            code = *p >= 0xA0 ? *p : cp1252_high[*p - 0x80];
            n = 1;
        }
        if (code >= 0x10000) {
            if (used + 2 >= size) break;
            code -= 0x10000;
            out[used++] = static_cast<char16_t>(0xD800 + (code >> 10));
            out[used++] = static_cast<char16_t>(0xDC00 + (code & 0x3FF));
        } else {
            out[used++] = static_cast<char16_t>(code);
        }
        p += n;
    }
    out[used] = 0;
}

bool file_mtime(const char16_t* path, int64_t* seconds) {
    struct stat status;
    if (stat(path_to_utf8(path).c_str(), &status) != 0) return false;
    *seconds = static_cast<int64_t>(status.st_mtime);
    return true;
}

bool dos_date_time(int64_t unix_seconds, uint32_t* result) {
    time_t t = static_cast<time_t>(unix_seconds);
    struct tm local;
    if (localtime_r(&t, &local) == nullptr) return false;
    int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) return false;
    uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    uint32_t time = static_cast<uint32_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    *result = (date << 16) | time;
    return true;
}

namespace {

std::FILE* open_utf8_for_reading(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return nullptr;
    // A folder opens fine with fopen but reads fail; refuse it here.
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

}  // namespace

std::FILE* open_for_reading(const char16_t* path) { return open_utf8_for_reading(path_to_utf8(path)); }

namespace {

bool same_name_any_case(const char* a, const std::string& b) {
    size_t i = 0;
    for (; a[i] && i < b.size(); ++i) {
        const unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x != y && !(x < 0x80 && y < 0x80 && std::tolower(x) == std::tolower(y))) return false;
    }
    return a[i] == '\0' && i == b.size();
}

}  // namespace

std::FILE* open_beside(const char16_t* path, const char* extension) {
    const std::string full = path_to_utf8(path);
    const size_t slash = full.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : full.substr(0, slash + 1);
    std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    name += extension;
    // The exact name first; another case only when it is absent.
    std::FILE* file = open_utf8_for_reading(folder + name);
    if (file != nullptr) return file;
    DIR* listing = opendir(folder.empty() ? "." : folder.c_str());
    if (listing == nullptr) return nullptr;
    std::string found;
    while (const dirent* entry = readdir(listing))
        if (same_name_any_case(entry->d_name, name)) {
            found = entry->d_name;
            break;
        }
    closedir(listing);
    return found.empty() ? nullptr : open_utf8_for_reading(folder + found);
}

struct WriteHandle {
    int fd;
};

WriteHandle* create_file(const char16_t* path) {
    int fd = ::open(path_to_utf8(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    WriteHandle* handle = new (std::nothrow) WriteHandle{fd};
    if (handle == nullptr) ::close(fd);
    return handle;
}

bool write_file(WriteHandle* handle, const void* data, size_t length, size_t* written) {
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    while (done < length) {
        ssize_t n = ::write(handle->fd, p + done, length - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    *written = done;
    return done == length;
}

void close_file(WriteHandle* handle) {
    ::close(handle->fd);
    delete handle;
}

bool module_path(char16_t* out, size_t size) {
    Dl_info info;
    if (size == 0 || dladdr(reinterpret_cast<void*>(&module_path), &info) == 0 || info.dli_fname == nullptr)
        return false;
    std::optional<std::u16string> path = utf8_to_utf16(info.dli_fname);
    if (!path || path->size() >= size) return false;
    path->copy(out, path->size());
    out[path->size()] = 0;
    return true;
}

}  // namespace platform
