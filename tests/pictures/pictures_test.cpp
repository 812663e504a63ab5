// Picture files written back as bitmaps, metafiles and picture files.
#include <gtest/gtest.h>

#include "bmp_reader.h"
#include "picture_file_parser.h"
#include "picture_test_support.h"

namespace {

using namespace hlptest;

PictureSpec dib(unsigned bits, uint8_t packing, uint32_t width = 37, uint32_t height = 11) {
    PictureSpec p;
    p.type = dib_bitmap;
    p.packing = packing;
    p.bits_per_pixel = static_cast<uint16_t>(bits);
    p.width = width;
    p.height = height;
    if (bits <= 8) p.colour_table = grey_colour_table(1u << bits);
    p.data = bitmap_rows(width, height, bits, 4, test_pattern);
    return p;
}

PictureSpec metafile(uint8_t packing) {
    PictureSpec p;
    p.type = metafile_picture;
    p.packing = packing;
    p.mapping_mode = 8;
    p.metafile_width = 3000;
    p.metafile_height = 1200;
    for (int i = 0; i < 300; ++i) p.data.push_back(static_cast<uint8_t>(i % 17 < 9 ? 0x20 : i));
    return p;
}

HotspotBlock three_hotspots() {
    HotspotBlock b;
    b.hotspots.push_back({.kind = 0xE3, .name = "first", .target = "topic_one"});
    b.hotspots.push_back({.kind = 0xE7, .x = 50, .y = 60, .name = "second", .target = "popup_two"});
    b.hotspots.push_back({.kind = 0xCC, .form = 0, .name = "third", .target = "CloseWindow(`main')"});
    b.macro_data = {1, 2, 3, 4, 5};
    return b;
}

unsigned mask_of(unsigned bits) { return bits >= 32 ? ~0u : (1u << bits) - 1; }

class DibPacking : public testing::TestWithParam<std::tuple<unsigned, int>> {};

TEST_P(DibPacking, BecomesABitmapFileWithThePixelsUnpacked) {
    auto [bits, packing] = GetParam();
    ContextHolder h;
    PictureSpec recipe = dib(bits, static_cast<uint8_t>(packing));
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_EQ(e.flags, 0x02u);
    EXPECT_EQ(e.name, "bm1.bmp");
    EXPECT_EQ(entry_name(h.ctx->outputs.head->file), "bm1.bmp");
    std::string error;
    BmpImage bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.width, 37);
    EXPECT_EQ(bmp.height, 11);
    EXPECT_EQ(bmp.planes, 1);
    EXPECT_EQ(bmp.bits_per_pixel, bits);
    EXPECT_EQ(bmp.compression, 0u);
    EXPECT_EQ(bmp.x_pixels_per_metre, (96u * 79 + 1) >> 1);
    EXPECT_EQ(bmp.palette.size(), bits <= 8 ? 1u << bits : 0u);
    if (bits == 8) {
        EXPECT_EQ(bmp.palette[255], 0xFFFFFFu);
    }
    EXPECT_EQ(bmp.pixels, recipe.data);
    for (uint32_t y : {0u, 5u, 10u})
        for (uint32_t x : {0u, 1u, 2u, 17u, 36u}) EXPECT_EQ(bmp.pixel(x, y), test_pattern(x, y) & mask_of(bits));
}

INSTANTIATE_TEST_SUITE_P(EveryDepthAndPacking, DibPacking,
                         testing::Combine(testing::Values(1u, 4u, 8u, 24u), testing::Values(0, 1, 2, 3)));

TEST(Bitmap, OldFormatFilesGiveNoResolutionAndTheOtherMagicIsAccepted) {
    ContextHolder h;
    h.ctx->old_format = true;
    Exported e = export_picture(*h.ctx, build_picture_file({dib(4, 0)}, 0x706C).data);
    EXPECT_EQ(e.flags, 0x02u);
    std::string error;
    BmpImage bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.x_pixels_per_metre, 0u);
    EXPECT_EQ(bmp.y_pixels_per_metre, 0u);
}

