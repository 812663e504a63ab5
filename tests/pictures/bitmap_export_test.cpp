// The |bm files of help files exported and recorded by number.
#include <gtest/gtest.h>

#include <algorithm>

#include "bmp_reader.h"
#include "firstpass/picture_names.h"
#include "picture_file_parser.h"
#include "picture_test_support.h"

namespace {

using namespace hlptest;

Bytes plain_bitmap() {
    PictureSpec p;
    p.packing = 2;
    p.width = 20;
    p.height = 3;
    p.colour_table = grey_colour_table(2);
    p.data = bitmap_rows(20, 3, 1, 4, test_pattern);
    return build_picture_file({p}).data;
}

Bytes bitmap_with_hotspot() {
    PictureSpec p;
    p.packing = 1;
    p.width = 8;
    p.height = 8;
    p.colour_table = grey_colour_table(2);
    p.data = bitmap_rows(8, 8, 1, 4, test_pattern);
    p.hotspots = HotspotBlock{};
    p.hotspots->hotspots.push_back({.kind = 0xE6, .name = "spot", .target = "hot_topic"});
    return build_picture_file({p}).data;
}

// Runs export_bitmap_files over the built help file; returns stderr.
std::string export_all(DecompileContext& ctx, const Bytes& help_file) {
    OpenBytes file(help_file);
    testing::internal::CaptureStderr();
    export_bitmap_files(ctx, file.file);
    return testing::internal::GetCapturedStderr();
}

std::vector<std::string> output_names(const DecompileContext& ctx) {
    std::vector<std::string> names;
    for (const MemoryFile* f : outputs(ctx)) names.push_back(entry_name(f));
    return names;
}

TEST(BitmapExport, EachBmFileBecomesAPictureRecordedByNumber) {
    ContextHolder h;
    Bytes help = build_help_file({{"|SYSTEM", build_system_file(33, 4, {})},
                                  picture_internal_file(1, plain_bitmap()),
                                  picture_internal_file(2, bitmap_with_hotspot()),
                                  {"bm4", plain_bitmap()}});  // no "|": not a picture here
    EXPECT_EQ(export_all(*h.ctx, help), "");
    EXPECT_EQ(output_names(*h.ctx), (std::vector<std::string>{"bm1.bmp", "bm2.shg"}));
    ASSERT_EQ(h.ctx->picture_table_size, 3);
    EXPECT_EQ(h.ctx->picture_table[0], 0);
    EXPECT_EQ(h.ctx->picture_table[1], 0x02);
    EXPECT_EQ(h.ctx->picture_table[2], 0x0A);
    EXPECT_STREQ(picture_file_name(*h.ctx, 1), "bm1.bmp");
    EXPECT_STREQ(picture_file_name(*h.ctx, 2), "bm2.shg");
    EXPECT_TRUE(knows_name(*h.ctx, "hot_topic"));
    std::string error;
    read_bmp(contents(find_output(*h.ctx, "bm1.bmp")), error);
    EXPECT_EQ(error, "");
}

TEST(BitmapExport, OldFormatNamesHaveNoBar) {
    ContextHolder h;
    h.ctx->old_format = true;
    Bytes help = build_help_file({{"|SYSTEM", build_old_system_file("Old")},
                                  picture_internal_file(1, plain_bitmap(), true),
                                  picture_internal_file(3, bitmap_with_hotspot(), true),
                                  picture_internal_file(5, plain_bitmap())});
    export_all(*h.ctx, help);
    EXPECT_EQ(output_names(*h.ctx), (std::vector<std::string>{"bm1.bmp", "bm3.shg"}));
    ASSERT_EQ(h.ctx->picture_table_size, 4);
    EXPECT_EQ(h.ctx->picture_table[1], 0x02);
    EXPECT_EQ(h.ctx->picture_table[2], 0);
    EXPECT_EQ(h.ctx->picture_table[3], 0x0A);
    // Pixels per metre stay 0 in old-format files.
    std::string error;
    BmpImage bmp = read_bmp(contents(find_output(*h.ctx, "bm1.bmp")), error);
    EXPECT_EQ(bmp.x_pixels_per_metre, 0u);
}

TEST(BitmapExport, DirectoryOrderOverManyLeaves) {
    ContextHolder h;
    std::vector<InternalFile> files{{"|SYSTEM", build_system_file(33, 4, {})}};
    for (unsigned n = 0; n < 12; ++n) files.push_back(picture_internal_file(n, plain_bitmap()));
    HelpFileOptions options;
    options.directory_page_size = 64;
    options.directory_max_leaf_entries = 2;
    export_all(*h.ctx, build_help_file(files, options));
    EXPECT_EQ(output_names(*h.ctx),
              (std::vector<std::string>{"bm0.bmp", "bm1.bmp", "bm10.bmp", "bm11.bmp", "bm2.bmp", "bm3.bmp", "bm4.bmp",
                                        "bm5.bmp", "bm6.bmp", "bm7.bmp", "bm8.bmp", "bm9.bmp"}));
    ASSERT_EQ(h.ctx->picture_table_size, 12);
    for (int n = 0; n < 12; ++n) EXPECT_EQ(h.ctx->picture_table[n], 0x02) << n;
}

TEST(BitmapExport, NumbersOutsideThePictureTableAreNotRecorded) {
    ContextHolder h;
    Bytes help = build_help_file({{"|bm70000", plain_bitmap()},
                                  {"|bm999999999999999", plain_bitmap()},
                                  {"|bm65535", plain_bitmap()},
                                  {"|bm", plain_bitmap()},
                                  {"|bm007x", plain_bitmap()}});
    std::string errors = export_all(*h.ctx, help);
    EXPECT_EQ(errors,
              "Picture bm70000.bmp has a number beyond 65535; topics cannot refer to it.\n"
              "Picture bm999999999999999.bmp has a number beyond 65535; topics cannot refer to it.\n");
    EXPECT_EQ(output_names(*h.ctx).size(), 5u);
    ASSERT_EQ(h.ctx->picture_table_size, 65536);
    EXPECT_EQ(h.ctx->picture_table[65535], 0x02);
    EXPECT_EQ(h.ctx->picture_table[0], 0x02);  // "|bm" alone
    EXPECT_EQ(h.ctx->picture_table[7], 0x02);  // leading digits only
}

TEST(BitmapExport, EmptyPictureFilesAreNotRecorded) {
    ContextHolder h;
    Bytes help = build_help_file({picture_internal_file(4, build_picture_file({}).data)});
    export_all(*h.ctx, help);
    EXPECT_EQ(h.ctx->outputs.head, nullptr);
    EXPECT_EQ(h.ctx->picture_table_size, 0);
}

TEST(BitmapExport, APictureNeverReadsPastItsInternalFile) {
    ContextHolder h;
    PictureSpec wmf;
    wmf.type = metafile_picture;
    wmf.data = Bytes(40, 0x33);
    wmf.packed_size = 5000;
    wmf.unpacked_size = 5000;
    Bytes help = build_help_file({picture_internal_file(1, build_picture_file({wmf}).data),
                                  {"|zzz", Bytes(8000, 'X')}});
    EXPECT_EQ(export_all(*h.ctx, help), "Picture data of bm1 cut short.\n");
    Bytes written = contents(find_output(*h.ctx, "bm1.wmf"));
    EXPECT_EQ(written.size(), 22u + 40u);
    EXPECT_EQ(std::count(written.begin(), written.end(), 'X'), 0);

    // The hotspot strings stop at the end of the internal file as well.
    ContextHolder g;
    PictureFile shg = build_picture_file({PictureSpec{.width = 8, .height = 1, .colour_table = grey_colour_table(2), .data = Bytes(4, 0),
                                                      .hotspots = HotspotBlock{.hotspots = {{.name = "n", .target = "t"}}}}});
    shg.data.pop_back();  // the target's NUL
    export_all(*g.ctx, build_help_file({picture_internal_file(1, shg.data), {"|zzz", Bytes(8000, 'X')}}));
    EXPECT_TRUE(knows_name(*g.ctx, "t"));
}

// The name of a |bm file becomes the entry's name: path separators and dot
// names in it must not lead the extraction out of the host's folder.
TEST(BitmapExport, NamesFromTheDirectoryStayPlainFileNames) {
    ContextHolder h;
    Bytes help = build_help_file({{"|SYSTEM", build_system_file(33, 4, {})},
                                  {"|bm1/../../x", plain_bitmap()},
                                  {"|bm2\\..\\y", plain_bitmap()},
                                  {"|bm3/", plain_bitmap()}});
    export_all(*h.ctx, help);
    std::vector<std::string> names = output_names(*h.ctx);
    ASSERT_EQ(names.size(), 3u);
    for (const std::string& name : names) {
        EXPECT_EQ(name.find_first_of("/\\"), std::string::npos) << name;
        EXPECT_EQ(name.rfind("bm", 0), 0u) << name;
    }
    // Still recorded by the number after the prefix.
    ASSERT_EQ(h.ctx->picture_table_size, 4);
    EXPECT_NE(h.ctx->picture_table[1], 0);
    EXPECT_NE(h.ctx->picture_table[3], 0);
}

TEST(BitmapExport, OverlongDirectoryNamesAreFatal) {
    ContextHolder h;
    Bytes help = build_help_file({{"|a_name_of_20_chars_", Bytes(4, 0)}, picture_internal_file(1, plain_bitmap())});
    OpenBytes file(help);
    EXPECT_EQ(fatal_output([&] { export_bitmap_files(*h.ctx, file.file); }),
              "String length exceeds decompiler limit.\n");
}

TEST(BitmapExport, PictureFromTheHelpFileStreamUsesTheFileExtent) {
    ContextHolder h;
    OpenBytes file(plain_bitmap());
    ByteStream* stream = stream_open_file(*h.ctx, file.file);
    char name[32] = "bm9";
    EXPECT_EQ(picture_export(*h.ctx, name, stream), 0x02u);
    tracked_free(*h.ctx, stream);
    EXPECT_STREQ(name, "bm9.bmp");
}

}  // namespace
