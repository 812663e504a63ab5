// The formatting commands of paragraphs: simple codes, hotspots with their
// hidden targets, pictures, embedded windows, buttons and media, and
// commands whose operands do not fit in the head part.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "project/context_hash.h"
#include "rtf_fixture.h"

using namespace hlptest;

namespace {

uint32_t hash(const char* name) { return context_hash(name); }

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

ExtendedLink link_of(uint8_t type, const char* name) {
    ExtendedLink link;
    link.link_type = type;
    link.hash = context_hash(name);
    return link;
}

const std::string next_paragraph = "\\pard Next\n\\par ";

}  // namespace

TEST(Commands, SimpleCodes) {
    RtfRun run;
    std::string rtf = run.body({segments_record({{"a", cmd_vfld(5)},
                                                 {"b", cmd_vfld(0)},
                                                 {"c", cmd_dtype(-2)},
                                                 {"d", cmd_dtype(0)},
                                                 {"e", cmd_line()},
                                                 {"f", cmd_tab()},
                                                 {"g", cmd_nonbreaking_space()},
                                                 {"h", cmd_nonbreaking_hyphen()},
                                                 {"i", Bytes{0x99}},  // unknown: one byte, nothing written
                                                 {"j", cmd_par()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard a\\{vfld5\\}b\\{vfld\\}c\\{dtype-2\\}d\\{dtype\\}e\\line\nf\\tab g\\~h\\-ij\n\\par ");
}

TEST(Commands, JumpsAndPopupsUnderlineTheirTextAndHideTheTarget) {
    RtfRun run;
    run.set_fonts({plain_font(20)});
    run.set_contexts({{"target", 0}});  // the topic itself
    std::string rtf = run.body({segments_record({{"", cmd_font(0)},
                                                 {"Go", cmd_link(0xE3, hash("target"))},
                                                 {"here", cmd_hotspot_end()},
                                                 {" or ", cmd_link(0xE2, hash("target"))},
                                                 {"there", cmd_hotspot_end()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "{\\up #}{\\footnote\\pard\\plain{\\up #} target}\n"
                   "\\pard \\fs20 Go\\uldb here\\plain\\fs20 {\\v target} or \\ul there\\plain\\fs20 {\\v target}");
    EXPECT_EQ(run.out, "");
}

TEST(Commands, UnresolvedJumpsWarnButExtendedLinksDoNot) {
    RtfRun run;
    add_context_name(run.ctx, "nowhere", false);
    std::string rtf = run.body({segments_record({{"a", cmd_link(0xE3, hash("nowhere"))},
                                                 {"", cmd_hotspot_end()},
                                                 {"b", cmd_extended_link(0xEB, link_of(0, "nowhere"))},
                                                 {"", cmd_hotspot_end()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard a{\\v nowhere}b{\\v nowhere}");
    EXPECT_EQ(run.out, "Help Compiler will issue Warning 4113: Unresolved jump or popup 'nowhere'\n");
}

TEST(Commands, TopicNumberHotspotsOfOldFiles) {
    RtfRun run;
    std::string rtf = run.body({segments_record({{"p", cmd_link(0xE0, 42)},
                                                 {"x", cmd_hotspot_end()},
                                                 {"j", cmd_link(0xE1, 7)},
                                                 {"y", cmd_hotspot_end()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard px{\\v TOPIC42}jy{\\v TOPIC7}");
}

TEST(Commands, PercentTargetsBecomeStarsInUnderlinedFonts) {
    for (bool minor_27 : {false, true}) {
        RtfRun run;
        run.ctx.minor_27 = minor_27;
        FontDescriptor underlined = plain_font(20);
        underlined.underline = 1;
        run.set_fonts({plain_font(20), underlined});
        run.set_contexts({{"t", 0}});
        std::string rtf = run.body({segments_record({{"", cmd_font(0)},
                                                     {"a", cmd_link(0xE7, hash("t"))},
                                                     {"b", cmd_hotspot_end()},
                                                     {"", cmd_font(1)},
                                                     {"c", cmd_link(0xE6, hash("t"))},
                                                     {"d", cmd_hotspot_end()},
                                                     {"", cmd_end()}})});
        // minor_27 files leave the leading % or * out.
        const std::string id = "{\\up #}{\\footnote\\pard\\plain{\\up #} t}\n";
        EXPECT_EQ(rtf, id + (minor_27 ? "\\pard \\fs20 a\\uldb b\\plain\\fs20 {\\v t}\\ul cd{\\v t}"
                                      : "\\pard \\fs20 a\\uldb b\\plain\\fs20 {\\v %t}\\ul cd{\\v *t}"));
    }
}

TEST(Commands, MacroHotspots) {
    RtfRun run;
    run.set_fonts({plain_font(20)});
    std::string rtf = run.body({segments_record({{"", cmd_font(0)},
                                                 {"m", cmd_macro(0xC8, "Jump(\"{x}\")")},
                                                 {"n", cmd_hotspot_end()},
                                                 {"o", cmd_macro(0xCC, "Exit()")},
                                                 {"p", cmd_hotspot_end()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard \\fs20 m\\uldb n\\plain\\fs20 {\\v !Jump(\"\\{x\\}\")}o\\uldb p\\plain\\fs20 {\\v %!Exit()}");
}

TEST(Commands, CommandLengthsDecideWhereTheNextCommandStarts) {
    RtfRun run;
    // Both commands claim two more bytes than their operands hold; the
    // \line commands there are skipped.
    ExtendedLink link = link_of(0, "name");
    link.length = 7;
    std::string rtf = run.body({segments_record(
        {{"a", cmd_macro(0xC8, "M()", 6) + cmd_line() + cmd_line()},
         {"b", cmd_extended_link(0xEB, link) + cmd_line() + cmd_line()},
         {"c", cmd_picture(0x86, 3, picture_reference(2) + cmd_line())},  // kind 2: nothing, data skipped
         {"d", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard abcd");
}

TEST(Commands, ExtendedLinkTargets) {
    RtfRun run;
    run.set_windows({"", "second"});
    add_context_name(run.ctx, "name", false);
    ExtendedLink window_one = link_of(1, "name");
    window_one.window_number = 1;
    ExtendedLink window_seven = link_of(1, "name");
    window_seven.window_number = 7;
    ExtendedLink other_file = link_of(4, "name");
    other_file.file = "other.hlp";
    ExtendedLink both = link_of(6, "name");
    both.window = "win";
    both.file = "other.hlp";
    ExtendedLink both_short = link_of(6, "name");
    both_short.window = "w";
    both_short.file = "f.hlp";
    std::vector<Segment> segments;
    const std::vector<std::pair<uint8_t, ExtendedLink>> links{
        {0xEB, link_of(0, "name")}, {0xEB, window_one}, {0xEA, window_seven}, {0xEB, other_file},
        {0xEB, both},               {0xEF, link_of(0, "name")}, {0xEE, both_short}};
    for (size_t i = 0; i < links.size(); ++i) {
        segments.push_back({std::string(1, static_cast<char>('a' + i)), cmd_extended_link(links[i].first, links[i].second)});
        segments.push_back({"", cmd_hotspot_end()});
    }
    segments.push_back({"", cmd_end()});
    EXPECT_EQ(run.body({segments_record(segments)}),
              "\\pard a{\\v name}b{\\v name>second}c{\\v name>main}d{\\v name@other.hlp}"
              "e{\\v name>win@other.hlp}f{\\v %name}g{\\v %name>w@f.hlp}");
}

TEST(Commands, ExtendedPopupsAndJumpsUnderline) {
    RtfRun run;
    run.set_fonts({plain_font(20)});
    add_context_name(run.ctx, "name", false);
    std::string rtf = run.body({segments_record({{"", cmd_font(0)},
                                                 {"x", cmd_extended_link(0xEA, link_of(0, "name"))},
                                                 {"y", cmd_hotspot_end()},
                                                 {"z", cmd_extended_link(0xEB, link_of(0, "name"))},
                                                 {"w", cmd_hotspot_end()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard \\fs20 x\\ul y\\plain\\fs20 {\\v name}z\\uldb w\\plain\\fs20 {\\v name}");
}

TEST(Commands, EndOfHotspotWithoutHotspotAndRepeated) {
    RtfRun run;
    std::string rtf = run.body({segments_record({{"a", cmd_hotspot_end()},
                                                 {"b", cmd_macro(0xC8, "M()")},
                                                 {"c", cmd_hotspot_end()},
                                                 {"d", cmd_hotspot_end()},  // the target is kept
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard a{\\v }bc{\\v !M()}d{\\v !M()}");
}

TEST(Commands, LongTargetsWarnOnlyBelowMinorVersion22) {
    const std::string long_macro(255, 'x');   // target of 256 characters
    const std::string limit_macro(254, 'y');  // target of 255 characters
    for (bool above_21 : {false, true}) {
        RtfRun run;
        run.ctx.minor_above_21 = above_21;
        std::string rtf = run.body({segments_record({{"", cmd_macro(0xC8, long_macro)},
                                                     {"", cmd_hotspot_end()},
                                                     {"", cmd_macro(0xC8, limit_macro)},
                                                     {"", cmd_hotspot_end()},
                                                     {"", cmd_end()}})});
        EXPECT_EQ(rtf, "\\pard {\\v !" + long_macro + "}{\\v !" + limit_macro + "}");
        EXPECT_EQ(run.out, above_21 ? ""
                                    : "Help compiler will issue Warning 4072: Context string exceeds limit of 255 "
                                      "characters\n");
    }
}

TEST(Commands, PictureReferences) {
    RtfRun run;
    run.set_pictures({0, 0x02, 0x22, 0x0A});
    std::string rtf = run.body({segments_record({
        {"a", cmd_picture(0x86, 3, picture_reference(0, 1))},
        {"b", cmd_picture(0x87, 3, picture_reference(0, 2))},  // transparent: bmlt
        {"c", cmd_picture(0x88, 3, picture_reference(0, 3))},
        {"d", cmd_picture(0x86, 3, picture_reference(0, 9), {}, true)},
        {"e", cmd_picture(0x86, 3, picture_reference(0, 0xFFFF))},
        {"f", cmd_picture(0x86, 3, picture_reference(2))},
        {"g", cmd_picture(0x86, 7, Bytes{1, 2, 3, 4, 5})},
        {"h", cmd_end()},
    })});
    EXPECT_EQ(rtf,
              "\\pard a\\{bmc bm1.bmp\\}b\\{bmlt bm2.bmp\\}c\\{bmr bm3.shg\\}d\\{bmc bm9.bmp\\}"
              "e\\{bmc missing.bmp\\}fgh");
    EXPECT_NE(run.err.find("Bitmap bm9 not exported\n"), std::string::npos);
    EXPECT_NE(run.err.find("There was a picture file rejected on creation of helpfile.\n"), std::string::npos);
    EXPECT_TRUE(run.ctx.had_problems);
    EXPECT_TRUE(run.ctx.missing_bitmap);
}

TEST(Commands, EmbeddedPicturesAreTakenInOrder) {
    RtfRun run;
    run.set_pictures({0x12, 0x02, 0x12, 0x00, 0x1A});  // entry 0 is never an embedded picture
    std::vector<Segment> two{{"", cmd_picture(0x86, 3, picture_reference(1))},
                             {"", cmd_picture(0x87, 3, picture_reference(1))},
                             {"", cmd_end()}};
    EXPECT_EQ(run.body({segments_record(two)}), "\\pard \\{bmc bm2.bmp\\}\\{bml bm4.shg\\}");

    RtfRun again;
    again.set_pictures({0, 0x02, 0x12});
    std::string err = fatal_output([&] { again.convert_uncaptured({topic_header_record("", 0), segments_record(two)}); });
    EXPECT_NE(err.find("\nBitmap never saved"), std::string::npos);
}

TEST(Commands, PictureHotspotCharactersAdvanceTheTextPosition) {
    RtfRun run;
    run.set_pictures({0, 0x02});
    run.set_contexts({{"spot", 6}});
    // A(0) B(1) NUL(2), the picture covers 3..5, C is character 6. The
    // second picture's count (two bytes) lies outside its size: the picture
    // number's bytes 0x81 are data, not line breaks.
    std::string rtf = run.body({segments_record({{"AB", cmd_picture_with_hotspots(0x86, 3, picture_reference(0, 1))},
                                                 {"CD", cmd_picture_with_hotspots(0x87, 200, picture_reference(0, 0x8181))},
                                                 {"E", cmd_par()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard AB\\{bmc bm1.bmp\\}{\\up #}{\\footnote\\pard\\plain{\\up #} spot}\nCD\\{bml bm33153.bmp\\}E\n\\par ");
}

TEST(Commands, ButtonsEmbeddedWindowsAndMedia) {
    RtfRun run;
    std::string rtf = run.body({segments_record({
        {"a", cmd_picture(0x86, 5, embedded_window_data("!Click me"))},
        {"b", cmd_picture(0x87, 5, embedded_window_data("mvbmp.dll,Class,data"))},
        {"c", cmd_picture(0x88, 5, embedded_window_data("*33792,2,+clip.avi"))},
        {"d", cmd_picture(0x87, 5, embedded_window_data("*33802,1,movie.avi"))},
        {"e", cmd_picture(0x86, 5, embedded_window_data("*1,0,x+y"))},
        {"f", cmd_picture(0x86, 5, embedded_window_data("*abc"))},
        {"g", cmd_picture(0x86, 5, embedded_window_data("text"))},
        {"", cmd_end()},
    })});
    EXPECT_EQ(rtf,
              "\\pard a\\{button Click me\\}b\\{ewl mvbmp.dll,Class,data\\}c\\{mci_right PLAY,clip.avi\\}\n"
              "d\\{mci_left REPEAT EXTERNAL NOMENU NOPLAYBAR,movie.avi\\}\ne\\{mci,y\\}\n"
              "f\\{mci EXTERNAL,abc\\}\ng\\{ewc text\\}");
    EXPECT_NE(run.err.find("mci c1=0001\n"), std::string::npos);
    EXPECT_NE(run.err.find("mci c1=0000\n"), std::string::npos);
    EXPECT_EQ(run.err.find("mci c1=84"), std::string::npos);
}

TEST(Commands, OperandsPastTheHeadEndEndTheParagraph) {
    ExtendedLink too_long = link_of(0, "name");
    too_long.length = 200;
    const Bytes unterminated_file = ByteWriter().u8(0xEB).u16(7).u8(4).u32(context_hash("name")).u8('a').u8('b').take();
    const std::vector<Bytes> faulty{
        cmd_picture(0x86, 3, picture_reference(0, 1), 100),   // data larger than the head
        cmd_picture(0x86, 3, picture_reference(0, 1), -5),    // negative size
        cmd_picture(0x86, 3, Bytes{0}),                       // kind cut short
        cmd_picture(0x86, 5, ByteWriter().zeros(6).take() + bytes_of("abc")),  // text without its end
        cmd_extended_link(0xEB, too_long),
        unterminated_file,
        cmd_macro(0xC8, "M()", -1),
        Bytes{0xE3, 1, 2},  // context hash cut short
        Bytes{0x20, 1},
        Bytes{0x21},
        Bytes{0x86, 3},  // no size
    };
    for (size_t i = 0; i < faulty.size(); ++i) {
        RtfRun run;
        run.set_pictures({0, 0x02});
        std::string rtf = run.body({segments_record({{"a", faulty[i]}}), paragraph_record(plain_paragraph("Next"))});
        EXPECT_EQ(rtf, "\\pard a" + next_paragraph) << "case " << i;
    }
}
