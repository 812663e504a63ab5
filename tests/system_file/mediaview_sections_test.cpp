// [FTINDEX] with its word lists, [GROUPS] with the group table and
// |GMACROS, [DLLMAPS], [KEYINDEX], and the order of all sections.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpfile/container.h"
#include "project/system_file.h"
#include "system_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::GroupMacro;
using hlptest::SystemRecordSpec;
using hlptest::system_string_record;

std::string text_of(const std::string& stored) {
    std::string text;
    for (char c : stored) {
        if (c != '\r') text += c;
    }
    return text;
}

TEST(FtindexSection, WordsAndWordListsExtractedOnce) {
    ProjectRun run(help_files(33, 0,
                              {system_string_record(12, "Title Ti ttl |TTopics.wl extra more"),
                               system_string_record(12, "   Again   x  y |TTopics.wl"),
                               system_string_record(12, "   "), system_string_record(12, "Two words"),
                               system_string_record(12, "a b c |Missing.wl z"), system_string_record(12, "a b c d")},
                              {{"|TTopics.wl", hlptest::word_list_file({"alpha", "beta", "", "gamma"})},
                               {"d", hlptest::word_list_file({"nameless"})}}),
                   true);
    std::string text = run.options();
    EXPECT_EQ(section(text, "[FTINDEX]"),
              "[FTINDEX]\n"
              "dtypeTitle=Ti!ttl,TTopics.wl,extra\n"
              "dtypeAgain=x!y,TTopics.wl\n"
              "dtypeTwo=words\n"
              "dtypea=b!c,Missing.wl,z\n"
              "dtypea=b!c,\n"
              "\n");
    EXPECT_EQ(run.outputs_named("TTopics.wl").size(), 1u);
    EXPECT_EQ(text_of(run.output_bytes("TTopics.wl")), "alpha\nbeta\n\ngamma\n");
    EXPECT_TRUE(run.outputs_named("TTopics.wl")[0]->text);
    EXPECT_TRUE(run.outputs_named("Missing.wl").empty());
    EXPECT_TRUE(run.outputs_named("").empty());
    ASSERT_EQ(run.ctx().fulltext_count, 1);
    EXPECT_STREQ(run.ctx().fulltext_files[0], "|TTopics.wl");
}

TEST(FtindexSection, WordListsStayInsideTheirFiles) {
    // The header claims more entries than the file holds; the header alone
    // is cut; an entry runs past the end; and a file named with path
    // characters stays a plain entry.
    Bytes cut = hlptest::word_list_file({"one", "three"});
    cut.pop_back();
    ProjectRun run(help_files(33, 0,
                              {system_string_record(12, "a b c |Long.wl"), system_string_record(12, "a b c |Tiny.wl"),
                               system_string_record(12, "a b c |..\\evil/x.wl"), system_string_record(12, "a b c |.."),
                               system_string_record(12, "a b c |Cut.wl")},
                              {{"|Long.wl", hlptest::word_list_file({"one", "two"}, 500)},
                               {"|Cut.wl", cut},
                               {"|Tiny.wl", Bytes(20, 7)},
                               {"|..\\evil/x.wl", hlptest::word_list_file({"safe"})},
                               {"|..", hlptest::word_list_file({"dots"})},
                               {"|ZZ", Bytes{5, 'l', 'e', 'a', 'k', 's'}}}),
                   true);
    std::string text = run.options();
    EXPECT_EQ(section(text, "[FTINDEX]"), "[FTINDEX]\ndtypea=b!c,Long.wl\ndtypea=b!c,Tiny.wl\ndtypea=b!c,.._evil_x.wl\n"
                                          "dtypea=b!c,__\ndtypea=b!c,Cut.wl\n\n");
    EXPECT_EQ(text_of(run.output_bytes("Long.wl")), "one\ntwo\n");
    EXPECT_EQ(run.output_bytes("Tiny.wl"), "");
    EXPECT_EQ(text_of(run.output_bytes(".._evil_x.wl")), "safe\n");
    EXPECT_EQ(text_of(run.output_bytes("__")), "dots\n");
    EXPECT_EQ(text_of(run.output_bytes("Cut.wl")), "one\n");
}

TEST(FtindexSection, OnlyInMediaViewFiles) {
    ProjectRun run(help_files(33, 0, {hlptest::deffont_record(10, 0, "Arial")}));
    std::string text = run.options();
    EXPECT_NE(text.find("DEFFONT=Arial,10,0\n"), std::string::npos);
    EXPECT_EQ(section(text, "[FTINDEX]"), "");
}

