// Output files: text mode line ends, growth, seeking and the compressed
// integers written into pictures.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/memory_file.h"

namespace {

struct File {
    MemoryFile* f;
    explicit File(const char* mode, const char* name = "x") : f(output_open(name, mode)) {}
    ~File() {
        std::free(f->buffer);
        std::free(f);
    }
    std::string bytes() const { return std::string(reinterpret_cast<char*>(f->buffer), f->length); }
};

TEST(MemoryFile, TextModeStoresLineFeedsAsCrLf) {
    File text("wt"), binary("wb");
    output_write("a\nb", 1, 3, text.f);
    output_write("a\nb", 1, 3, binary.f);
    EXPECT_EQ(text.bytes(), "a\r\nb");
    EXPECT_EQ(binary.bytes(), "a\nb");
    output_putc('\n', text.f);
    EXPECT_EQ(text.f->length, 6u);
    // A CR already there is not looked at.
    output_puts("\r\n", text.f);
    EXPECT_EQ(text.bytes(), "a\r\nb\r\n\r\r\n");
    EXPECT_EQ(output_printf(text.f, "%d-%s\n", 42, "x"), 5);
    EXPECT_EQ(text.bytes().substr(9), "42-x\r\n");
}

TEST(MemoryFile, WritingNothingLeavesAnEmptyFileWithoutABuffer) {
    File f("wt");
    EXPECT_EQ(output_write("", 1, 0, f.f), 0u);
    EXPECT_EQ(output_puts("", f.f), 0);
    EXPECT_EQ(f.f->buffer, nullptr);
    EXPECT_EQ(f.f->length, 0u);
}

TEST(MemoryFile, BuffersGrowByDoublingFrom256) {
    File f("wb");
    EXPECT_EQ(f.f->buffer, nullptr);
    output_putc('x', f.f);
    EXPECT_EQ(f.f->capacity, 256u);
    for (int i = 1; i < 256; ++i) output_putc('x', f.f);
    EXPECT_EQ(f.f->capacity, 256u);
    output_putc('y', f.f);
    EXPECT_EQ(f.f->capacity, 512u);
    std::string big(3000, 'z');
    output_write(big.data(), 1, big.size(), f.f);
    EXPECT_EQ(f.f->capacity, 4096u);  // the doublings of byte-wise writes
    EXPECT_EQ(f.f->length, 3257u);
}

TEST(MemoryFile, SeekingGrowsAndOverwrites) {
    File f("wb");
    EXPECT_EQ(output_seek(f.f, 1000), 0);
    EXPECT_EQ(f.f->capacity, 2000u);
    EXPECT_EQ(f.f->length, 1000u);
    EXPECT_EQ(output_tell(f.f), 1000u);
    output_puts("tail", f.f);
    EXPECT_EQ(f.f->length, 1004u);
    output_seek(f.f, 0);
    output_write("head", 1, 4, f.f);
    EXPECT_EQ(f.f->length, 1004u);
    EXPECT_EQ(f.bytes().substr(0, 4), "head");
    EXPECT_EQ(f.bytes().substr(1000), "tail");
}

TEST(MemoryFile, ReadingBackStopsAtTheLength) {
    File f("wb");
    output_puts("abcdefgh", f.f);
    output_seek(f.f, 4);
    char out[10] = {};
    EXPECT_EQ(output_read(f.f, out, 10), 4);
    EXPECT_STREQ(out, "efgh");
    EXPECT_EQ(output_getc(f.f), -1);
    EXPECT_EQ(output_read(f.f, out, -1), 0);
    output_seek(f.f, 1);
    EXPECT_EQ(output_getc(f.f), 'b');
}

TEST(MemoryFile, CompressedIntegers) {
    File f("wb");
    output_put_compressed_short(127, f.f);
    output_put_compressed_short(128, f.f);
    output_put_compressed_long(f.f, 0x7FFF);
    output_put_compressed_long(f.f, 32768);
    output_put_word(f.f, 0x1234);
    std::vector<uint8_t> got(f.f->buffer, f.f->buffer + f.f->length);
    std::vector<uint8_t> want{0xFE, 0x01, 0x01, 0xFE, 0xFF, 0x01, 0x00, 0x01, 0x00, 0x34, 0x12};
    EXPECT_EQ(got, want);
}

TEST(MemoryFile, NamesAndTheListingOrder) {
    OutputList list{};
    MemoryFile* unnamed = output_open("", "wt");
    EXPECT_EQ(unnamed->name[0], 0);
    output_add(list, unnamed);
    MemoryFile* named = output_open("Caf\xe9.rtf", "wt");  // Windows-1252 byte
    output_add(list, named);
    EXPECT_EQ(list.head->file, named);
    EXPECT_EQ(list.cursor, list.head);
    EXPECT_EQ(list.head->next->file, unnamed);
    EXPECT_EQ(std::u16string(named->name), u"Caf\u00e9.rtf");
    MemoryFile* utf8 = output_open("Caf\xc3\xa9", "wb");
    output_add(list, utf8);
    EXPECT_EQ(std::u16string(utf8->name), u"Caf\u00e9");
    output_list_free(list);
    EXPECT_EQ(list.head, nullptr);
}

}  // namespace

