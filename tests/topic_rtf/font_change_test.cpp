// Character formatting at font changes: what differs is written, a \plain
// reset comes first when something must be switched off, styles replace the
// whole formatting, and the hotspot flags add their underline.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "render/render_topics.h"
#include "render/rtf/rtf_writer.h"
#include "rtf_fixture.h"

namespace {

struct FontChanges {
    RtfRun run;
    MemoryFile* out;
    explicit FontChanges(const std::vector<FontDescriptor>& fonts, uint8_t default_font = 0) {
        run.set_fonts(fonts, default_font);
        out = output_open("fonts.rtf", "wb");
        output_add(run.ctx.outputs, out);
    }
    // What one change writes.
    std::string change(int font, bool popup = false, bool jump = false) {
        const uint32_t before = out->length;
        font_change(run.ctx, out, font, popup, jump);
        return file_text(out).substr(before);
    }
};

FontDescriptor everything() {
    FontDescriptor f{};
    f.font_name = 1;
    f.italic = f.bold = f.underline = f.strikeout = f.double_underline = f.small_caps = 1;
    f.expansion = -3;
    f.vertical_offset = 4;
    f.size = 24;
    f.foreground = 2;
    f.background = 3;
    return f;
}

FontDescriptor lowered() {
    FontDescriptor f = plain_font(20);
    f.font_name = 2;
    f.vertical_offset = -4;
    return f;
}

FontDescriptor styled() {
    FontDescriptor f = plain_font(20);
    f.style = 3;
    return f;
}

}  // namespace

TEST(FontChange, InvalidFontNumbersChangeNothing) {
    FontChanges fonts({everything()});
    for (int font : {-1, 1, 1000}) EXPECT_EQ(fonts.change(font, true, true), "") << font;
    EXPECT_EQ(fonts.run.ctx.attributes.size, 0);
    EXPECT_EQ(fonts.run.ctx.attributes.underline, 0);
}

TEST(FontChange, EveryDifferenceInItsOrderAndNothingWhenUnchanged) {
    FontChanges fonts({everything(), lowered()});
    EXPECT_EQ(fonts.change(0), "\\f1\\i\\b\\ul\\strike\\uldb\\scaps\\expndtw-3\\up4\\fs24\\cf2\\cb3 ");
    EXPECT_EQ(fonts.change(0), "");
    EXPECT_EQ(fonts.change(1), "\\plain\\f2\\dn4\\fs20 ");
    EXPECT_EQ(fonts.change(1), "");
}

TEST(FontChange, ResetRestoresTheDefaultFontName) {
    FontChanges fonts({everything(), lowered()}, 2);
    EXPECT_EQ(fonts.change(0), "\\f1\\i\\b\\ul\\strike\\uldb\\scaps\\expndtw-3\\up4\\fs24\\cf2\\cb3 ");
    EXPECT_EQ(fonts.change(1), "\\plain\\dn4\\fs20 ");
}

TEST(FontChange, EachAttributeThatGoesAwayNeedsAReset) {
    const std::vector<void (*)(FontDescriptor&)> setters{
        [](FontDescriptor& f) { f.bold = 1; },           [](FontDescriptor& f) { f.italic = 1; },
        [](FontDescriptor& f) { f.underline = 1; },      [](FontDescriptor& f) { f.strikeout = 1; },
        [](FontDescriptor& f) { f.double_underline = 1; }, [](FontDescriptor& f) { f.small_caps = 1; },
        [](FontDescriptor& f) { f.font_name = 1; },      [](FontDescriptor& f) { f.foreground = 1; },
        [](FontDescriptor& f) { f.background = 1; },     [](FontDescriptor& f) { f.vertical_offset = -1; },
    };
    for (size_t i = 0; i < setters.size(); ++i) {
        FontDescriptor special = plain_font(20);
        setters[i](special);
        FontChanges fonts({plain_font(20), special});
        fonts.change(1);
        EXPECT_EQ(fonts.change(0), "\\plain\\fs20 ") << "attribute " << i;
    }
    // Size and expansion are simply written anew.
    FontDescriptor wide = plain_font(30);
    wide.expansion = 5;
    FontChanges fonts({plain_font(20), wide});
    fonts.change(1);
    EXPECT_EQ(fonts.change(0), "\\expndtw0\\fs20 ");
}

TEST(FontChange, HotspotFlagsUnderline) {
    FontChanges fonts({plain_font(20)});
    EXPECT_EQ(fonts.change(0, true, false), "\\ul\\fs20 ");
    EXPECT_EQ(fonts.change(0, true, false), "");
    EXPECT_EQ(fonts.change(0, false, true), "\\plain\\uldb\\fs20 ");
    EXPECT_EQ(fonts.run.ctx.attributes.underline, 0);
    EXPECT_EQ(fonts.run.ctx.attributes.double_underline, 1);
    EXPECT_EQ(fonts.change(0), "\\plain\\fs20 ");
}

TEST(FontChange, UnderlinedFontsStayUnderlinedInPopups) {
    FontDescriptor underlined = plain_font(20);
    underlined.underline = 1;
    FontChanges fonts({underlined, plain_font(20)});
    EXPECT_EQ(fonts.change(0), "\\ul\\fs20 ");
    EXPECT_EQ(fonts.change(1, true, false), "");  // the popup keeps the underline on
    EXPECT_EQ(fonts.change(1), "\\plain\\fs20 ");
}

TEST(FontChange, StylesWriteTheirNumberAndTheHotspotUnderline) {
    FontChanges fonts({plain_font(20), styled()});
    EXPECT_EQ(fonts.change(1), "\\plain\\cs12 ");
    EXPECT_EQ(fonts.change(1), "\\plain\\cs12 ");
    EXPECT_EQ(fonts.change(1, true, false), "\\plain\\cs12\\ul ");
    EXPECT_EQ(fonts.change(1, false, true), "\\plain\\cs12\\uldb ");
    EXPECT_EQ(fonts.run.ctx.attributes.style, 3);
    EXPECT_EQ(fonts.change(0), "\\plain\\fs20 ");  // leaving a style always resets
}
