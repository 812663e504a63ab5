// The version is set once, in CMakeLists.txt; what carries it elsewhere must
// say the same (hlpunpack --version is checked with the tool's own tests).
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <string>

#include "wcx_fixture.h"

namespace {

std::string source_file(const std::string& name) {
    std::ifstream in(std::string(HLP_SOURCE_DIR) + "/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every version-like number that follows "hlpunpack" (as "hlpunpack 1.2.3"
// or "hlpunpack-1.2.3") in the text.
std::set<std::string> versions_named(const std::string& text) {
    std::set<std::string> found;
    std::regex version(R"(hlpunpack[ -]([0-9]+\.[0-9]+\.[0-9]+))");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), version); it != std::sregex_iterator(); ++it)
        found.insert((*it)[1]);
    return found;
}

TEST(Version, ReadmeNamesTheReleaseArchivesOfThisVersion) {
    const std::string readme = source_file("README.md");
    ASSERT_FALSE(readme.empty());
    EXPECT_NE(readme.find("hlpunpack-" HLPUNPACK_VERSION ".zip"), std::string::npos);
    EXPECT_NE(readme.find("hlpunpack-" HLPUNPACK_VERSION "-linux.zip"), std::string::npos);
    EXPECT_EQ(versions_named(readme), std::set<std::string>{HLPUNPACK_VERSION});
}

TEST(Version, PackagingTakesTheVersionFromTheBuild) {
    for (const char* name : {"packaging/pluginst.inf.in", "packaging/readme-windows.txt.in",
                             "packaging/readme-linux.txt.in"}) {
        const std::string text = source_file(name);
        ASSERT_FALSE(text.empty()) << name;
        EXPECT_NE(text.find("@VERSION@"), std::string::npos) << name;
        EXPECT_TRUE(versions_named(text).empty()) << name << " names a version of its own";
    }
}

TEST(Version, SampleHelpFileWasMadeForThisVersion) {
    // Regenerate it with `cmake --build build --target sample_hlp` after a change of version.
    WCX_HANDLE handle = open_archive(std::string(HLP_SOURCE_DIR) + "/examples/sample.hlp");
    ASSERT_NE(handle, nullptr);
    TempDir dir;
    extract_all(handle, dir.path.string());
    CloseArchive(handle);
    const std::string readme = read_file(dir.file("readme.txt"));
    EXPECT_EQ(readme.substr(0, readme.find('\r')), "hlpunpack " HLPUNPACK_VERSION " sample");
}

}  // namespace