Bytes bitmap_of(std::vector<int> topics, size_t size) {
    Bytes bitmap(size, 0);
    for (int n : topics) bitmap[size_t(n) >> 3] |= uint8_t(1 << (n & 7));
    return bitmap;
}

TEST(GroupsSection, GroupLinesAndTable) {
    ProjectRun run(help_files(33, 0,
                              {system_string_record(13, "first.GRP"), system_string_record(13, "second.GRP \"\" "),
                               system_string_record(1, "T"), system_string_record(13, "third.GRP Third Group"),
                               system_string_record(13, "gone.GRP \"\""),
                               system_string_record(13, "plain Title")},
                              {{"first.GRP", hlptest::group_file(1, 3, 9, {})},
                               {"second.GRP", hlptest::group_file(2, 0, 20, bitmap_of({1, 8, 20}, 3))},
                               {"third.GRP", hlptest::group_file(2, 5, 5, bitmap_of({5}, 1))},
                               {"plain", hlptest::group_file(7, 1, 1, {})}}),
                   true);
    std::string text = run.options();
    EXPECT_EQ(section(text, "[GROUPS]"),
              "[GROUPS]\n"
              "group=first\n"
              "group=second\n"
              "group=third,Third Group\n"
              "group=gone,\"\"\n"
              "group=plain,Title\n"
              "\n");
    const DecompileContext& ctx = run.ctx();
    ASSERT_EQ(ctx.group_count, 5);
    const char* names[] = {"first", "second", "third", "gone", "plain"};
    const uint32_t types[] = {1, 2, 2, 0, 7};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(ctx.groups[i].name, names[i]);
        EXPECT_EQ(hlptest::get_u32(Bytes(ctx.groups[i].header, ctx.groups[i].header + 40), 24), types[i]) << i;
    }
    EXPECT_EQ(hlptest::get_u32(Bytes(ctx.groups[0].header, ctx.groups[0].header + 40), 12), 3u);
    EXPECT_EQ(hlptest::get_u32(Bytes(ctx.groups[0].header, ctx.groups[0].header + 40), 8), 9u);
    EXPECT_EQ(ctx.groups[0].bitmap, nullptr);
    ASSERT_NE(ctx.groups[1].bitmap, nullptr);
    EXPECT_EQ(Bytes(ctx.groups[1].bitmap, ctx.groups[1].bitmap + 3), bitmap_of({1, 8, 20}, 3));
    EXPECT_EQ(ctx.groups[3].bitmap, nullptr);
    EXPECT_EQ(ctx.groups[4].bitmap, nullptr);
    // Group files are recreated from the project, not carried along.
    EXPECT_TRUE(run.outputs_named("first.GRP").empty());
}

TEST(GroupsSection, DamagedGroupFiles) {
    auto run_with = [](const Bytes& group) {
        return std::make_unique<ProjectRun>(
            help_files(33, 0, {system_string_record(13, "g.GRP")}, {{"g.GRP", group}, {"|ZZ", Bytes(64, 0xFF)}}),
            true);
    };
    // Bitmap sizes that are not positive hold no topics; one larger than the
    // file holds is read as far as it goes, the rest of its bits zero.
    for (int32_t size : {0, -5}) {
        auto run = run_with(hlptest::group_file(2, 0, 10, Bytes(3, 0xFF), size));
        run->options();
        EXPECT_EQ(run->ctx().groups[0].bitmap, nullptr);
        EXPECT_FALSE(run->ctx().had_problems);
    }
    for (int32_t size : {4, 1000}) {
        auto run = run_with(hlptest::group_file(2, 0, 10, Bytes(3, 0xFF), size));
        testing::internal::CaptureStderr();
        run->options();
        EXPECT_EQ(testing::internal::GetCapturedStderr(),
                  "Group bitmap of " + std::to_string(size) + " bytes cut to the 3 its file holds.\n");
        EXPECT_TRUE(run->ctx().had_problems);
        ASSERT_NE(run->ctx().groups[0].bitmap, nullptr);
        EXPECT_EQ(Bytes(run->ctx().groups[0].bitmap, run->ctx().groups[0].bitmap + 3), Bytes(3, 0xFF));
        EXPECT_EQ(hlptest::get_u32(Bytes(run->ctx().groups[0].header, run->ctx().groups[0].header + 40), 4), 3u);
    }
    // A group file claiming gigabytes does not make room for a bitmap of
    // gigabytes: only what the help file holds after the header counts.
    {
        auto files = help_files(33, 0, {system_string_record(13, "g.GRP")},
                                {{"g.GRP", hlptest::group_file(2, 0, 10, Bytes(3, 0xFF), 0x7FFFFFF0)}});
        Bytes help = hlptest::build_help_file(files);
        {
            OpenBytes probe(help);
            long length = 0;
            ASSERT_TRUE(find_internal_file(probe.file, &length, "g.GRP"));
            hlptest::put_u32(help, static_cast<size_t>(std::ftell(probe.file)) - 9 + 4, 0x7FFFFFFF);
        }
        ProjectRun run(files, true);
        run.help = std::make_unique<OpenBytes>(help);
        testing::internal::CaptureStderr();
        run.options();
        EXPECT_EQ(testing::internal::GetCapturedStderr().rfind("Group bitmap of 2147483632 bytes cut to the ", 0), 0u);
        EXPECT_TRUE(run.ctx().had_problems);
    }
    // A file shorter than the header: what is there, zeros after.
    Bytes header = hlptest::group_file(1, 2, 3, {});
    header.resize(20);
    auto run = run_with(header);
    run->options();
    const GroupEntry& g = run->ctx().groups[0];
    EXPECT_EQ(hlptest::get_u32(Bytes(g.header, g.header + 40), 8), 3u);
    EXPECT_EQ(hlptest::get_u32(Bytes(g.header, g.header + 40), 24), 0u);
}

