// POSIX stand-ins for the Win32 calls of platform.h. The ANSI code page is
// UTF-8 here; bytes that do not form UTF-8 are read as Windows-1252 so that
// names stored in old help files stay readable.
#include "platform/platform.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <mutex>
#include <string>

namespace platform {

struct Mutex {
    std::mutex lock;
};

Mutex* mutex_create() { return new (std::nothrow) Mutex; }
void mutex_wait(Mutex* mutex) { mutex->lock.lock(); }
void mutex_release(Mutex* mutex) { mutex->lock.unlock(); }
void mutex_close(Mutex* mutex) { delete mutex; }

namespace {

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string to_utf8(const char16_t* text, size_t length) {
    std::string out;
    out.reserve(length);
    for (size_t i = 0; i < length; ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
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

std::string path_to_utf8(const char16_t* path) {
    size_t length = 0;
    while (path[length]) ++length;
    return to_utf8(path, length);
}

// Windows-1252 bytes 0x80..0x9F; the five unassigned ones map to themselves.
const char16_t cp1252_high[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// Length of the valid UTF-8 sequence at p (1 to 4), or 0 if there is none.
int utf8_sequence(const unsigned char* p, uint32_t* code) {
    unsigned char b = p[0];
    int n;
    uint32_t c, min;
    if (b >= 0xC2 && b <= 0xDF) { n = 2; c = b & 0x1F; min = 0x80; }
    else if (b >= 0xE0 && b <= 0xEF) { n = 3; c = b & 0x0F; min = 0x800; }
    else if (b >= 0xF0 && b <= 0xF4) { n = 4; c = b & 0x07; min = 0x10000; }
    else return 0;
    for (int i = 1; i < n; ++i) {
        if ((p[i] & 0xC0) != 0x80) return 0;  // also stops at the NUL
        c = (c << 6) | (p[i] & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
    *code = c;
    return n;
}

}  // namespace

int wide_to_ansi(const char16_t* text, size_t length, char* out, size_t size) {
    std::string utf8 = to_utf8(text, length);
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
        int n = *p < 0x80 ? 0 : utf8_sequence(p, &code);
        if (*p < 0x80) {
            code = *p;
            n = 1;
        } else if (n == 0) {
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

std::FILE* open_for_reading(const char16_t* path) {
    std::FILE* file = std::fopen(path_to_utf8(path).c_str(), "rb");
    if (file == nullptr) return nullptr;
    // A folder opens fine with fopen but reads fail; refuse it here.
    struct stat status;
    if (fstat(fileno(file), &status) != 0 || !S_ISREG(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return file;
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

}  // namespace platform
