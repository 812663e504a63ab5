// The few operating-system calls the plug-in needs. On Windows they are the
// real Win32 calls; elsewhere platform_posix.cpp stands in for them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace platform {

// Unnamed mutex guarding the output cache (CreateMutexW and friends).
struct Mutex;
Mutex* mutex_create();
void mutex_wait(Mutex* mutex);
void mutex_release(Mutex* mutex);
void mutex_close(Mutex* mutex);

// Threads for the command-line tool's parallel work: CreateThread on
// Windows, where the cross compilers' thread model has no std::thread.
struct Thread;
// Runs body(argument) in a new thread; null when none can be started.
Thread* thread_start(void (*body)(void*), void* argument);
// Waits for the thread to end and frees it.
void thread_join(Thread* thread);
// Logical processors of the machine, at least 1.
int processor_count();
void sleep_milliseconds(int milliseconds);

// Last-write time of a file in whole seconds since 1970 (UTC).
bool file_mtime(const char16_t* path, int64_t* seconds);

// Local-time DOS date (high 16 bits) and time (low 16 bits) of a Unix time;
// false when the time cannot be expressed (before 1980 or after 2107).
bool dos_date_time(int64_t unix_seconds, uint32_t* result);

// UTF-16 to the ANSI code page (WideCharToMultiByte with CP_ACP). Writes at
// most size - 1 bytes and a NUL; returns the byte count, or -1 when the
// text does not fit.
int wide_to_ansi(const char16_t* text, size_t length, char* out, size_t size);

// ANSI code page to UTF-16 (MultiByteToWideChar with CP_ACP), NUL-terminated,
// at most size units including the NUL.
void ansi_to_wide(const char* text, char16_t* out, size_t size);

// The help file opened by its wide path for binary reading, shared for
// reading and writing by others; null when it cannot be opened.
std::FILE* open_for_reading(const char16_t* path);
// The file beside `path` with the same name but the extension `extension`
// (".cnt"), matched without regard to case as Windows matches names; null
// when there is none.
std::FILE* open_beside(const char16_t* path, const char* extension);

// A file created (or truncated) for writing (CreateFileW with CREATE_ALWAYS).
struct WriteHandle;
WriteHandle* create_file(const char16_t* path);
// Writes all bytes or reports failure (WriteFile); written receives the count.
bool write_file(WriteHandle* handle, const void* data, size_t length, size_t* written);
void close_file(WriteHandle* handle);

// Full path of the module (DLL, shared object or program) this code is in:
// GetModuleFileNameW on Windows, dladdr elsewhere. False when unknown.
bool module_path(char16_t* out, size_t size);

}  // namespace platform
