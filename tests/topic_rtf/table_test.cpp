// Table rows (records of type 0x23): the row definition with its column
// arithmetic, cells, paragraphs inside cells, the end of the row, and rows
// whose head part is too short for what it announces.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtf_fixture.h"

using namespace hlptest;

namespace {

Paragraph cell(int16_t column, std::vector<Segment> segments) {
    Paragraph p;
    p.column = column;
    p.segments = std::move(segments);
    return p;
}

Paragraph cell_text(int16_t column, const std::string& text) {
    return cell(column, {{text, cmd_par()}, {"", cmd_end()}});
}

TopicRecord row(RowDefinition definition, std::vector<Paragraph> paragraphs) {
    TextRecordSpec recipe;
    recipe.type = 0x23;
    recipe.row = std::move(definition);
    recipe.paragraphs = std::move(paragraphs);
    return text_record(recipe);
}

RowDefinition columns(uint8_t table_type, std::vector<ColumnSpec> list, int16_t minimum_width = 32767) {
    RowDefinition d;
    d.table_type = table_type;
    d.columns = std::move(list);
    d.minimum_width = minimum_width;
    return d;
}

}  // namespace

TEST(TableRow, OneColumnHasNoGap) {
    RtfRun run;
    EXPECT_EQ(run.body({row(columns(1, {{2000, 100}}), {cell_text(0, "Cell")})}),
              "\\trowd\\trleft99 \\cellx2000 \\pard\\intbl Cell\\cell\\intbl\\row\n");
}

TEST(TableRow, CellsParagraphsInCellsAndTheEndOfTheRow) {
    RtfRun run;
    // x = 1000 + 200 + 100 / 2 = 1250, then + 1500 + 100, then + 800 + 50.
    RowDefinition d = columns(3, {{1000, 200}, {1500, 100}, {800, 50}});
    std::string rtf = run.body({row(d, {cell_text(0, "A"), cell_text(1, "B"),
                                        cell(1, {{"C", cmd_par()}, {"D", cmd_par()}, {"", cmd_end()}}),
                                        cell_text(2, "E")})});
    EXPECT_EQ(rtf,
              "\\trowd\\trgaph100\\trleft99 \\cellx1250\\cellx2850\\cellx3700"
              "\\pard\\intbl A\\cell\\pard \\pard\\intbl B\\par\\pard "
              "\\pard\\intbl C\n\\par\\intbl D\\cell\\pard \\pard\\intbl E\\cell\\intbl\\row\n");
}

TEST(TableRow, MinimumWidthScalesColumnsAndTruncatesTowardZero) {
    RtfRun run;
    // s(x) = x * 16000 / 32767; the left edge ((0 - 100) * 16000 - 32767) / 32767 = -49.8.
    RowDefinition d = columns(0, {{1000, 0}, {1000, 100}}, 16000);
    EXPECT_EQ(run.body({row(d, {cell_text(0, "A"), cell_text(1, "B")})}),
              "\\trowd\\trqc\\trgaph48\\trleft-49 \\cellx512\\cellx1049"
              "\\pard\\intbl A\\cell\\pard \\pard\\intbl B\\cell\\intbl\\row\n");
}

TEST(TableRow, FirstEdgeIsHeldInSixteenBits) {
    RtfRun run;
    // 30000 + 30000 + 20000 / 2 = 70000, kept as 4464; the second edge is
    // computed from it at full width: 4464 + 100 + 20000.
    RowDefinition d = columns(3, {{30000, 30000}, {100, 20000}});
    EXPECT_EQ(run.body({row(d, {cell_text(0, "A")})}),
              "\\trowd\\trgaph20000\\trleft9999 \\cellx4464\\cellx24564\\pard\\intbl A\\cell\\intbl\\row\n");
}

TEST(TableRow, OldFormatScaling) {
    RtfRun run;
    run.use_old_format();
    // Widths in old files are scaled by 10 and reduced by 5 before the
    // minimum-width factor: s(x) = (10x - 5) * 16384 / 32767.
    TextRecordSpec recipe;
    recipe.type = 0x23;
    recipe.row = columns(2, {{200, 10}, {300, 20}}, 16384);
    recipe.paragraphs = {cell_text(0, "A")};
    EXPECT_EQ(run.convert({old_topic_header(""), text_record(recipe)}),
              "{\\up #}{\\footnote\\pard\\plain{\\up #} TOPIC16}\n"
              "\\trowd\\trqc\\trgaph97\\trleft-53 \\cellx1097\\cellx2697\\pard\\intbl A\\cell\\intbl\\row\n");
}

TEST(TableRow, RowDefinitionLongerThanTheHeadEndsTheRecord) {
    RtfRun run;
    RowDefinition d = columns(1, {{1000, 0}, {1000, 0}});
    d.column_count = 200;
    TextRecordSpec recipe;
    recipe.type = 0x23;
    recipe.row = d;
    recipe.end_row = false;
    EXPECT_EQ(run.body({text_record(recipe), paragraph_record(plain_paragraph("Next"))}),
              "\\trowd\\pard Next\n\\par ");
}

TEST(TableRow, RowsWithoutTheirEndStopAtTheHeadEnd) {
    RtfRun run;
    TextRecordSpec no_end_mark;
    no_end_mark.type = 0x23;
    no_end_mark.row = columns(1, {{1000, 0}});
    no_end_mark.paragraphs = {cell_text(0, "A")};
    no_end_mark.end_row = false;  // 0x82 0xFF with no column after it
    TextRecordSpec last_byte;
    last_byte.type = 0x23;
    last_byte.row = columns(1, {{1000, 0}});
    last_byte.paragraphs = {cell(0, {{"B", cmd_par()}})};  // 0x82 is the last byte
    last_byte.end_row = false;
    EXPECT_EQ(run.body({text_record(no_end_mark), text_record(last_byte), paragraph_record(plain_paragraph("C"))}),
              "\\trowd\\trleft-1 \\cellx1000 \\pard\\intbl A"
              "\\trowd\\trleft-1 \\cellx1000 \\pard\\intbl B"
              "\\pard C\n\\par ");
}

TEST(TableRow, ZeroColumnsReadTheFirstEntryWithoutPassingIt) {
    RtfRun run;
    TextRecordSpec recipe;
    recipe.type = 0x23;
    recipe.row = columns(1, {});
    recipe.row.column_count = 0;
    // The four bytes after the row definition are the first paragraph's
    // column (0) and the next 2 bytes: read as width 0 and gap 0.
    recipe.paragraphs = {cell_text(0, "A")};
    EXPECT_EQ(run.body({text_record(recipe)}),
              "\\trowd\\trleft-1 \\cellx0 \\pard\\intbl A\\cell\\intbl\\row\n");
}