TEST(Bitmap, TransparencyByMinorVersion) {
    PictureSpec recipe = dib(8, 2);
    recipe.colours_important = 1;
    {
        ContextHolder h;
        h.ctx->minor_above_21 = true;  // minor version 33
        EXPECT_EQ(export_picture(*h.ctx, build_picture_file({recipe}).data).flags, 0x22u);
    }
    {
        ContextHolder h;  // minor version 21
        EXPECT_EQ(export_picture(*h.ctx, build_picture_file({recipe}).data).flags, 0x02u);
    }
    recipe.colours_important = 2;
    ContextHolder h;
    h.ctx->minor_above_21 = true;
    EXPECT_EQ(export_picture(*h.ctx, build_picture_file({recipe}).data).flags, 0x02u);
}

TEST(DeviceBitmap, MonochromeRowsArePaddedToFourBytes) {
    for (uint8_t packing : {0, 1}) {
        ContextHolder h;
        PictureSpec recipe;
        recipe.type = device_bitmap;
        recipe.packing = packing;
        recipe.width = 10;
        recipe.height = 6;
        recipe.data = bitmap_rows(10, 6, 1, 2, [](uint32_t x, uint32_t y) { return (x + y) % 3 == 0 ? 1u : 0u; });
        ASSERT_EQ(recipe.data.size(), 12u);  // rows of 2 bytes
        Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
        EXPECT_EQ(e.flags, 0x02u);
        std::string error;
        BmpImage bmp = read_bmp(e.bytes, error);
        EXPECT_EQ(error, "") << int(packing);
        EXPECT_EQ(bmp.data_offset, 62u);
        EXPECT_EQ(bmp.image_size, 24u);  // 4 x height
        EXPECT_EQ(bmp.palette, (std::vector<uint32_t>{0x000000, 0xFFFFFF}));
        for (uint32_t y = 0; y < 6; ++y) {
            for (uint32_t x = 0; x < 10; ++x) EXPECT_EQ(bmp.pixel(x, y), (x + y) % 3 == 0 ? 1u : 0u);
            EXPECT_EQ(bmp.pixels[y * 4 + 2], 0);
            EXPECT_EQ(bmp.pixels[y * 4 + 3], 0);
        }
    }
}

TEST(DeviceBitmap, RunsGoOnIntoTheNextRow) {
    ContextHolder h;
    PictureSpec recipe;
    recipe.type = device_bitmap;
    recipe.packing = 1;
    recipe.bits_per_pixel = 8;
    recipe.width = 6;  // rows of 6 bytes become 8
    recipe.height = 3;
    // One run of 10 bytes covers the first row and part of the second.
    recipe.packed = Bytes{10, 0x11, 0x88, 1, 2, 3, 4, 5, 6, 7, 8};
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    std::string error;
    BmpImage bmp = read_bmp(e.bytes, error);
    EXPECT_EQ(error, "");
    EXPECT_EQ(bmp.pixels, (Bytes{0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0, 0, 0x11, 0x11, 0x11, 0x11, 1, 2, 0, 0, 3, 4,
                                 5, 6, 7, 8, 0, 0}));
}

TEST(DeviceBitmap, DeeperBitmapsGetAColourTableOfTheCountedSize) {
    for (unsigned bits : {2u, 4u, 8u}) {
        ContextHolder h;
        PictureSpec recipe;
        recipe.type = device_bitmap;
        recipe.bits_per_pixel = static_cast<uint16_t>(bits);
        recipe.width = 9;
        recipe.height = 4;
        recipe.data = bitmap_rows(9, 4, bits, 2, test_pattern);
        Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
        std::string error;
        BmpImage bmp = read_bmp(e.bytes, error);
        EXPECT_EQ(error, "") << bits;
        ASSERT_EQ(bmp.palette.size(), 1u << bits);
        if (bits == 4) {
            EXPECT_EQ(bmp.palette[4], 0x000080u);  // dark blue
            EXPECT_EQ(bmp.palette[7], 0xC0C0C0u);
            EXPECT_EQ(bmp.palette[9], 0xFF0000u);  // red
        } else {
            EXPECT_EQ(bmp.palette.front(), 0u);
            EXPECT_EQ(bmp.palette.back(), 0xFFFFFFu);
        }
        for (uint32_t x = 0; x < 9; ++x) EXPECT_EQ(bmp.pixel(x, 3), test_pattern(x, 3) & mask_of(bits));
    }
}

