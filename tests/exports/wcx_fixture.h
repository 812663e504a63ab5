// Drives the exports as a file manager does, on help files written to a
// temporary folder.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "help_builder.h"
#include "hlpunpack/wcx.h"

std::u16string to_u16(const std::string& text);
std::string to_utf8(const char16_t* text);

// A temporary folder, removed with everything in it.
struct TempDir {
    std::filesystem::path path;
    TempDir();
    ~TempDir();
    std::string file(const std::string& name) const { return (path / name).string(); }
};

// A small valid help file: |SYSTEM with a title, and an empty |TOPIC.
hlptest::Bytes minimal_help_file();

struct Entry {
    std::string name;
    unsigned size;
    int time;
    int attr;
};

// Opens the file; on failure returns null and stores the result.
WCX_HANDLE open_archive(const std::string& path, int* result = nullptr);
// Lists every entry with ReadHeaderExW / ProcessFileW(PK_SKIP) up to the end.
std::vector<Entry> list_entries(WCX_HANDLE handle);
// Extracts every entry into the folder; returns the results of ProcessFileW.
std::vector<int> extract_all(WCX_HANDLE handle, const std::string& folder);
std::string read_file(const std::string& path);
