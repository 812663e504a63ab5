#include "plugin/archive_session.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "plugin/session_counts.h"

namespace {

// Read by tests only (session_counts.h); not exported from the plug-in.
std::atomic<long> sessions_created{0};
std::atomic<long> sessions_freed{0};

}  // namespace

long session_count_created() { return sessions_created.load(); }
long session_count_freed() { return sessions_freed.load(); }

ArchiveSession* session_create() {
    ArchiveSession* session = static_cast<ArchiveSession*>(std::malloc(sizeof(ArchiveSession)));
    if (session == nullptr) return nullptr;
    std::memset(session, 0, offsetof(ArchiveSession, context));
    context_init(session->context);
    sessions_created.fetch_add(1);
    return session;
}

void session_free(ArchiveSession* session) {
    if (session == nullptr) return;
    context_release(session->context);
    std::free(session);
    sessions_freed.fetch_add(1);
}

uint32_t session_time_key(const char16_t* path, int64_t* unix_time) {
    int64_t seconds = 0;
    uint32_t key = 0;
    *unix_time = 0;
    if (!platform::file_mtime(path, &seconds)) return 0;
    *unix_time = seconds;
    if (!platform::dos_date_time(seconds, &key)) return 0;
    return key;
}

bool path_is_mediaview(const char16_t* path) {
    size_t length = 0;
    while (path[length]) ++length;
    return length >= 3 && (path[length - 3] | 0x20) == 'm';
}

void path_file_name(const char16_t* path, char* file_name, size_t size) {
    // Both separators end a folder: Windows accepts '/', and POSIX hosts use it.
    const char16_t* name = path;
    for (const char16_t* p = path; *p; ++p) {
        if (*p == u'\\' || *p == u'/') name = p + 1;
    }
    size_t length = 0;
    while (name[length]) ++length;
    char converted[256];
    if (platform::wide_to_ansi(name, length, converted, sizeof converted) < 0) {
        // Too long for the buffer: keep the longest prefix that converts.
        while (length > 0 && platform::wide_to_ansi(name, length, converted, sizeof converted) < 0) --length;
        if (length == 0) converted[0] = '\0';
    }
    size_t n = std::strlen(converted);
    if (n >= size) n = size - 1;
    std::memcpy(file_name, converted, n);
    file_name[n] = '\0';
}

void path_base_name(const char16_t* path, char* base_name, size_t size) {
    path_file_name(path, base_name, size);
    char* dot = std::strrchr(base_name, '.');
    if (dot != nullptr) *dot = '\0';
}