TEST(Metafile, BecomesAPlaceableMetafileWithItsChecksum) {
    for (uint8_t packing : {0, 1, 2, 3}) {
        ContextHolder h;
        PictureSpec recipe = metafile(packing);
        Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
        EXPECT_EQ(e.flags, 0x04u);
        EXPECT_EQ(e.name, "bm1.wmf");
        ASSERT_EQ(e.bytes.size(), 22 + recipe.data.size()) << int(packing);
        EXPECT_EQ(get_u32(e.bytes, 0), 0x9AC6CDD7u);
        EXPECT_EQ(get_u16(e.bytes, 10), 3000);
        EXPECT_EQ(get_u16(e.bytes, 12), 1200);
        EXPECT_EQ(get_u16(e.bytes, 14), 2540);
        uint16_t all = 0;
        for (size_t i = 0; i < 22; i += 2) all ^= get_u16(e.bytes, i);
        EXPECT_EQ(all, 0);
        EXPECT_EQ(Bytes(e.bytes.begin() + 22, e.bytes.end()), recipe.data);
    }
}

TEST(PictureFile, HotspotsMakeAPictureFileWithoutTheLz77Layer) {
    ContextHolder h;
    PictureSpec recipe = dib(4, 3);
    recipe.colours_important = 1;
    recipe.hotspots = three_hotspots();
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_EQ(e.flags, 0x0Au);
    EXPECT_EQ(e.name, "bm1.shg");
    EXPECT_EQ(e.errors, "");
    ParsedPictureFile f = parse_picture_file(e.bytes);
    EXPECT_EQ(f.magic, 0x506C);
    ASSERT_EQ(f.count, 1);
    EXPECT_EQ(f.offsets[0], 8u);
    const ParsedPicture& p = f.pictures[0];
    EXPECT_EQ(p.type, 6);
    EXPECT_EQ(p.packing, 1);
    EXPECT_EQ(p.fields, (std::vector<uint32_t>{96, 96, 1, 4, 37, 11, 0, 1}));
    // Sizes in the four-byte form; the data right behind the slots and the
    // colour table; the hotspots right behind the data.
    const Bytes runs = runlength_encode(recipe.data);
    EXPECT_EQ(p.packed_slot, runs.size() * 2 + 1);
    const Bytes block = build_hotspot_block(three_hotspots());
    EXPECT_EQ(p.hotspot_slot, block.size() * 2 + 1);
    EXPECT_EQ(p.packed_offset, p.slots_end + 64);
    EXPECT_EQ(slice(e.bytes, 8 + p.slots_end, 64), grey_colour_table(16));
    EXPECT_EQ(p.data, runs);
    EXPECT_EQ(p.hotspot_offset, p.packed_offset + runs.size());
    EXPECT_EQ(p.hotspots, block);
    EXPECT_EQ(e.bytes.size(), 8 + p.hotspot_offset + block.size());
    // Jump targets and macro arguments are known names now.
    EXPECT_TRUE(knows_name(*h.ctx, "topic_one"));
    EXPECT_TRUE(knows_name(*h.ctx, "popup_two"));
}

