// The second pass over whole |TOPIC files: topics as pages, their footnotes
// (titles, entry macros, context strings, browse and group, window), the
// old format, and where footnotes land in the text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "project/system_file.h"
#include "render/rtf/rtf_writer.h"
#include "render/render_topics.h"
#include "rtf_fixture.h"

using namespace hlptest;

namespace {

std::string footnote(char mark, const std::string& text) {
    return std::string("{\\up ") + mark + "}{\\footnote\\pard\\plain{\\up " + mark + "} " + text + "}\n";
}

TopicRecord titled(const std::string& title, std::vector<std::string> macros = {}) {
    TopicHeaderSpec recipe;
    recipe.title = title;
    recipe.macros = std::move(macros);
    return topic_header(recipe);
}

void put_u32_le(uint8_t* bytes, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

GroupEntry group(DecompileContext& ctx, const char* name, uint32_t type, uint32_t first, uint32_t last,
                 std::vector<uint8_t> bitmap = {}) {
    GroupEntry g{};
    put_u32_le(g.header, 4, static_cast<uint32_t>(bitmap.size()));
    put_u32_le(g.header, 8, last);
    put_u32_le(g.header, 12, first);
    put_u32_le(g.header, 24, type);
    g.name = tracked_strdup(ctx, name);
    if (!bitmap.empty()) {
        g.bitmap = static_cast<uint8_t*>(tracked_malloc(ctx, static_cast<long>(bitmap.size())));
        std::copy(bitmap.begin(), bitmap.end(), g.bitmap);
    }
    return g;
}

void set_groups(DecompileContext& ctx, const std::vector<GroupEntry>& groups) {
    ctx.groups = tracked_new_array<GroupEntry>(ctx, static_cast<long>(groups.size()));
    std::copy(groups.begin(), groups.end(), ctx.groups);
    ctx.group_count = static_cast<int32_t>(groups.size());
}

}  // namespace

TEST(TopicRtf, NoTopicFileLeavesTheOutputAsItWas) {
    RtfRun run;
    OpenBytes help(build_help_file({{"|SYSTEM", build_system_file(33, 0, {})}}));
    MemoryFile* rtf = output_open("test.rtf", "wb");
    output_add(run.ctx.outputs, rtf);
    output_puts("{\\rtf1", rtf);
    EXPECT_EQ(topic_to_rtf(run.ctx, help.file, rtf), rtf);
    EXPECT_EQ(file_text(rtf), "{\\rtf1");
}

TEST(TopicRtf, TopicsArePagesWithTitleAndEntryMacros) {
    RtfRun run;
    std::string rtf = run.convert({titled("Intro", {"BrowseButtons()", "CB(`a',`b')"}),
                                   paragraph_record(plain_paragraph("Hello")), titled("Second"), titled("")});
    EXPECT_EQ(rtf, footnote('$', "Intro") + footnote('!', "BrowseButtons()") + footnote('!', "CB(`a',`b')") +
                       "\\pard Hello\n\\par \\page\n" + footnote('$', "Second") + "\\page\n");
    EXPECT_NE(run.err.find("\rTopic 1..."), std::string::npos);
    EXPECT_NE(run.err.find("\rTopic 3..."), std::string::npos);
    EXPECT_EQ(run.err.find("\rTopic 4..."), std::string::npos);  // the closing empty header is not converted
    EXPECT_EQ(run.out, "");
}

TEST(TopicRtf, FootnoteTextsAreEscaped) {
    RtfRun run;
    std::string rtf = run.convert({titled("A{b}\\c\xE9\t", {"Macro(\"}\")"})});
    EXPECT_EQ(rtf, footnote('$', "A\\{b\\}\\\\c\\'e9\\'09") + footnote('!', "Macro(\"\\}\")"));
    // The second bytes of double-byte characters (as in \x95\x5c) are bytes.
    RtfRun japanese;
    japanese.ctx.double_byte_text = true;
    rtf = japanese.convert({titled("{\x95\\\x83{\x83}")});
    EXPECT_EQ(rtf, footnote('$', "\\{\\'95\\'5c\\'83\\'7b\\'83\\'7d"));
}

TEST(TopicRtf, LongEntryMacrosWarnOnlyBelowMinorVersion22) {
    const std::string long_macro(255, 'x');
    const std::string limit_macro(254, 'y');
    const std::string warning =
        "Help compiler will issue Warning 3511: Macro '" + long_macro + "' exceeds limit of 254 characters\n";
    {
        RtfRun run;
        run.ctx.minor_above_21 = false;
        std::string rtf = run.convert({titled("T", {long_macro, limit_macro})});
        EXPECT_EQ(run.out, warning);
        EXPECT_EQ(rtf, footnote('$', "T") + footnote('!', long_macro) + footnote('!', limit_macro));
    }
    {
        RtfRun run;
        run.convert({titled("T", {long_macro})});
        EXPECT_EQ(run.out, "");
    }
}

TEST(TopicRtf, OldFormatTopicsAreNamedByTheirNumbers) {
    RtfRun run;
    run.use_old_format();
    TextRecordSpec text;
    text.type = 1;
    Paragraph p = plain_paragraph("Text");
    p.attributes.left_indent = 10;
    text.paragraphs = {p};
    std::string rtf = run.convert({old_topic_header("First"), text_record(text), old_topic_header("Second"),
                                   old_topic_header("")});
    EXPECT_EQ(rtf, footnote('#', "TOPIC16") + footnote('$', "First") + "\\pard\\li95 Text\n\\par \\page\n" +
                       footnote('#', "TOPIC17") + footnote('$', "Second") + "\\page\n" + footnote('#', "TOPIC18"));
}

TEST(TopicRtf, ContextStringsAtTopicStartsAndInsideText) {
    RtfRun run;
    // Topic one at offset 0, its text "Hello" at 0..6, topic two at 7.
    run.set_contexts({{"intro", 0}, {"middle", 3}, {"second", 7}});
    std::string rtf = run.convert({titled("One"), paragraph_record(plain_paragraph("Hello")), titled("Two")});
    EXPECT_EQ(rtf, footnote('$', "One") + footnote('#', "intro") + "\\pard Hel" + footnote('#', "middle") +
                       "lo\n\\par \\page\n" + footnote('$', "Two") + footnote('#', "second"));
}

TEST(TopicRtf, ContextStringsNoTextReachesWaitForTheNextTopic) {
    RtfRun run;
    // The record claims 10 characters but holds 4 (Hi, NUL, NUL): offset 6
    // is never reached by text, and topic two starts at 10. No compiler
    // writes that, so it is damage: salvage keeps the id at the next topic.
    run.ctx.salvage = true;
    run.set_contexts({{"lost", 6}});
    TextRecordSpec recipe;
    recipe.paragraphs = {plain_paragraph("Hi")};
    recipe.character_count = 10;
    std::string rtf = run.convert({titled("One"), text_record(recipe), titled("Two")});
    EXPECT_EQ(rtf, footnote('$', "One") + "\\pard Hi\n\\par \\page\n" + footnote('$', "Two") + footnote('#', "lost"));
    EXPECT_NE(run.err.find("context id lost names topic offset 0x6, where no text starts"), std::string::npos)
        << run.err;
}

TEST(TopicRtf, WithSalvageTopicHeadersFindTheirOffsetsByTitle) {
    // The record's character count is garbled: 40 more than it holds, or
    // thousands. Counted on, topic two's id lands inside topic one's text;
    // |TTLBTREE gives topic two its offset again where |CONTEXT names a
    // topic, and a count far past the text counts the text alone.
    for (const uint16_t count : {uint16_t(7 + 40), uint16_t(4000)}) {
        SCOPED_TRACE(count);
        RtfRun run;
        run.ctx.salvage = true;
        run.load_titles = true;
        run.set_contexts({{"intro", 0}, {"second", 7}, {"inside", 9}});
        std::vector<BTreeEntry> titles;
        for (const auto& [offset, title] : {std::pair<uint32_t, const char*>{0, "One"}, {7, "Two"}}) {
            ByteWriter key, value;
            key.u32(offset);
            value.cstring(title);
            titles.push_back({key.take(), value.take()});
        }
        BTreeOptions layout;
        layout.structure = "Lz";
        run.extra_files.push_back({"|TTLBTREE", build_btree(titles, layout)});
        TextRecordSpec recipe;
        recipe.paragraphs = {plain_paragraph("Hello")};
        recipe.character_count = count;
        std::string rtf = run.convert({titled("One"), text_record(recipe), titled("Two"), paragraph_record(plain_paragraph("World"))});
        EXPECT_EQ(rtf, footnote('$', "One") + footnote('#', "intro") + "\\pard Hello\n\\par \\page\n" + footnote('$', "Two") +
                           footnote('#', "second") + "\\pard Wo" + footnote('#', "inside") + "rld\n\\par ");
    }
    // Without a title to go by, the record after the garbled one counts on
    // from the garbled one's text.
    RtfRun run;
    run.ctx.salvage = true;
    TextRecordSpec recipe;
    recipe.paragraphs = {plain_paragraph("Hello")};
    recipe.character_count = 4000;
    const TopicRecord garbled = text_record(recipe);
    run.set_contexts({{"inside", int32_t(garbled.text.size()) + 2}});
    const std::string rtf = run.convert({titled(""), garbled, paragraph_record(plain_paragraph("World"))});
    EXPECT_NE(rtf.find("Wo" + footnote('#', "inside") + "rld"), std::string::npos) << rtf;
}

TEST(TopicRtf, AliasesGetNoFootnoteExceptInMediaView) {
    for (bool mediaview : {false, true}) {
        RtfRun run;
        run.ctx.mediaview = mediaview;
        run.set_contexts({{"alpha", 0}, {"beta", 0}, {"gamma", 3}, {"delta", 3}});
        std::string rtf = run.convert({titled("T"), paragraph_record(plain_paragraph("Hello"))});
        std::string expected = footnote('$', "T") + footnote('#', "alpha");
        if (mediaview) expected += footnote('#', "beta");
        expected += "\\pard Hel" + footnote('#', "gamma");
        if (mediaview) expected += footnote('#', "delta");
        expected += "lo\n\\par ";
        EXPECT_EQ(rtf, expected) << "mediaview " << mediaview;
    }
}

TEST(TopicRtf, ContextOffsetsFollowTopicBlocks) {
    // The long paragraph runs into the second block; the topic after it has
    // offset 1 << 15 whatever the character count before it.
    RtfRun run;
    run.set_contexts({{"one", 0}, {"two", 32768}});
    const std::string long_text(6000, 'a');
    std::vector<TopicRecord> records{titled("One"), paragraph_record(plain_paragraph(long_text)), titled("Two")};
    EXPECT_EQ(build_topic_file(records, run.layout).block_count, 2u);
    std::string rtf = run.convert(records);
    EXPECT_EQ(rtf, footnote('$', "One") + footnote('#', "one") + "\\pard " + long_text + "\n\\par \\page\n" +
                       footnote('$', "Two") + footnote('#', "two"));
}

TEST(TopicRtf, ParagraphsBeforeTheScrollingRegionKeepWithNext) {
    {
        RtfRun run;
        TopicRecord header = topic_header_record("", 0);
        header.position_refs = {{20, 2}, {24, 3}};  // scroll start at the second paragraph
        std::string rtf = run.convert({header, paragraph_record(plain_paragraph("One")),
                                       paragraph_record(plain_paragraph("Two")), topic_header_record("", 1),
                                       paragraph_record(plain_paragraph("Three"))});
        EXPECT_EQ(rtf, "\\pard\\keepn One\n\\par \\pard Two\n\\par \\page\n\\pard Three\n\\par ");
    }
    {
        RtfRun run;
        TopicRecord header = topic_header_record("", 0);
        header.position_refs = {{24, 3}};  // no scroll start: the region ends at the next topic
        std::string rtf = run.convert({header, paragraph_record(plain_paragraph("One")),
                                       paragraph_record(plain_paragraph("Two")), topic_header_record("", 1),
                                       paragraph_record(plain_paragraph("Three"))});
        EXPECT_EQ(rtf, "\\pard\\keepn One\n\\par \\pard\\keepn Two\n\\par \\page\n\\pard Three\n\\par ");
    }
}

TEST(TopicRtf, GroupFootnotesByRangeAndBitmap) {
    RtfRun run;
    DecompileContext& ctx = run.ctx;
    set_groups(ctx, {group(ctx, "A", 1, 0, 1), group(ctx, "B", 2, 0, 2, {0x04}), group(ctx, "C", 0, 0, 5),
                     group(ctx, "D", 2, 1, 20, {0xFF})});
    std::string rtf =
        run.convert({topic_header_record("", 0), topic_header_record("", 1), topic_header_record("", 2)});
    EXPECT_EQ(rtf, footnote('+', ";A") + "\\page\n" + footnote('+', ";A;D") + "\\page\n" + footnote('+', ";B;D"));
}

TEST(TopicRtf, BrowseFootnoteWithAndWithoutGroups) {
    RtfRun run;
    DecompileContext& ctx = run.ctx;
    MemoryFile* out = output_open("browse.rtf", "wb");
    output_add(ctx.outputs, out);
    write_browse_footnote(ctx, out, 0, 0x00020001);
    write_browse_footnote(ctx, out, 0, 0);
    set_groups(ctx, {group(ctx, "A", 1, 0, 3), group(ctx, "B", 2, 0, 100, {0xFF}), group(ctx, "C", 1, 5, 9)});
    write_browse_footnote(ctx, out, 2, 0xABCD1234);
    write_browse_footnote(ctx, out, 9, 0);     // C only: B's bitmap holds topics 0 to 7
    write_browse_footnote(ctx, out, 10, 0x10001);  // nothing but the browse identifier
    write_browse_footnote(ctx, out, 10, 0);
    EXPECT_EQ(file_text(out), footnote('+', "BROWSE0001:0002") + footnote('+', "BROWSE1234:abcd;A;B") +
                                  footnote('+', ";C") + footnote('+', "BROWSE0001:0001"));
}

TEST(TopicRtf, BrowseSequencesNumberedAfterTheFirstPass) {
    {
        // X -> Z -> Y stored as X, Y, Z at offsets 0, 7, 14.
        RtfRun run;
        run.run_first_pass = true;
        auto header = [](int32_t previous, int32_t next) {
            TopicHeaderSpec recipe;
            recipe.browse_previous = previous;
            recipe.browse_next = next;
            return topic_header(recipe);
        };
        const TopicRecord text = paragraph_record(plain_paragraph("Hello"));
        std::string rtf = run.convert({header(-1, 14), text, header(14, -1), text, header(0, 7), text});
        const std::string body = "\\pard Hello\n\\par ";
        EXPECT_EQ(rtf, footnote('+', "BROWSE0001:0001") + body + "\\page\n" + footnote('+', "BROWSE0001:0003") +
                           body + "\\page\n" + footnote('+', "BROWSE0001:0002") + body);
    }
    {
        // Old files link topics by number, from 16: 16 -> 17 -> 18.
        RtfRun run;
        run.use_old_format();
        run.run_first_pass = true;
        std::string rtf = run.convert({old_topic_header("", -1, 17), old_topic_header("", 16, 18),
                                       old_topic_header("", 17, -1), old_topic_header("")});
        EXPECT_EQ(rtf, footnote('#', "TOPIC16") + footnote('+', "BROWSE0001:0001") + "\\page\n" +
                           footnote('#', "TOPIC17") + footnote('+', "BROWSE0001:0002") + "\\page\n" +
                           footnote('#', "TOPIC18") + footnote('+', "BROWSE0001:0003") + "\\page\n" +
                           footnote('#', "TOPIC19"));
    }
}

TEST(TopicRtf, WindowFootnotesFromTheWindowMap) {
    RtfRun run;
    run.set_windows({"", "proc"});
    auto entry = [](uint32_t offset, uint32_t window) {
        return BTreeEntry{ByteWriter().u32(offset).take(), ByteWriter().u32(window).take()};
    };
    run.extra_files.push_back({"|VIOLA", build_btree({entry(0, 1), entry(7, 0), entry(14, 5)})});
    // Topics at offsets 0, 7, 14 and 21.
    std::string rtf = run.convert({topic_header_record("", 0), paragraph_record(plain_paragraph("Hello")),
                                   topic_header_record("", 1), paragraph_record(plain_paragraph("Hello")),
                                   topic_header_record("", 2), paragraph_record(plain_paragraph("Hello")),
                                   topic_header_record("", 3)});
    const std::string text = "\\pard Hello\n\\par \\page\n";
    EXPECT_EQ(rtf, footnote('>', "proc") + text + footnote('>', "main") + text + footnote('>', "main") + text);
}

TEST(TopicRtf, AHeaderThatEndsABlockIsFoundByTheNextBlocksStart) {
    // The context table and the window map know topic two by the start of
    // block 1, where its text is; its header is the last record of block 0.
    RtfRun run;
    run.set_windows({"", "proc"});
    run.set_contexts({{"one", 0}, {"two", 1 << 15}});
    run.extra_files.push_back(
        {"|VIOLA", build_btree({BTreeEntry{ByteWriter().u32(1 << 15).take(), ByteWriter().u32(1).take()}})});
    std::vector<TopicRecord> records;
    for (size_t filler = 3000;; filler += 10) {
        ASSERT_LT(filler, 20000u);
        records = {titled("One"), paragraph_record(plain_paragraph(std::string(filler, 'x'))), titled("Two"),
                   paragraph_record(plain_paragraph("after"))};
        TopicFile topics = build_topic_file(records, run.layout);
        if (topics.block_of(topics.positions[2]) == 0 && topics.block_of(topics.positions[3]) == 1) break;
    }
    std::string rtf = run.convert(records);
    EXPECT_NE(rtf.find(footnote('$', "Two") + footnote('#', "two") + footnote('>', "proc") + "\\pard after"),
              std::string::npos)
        << rtf.substr(rtf.find("\\page"));
}

TEST(TopicRtf, TopicFileName) {
    RtfRun run;
    std::snprintf(run.ctx.base_name, sizeof run.ctx.base_name, "manual");
    char name[260];
    topic_file_name(run.ctx, name);
    EXPECT_STREQ(name, "manual.rtf");
}

TEST(TopicRtf, ShortTopicHeaderHeadIsReadAsNoLinks) {
    RtfRun run;
    TopicRecord header = topic_header_record("Short", 0);
    header.head.resize(6);
    std::string rtf = run.convert({header, paragraph_record(plain_paragraph("Body"))});
    EXPECT_EQ(rtf, footnote('$', "Short") + "\\pard Body\n\\par ");
}
