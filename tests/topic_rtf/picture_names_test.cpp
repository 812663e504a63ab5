// Names of exported pictures and the [BITMAPS] section.
#include <gtest/gtest.h>

#include <string>

#include "firstpass/picture_names.h"
#include "rtf_fixture.h"

TEST(PictureNames, ExtensionsByKind) {
    const char* expected[16] = {"???", "mrb", "bmp", "mrb", "wmf", "mrb", "mrb", "mrb",
                                "shg", "mrb", "shg", "mrb", "shg", "mrb", "shg", "mrb"};
    for (unsigned flags = 0; flags < 16; ++flags) EXPECT_STREQ(picture_extension(flags), expected[flags]);
    EXPECT_STREQ(picture_extension(0x12), "bmp");  // the high bits do not choose
    EXPECT_STREQ(picture_extension(0x3A), "shg");
}

TEST(PictureNames, ExportedMissingAndRejectedPictures) {
    RtfRun run;
    run.set_pictures({0, 0x02, 0x0A});
    testing::internal::CaptureStderr();
    EXPECT_STREQ(picture_file_name(run.ctx, 1), "bm1.bmp");
    EXPECT_STREQ(picture_file_name(run.ctx, 2), "bm2.shg");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_FALSE(run.ctx.had_problems);

    testing::internal::CaptureStderr();
    EXPECT_STREQ(picture_file_name(run.ctx, 0xFFFF), "missing.bmp");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "There was a picture file rejected on creation of helpfile.\n");
    EXPECT_TRUE(run.ctx.missing_bitmap);
    EXPECT_FALSE(run.ctx.had_problems);

    testing::internal::CaptureStderr();
    EXPECT_STREQ(picture_file_name(run.ctx, 7), "bm7.bmp");
    EXPECT_STREQ(picture_file_name(run.ctx, 0), "bm0.bmp");
    EXPECT_STREQ(picture_file_name(run.ctx, 4000000000u), "bm4000000000.bmp");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Bitmap bm7 not exported\nBitmap bm0 not exported\nBitmap bm4000000000 not exported\n");
    EXPECT_TRUE(run.ctx.had_problems);
}

TEST(PictureNames, BitmapsSectionListsEveryExportedPicture) {
    RtfRun run;
    run.set_pictures({0, 0x02, 0, 0x1A, 0x04});
    MemoryFile* project = output_open("test.hpj", "wb");
    output_add(run.ctx.outputs, project);
    write_bitmaps_section(run.ctx, project);
    EXPECT_EQ(file_text(project), "[BITMAPS]\nbm1.bmp\nbm3.shg\nbm4.wmf\n\n");
}
