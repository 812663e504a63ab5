// Loading |SYSTEM: format fields, title, window names, keyword letters, and
// the record walk on intact and damaged files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpfile/container.h"
#include "project/system_file.h"
#include "system_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::SystemRecordSpec;
using hlptest::system_string_record;

struct FormatCase {
    uint16_t minor;
    uint16_t flags;
    bool mediaview;
    bool old_format, compressed, above_21, minor_27, winhelp4;
    int block_size, decompress_size;
};

TEST(LoadSystemFile, FormatFieldsFollowVersionAndFlags) {
    const FormatCase cases[] = {
        {15, 4, false, true, false, false, false, false, 2048, 2048},
        {21, 4, false, false, true, false, false, false, 4096, 16384},
        {21, 0, false, false, false, false, false, false, 4096, 16384},
        {27, 8, true, false, true, true, true, false, 2048, 16384},
        {33, 8, false, false, true, true, false, true, 2048, 16384},
        {33, 8, true, false, true, true, false, false, 2048, 16384},
        {33, 1, false, false, false, true, false, true, 4096, 16384},
        {18, 4, false, false, true, false, false, false, 4096, 16384},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "minor " << c.minor << " flags " << c.flags << " mv " << c.mediaview);
        std::vector<hlptest::InternalFile> files;
        if (c.minor < 16) {
            files = {{"|SYSTEM", hlptest::build_old_system_file("Old")}};
        } else {
            files = help_files(c.minor, c.flags, {});
        }
        ProjectRun run(files, c.mediaview);
        load_system_file(run.ctx(), run.file());
        const DecompileContext& ctx = run.ctx();
        EXPECT_EQ(ctx.old_format, c.old_format);
        EXPECT_EQ(ctx.topics_compressed, c.compressed);
        EXPECT_EQ(ctx.minor_above_21, c.above_21);
        EXPECT_EQ(ctx.minor_27, c.minor_27);
        EXPECT_EQ(ctx.winhelp4, c.winhelp4);
        EXPECT_EQ(ctx.mediaview, c.mediaview);  // read, never changed
        EXPECT_EQ(ctx.block_size, c.block_size);
        EXPECT_EQ(ctx.decompress_size, c.decompress_size);
        EXPECT_EQ(ctx.system_minor, c.minor);
    }
}

TEST(LoadSystemFile, Titles) {
    {
        ProjectRun run(help_files(21, 4, {system_string_record(1, std::string(100, 'T'))}));
        load_system_file(run.ctx(), run.file());
        EXPECT_EQ(std::string(run.ctx().help_title), std::string(80, 'T'));  // cut to 80
    }
    {
        ProjectRun run({{"|SYSTEM", hlptest::build_old_system_file(std::string(32, 'o'))}});
        load_system_file(run.ctx(), run.file());
        EXPECT_EQ(std::string(run.ctx().help_title), std::string(32, 'o'));
    }
    {
        ProjectRun run({{"|SYSTEM", hlptest::build_old_system_file(std::string(33, 'o'))}});
        EXPECT_EQ(fatal_output([&] { load_system_file(run.ctx(), run.file()); }),
                  "String length exceeds decompiler limit.\n");
    }
    {
        // A title cut by the end of |SYSTEM ends there; the next file's bytes
        // are not part of it.
        Bytes system = hlptest::build_old_system_file("Cut");
        system.pop_back();
        ProjectRun run({{"|SYSTEM", system}, {"|TOPIC", hlptest::bytes_of("MORE TEXT")}});
        load_system_file(run.ctx(), run.file());
        EXPECT_EQ(std::string(run.ctx().help_title), "Cut");
    }
}

