// What the test host needs from the system besides the plug-in: UTF-16
// paths, file bytes, the help file's expected time stamp and attributes,
// and counts of open handles and heap bytes for the leak checks.
#pragma once

#include <filesystem>
#include <string>

namespace wcxhost {

std::string to_utf8(const std::u16string& text);
std::u16string from_utf8(const std::string& text);

// A path as this platform's plug-in expects it. On Windows an absolute
// Linux path (the test scripts pass those) becomes one on drive Z:, which
// Wine maps to the Linux root, with backslashes throughout.
std::u16string native_path(const std::u16string& path);
std::filesystem::path fs_path(const std::u16string& path);
std::u16string join(const std::u16string& folder, const std::u16string& name);
extern const char16_t path_separator;

bool read_bytes(const std::u16string& path, std::string& out);
bool write_bytes(const std::u16string& path, const std::string& bytes);

// FileTime and FileAttr as the plug-in must report them for this file:
// the local DOS date/time and 32 on Windows, Unix seconds and a regular
// file's mode elsewhere.
bool expected_file_time(const std::u16string& path, int& value);
int expected_file_attr();

// A figure that grows when handles (file descriptors) are left open: their
// count, or where Wine does not count them, the slot that new handles get
// (the lowest free ones); -1 when unknown.
long handle_count();
// Bytes in use on the process heaps (Windows), or -1 when unknown.
long long heap_in_use();

// A path where creating a file succeeds but writing fails (disk full), or
// an empty string when the system has none.
std::u16string full_device_path();

// Runs `work` on a second thread while the caller runs `other`.
void run_concurrently(void (*work)(void*), void* work_arg, void (*other)(void*), void* other_arg);

// Counts checks and prints the failed ones.
struct Report {
    int passed = 0;
    int failed = 0;
    bool check(bool ok, const std::string& what);
};

}  // namespace wcxhost
