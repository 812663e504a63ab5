// Damaged picture files: sizes, offsets and counts that the bytes do not
// back are refused or cut before anything is allocated or copied.
#include <gtest/gtest.h>

#include "bmp_reader.h"
#include "picture_file_parser.h"
#include "picture_test_support.h"

namespace {

using namespace hlptest;

PictureSpec small_dib(uint8_t packing = 0) {
    PictureSpec p;
    p.packing = packing;
    p.width = 16;
    p.height = 4;
    p.colour_table = grey_colour_table(2);
    p.data = bitmap_rows(16, 4, 1, 4, test_pattern);
    return p;
}

TEST(PictureFaults, OffsetTableAndPictureOffsetsMustLieInTheData) {
    ContextHolder h;
    Bytes data = build_picture_file({small_dib()}).data;
    put_u16(data, 2, 1000);  // an offset table of 4000 bytes
    EXPECT_EQ(export_failure(*h.ctx, data), "\nPicture offsets of bm1 run past its data.\n");
    data = build_picture_file({small_dib()}).data;
    put_u32(data, 4, static_cast<uint32_t>(data.size() - 1));
    EXPECT_EQ(export_failure(*h.ctx, data), "\nPicture 0 of bm1 lies outside its data.\n");
    put_u32(data, 4, 0xFFFFFFF0u);
    EXPECT_EQ(export_failure(*h.ctx, data), "\nPicture 0 of bm1 lies outside its data.\n");
    // The header fields themselves cut short.
    data = build_picture_file({small_dib()}).data;
    data.resize(14);
    EXPECT_EQ(export_failure(*h.ctx, data), "\nPicture header of bm1 runs past its data.\n");
    EXPECT_EQ(export_failure(*h.ctx, Bytes{0x6C, 0x50}), "\nPicture offsets of bm1 run past its data.\n");
    EXPECT_EQ(h.ctx->outputs.head, nullptr);
}

TEST(PictureFaults, ColourTablesMustBeThere) {
    ContextHolder h;
    PictureSpec recipe = small_dib();
    recipe.colours_used = 0x7FFF0001;  // 2 billion entries
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nColour table of bm1 runs past its data.\n");
    recipe.hotspots = HotspotBlock{};
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nColour table of bm1 runs past its data.\n");
    EXPECT_EQ(h.ctx->outputs.head, nullptr);
}

TEST(PictureFaults, PackedSizesPastTheDataAreCut) {
    ContextHolder h;
    PictureSpec recipe;
    recipe.type = metafile_picture;
    recipe.metafile_width = recipe.metafile_height = 10;
    recipe.data = Bytes(40, 0x33);
    recipe.packed_size = 1000000;
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_EQ(e.errors, "Picture data of bm1 cut short.\n");
    EXPECT_TRUE(h.ctx->had_problems);
    EXPECT_EQ(e.bytes.size(), 22u + 40u);

    // In a picture file the stored size is what was written.
    recipe.hotspots = HotspotBlock{};
    recipe.hotspots->hotspots.push_back({.kind = 0xE3, .name = "x", .target = "y"});
    Exported f = export_picture(*h.ctx, build_picture_file({recipe}).data, "bm2");
    EXPECT_EQ(f.errors, "Picture data of bm2.shg cut short.\n");
    ParsedPicture p = parse_picture_file(f.bytes).pictures[0];
    // The data runs to the end of the picture file: the hotspot block is
    // taken as data too, and then read again as hotspots.
    EXPECT_EQ(p.packed_slot / 2, 40 + build_hotspot_block(*recipe.hotspots).size());
}

TEST(PictureFaults, DataAndHotspotOffsetsOutsideAreFatal) {
    ContextHolder h;
    PictureSpec recipe = small_dib();
    recipe.hotspots = HotspotBlock{};
    recipe.packed_offset = 0x7FFFFFF0;
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nPacked data of bm1.shg lies outside its data.\n");
    recipe = small_dib();
    recipe.hotspots = HotspotBlock{};
    recipe.hotspot_offset = 5000;
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nHotspots of bm1.shg lie outside its data.\n");
}

TEST(PictureFaults, HotspotCountsAndMacroSizesAreBoundedByTheData) {
    ContextHolder h;
    PictureSpec recipe = small_dib();
    recipe.hotspots = HotspotBlock{};
    recipe.hotspots->hotspots.push_back({.kind = 0xE3, .name = "x", .target = "y"});
    PictureFile file = build_picture_file({recipe});
    Bytes data = file.data;
    put_u16(data, file.layout[0].hotspots + 1, 0xFFFF);  // 65535 records of 15 bytes
    EXPECT_EQ(export_failure(*h.ctx, data), "\nHotspots of bm1.shg run past its data.\n");
    data = file.data;
    put_u32(data, file.layout[0].hotspots + 3, 0xFFFFFFFF);  // macro data
    EXPECT_EQ(export_failure(*h.ctx, data), "\nHotspots of bm1.shg run past its data.\n");
    // Strings that run into the end of the data end there.
    data = file.data;
    data.pop_back();
    Exported e = export_picture(*h.ctx, data);
    EXPECT_EQ(e.flags, 0x0Au);
}

TEST(PictureFaults, PixelCountsBeyondTheDataAreRefused) {
    ContextHolder h;
    PictureSpec recipe = small_dib();
    recipe.bits_per_pixel = 32;
    recipe.colour_table.clear();
    recipe.width = recipe.height = 0x7FFFFFFF;  // overflows every 32-bit product
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nBitmap bm1 of 2147483647 x 2147483647 pixels is larger than its data allows.\n");
    // More than the packed bytes can become, even at the best ratio.
    recipe = small_dib(3);
    recipe.height = 40000;
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nBitmap bm1 of 16 x 40000 pixels is larger than its data allows.\n");
    // A device-dependent bitmap's rows are made one by one: the same bound.
    PictureSpec ddb;
    ddb.type = device_bitmap;
    ddb.width = 16;
    ddb.height = 0x7FFFFFFF;
    ddb.data = Bytes(8, 0);
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({ddb}).data),
              "\nBitmap bm1 of 16 x 2147483647 pixels is larger than its data allows.\n");
    EXPECT_EQ(h.ctx->outputs.head, nullptr);
    // Rows of no bytes need no data, however many there are.
    ddb.width = 0;
    Exported e = export_picture(*h.ctx, build_picture_file({ddb}).data);
    EXPECT_EQ(e.bytes.size(), 62u);
}