TEST(GroupsSection, BrowseSequencesOfMediaView2) {
    ProjectRun run(help_files(27, 0, {}, {{"|GMACROS", hlptest::group_macros_file({{.entry = "In()", .exit = "Out()"}})}}),
                   true);
    run.ctx().browse_count = 3;
    EXPECT_EQ(section(run.options(), "[GROUPS]"),
              "[GROUPS]\ngroup=BROWSE0001\ngroup=BROWSE0002\ngroup=BROWSE0003\nentry=In()\nexit=Out()\n\n");

    ProjectRun many(help_files(27, 0, {}), true);
    many.ctx().browse_count = 300;
    std::string groups = section(many.options(), "[GROUPS]");
    EXPECT_NE(groups.find("group=BROWSE000a\n"), std::string::npos);
    EXPECT_NE(groups.find("group=BROWSE012c\n\n"), std::string::npos);

    // No browse sequences and no groups: no section, |GMACROS or not.
    ProjectRun none(help_files(27, 0, {}, {{"|GMACROS", hlptest::group_macros_file({{.entry = "In()"}})}}), true);
    EXPECT_EQ(section(none.options(), "[GROUPS]"), "");
    ProjectRun other_version(help_files(33, 0, {}), true);
    other_version.ctx().browse_count = 3;
    EXPECT_EQ(section(other_version.options(), "[GROUPS]"), "");
}

std::string macros_of(const Bytes& gmacros, bool* problems = nullptr) {
    ProjectRun run(help_files(33, 0, {system_string_record(13, "g.GRP")},
                              {{"|GMACROS", gmacros}, {"|ZZ", hlptest::bytes_of("NEXT FILE")}}),
                   true);
    std::string groups = section(run.options(), "[GROUPS]");
    if (problems) *problems = run.ctx().had_problems;
    return groups.substr(groups.find('\n', 9) + 1);  // after the group line
}

TEST(GroupsSection, EntryAndExitMacros) {
    EXPECT_EQ(macros_of(hlptest::group_macros_file({{.entry = "OnlyEntry()"},
                                                     {.exit = "OnlyExit()"},
                                                     {.entry = "Both()", .exit = "Exit()"},
                                                     {.entry = "Negative()", .exit_offset = -3}})),
              "entry=OnlyEntry()\nexit=OnlyExit()\nentry=Both()\nexit=Exit()\nentry=Negative()\n\n");
    // A record shorter than its own header, or whose exit lies past its end,
    // ends the list.
    EXPECT_EQ(macros_of(hlptest::group_macros_file({{.entry = "A()"}, {.entry = "B()", .length = 7}, {.entry = "C()"}})),
              "entry=A()\n\n");
    EXPECT_EQ(macros_of(hlptest::group_macros_file({{.entry = "A()", .exit_offset = 30}, {.entry = "C()"}})), "\n");
    // A record running past the file, or a header cut short, ends it too.
    EXPECT_EQ(macros_of(hlptest::group_macros_file({{.entry = "A()"}, {.entry = "B()", .length = 40}})),
              "entry=A()\n\n");
    Bytes cut = hlptest::group_macros_file({{.entry = "A()"}});
    cut.insert(cut.end(), {20, 0, 0, 0, 8});
    EXPECT_EQ(macros_of(cut), "entry=A()\n\n");
    EXPECT_EQ(macros_of(Bytes{0, 0}), "\n");
}