TEST(LoadSystemFile, MissingOrTruncatedSystemIsFatal) {
    {
        ProjectRun run({{"|TOPIC", Bytes(20, 0)}});
        EXPECT_EQ(fatal_output([&] { load_system_file(run.ctx(), run.file()); }),
                  "Internal |SYSTEM file not found. Can't continue.\n");
    }
    {
        Bytes system = hlptest::build_system_file(21, 4, {});
        system.resize(10);
        ProjectRun run({{"|SYSTEM", system}, {"|TOPIC", Bytes(40, 0)}});
        std::string message = fatal_output([&] { load_system_file(run.ctx(), run.file()); });
        EXPECT_EQ(message.rfind("\nmy_fread(12) at ", 0), 0u) << message;
    }
}

TEST(LoadSystemFile, WindowNamesAndTheirLookup) {
    hlptest::WinHelpWindow named{.flags = 0x0002, .name = "second"};
    hlptest::WinHelpWindow unnamed{.flags = 0x0004, .name = "hidden", .caption = "Caption"};
    hlptest::MediaViewWindow mv{.name = "mvwin", .length = 40};
    auto mv_record = hlptest::mediaview_window_record(mv);
    mv_record.data[0] = 0x02;  // MediaView records carry the name bit too
    ProjectRun run(help_files(33, 0,
                              {hlptest::winhelp_window_record(unnamed), hlptest::winhelp_window_record(named),
                               system_string_record(1, "between"), mv_record,
                               SystemRecordSpec{6, Bytes{0x02}}}));  // name bit, no room for a name
    load_system_file(run.ctx(), run.file());
    const DecompileContext& ctx = run.ctx();
    ASSERT_EQ(ctx.window_count, 4);
    EXPECT_EQ(ctx.window_names[0], nullptr);
    EXPECT_STREQ(ctx.window_names[1], "second");
    EXPECT_STREQ(ctx.window_names[2], "mvwin");
    EXPECT_STREQ(window_name(ctx, 0), "main");
    EXPECT_STREQ(window_name(ctx, 1), "second");
    EXPECT_STREQ(window_name(ctx, 2), "mvwin");
    EXPECT_STREQ(window_name(ctx, 3), "main");
    EXPECT_STREQ(window_name(ctx, 4), "main");
    EXPECT_STREQ(window_name(ctx, -1), "main");
}

TEST(LoadSystemFile, ManyWindowsKeepTheirOrder) {
    std::vector<SystemRecordSpec> records;
    for (int i = 0; i < 70; ++i) {
        records.push_back(hlptest::winhelp_window_record({.flags = 0x0002, .name = "w" + std::to_string(i)}));
    }
    ProjectRun run(help_files(33, 0, records));
    load_system_file(run.ctx(), run.file());
    ASSERT_EQ(run.ctx().window_count, 70);
    for (int i = 0; i < 70; ++i) EXPECT_EQ(window_name(run.ctx(), i), "w" + std::to_string(i));
}

TEST(LoadSystemFile, KeywordLetters) {
    ProjectRun run(help_files(33, 0,
                              {hlptest::keyword_index_record('k', "Keywords"),
                               hlptest::raw_record(14, Bytes{0, 0xE9})},
                              {{"|KWDATA", Bytes(4, 0)},
                               {"|KWBTREE", Bytes(4, 0)},
                               {"|AWDATA", Bytes(4, 0)},  // no |AWBTREE
                               {"|zWDATA", Bytes(4, 0)},
                               {"|zWBTREE", Bytes(4, 0)},
                               {"|{WDATA", Bytes(4, 0)},  // past 'z'
                               {"|{WBTREE", Bytes(4, 0)}}));
    load_system_file(run.ctx(), run.file());
    std::string letters;
    for (int c = 0; c < 256; ++c) {
        if (run.ctx().keyword_file_letters[c]) letters += static_cast<char>(c);
    }
    EXPECT_EQ(letters, "Kz");
    EXPECT_TRUE(run.ctx().keyword_index_letters['k']);
    EXPECT_TRUE(run.ctx().keyword_index_letters[0xE9]);
    EXPECT_FALSE(run.ctx().keyword_index_letters['K']);
}

