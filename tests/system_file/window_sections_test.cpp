// [WINDOWS] in both record layouts, [CONFIG] with its SPC form, and the
// per-window [CONFIG:n] sections.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpfile/container.h"
#include "system_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::MediaViewWindow;
using hlptest::SystemRecordSpec;
using hlptest::WinHelpWindow;
using hlptest::system_string_record;

std::string windows_of(const std::vector<SystemRecordSpec>& records, bool mediaview = false) {
    ProjectRun run(help_files(33, 0, records), mediaview);
    return section(run.options(), "[WINDOWS]");
}

TEST(WindowsSection, WinHelpRecords) {
    WinHelpWindow plain{.flags = 0x0006, .type = "main", .name = "main", .caption = "Sample Help"};
    WinHelpWindow corners{.flags = 0x0002 | 0x0008 | 0x0040, .name = "corner", .x = 10, .y = 20, .width = 30,
                          .height = 300};
    WinHelpWindow full{.flags = 0x0002 | 0x0004 | 0x0078 | 0x0100 | 0x0200 | 0x0C00,
                       .name = "full",
                       .caption = "All of it",
                       .x = -5,
                       .y = 0,
                       .width = 1023,
                       .height = 511,
                       .maximize = 1,
                       .scroll_colour = {255, 128, 0},
                       .fixed_colour = {1, 2, 3}};
    WinHelpWindow f2{.flags = 0x0800 | 0x0100, .name = "unused", .maximize = -1, .scroll_colour = {9, 9, 9}};
    WinHelpWindow one{.flags = 0x0400 | 0x0200, .caption = "unused", .fixed_colour = {7, 8, 9}};
    EXPECT_EQ(windows_of({hlptest::winhelp_window_record(plain), hlptest::winhelp_window_record(corners),
                          hlptest::winhelp_window_record(full), hlptest::winhelp_window_record(f2),
                          hlptest::winhelp_window_record(one)}),
              "[WINDOWS]\n"
              "main=\"Sample Help\",,,,\n"
              "corner=,(10,,,300),,,\n"
              "full=\"All of it\",(-5,0,1023,511),1,(255,128,0),(1,2,3),f3\n"
              "=,,4294967295,(9,9,9),,f2\n"
              "=,,,,(7,8,9),1\n"
              "\n");
}

TEST(WindowsSection, MediaViewRecords) {
    MediaViewWindow w{.name = "mvmain",
                      .caption = "MediaView Title",
                      .position = {1, 2, 3, -4, 5},
                      .colours = {{{10, 11, 12}, {20, 21, 22}, {30, 31, 32}}},
                      .region = {100, 200, 300, 400},
                      .extra = {-7, 0x0108}};
    std::string full = windows_of({hlptest::mediaview_window_record(w)}, true);
    EXPECT_EQ(full,
              "[WINDOWS]\n"
              "mvmain=\"MediaView Title\",(1,2,3,-4,5),(0),(10,11,12),(20,21,22),(30,31,32),"
              "(100,200,300,400,0),(1,-7,264),(0),(1)\n"
              "\n");

    // Records of other lengths keep what they hold; the bytes they lack are zero.
    w.length = 131;  // the last byte of the last number is missing
    MediaViewWindow short_window{.name = "tiny", .caption = "Cut", .position = {9, 9, 9, 9, 9}, .length = 30};
    EXPECT_EQ(windows_of({hlptest::mediaview_window_record(w), hlptest::mediaview_window_record(short_window),
                          SystemRecordSpec{6, Bytes{}}},
                         true),
              "[WINDOWS]\n"
              "mvmain=\"MediaView Title\",(1,2,3,-4,5),(0),(10,11,12),(20,21,22),(30,31,32),"
              "(100,200,300,400,0),(1,-7,8),(0),(1)\n"
              "tiny=\"Cut\",(0,0,0,0,0),(0),(0,0,0),(0,0,0),(0,0,0),(0,0,0,0,0),(1,0,0),(0),(1)\n"
              "=\"\",(0,0,0,0,0),(0),(0,0,0),(0,0,0),(0,0,0),(0,0,0,0,0),(1,0,0),(0),(1)\n"
              "\n");
    // A record of 89 or 91 bytes is not the WinHelp layout.
    WinHelpWindow almost{.flags = 0x0006, .name = "a", .caption = "b"};
    auto record = hlptest::winhelp_window_record(almost);
    record.data.push_back(0);
    EXPECT_EQ(windows_of({record}).rfind("[WINDOWS]\na=\"b\",(0,0,0,0,0),(0),", 0), 0u);
}