TEST(PictureFile, TwoResolutionsMakeOneMultiResolutionFile) {
    ContextHolder h;
    PictureSpec low = dib(1, 2, 20, 8);
    PictureSpec high = dib(8, 0, 40, 16);
    high.x_dpi = high.y_dpi = 192;
    Exported e = export_picture(*h.ctx, build_picture_file({low, high}).data);
    EXPECT_EQ(e.flags, 0x0Bu);
    EXPECT_EQ(e.name, "bm1.mrb");
    ParsedPictureFile f = parse_picture_file(e.bytes);
    ASSERT_EQ(f.count, 2);
    EXPECT_EQ(f.offsets[0], 12u);
    const ParsedPicture& a = f.pictures[0];
    const ParsedPicture& b = f.pictures[1];
    EXPECT_EQ(a.packing, 0);
    EXPECT_EQ(a.fields, (std::vector<uint32_t>{96, 96, 1, 1, 20, 8, 0, 0}));
    EXPECT_EQ(a.data, low.data);
    EXPECT_EQ(a.hotspot_slot, 1u);
    EXPECT_EQ(a.hotspot_offset, 0u);
    // The second picture starts where the first one ends.
    EXPECT_EQ(f.offsets[1], 12 + a.packed_offset + low.data.size());
    EXPECT_EQ(b.fields, (std::vector<uint32_t>{192, 192, 1, 8, 40, 16, 0, 0}));
    EXPECT_EQ(b.data, high.data);
    EXPECT_EQ(e.bytes.size(), f.offsets[1] + b.packed_offset + high.data.size());
}

TEST(PictureFile, MetafileWithHotspotsAndAMixedFile) {
    ContextHolder h;
    PictureSpec wmf = metafile(2);
    wmf.hotspots = three_hotspots();
    Exported e = export_picture(*h.ctx, build_picture_file({wmf}).data);
    EXPECT_EQ(e.flags, 0x0Cu);
    EXPECT_EQ(e.name, "bm1.shg");
    ParsedPictureFile f = parse_picture_file(e.bytes);
    EXPECT_EQ(f.pictures[0].packing, 0);
    EXPECT_EQ(f.pictures[0].fields, (std::vector<uint32_t>{8, 3000, 1200, 300}));
    EXPECT_EQ(f.pictures[0].data, wmf.data);

    Exported mixed = export_picture(*h.ctx, build_picture_file({dib(1, 1), metafile(3)}).data, "bm2");
    EXPECT_EQ(mixed.flags, 0x0Fu);
    EXPECT_EQ(mixed.name, "bm2.mrb");
    ParsedPictureFile m = parse_picture_file(mixed.bytes);
    EXPECT_EQ(m.pictures[1].packing, 1);
    EXPECT_EQ(m.pictures[1].data, runlength_encode(metafile(3).data));
}

TEST(PictureFile, EmptyPictureFileWritesNothing) {
    ContextHolder h;
    Exported e = export_picture(*h.ctx, build_picture_file({}).data);
    EXPECT_EQ(e.flags, 0u);
    EXPECT_EQ(h.ctx->outputs.head, nullptr);
}

TEST(Hotspots, ExternalTargetsRegisterOnlyTheirOwnContexts) {
    ContextHolder h;
    PictureSpec recipe = dib(1, 0);
    HotspotBlock b;
    b.hotspots.push_back({.kind = 0xEA, .form = 4, .name = "a", .target = "far_away>win@other.hlp"});
    b.hotspots.push_back({.kind = 0xEB, .form = 0, .name = "b", .target = "near_here>win"});
    b.hotspots.push_back({.kind = 0xEE, .form = 6, .name = "c", .target = "plain_one"});
    b.hotspots.push_back({.kind = 0xEF, .form = 1, .name = "d", .target = "elsewhere@x.hlp"});
    recipe.hotspots = b;
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_EQ(e.flags, 0x0Au);
    EXPECT_FALSE(knows_name(*h.ctx, "far_away"));
    EXPECT_FALSE(knows_name(*h.ctx, "elsewhere"));
    EXPECT_TRUE(knows_name(*h.ctx, "near_here"));
    EXPECT_TRUE(knows_name(*h.ctx, "plain_one"));
    EXPECT_EQ(h.ctx->context_name_count, 2);
    // The strings are written as they were, before any cutting.
    ParsedPictureFile f = parse_picture_file(e.bytes);
    EXPECT_EQ(f.pictures[0].hotspots, build_hotspot_block(b));
}