// The walk as (type, data) pairs.
std::vector<std::pair<int, std::string>> walk_records(ProjectRun& run) {
    std::vector<std::pair<int, std::string>> seen;
    for (SystemRecord* r = system_record_first(run.ctx(), run.file()); r; r = system_record_next(run.ctx(), r)) {
        EXPECT_EQ(r->data[r->length], 0);
        seen.emplace_back(r->type, std::string(reinterpret_cast<char*>(r->data), r->length));
        // Callers may read other internal files between two records.
        find_internal_file(run.file(), nullptr, "|TOPIC");
        std::fseek(run.file(), 0, SEEK_END);
    }
    return seen;
}

TEST(SystemRecords, WalkInOrderAcrossOtherReads) {
    ProjectRun run(help_files(21, 4,
                              {system_string_record(1, "Title"), hlptest::raw_record(7, Bytes{}),
                               hlptest::raw_record(300, Bytes(5000, 'x'))},
                              {{"|TOPIC", Bytes(16, 1)}}));
    auto seen = walk_records(run);
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[0], std::make_pair(1, std::string("Title\0", 6)));
    EXPECT_EQ(seen[1], std::make_pair(7, std::string()));
    EXPECT_EQ(seen[2], std::make_pair(300, std::string(5000, 'x')));
}

TEST(SystemRecords, DamagedOrAbsentRecordsEndTheWalkQuietly) {
    // A record longer than what is left: the records before it count.
    Bytes system = hlptest::build_system_file(33, 0, {system_string_record(1, "One"), system_string_record(2, "Two")});
    hlptest::put_u16(system, 12 + 4 + 4 + 2, 200);
    {
        ProjectRun run({{"|SYSTEM", system}, {"|TOPIC", Bytes(400, 'z')}});
        auto seen = walk_records(run);
        ASSERT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen[0].first, 1);
    }
    {
        // Three stray bytes after the last record.
        Bytes tail = hlptest::build_system_file(33, 0, {system_string_record(1, "One")});
        tail.insert(tail.end(), {6, 0, 9});
        ProjectRun run({{"|SYSTEM", tail}});
        EXPECT_EQ(walk_records(run).size(), 1u);
    }
    for (auto [minor, major] : {std::pair{15, 1}, std::pair{21, 2}, std::pair{33, 0}}) {
        Bytes other = hlptest::build_system_file(uint16_t(minor), 0, {system_string_record(1, "One")}, uint16_t(major));
        ProjectRun run({{"|SYSTEM", other}});
        EXPECT_TRUE(walk_records(run).empty()) << minor << " " << major;
    }
    {
        ProjectRun no_records(help_files(21, 0, {}));
        EXPECT_TRUE(walk_records(no_records).empty());
        ProjectRun missing({{"|TOPIC", Bytes(4, 0)}});
        EXPECT_TRUE(walk_records(missing).empty());
    }
}

TEST(SystemRecords, RecordCutByTheEndOfTheHelpFileIsFatal) {
    // The directory entry claims more bytes than the help file has.
    Bytes system = hlptest::build_system_file(33, 0, {system_string_record(1, "Title")});
    Bytes help = hlptest::build_help_file({{"|SYSTEM", system}});
    // |SYSTEM starts at 16 + 9; its used-size field is at 16 + 4.
    hlptest::put_u32(help, 20, 0x7000);
    hlptest::put_u16(help, 16 + 9 + 12 + 2, 0x6000);
    ContextHolder holder;
    OpenBytes f(help);
    std::string message = fatal_output([&] {
        for (SystemRecord* r = system_record_first(*holder.ctx, f.file); r; r = system_record_next(*holder.ctx, r)) {
        }
    });
    EXPECT_EQ(message.rfind("\nmy_fread(24576) at ", 0), 0u) << message;
}

}  // namespace
