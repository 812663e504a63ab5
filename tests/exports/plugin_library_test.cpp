// The plug-in as a file manager loads it: a shared object with exactly the
// thirteen WCX exports and nothing it cannot resolve.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <set>
#include <string>

#include "hlpunpack/wcx.h"

namespace {

const std::string plugin_path = std::string(HLP_BINARY_DIR) + "/hlpunpack.wcx";

const std::set<std::string> wcx_exports = {
    "OpenArchiveW", "ReadHeaderExW",  "ProcessFileW", "CloseArchive",  "SetProcessDataProcW",
    "SetProcessDataProc", "SetChangeVolProc", "SetChangeVolProcW", "OpenArchive", "ReadHeader",
    "ProcessFile", "GetPackerCaps", "GetBackgroundFlags"};

std::string run(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return out;
    std::array<char, 256> buffer;
    while (fgets(buffer.data(), buffer.size(), pipe)) out += buffer.data();
    pclose(pipe);
    return out;
}

TEST(PluginLibrary, LoadsAndAnswersTheHost) {
    void* library = dlopen(plugin_path.c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    for (const std::string& name : wcx_exports) EXPECT_NE(dlsym(library, name.c_str()), nullptr) << name;
    auto caps = reinterpret_cast<int (*)()>(dlsym(library, "GetPackerCaps"));
    auto background = reinterpret_cast<int (*)()>(dlsym(library, "GetBackgroundFlags"));
    EXPECT_EQ(caps(), 388);
    EXPECT_EQ(background(), 1);
    auto open_ansi = reinterpret_cast<WCX_HANDLE (*)(tOpenArchiveData*)>(dlsym(library, "OpenArchive"));
    auto read_ansi = reinterpret_cast<int (*)(WCX_HANDLE, tHeaderData*)>(dlsym(library, "ReadHeader"));
    auto process_ansi = reinterpret_cast<int (*)(WCX_HANDLE, int, char*, char*)>(dlsym(library, "ProcessFile"));
    tOpenArchiveData data{};
    char name[] = "x.hlp";
    data.ArcName = name;
    EXPECT_EQ(open_ansi(&data), nullptr);
    EXPECT_EQ(data.OpenResult, 24);
    tHeaderData header{};
    EXPECT_EQ(read_ansi(nullptr, &header), 24);
    EXPECT_EQ(process_ansi(nullptr, PK_EXTRACT, nullptr, name), 24);
    // Hosts call these with -1 before packing; nothing may happen.
    auto set_proc = reinterpret_cast<void (*)(WCX_HANDLE, tProcessDataProcW)>(dlsym(library, "SetProcessDataProcW"));
    set_proc(reinterpret_cast<WCX_HANDLE>(-1), nullptr);
    dlclose(library);
}

TEST(PluginLibrary, ExportsNothingElseAndNeedsOnlySystemLibraries) {
    std::string symbols = run("nm -D --defined-only " + plugin_path);
    std::set<std::string> exported;
    size_t start = 0;
    while (start < symbols.size()) {
        size_t end = symbols.find('\n', start);
        std::string line = symbols.substr(start, end - start);
        start = end == std::string::npos ? symbols.size() : end + 1;
        size_t space = line.rfind(' ');
        if (space != std::string::npos && line.size() > 17 && line[17] != 'A') exported.insert(line.substr(space + 1));
    }
    if (exported.empty()) GTEST_SKIP() << "nm not available";
    EXPECT_EQ(exported, wcx_exports);
#if !defined(__SANITIZE_ADDRESS__)
    std::string needed = run("objdump -p " + plugin_path + " | grep NEEDED");
    EXPECT_EQ(needed.find("libstdc++"), std::string::npos) << needed;
    EXPECT_EQ(needed.find("libgcc_s"), std::string::npos) << needed;
#endif
}

}  // namespace