TEST(Hotspots, WrongHashesAndBadMacrosAreReported) {
    ContextHolder h;
    PictureSpec recipe = dib(1, 0);
    HotspotBlock b;
    b.hotspots.push_back({.kind = 0xE0, .name = "n", .target = "some_topic", .hash = 0x1234});
    b.hotspots.push_back({.kind = 0xC8, .form = 0, .name = "m", .target = "1bad("});
    recipe.hotspots = b;
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    char expected[200];
    std::snprintf(expected, sizeof expected, "Wrong hash 00001234 instead %08lx for 'some_topic'\nBad macro: 1bad(\n",
                  static_cast<unsigned long>(context_string_hash("some_topic")));
    EXPECT_EQ(e.errors, expected);
    EXPECT_TRUE(knows_name(*h.ctx, "some_topic"));
}

TEST(Hotspots, VersionOtherThanOneMeansNone) {
    ContextHolder h;
    PictureSpec recipe = dib(1, 2);
    HotspotBlock b = three_hotspots();
    b.version = 0;
    recipe.hotspots = b;
    Exported e = export_picture(*h.ctx, build_picture_file({recipe}).data);
    EXPECT_EQ(e.errors, "No hotspots\n");
    EXPECT_EQ(e.flags, 0x0Au);
    ParsedPictureFile f = parse_picture_file(e.bytes);
    EXPECT_EQ(f.pictures[0].hotspot_slot, 1u);
    EXPECT_EQ(f.pictures[0].hotspot_offset, 0u);
    EXPECT_EQ(e.bytes.size(), 8 + f.pictures[0].packed_offset + recipe.data.size());
    EXPECT_EQ(h.ctx->context_name_count, 0);
}

TEST(Hotspots, UnknownKindsAndFormsAreFatal) {
    ContextHolder h;
    PictureSpec recipe = dib(1, 0);
    HotspotBlock b;
    b.hotspots.push_back({.kind = 0x99, .form = 4, .x = 1, .y = 2, .w = 30, .h = 40, .name = "spot",
                          .target = "target", .hash = 0xABCDEF01});
    recipe.hotspots = b;
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nUnknown hotspot 99 04 00 X=1 Y=2 W=30 H=40 abcdef01,spot,target");
    b.hotspots[0] = {.kind = 0xEA, .form = 2, .name = "s", .target = "t"};
    recipe.hotspots = b;
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nUnknown hotspot ea 02 00 X=1 Y=2 W=30 H=40 00000000,s,t");
    b.hotspots[0] = {.kind = 0xEE, .form = 4, .byte2 = 1, .name = "s", .target = "t"};
    recipe.hotspots = b;
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data),
              "\nUnknown hotspot ee 04 01 X=1 Y=2 W=30 H=40 00000000,s,t");
}

TEST(Hotspots, NameAndTargetMustFitTheStringBuffer) {
    ContextHolder h;
    PictureSpec recipe = dib(1, 0);
    HotspotBlock b;
    b.hotspots.push_back({.kind = 0xE3, .name = std::string(2000, 'n'), .target = std::string(2094, 't')});
    recipe.hotspots = b;
    EXPECT_EQ(export_picture(*h.ctx, build_picture_file({recipe}).data).flags, 0x0Au);  // 4096 with both NULs
    b.hotspots[0].target += 't';
    recipe.hotspots = b;
    EXPECT_EQ(export_failure(*h.ctx, build_picture_file({recipe}).data), "String length exceeds decompiler limit.\n");
}

TEST(Picture, UnknownMagicAndFormatsAreFatal) {
    ContextHolder h;
    PictureFile file = build_picture_file({dib(1, 0)});
    put_u16(file.data, 0, 0x4241);
    EXPECT_EQ(export_failure(*h.ctx, file.data), "\nUnknown magic 0x4241 (AB)");
    struct Case {
        uint8_t type, packing;
    };
    for (Case c : {Case{5, 2}, Case{6, 4}, Case{8, 4}, Case{7, 0}}) {
        PictureSpec recipe = dib(1, 0);
        Bytes data = build_picture_file({recipe}).data;
        data[8] = c.type;
        data[9] = c.packing;
        EXPECT_EQ(export_failure(*h.ctx, data), "\nUnknown format (" + std::to_string(c.type) +
                                                    ") or packing method (" + std::to_string(c.packing) + ")");
    }
}

}  // namespace
