// [BAGGAGE]: which directory entries are user files, their extraction, and
// names that must not escape the output folder.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/system_file.h"
#include "system_fixture.h"

namespace {

using hlptest::Bytes;

std::string baggage_of(ProjectRun& run) {
    load_system_file(run.ctx(), run.file());
    write_baggage(run.ctx(), run.file(), run.project);
    return run.text();
}

TEST(Baggage, UserFilesAreListedAndExtracted) {
    Bytes binary{0, 1, 2, '\n', 0xFF, '\r'};
    ProjectRun run(help_files(33, 0, {},
                              {{"readme.txt", hlptest::bytes_of("line\n")},
                               {"data.bin", binary},
                               {"|TOPIC", Bytes(8, 0)},
                               {"bm0", Bytes(4, 1)},
                               {"x.GRPy", Bytes(4, 2)},
                               {"list.TBL", Bytes(4, 3)},
                               {"lower.grp", Bytes(4, 4)},
                               {"empty", Bytes{}}}));
    EXPECT_EQ(baggage_of(run), "[BAGGAGE]\nbm0\ndata.bin\nempty\nlower.grp\nreadme.txt\n\n");
    EXPECT_EQ(run.output_bytes("data.bin"), std::string(binary.begin(), binary.end()));
    EXPECT_EQ(run.output_bytes("readme.txt"), "line\n");  // unchanged, no CR added
    EXPECT_EQ(run.output_bytes("empty"), "");
    EXPECT_EQ(run.output_bytes("bm0"), std::string(4, '\1'));
    EXPECT_FALSE(run.outputs_named("data.bin")[0]->text);
    EXPECT_TRUE(run.outputs_named("x.GRPy").empty());
    EXPECT_TRUE(run.outputs_named("list.TBL").empty());
}

TEST(Baggage, OldFormatPicturesStayOut) {
    ProjectRun run({{"|SYSTEM", hlptest::build_old_system_file("Old")},
                    {"bm0", Bytes(4, 1)},
                    {"bm1", Bytes(4, 1)},
                    {"user.dat", hlptest::bytes_of("user")}});
    EXPECT_EQ(baggage_of(run), "[BAGGAGE]\nuser.dat\n\n");
    EXPECT_EQ(run.output_bytes("user.dat"), "user");
}

TEST(Baggage, NoUserFilesNoSection) {
    ProjectRun run(help_files(33, 0, {}, {{"|TOPIC", Bytes(8, 0)}, {"a.GRP", Bytes(2, 0)}}));
    EXPECT_EQ(baggage_of(run), "");
    write_baggage(run.ctx(), run.file(), nullptr);  // no project file: nothing happens
}

TEST(Baggage, ManyFilesOverSeveralLeaves) {
    std::vector<hlptest::InternalFile> files{{"|SYSTEM", hlptest::build_system_file(33, 0, {})}};
    std::string expected = "[BAGGAGE]\n";
    for (int i = 0; i < 60; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "file%03d.dat", i);
        files.push_back({name, hlptest::bytes_of(name)});
        expected += std::string(name) + "\n";
    }
    expected += "\n";
    hlptest::HelpFileOptions options;
    options.directory_page_size = 128;
    ContextHolder holder;
    OpenBytes f(hlptest::build_help_file(files, options));
    MemoryFile* project = output_open("p.hpj", "wt");
    output_add(holder.ctx->outputs, project);
    load_system_file(*holder.ctx, f.file);
    write_baggage(*holder.ctx, f.file, project);
    std::string text;
    for (uint32_t i = 0; i < project->length; ++i) {
        if (project->buffer[i] != '\r') text += char(project->buffer[i]);
    }
    EXPECT_EQ(text, expected);
}

TEST(Baggage, NamesStayPlainEntryNames) {
    ProjectRun run(help_files(33, 0, {},
                              {{"..", hlptest::bytes_of("dots")},
                               {"../up.txt", hlptest::bytes_of("up")},
                               {"C:\\win.ini", hlptest::bytes_of("ini")},
                               {"tab\there", hlptest::bytes_of("tab")}}));
    EXPECT_EQ(baggage_of(run), "[BAGGAGE]\n__\n.._up.txt\nC__win.ini\ntab_here\n\n");
    // Each is looked up by its own name, so each gets its own bytes.
    EXPECT_EQ(run.output_bytes("__"), "dots");
    EXPECT_EQ(run.output_bytes(".._up.txt"), "up");
    EXPECT_EQ(run.output_bytes("C__win.ini"), "ini");
    EXPECT_EQ(run.output_bytes("tab_here"), "tab");
}

TEST(Baggage, OverlongDirectoryNameIsFatal) {
    ProjectRun ok(help_files(33, 0, {}, {{std::string(18, 'n'), hlptest::bytes_of("x")}}));
    EXPECT_EQ(baggage_of(ok), "[BAGGAGE]\n" + std::string(18, 'n') + "\n\n");
    // Looking |SYSTEM up would already stop at that name, so the walk runs
    // on a fresh context.
    ProjectRun run(help_files(33, 0, {}, {{std::string(20, 'n'), hlptest::bytes_of("x")}}));
    EXPECT_EQ(fatal_output([&] { write_baggage(run.ctx(), run.file(), run.project); }),
              "String length exceeds decompiler limit.\n");
}

TEST(Baggage, DirectoryEntryCutByItsPageIsFatal) {
    // The single leaf's entry count claims one more entry than the page holds:
    // the walk stops at the end of the directory instead of reading past it.
    std::vector<hlptest::InternalFile> files{{"|SYSTEM", hlptest::build_system_file(33, 0, {})},
                                             {"user", hlptest::bytes_of("u")}};
    hlptest::HelpFileOptions options;
    options.directory_page_size = 64;
    Bytes help = hlptest::build_help_file(files, options);
    long directory = static_cast<long>(hlptest::get_u32(help, 4)) + 9;
    long leaf = directory + static_cast<long>(hlptest::btree_field::header_size);
    hlptest::put_u16(help, size_t(leaf + hlptest::btree_field::page_entry_count), 9);
    // Fill the page's free space with name characters so no NUL ends a name.
    for (size_t i = help.size() - 10; i < help.size(); ++i) help[i] = 'q';
    ContextHolder holder;
    OpenBytes f(help);
    MemoryFile* project = output_open("p.hpj", "wt");
    output_add(holder.ctx->outputs, project);
    load_system_file(*holder.ctx, f.file);
    std::string message = fatal_output([&] { write_baggage(*holder.ctx, f.file, project); });
    EXPECT_TRUE(message == "\nB+ tree entries run past their internal file.\n" ||
                message == "String length exceeds decompiler limit.\n")
        << message;
}

}  // namespace
