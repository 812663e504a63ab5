// Damaged picture files: sizes, offsets and counts that the bytes do not
// back are refused or cut before anything is allocated or copied; what
// does decode is written (missing rows and colours zero) and the problem
// noted, so one broken picture does not cost the others.
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

TEST(PictureFaults, ColourTablesPastTheDataAreCut) {
    ContextHolder h;
    // Two billion entries: cut to what the picture holds, rows zero.
    PictureSpec recipe = small_dib();
    recipe.colours_used = 0x7FFF0001;
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_NE(e.errors.find("Colour table of bm1 runs past its data.\n"), std::string::npos) << e.errors;
    EXPECT_TRUE(h.ctx->had_problems);
    std::string error;
    BmpImage bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.width, 16);
    EXPECT_EQ(bmp.height, 4);
    EXPECT_EQ(bmp.pixels, Bytes(16, 0));
    // A table a bitmap can have, cut short: it keeps its size, the missing
    // colours black.
    recipe = small_dib();
    recipe.bits_per_pixel = 8;
    recipe.colour_table = grey_colour_table(256);
    recipe.data = bitmap_rows(16, 4, 8, 4, test_pattern);
    Bytes data = build_picture_file({recipe}).data;
    data.resize(data.size() - recipe.data.size() - 4 * 200);
    h.ctx->had_problems = false;
    e = export_picture(*h.ctx, data);
    bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(bmp.palette.size(), 256u);
    const Bytes greys = grey_colour_table(256);
    EXPECT_EQ(bmp.palette[55], greys[220] | greys[221] << 8 | greys[222] << 16);
    EXPECT_EQ(bmp.palette[56], 0u);
    EXPECT_EQ(bmp.pixels, Bytes(64, 0));
    EXPECT_TRUE(h.ctx->had_problems);
    // The same in a picture file with hotspots.
    recipe = small_dib();
    recipe.colours_used = 0x7FFF0001;
    recipe.hotspots = HotspotBlock{};
    e = export_picture(*h.ctx, build_picture_file({recipe}).data, "bm2");
    EXPECT_EQ(e.name, "bm2.shg");
    EXPECT_NE(e.errors.find("Colour table of bm2 runs past its data.\n"), std::string::npos) << e.errors;
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

TEST(PictureFaults, DataAndHotspotOffsetsOutsideAreLost) {
    ContextHolder h;
    PictureSpec recipe = small_dib();
    recipe.hotspots = HotspotBlock{};
    recipe.hotspots->hotspots.push_back({.kind = 0xE3, .name = "x", .target = "y"});
    recipe.packed_offset = 0x7FFFFFF0;
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_EQ(e.errors, "Packed data of bm1.shg lies outside its data.\n");
    EXPECT_TRUE(h.ctx->had_problems);
    ParsedPicture p = parse_picture_file(e.bytes).pictures[0];
    EXPECT_EQ(p.packed_slot / 2, 0u);  // no pixels
    EXPECT_NE(p.hotspot_slot / 2, 0u);  // the hotspots stay
    recipe = small_dib();
    recipe.hotspots = HotspotBlock{};
    recipe.hotspot_offset = 5000;
    e = export_picture(*h.ctx, build_picture_file({recipe}).data, "bm2");
    EXPECT_EQ(e.errors, "Hotspots of bm2.shg lie outside its data.\n");
    p = parse_picture_file(e.bytes).pictures[0];
    EXPECT_EQ(p.hotspot_slot / 2, 0u);
    EXPECT_NE(p.packed_slot / 2, 0u);
}

TEST(PictureFaults, HotspotCountsAndMacroSizesAreBoundedByTheData) {
    ContextHolder h;
    PictureSpec recipe = small_dib();
    recipe.hotspots = HotspotBlock{};
    recipe.hotspots->hotspots.push_back({.kind = 0xE3, .name = "x", .target = "y"});
    PictureFile file = build_picture_file({recipe});
    Bytes data = file.data;
    put_u16(data, file.layout[0].hotspots + 1, 0xFFFF);  // 65535 records of 15 bytes
    EXPECT_EQ(export_picture(*h.ctx, data).errors, "Hotspots of bm1.shg run past its data.\n");
    data = file.data;
    put_u32(data, file.layout[0].hotspots + 3, 0xFFFFFFFF);  // macro data
    Exported lost = export_picture(*h.ctx, data, "bm2");
    EXPECT_EQ(lost.errors, "Hotspots of bm2.shg run past its data.\n");
    EXPECT_EQ(parse_picture_file(lost.bytes).pictures[0].hotspot_slot / 2, 0u);
    // Strings that run into the end of the data end there.
    data = file.data;
    data.pop_back();
    Exported e = export_picture(*h.ctx, data);
    EXPECT_EQ(e.flags, 0x0Au);
}

TEST(PictureFaults, PixelCountsBeyondTheDataGiveZeroRows) {
    ContextHolder h;
    PictureSpec recipe = small_dib();
    recipe.bits_per_pixel = 32;
    recipe.colour_table.clear();
    recipe.width = recipe.height = 0x7FFFFFFF;  // overflows every 32-bit product
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_NE(e.errors.find("Bitmap bm1 of 2147483647 x 2147483647 pixels is larger than its data allows; the rows "
                            "missing are zero.\n"),
              std::string::npos)
        << e.errors;
    EXPECT_TRUE(h.ctx->had_problems);
    EXPECT_LE(e.bytes.size(), 54u + 16u);  // no row fits: none is made up
    // More than the packed bytes can become: the size stays, the rows the
    // data holds come first and the rest are zero.
    recipe = small_dib(3);
    recipe.height = 40000;
    e = export_picture(*h.ctx, build_picture_file({recipe}).data, "bm2");
    std::string error;
    BmpImage bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.height, 40000);
    ASSERT_EQ(bmp.pixels.size(), 4u * 40000u);
    EXPECT_EQ(Bytes(bmp.pixels.end() - 4, bmp.pixels.end()), Bytes(4, 0));
    // A device-dependent bitmap's rows are made one by one: the same bound,
    // and a height no screen has keeps only the rows the data gives.
    PictureSpec ddb;
    ddb.type = device_bitmap;
    ddb.width = 16;
    ddb.height = 0x7FFFFFFF;
    ddb.data = Bytes(8, 0x5A);
    e = export_picture(*h.ctx, build_picture_file({ddb}).data, "bm3");
    bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.height, 4);
    EXPECT_EQ(bmp.pixels, (Bytes{0x5A, 0x5A, 0, 0, 0x5A, 0x5A, 0, 0, 0x5A, 0x5A, 0, 0, 0x5A, 0x5A, 0, 0}));
    // Rows of no bytes need no data, however many there are.
    ddb.width = 0;
    e = export_picture(*h.ctx, build_picture_file({ddb}).data);
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
