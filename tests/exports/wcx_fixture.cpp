#include "wcx_fixture.h"

#include <unistd.h>

#include <fstream>
#include <sstream>

std::u16string to_u16(const std::string& text) {
    std::u16string out;
    for (unsigned char c : text) out += static_cast<char16_t>(c);  // tests use ASCII paths
    return out;
}

std::string to_utf8(const char16_t* text) {
    std::string out;
    for (; *text; ++text) out += static_cast<char>(*text);
    return out;
}

TempDir::TempDir() {
    char pattern[] = "/tmp/hlpunpack-test-XXXXXX";
    path = mkdtemp(pattern);
}

TempDir::~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

hlptest::Bytes minimal_help_file() {
    return hlptest::build_help_file(
        {{"|SYSTEM", hlptest::build_system_file(33, 4, {hlptest::system_string_record(1, "Minimal")})}});
}

WCX_HANDLE open_archive(const std::string& path, int* result) {
    std::u16string wide = to_u16(path);
    tOpenArchiveDataW data{};
    data.ArcName = wide.data();
    data.OpenMode = PK_OM_EXTRACT;
    data.OpenResult = -1;
    WCX_HANDLE handle = OpenArchiveW(&data);
    if (result) *result = data.OpenResult;
    return handle;
}

std::vector<Entry> list_entries(WCX_HANDLE handle) {
    std::vector<Entry> entries;
    tHeaderDataExW header;
    while (ReadHeaderExW(handle, &header) == 0) {
        entries.push_back({to_utf8(header.FileName), header.UnpSize, header.FileTime, header.FileAttr});
        ProcessFileW(handle, PK_SKIP, nullptr, nullptr);
    }
    return entries;
}

std::vector<int> extract_all(WCX_HANDLE handle, const std::string& folder) {
    std::vector<int> results;
    tHeaderDataExW header;
    std::u16string path = to_u16(folder + "/");
    while (ReadHeaderExW(handle, &header) == 0) {
        std::u16string name(header.FileName);
        results.push_back(ProcessFileW(handle, PK_EXTRACT, path.data(), name.data()));
    }
    return results;
}

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