TEST(WindowsSection, NoWindowsNoSection) {
    ProjectRun run(help_files(33, 0, {system_string_record(1, "T")}));
    EXPECT_EQ(section(run.options(), "[WINDOWS]"), "");
}

TEST(ConfigSection, SpcFormAndPlainMacros) {
    ProjectRun run(help_files(21, 0,
                              {system_string_record(4, "SPC(16711680)Text"), system_string_record(4, "BrowseButtons()"),
                               system_string_record(1, "between"), system_string_record(4, "SPC( -1)"),
                               system_string_record(4, "SPC(+258)x(1)"), system_string_record(4, "SPC()y"),
                               system_string_record(4, "SPC(12"), system_string_record(4, "SPC(12 )z"),
                               system_string_record(4, " SPC(1)"), system_string_record(4, "")}));
    EXPECT_EQ(section(run.options(), "[CONFIG]"),
              "[CONFIG]\n"
              "SPC(0,0,255)Text\n"
              "BrowseButtons()\n"
              "SPC(255,255,255)\n"
              "SPC(2,1,0)x(1)\n"
              "SPC()y\n"
              "SPC(12\n"
              "SPC(12 )z\n"
              " SPC(1)\n"
              "\n"
              "\n");
}

TEST(WindowConfigSections, OnePerWindowWithAFile) {
    std::vector<SystemRecordSpec> windows(3, hlptest::winhelp_window_record({.flags = 0x0002, .name = "w"}));
    Bytes unterminated = hlptest::config_macros_file({"First()"});
    unterminated.insert(unterminated.end(), {'L', 'a', 's', 't'});
    ProjectRun run(help_files(33, 0, windows,
                              {{"|CF0", hlptest::config_macros_file({"BrowseButtons()", "", "CloseWindow(`x')"})},
                               {"|CF2", unterminated},
                               // Its 9-byte header starts with 'A', 0: the size 65.
                               {"|CF9", Bytes(65, 'x')},
                               {"|CF3", hlptest::config_macros_file({"NotAWindow()"})},
                               {"|CF1", Bytes{}},
                               {"|ZZZ", hlptest::bytes_of("AfterTheFile")}}));
    std::string text = run.options();
    EXPECT_EQ(section(text, "[CONFIG:0]"), "[CONFIG:0]\nBrowseButtons()\n\nCloseWindow(`x')\n\n");
    EXPECT_EQ(section(text, "[CONFIG:1]"), "[CONFIG:1]\n\n");
    // The last string ends with the file; the next file's bytes stay out.
    EXPECT_EQ(section(text, "[CONFIG:2]"), "[CONFIG:2]\nFirst()\nLast\n\n");
    EXPECT_EQ(section(text, "[CONFIG:3]"), "");
    auto headers = section_headers(text);
    EXPECT_EQ(headers.back(), "[CONFIG:2]");
}

// |CF0 claiming gigabytes: the strings end with the help file instead of an
// empty line for every byte the size claims.
TEST(WindowConfigSections, SizeBeyondTheHelpFileStopsAtItsEnd) {
    auto files = help_files(33, 0, {hlptest::winhelp_window_record({.name = "w"})},
                            {{"|CF0", hlptest::config_macros_file({"First()"})}});
    Bytes help = hlptest::build_help_file(files);
    {
        OpenBytes probe(help);
        long length = 0;
        ASSERT_TRUE(find_internal_file(probe.file, &length, "|CF0"));
        hlptest::put_u32(help, static_cast<size_t>(std::ftell(probe.file)) - 9 + 4, 0x7FFFFFF0);
    }
    ProjectRun run(files);
    run.help = std::make_unique<OpenBytes>(help);
    std::string config = section(run.options(), "[CONFIG:0]");
    EXPECT_EQ(config.rfind("[CONFIG:0]\nFirst()\n", 0), 0u) << config;
    EXPECT_LT(config.size(), 2 * help.size()) << "one line at most for each byte the file has";
}

TEST(WindowConfigSections, OverlongMacroIsFatal) {
    ProjectRun run(help_files(33, 0, {hlptest::winhelp_window_record({.name = "w"})},
                              {{"|CF0", hlptest::config_macros_file({std::string(4096, 'm')})}}));
    EXPECT_EQ(fatal_output([&] { run.options(); }), "String length exceeds decompiler limit.\n");
    ProjectRun fits(help_files(33, 0, {hlptest::winhelp_window_record({.name = "w"})},
                               {{"|CF0", hlptest::config_macros_file({std::string(4095, 'm')})}}));
    EXPECT_EQ(section(fits.options(), "[CONFIG:0]"), "[CONFIG:0]\n" + std::string(4095, 'm') + "\n\n");
}

}  // namespace
