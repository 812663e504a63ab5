// output_printf formats the common conversions itself; whatever it writes
// must be what the C library's formatting writes, and it must hand every
// other format to the library.
#include <gtest/gtest.h>

#include <climits>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/memory_file.h"

namespace {

struct Output {
    MemoryFile* file = output_open("t", "wb");
    ~Output() {
        std::free(file->buffer);
        std::free(file);
    }
    std::string text() const { return std::string(reinterpret_cast<const char*>(file->buffer), file->length); }
};

// What the C library makes of the format (through a va_list, so the
// compiler does not second-guess the formats on purpose written here).
std::string library_format(const char* format, ...) {
    char buffer[4096];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    return std::string(buffer, static_cast<size_t>(n));
}

template <typename... Args>
void expect_as_library(const char* format, Args... args) {
    Output out;
    const int written = output_printf(out.file, format, args...);
    const std::string expected = library_format(format, args...);
    EXPECT_EQ(written, static_cast<int>(expected.size())) << format;
    EXPECT_EQ(out.text(), expected) << format;
}

TEST(OutputPrintf, SameBytesAsTheLibrary) {
    for (int v : {0, 7, -7, 42, INT_MAX, INT_MIN, 1000000}) {
        expect_as_library("\\fs%d ", v);
        expect_as_library("{\\f%d}%d%%", v, -(v / 2));
    }
    for (long v : {0L, -1L, LONG_MAX, LONG_MIN}) expect_as_library("%ld;", v);
    for (long long v : {0LL, 123456789012LL, LLONG_MIN}) expect_as_library("x%lldy", v);
    for (unsigned v : {0u, 9u, UINT_MAX}) expect_as_library("%u", v);
    expect_as_library("{\\up %c}{\\footnote %s}", 'K', "keyword");
    expect_as_library("%c%c", 0, 'a');  // a NUL character is written too
    expect_as_library("%s", "");
    expect_as_library("no conversions\n");
    // Zero flags and widths on numbers, lower-case hexadecimal.
    expect_as_library("%3u|%5u|%04x|%02x|%X|%08lx", 7u, 12u, 0xABu, 0x5u, 0xBEEFu, 0xDEADBEEFul);
    expect_as_library("BROWSE%04x:%04x|%x|%lx|%llx", 0x1234u, 0u, UINT_MAX, ULONG_MAX, 0x1ull << 40);
    expect_as_library("%03u|%1u|%05d|%5d|%02d|%010lld", 123456u, 0u, -42, -42, 5, -1234567LL);
    // Formats left to the library: other flags, precisions, null strings.
    expect_as_library("%-5d|%+d|%.3d|%5s|%lu|%hd", 4, 4, 4, "ab", 9ul, 3);
    expect_as_library("%s", static_cast<const char*>(nullptr));
    // A result longer than the small buffer.
    std::string long_text(700, 'q');
    expect_as_library("%s and %d", long_text.c_str(), 5);
    std::string edge(511, 'e');
    expect_as_library("%s", edge.c_str());
    expect_as_library("%s!", edge.c_str());
}

TEST(OutputPrintf, ControlWordsAndShortTextsAsPrintfWritesThem) {
    Output out;
    for (long long v : {0LL, 7LL, -7LL, LLONG_MIN, LLONG_MAX}) {
        output_control_word(out.file, "\\fs", v);
        output_puts(" ", out.file);
    }
    const std::string long_word(60, 'w');
    output_control_word(out.file, long_word.c_str(), -3);
    output_puts("", out.file);
    EXPECT_EQ(out.text(), library_format("\\fs%lld \\fs%lld \\fs%lld \\fs%lld \\fs%lld %s%d", 0LL, 7LL, -7LL,
                                         LLONG_MIN, LLONG_MAX, long_word.c_str(), -3));
}

TEST(OutputPrintf, TextFilesWidenLineEndsEitherWay) {
    MemoryFile* file = output_open("t", "wt");
    output_printf(file, "%s\n%d\n", "a", 5);
    output_printf(file, "%04x\n", 10u);
    output_puts("\\par\n", file);  // into a buffer with room
    output_control_word(file, "\n\\li", 5);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(file->buffer), file->length),
              "a\r\n5\r\n000a\r\n\\par\r\n\r\n\\li5");
    std::free(file->buffer);
    std::free(file);
}

}  // namespace