#include "core/entry_name.h"

namespace {

TEST(EntryName, UntrustedNamesBecomePlainFileNames) {
    auto safe = [](const std::string& name) {
        char buffer[64] = {};
        name.copy(buffer, sizeof buffer - 1);
        make_safe_entry_name(buffer, sizeof buffer);
        return std::string(buffer);
    };
    EXPECT_EQ(safe("readme.txt"), "readme.txt");
    EXPECT_EQ(safe("../etc/passwd"), ".._etc_passwd");
    EXPECT_EQ(safe("C:\\x\ty"), "C__x_y");
    EXPECT_EQ(safe("."), "_");
    EXPECT_EQ(safe(".."), "__");
    EXPECT_EQ(safe("..."), "...");
    EXPECT_EQ(safe(""), "_");
    // Windows opens a device for these, whatever the extension.
    EXPECT_EQ(safe("PRN"), "_PRN");
    EXPECT_EQ(safe("nul.txt"), "_nul.txt");
    EXPECT_EQ(safe("Com1.ini.bak"), "_Com1.ini.bak");
    EXPECT_EQ(safe("LPT9"), "_LPT9");
    EXPECT_EQ(safe("COM0.txt"), "COM0.txt");
    EXPECT_EQ(safe("CONFIG.SYS"), "CONFIG.SYS");
    EXPECT_EQ(safe("xcon"), "xcon");
    // No room for the '_' in front: the first letter gives way.
    char full[4] = "AUX";
    make_safe_entry_name(full, sizeof full);
    EXPECT_STREQ(full, "_UX");
}

}  // namespace

#include "plugin/settings.h"

// hlpunpack.ini as users write it: only "1" under [hlpunpack] switches on.
TEST(PluginSettings, ReadsTheSwitchesOfItsOwnSectionOnly) {
    struct Case {
        const char* text;
        bool salvage, html, htmlhelp;
    } cases[] = {
        {"[hlpunpack]\r\nsalvage=1\r\n", true, false, false},
        {"[HLPUNPACK]\n Salvage = 1 \nhtml=1", true, true, false},
        {"[other]\nsalvage=1\n[hlpunpack]\nhtml=1\n", false, true, false},
        {"[hlpunpack]\nsalvage=0\nhtml=yes\n;salvage=1\n", false, false, false},
        {"[hlpunpack]\r\nHtmlHelp=1\r\n", false, false, true},
        {"[other]\nhtmlhelp=1\n[hlpunpack]\nhtmlhelp = 1\nhtml=1\n", false, true, true},
        {"[hlpunpack]\nhtmlhelps=1\nhtmlhelp=on\n", false, false, false},
        {"salvage=1\n", false, false, false},
        {"", false, false, false},
    };
    for (const Case& c : cases) {
        PluginSettings s = parse_settings(c.text, std::strlen(c.text));
        EXPECT_EQ(s.salvage, c.salvage) << c.text;
        EXPECT_EQ(s.html, c.html) << c.text;
        EXPECT_EQ(s.htmlhelp, c.htmlhelp) << c.text;
    }
}
