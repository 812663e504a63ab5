// Paragraphs of text records: character output, paragraph attributes, and
// head or text parts that end early.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "rtf_fixture.h"

using namespace hlptest;

TEST(Paragraph, TextBytesAreEscapedAndBracesBreakable) {
    RtfRun run;
    std::string rtf = run.body({segments_record({{"{b}", cmd_par()}, {"\xE9\\\x01 ok~", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard \\{\\-b\\'7d\n\\par \\'e9\\'5c\\'01 ok~");
    // In double-byte text a brace after a lead byte is the second byte of a
    // character: a byte, which readers pair with the one before.
    RtfRun japanese;
    japanese.ctx.double_byte_text = true;
    rtf = japanese.body({segments_record({{"{b\x83{\x83l", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard \\{\\-b\\'83\\'7b\\'83l");
}

TEST(Paragraph, EveryByteValueInsideLongRunsOfText) {
    // Each byte between plain runs of varying length, so it falls at every
    // position of the runs the writer scans in one go.
    std::string text, expected;
    for (int c = 1; c < 256; ++c) {
        const std::string before(static_cast<size_t>(c % 13), 'a'), after = "0123456789";
        text += before + static_cast<char>(c) + after;
        char escaped[8];
        if (c == '{') std::snprintf(escaped, sizeof escaped, "\\{\\-");
        else if (c < 0x20 || c > 0x7E || c == '\\' || c == '}') std::snprintf(escaped, sizeof escaped, "\\'%02x", c);
        else std::snprintf(escaped, sizeof escaped, "%c", c);
        expected += before + escaped + after;
    }
    RtfRun run;
    EXPECT_EQ(run.body({segments_record({{text, cmd_end()}})}), "\\pard " + expected);
}

TEST(Paragraph, SmallCapsFontsWriteLowerCase) {
    RtfRun run;
    FontDescriptor caps = plain_font(20);
    caps.small_caps = 1;
    run.set_fonts({caps, plain_font(20)});
    std::string rtf = run.body({segments_record({{"", cmd_font(0)},
                                                 {"Hello World", cmd_font(1)},
                                                 {"ABC", cmd_par()},
                                                 {"", cmd_end()}})});
    EXPECT_EQ(rtf, "\\pard \\scaps\\fs20 hello world\\plain\\fs20 ABC\n\\par ");
}

TEST(Paragraph, EveryAttributeInItsOrder) {
    RtfRun run;
    Paragraph p = plain_paragraph("Text");
    ParagraphAttributes& a = p.attributes;
    a.keep = a.right = a.centre = true;
    a.unused_long = 0x12345;  // the 4-byte form
    a.space_before = 12;
    a.space_after = -3;
    a.line_spacing = 240;  // the 2-byte form
    a.left_indent = 720;
    a.right_indent = -100;
    a.first_indent = 5;
    a.border = 0x7F;
    a.tabs = std::vector<TabStop>{{100, {}}, {200, 1}, {300, 2}, {400, 3}};
    EXPECT_EQ(run.body({paragraph_record(p)}),
              "\\pard\\keep\\qr\\qc\\sb12\\sa-3\\sl240\\li720\\ri-100\\fi5"
              "\\box\\brdrt\\brdrl\\brdrb\\brdrr\\brdrth\\brdrdb"
              "\\tx100\\tqr\\tx200\\tqc\\tx300\\tx400 Text\n\\par ");
}

TEST(Paragraph, BordersTabCountsAndBitsWithoutOperands) {
    RtfRun run;
    Paragraph plain_border = plain_paragraph("A");
    plain_border.attributes.border = 0x00;
    plain_border.attributes.extra_flags = 0x2080;  // no operands, no output
    Paragraph thick_top = plain_paragraph("B");
    thick_top.attributes.border = 0x22;
    Paragraph no_tabs = plain_paragraph("C");
    no_tabs.attributes.tabs = std::vector<TabStop>{};
    Paragraph negative_tabs = plain_paragraph("D");
    negative_tabs.attributes.tabs = std::vector<TabStop>{};
    negative_tabs.attributes.tab_count = -3;
    EXPECT_EQ(run.body({paragraph_record(plain_border), paragraph_record(thick_top), paragraph_record(no_tabs),
                        paragraph_record(negative_tabs)}),
              "\\pard\\brdrs A\n\\par \\pard\\brdrt\\brdrth B\n\\par \\pard C\n\\par \\pard D\n\\par ");
}

TEST(Paragraph, OldFormatMeasurementsAreScaled) {
    RtfRun run;
    run.use_old_format();
    TextRecordSpec recipe;
    recipe.type = 1;
    Paragraph p = plain_paragraph("Old");
    p.attributes.space_before = 12;
    p.attributes.left_indent = 0;
    p.attributes.tabs = std::vector<TabStop>{{100, 2}};
    recipe.paragraphs = {p};
    EXPECT_EQ(run.convert({old_topic_header(""), text_record(recipe)}),
              "{\\up #}{\\footnote\\pard\\plain{\\up #} TOPIC16}\n\\pard\\sb115\\li-5\\tqc\\tx995 Old\n\\par ");
}

TEST(Paragraph, RecordsWithoutTheirPartsAreSkipped) {
    RtfRun run;
    TopicRecord no_head{};
    no_head.type = 0x20;
    no_head.text = ByteWriter().cstring("lost").take();
    TopicRecord no_text = paragraph_record(plain_paragraph(""));
    no_text.type = 1;  // a type-1 record needs its text part
    no_text.text.clear();
    TopicRecord unknown = paragraph_record(plain_paragraph("odd"));
    unknown.type = 0x42;
    TextRecordSpec kept;
    kept.type = 1;
    kept.paragraphs = {plain_paragraph("kept")};
    EXPECT_EQ(run.body({no_head, no_text, unknown, text_record(kept)}), "\\pard kept\n\\par ");
}

TEST(Paragraph, HeadEndingInsideACommandEndsTheParagraph) {
    RtfRun run;
    Paragraph missing_operand;
    missing_operand.attributes.extra_flags = 0x0002;  // announces a space-before value that is not there
    std::string rtf = run.body({segments_record({{"Hi", Bytes{0x80, 0x01}}}),  // font number cut short
                                paragraph_record(missing_operand), segments_record({{"No end", cmd_line()}}),
                                paragraph_record(plain_paragraph("Next"))});
    EXPECT_EQ(rtf, "\\pard Hi\\pard \\pard No end\\line\n\\pard Next\n\\par ");
}

TEST(Paragraph, TabCountLargerThanTheHeadStopsAtItsEnd) {
    RtfRun run;
    Paragraph p;
    p.attributes.tabs = std::vector<TabStop>{{100, {}}};
    p.attributes.tab_count = 5000;
    EXPECT_EQ(run.body({paragraph_record(p), paragraph_record(plain_paragraph("Next"))}),
              "\\pard\\tx100 \\pard Next\n\\par ");
}

TEST(Paragraph, UsedUpTextGivesEmptyStrings) {
    RtfRun run;
    TopicRecord short_text = segments_record({{"A", cmd_line()}, {"B", cmd_line()}, {"C", cmd_end()}});
    short_text.text = ByteWriter().cstring("A").take();
    TopicRecord no_text = segments_record({{"X", cmd_tab()}, {"Y", cmd_end()}});
    no_text.text.clear();
    TopicRecord unterminated = segments_record({{"", cmd_tab()}, {"", cmd_end()}});
    unterminated.text = bytes_of("open");  // no NUL: the string ends with the part
    EXPECT_EQ(run.body({short_text, no_text, unterminated}), "\\pard A\\line\n\\line\n\\pard \\tab \\pard open\\tab ");
}