TEST(GroupsSection, OverlongMacroTextIsCut) {
    bool problems = false;
    std::string text = macros_of(hlptest::group_macros_file({{.entry = std::string(5000, 'e'), .exit = "X()"}}),
                                 &problems);
    EXPECT_EQ(text, "entry=" + std::string(4095, 'e') + "\nexit=X()\n\n");
    EXPECT_TRUE(problems);
    text = macros_of(hlptest::group_macros_file({{.entry = std::string(4095, 'e')}}), &problems);
    EXPECT_EQ(text, "entry=" + std::string(4095, 'e') + "\n\n");
    EXPECT_FALSE(problems);
}

TEST(DllmapsSection, SkipsMediaViewLibrariesAndFillsMissingStrings) {
    Bytes unterminated = hlptest::bytes_of("ONE");
    ProjectRun run(help_files(33, 0,
                              {hlptest::strings_record(19, {"MYDLL", "my16.dll", "my32.dll", "my16.dll", "my32.dll"}),
                               hlptest::strings_record(19, {"MVIMAGE", "a", "b", "c", "d"}),
                               hlptest::strings_record(19, {"MVMCI", "a", "b", "c", "d"}),
                               hlptest::strings_record(19, {"MVBRKR", "a", "b", "c", "d"}),
                               hlptest::strings_record(19, {"MVIMAGEX", "a", "b", "c", "d"}),
                               hlptest::strings_record(19, {"SHORT", "a"}), hlptest::raw_record(19, unterminated),
                               hlptest::raw_record(19, Bytes{})}));
    EXPECT_EQ(section(run.options(), "[DLLMAPS]"),
              "[DLLMAPS]\n"
              "MYDLL=my16.dll,my32.dll,my16.dll,my32.dll\n"
              "MVIMAGEX=a,b,c,d\n"
              "SHORT=a,,,\n"
              "ONE=,,,\n"
              "=,,,\n"
              "\n");
}

TEST(KeyindexSection, MediaViewKeywordIndexes) {
    ProjectRun run(help_files(33, 0,
                              {hlptest::keyword_index_record('K', "Keyword Index"),
                               hlptest::keyword_index_record('A', "See Also"), hlptest::raw_record(14, Bytes{0, 'S'})}),
                   true);
    EXPECT_EQ(section(run.options(), "[KEYINDEX]"),
              "[KEYINDEX]\nkeyword=K,\"Keyword Index\"\nkeyword=A,\"See Also\"\nkeyword=S,\"\"\n\n");
    ProjectRun winhelp(help_files(33, 0, {hlptest::keyword_index_record('K', "Keyword Index")}));
    EXPECT_EQ(section(winhelp.options(), "[KEYINDEX]"), "");
}

TEST(ProjectSections, OrderAfterOptions) {
    // Records in an order unlike the sections', so the order comes from the writer.
    ProjectRun run(help_files(33, 0,
                              {hlptest::keyword_index_record('K', "Keywords"),
                               hlptest::strings_record(19, {"D", "a", "b", "c", "d"}),
                               system_string_record(13, "g.GRP"), system_string_record(12, "x y"),
                               system_string_record(4, "Macro()"),
                               hlptest::mediaview_window_record({.name = "w"})},
                              {{"|CF0", hlptest::config_macros_file({"Config0()"})}}),
                   true);
    EXPECT_EQ(section_headers(run.options()),
              (std::vector<std::string>{"[OPTIONS]", "[WINDOWS]", "[CONFIG]", "[FTINDEX]", "[GROUPS]", "[DLLMAPS]",
                                        "[KEYINDEX]", "[CONFIG:0]"}));
    // Every section ends with an empty line.
    std::string text = run.text();
    for (size_t at = text.find("\n["); at != std::string::npos; at = text.find("\n[", at + 1)) {
        EXPECT_EQ(text.substr(at - 1, 3), "\n\n[") << at;
    }
    EXPECT_EQ(section(text, "[CONFIG:0]"), "[CONFIG:0]\nConfig0()\n\n");
}

}  // namespace