TEST(PictureFaults, ExpansionStopsAtTheSizeTheHeaderGives) {
    ContextHolder h;
    // Packed data that expands far beyond the 16 x 4 pixels announced.
    PictureSpec recipe = small_dib(1);
    recipe.packed = Bytes{};
    for (int i = 0; i < 20; ++i) recipe.packed->insert(recipe.packed->end(), {0x7F, 0xAA});
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    std::string error;
    BmpImage bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.pixels, Bytes(16, 0xAA));
    // A metafile's records end at its unpacked size.
    PictureSpec wmf;
    wmf.type = metafile_picture;
    wmf.packing = 1;
    wmf.unpacked_size = 10;
    wmf.packed = Bytes{0x7F, 0x01};
    Exported m = export_picture(*h.ctx, build_picture_file({wmf}).data, "bm2");
    EXPECT_EQ(m.bytes.size(), 32u);
}

TEST(PictureFaults, DeviceBitmapWithAnEnormousColourCount) {
    ContextHolder h;
    PictureSpec ddb;
    ddb.type = device_bitmap;
    ddb.width = 8;
    ddb.height = 1;
    ddb.colours_used = 0x00100001;
    ddb.data = Bytes(2, 0);
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({ddb}).data),
              "\nColour table of bm1 with 1048577 entries.\n");
    ddb.colours_used = 3;  // a small count is written as counted
    std::string error;
    BmpImage bmp = read_bmp(export_picture(*h.ctx, build_picture_file({ddb}).data).bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.palette, (std::vector<uint32_t>{0x000000, 0xFFFFFF, 0x000000}));
}

TEST(PictureFaults, TruncatedDeviceRowsAreFilledWithZeros) {
    ContextHolder h;
    PictureSpec ddb;
    ddb.type = device_bitmap;
    ddb.packing = 1;
    ddb.bits_per_pixel = 8;
    ddb.width = 4;
    ddb.height = 2;
    ddb.packed = Bytes{0x82, 9, 8};  // two of the eight bytes
    std::string error;
    BmpImage bmp = read_bmp(export_picture(*h.ctx, build_picture_file({ddb}).data).bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.pixels, (Bytes{9, 8, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
