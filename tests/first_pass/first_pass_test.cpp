// The first pass over builder-made help files: context names from
// |TopicId or titles, macro checks, browse chains, topic offset aliases,
// embedded pictures, and the commands it refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_builder.h"
#include "firstpass/first_pass.h"
#include "firstpass/keyword_window.h"
#include "helpfile_fixture.h"
#include "paragraph_builder.h"
#include "picture_builder.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "project/system_file.h"

namespace {

using namespace hlptest;

struct HelpSpec {
    uint16_t minor = 33;
    uint16_t flags = 4;  // compressed topics in 4096-byte blocks
    std::vector<SystemRecordSpec> system = {system_string_record(1, "Test")};
    std::vector<TopicRecord> records;
    std::vector<InternalFile> extra;
    TopicLayout layout = topic_layout_for(33, 4);
};

Bytes help_file(HelpSpec recipe) {
    std::vector<InternalFile> files = {{"|SYSTEM", build_system_file(recipe.minor, recipe.flags, recipe.system)},
                                       {"|TOPIC", build_topic_file(recipe.records, recipe.layout).data}};
    for (InternalFile& f : recipe.extra) files.push_back(std::move(f));
    return build_help_file(files);
}

// Loads |SYSTEM and |CONTEXT, runs the first pass, returns its stderr.
std::string run_first_pass(DecompileContext& ctx, const Bytes& bytes) {
    OpenBytes f(bytes);
    testing::internal::CaptureStderr();
    try {
        load_system_file(ctx, f.file);
        load_context_map(ctx, f.file);
        first_pass(ctx, f.file);
    } catch (...) {
        ADD_FAILURE() << testing::internal::GetCapturedStderr();
        throw;
    }
    return testing::internal::GetCapturedStderr();
}

TopicHeaderSpec titled(const std::string& title) {
    TopicHeaderSpec recipe;
    recipe.title = title;
    return recipe;
}

TopicRecord paragraph_record(std::vector<Segment> segments, uint8_t type = 0x20) {
    TextRecordSpec recipe;
    recipe.type = type;
    Paragraph p;
    p.segments = std::move(segments);
    recipe.paragraphs = {p};
    return text_record(recipe);
}

TEST(FirstPass, TopicIdNamesWinOverTitles) {
    ContextHolder h;
    HelpSpec recipe;
    recipe.records = {topic_header(titled("Welcome")), paragraph_record({{"Hello", cmd_end()}})};
    link_topic_headers(recipe.records);
    std::vector<BTreeEntry> ids;
    for (const char* name : {"intro_topic"}) {
        ByteWriter key, value;
        key.u32(0);
        value.cstring(name);
        ids.push_back({key.take(), value.take()});
    }
    recipe.extra = {{"|TopicId", build_btree(ids)},
                  {"|CONTEXT", build_context_tree({{context_string_hash("intro_topic"), 0}})}};
    run_first_pass(*h.ctx, help_file(recipe));
    EXPECT_FALSE(h.ctx->guess_context_ids);
    EXPECT_STREQ(unhash(*h.ctx, context_string_hash("intro_topic")), "intro_topic");
    EXPECT_EQ(h.ctx->derived_count, 0);
}

TEST(FirstPass, TitlesDeriveNamesWithoutTopicId) {
    ContextHolder h;
    HelpSpec recipe;
    recipe.records = {topic_header(titled("Welcome")), paragraph_record({{"Hello", cmd_end()}})};
    link_topic_headers(recipe.records);
    recipe.extra = {{"|CONTEXT", build_context_tree({{context_string_hash("Welcome"), 0}})}};
    std::string progress = run_first_pass(*h.ctx, help_file(recipe));
    EXPECT_TRUE(h.ctx->guess_context_ids);
    EXPECT_STREQ(unhash(*h.ctx, context_string_hash("Welcome")), "Welcome");
    EXPECT_EQ(h.ctx->derived_count, 1);
    EXPECT_NE(progress.find("\rTopic 1..."), std::string::npos);
}

TEST(FirstPass, EveryKindOfMacroIsChecked) {
    HelpSpec recipe;
    recipe.system.push_back(system_string_record(4, "BrowseButtons("));  // unbalanced
    TopicHeaderSpec header = titled("Topic");
    header.macros = {"bad macro"};
    recipe.records = {topic_header(header),
                    paragraph_record({{"a", cmd_macro(0xC8, "JumpId(`x.hlp',`from_hotspot')")},
                                      {"b", cmd_picture(0x86, 5, embedded_window_data("!button,JI(,`from_button')"))},
                                      {"", cmd_end()}})};
    link_topic_headers(recipe.records);
    {
        ContextHolder h;
        std::string messages = run_first_pass(*h.ctx, help_file(recipe));
        EXPECT_NE(messages.find("Bad macro: BrowseButtons(\n"), std::string::npos);
        EXPECT_NE(messages.find("Bad macro: bad macro\n"), std::string::npos);
        EXPECT_STREQ(unhash(*h.ctx, context_string_hash("from_hotspot")), "from_hotspot");
        EXPECT_STREQ(unhash(*h.ctx, context_string_hash("from_button")), "from_button");
    }
    {
        // Files of minor version 27 have their macros left alone.
        ContextHolder h;
        recipe.minor = 27;
        std::string messages = run_first_pass(*h.ctx, help_file(recipe));
        EXPECT_EQ(messages.find("Bad macro"), std::string::npos);
    }
}

TEST(FirstPass, BrowseChainsAndTheSequenceCount) {
    ContextHolder h;
    HelpSpec recipe;
    // Three topics chained by topic offsets; each topic's text is 4 characters.
    TopicHeaderSpec a = titled("A"), b = titled("B"), c = titled("C");
    a.browse_next = 4;
    b.browse_previous = 0;
    b.browse_next = 8;
    c.browse_previous = 4;
    recipe.records = {topic_header(a), paragraph_record({{"aaa", cmd_end()}}), topic_header(b),
                    paragraph_record({{"bbb", cmd_end()}}), topic_header(c), paragraph_record({{"ccc", cmd_end()}})};
    link_topic_headers(recipe.records);
    run_first_pass(*h.ctx, help_file(recipe));
    EXPECT_FALSE(h.ctx->had_problems);
    ASSERT_EQ(h.ctx->browse_start_count, 1);
    EXPECT_EQ(h.ctx->browse_starts[0].start, 0);
    EXPECT_EQ(h.ctx->browse_count, 1);
}

TEST(FirstPass, AHeaderThatEndsABlockGetsAnAlias) {
    ContextHolder h;
    HelpSpec recipe;
    recipe.flags = 0;
    recipe.layout = topic_layout_for(33, 0);
    // A first paragraph just long enough to push the second header to the
    // end of block 0.
    for (size_t filler = 3000;; filler += 10) {
        ASSERT_LT(filler, 20000u);
        recipe.records = {topic_header(titled("One")), paragraph_record({{std::string(filler, 'x'), cmd_end()}}),
                        topic_header(titled("Two")), paragraph_record({{"after", cmd_end()}})};
        link_topic_headers(recipe.records);
        TopicFile topics = build_topic_file(recipe.records, recipe.layout);
        if (topics.block_of(topics.positions[2]) == 0 && topics.block_of(topics.positions[3]) == 1) break;
    }
    run_first_pass(*h.ctx, help_file(recipe));
    ASSERT_EQ(h.ctx->topic_alias_count, 1);
    EXPECT_EQ(h.ctx->topic_aliases[0].other_offset, 1 << 15);
}

TEST(FirstPass, EmbeddedPicturesFillTheGapsOfThePictureTable) {
    PictureSpec bitmap;
    bitmap.width = 8;
    bitmap.height = 2;
    bitmap.data = Bytes(8, 0x55);
    bitmap.colour_table = grey_colour_table(2);
    Bytes picture = build_picture_file({bitmap}).data;
    Bytes data = picture_reference(1);
    data.insert(data.end(), picture.begin(), picture.end());
    HelpSpec recipe;
    recipe.records = {topic_header(titled("Pictures")),
                    paragraph_record({{"", cmd_picture(0x86, 3, data)}, {"", cmd_picture(0x87, 3, data)}, {"", cmd_end()}})};
    link_topic_headers(recipe.records);
    Bytes bytes = help_file(recipe);
    for (auto [table, first, second] : {std::tuple{std::vector<uint8_t>{0, 2, 2}, 3, 4},
                                        std::tuple{std::vector<uint8_t>{0, 2, 0, 2}, 2, 4}}) {
        ContextHolder h;
        h.ctx->picture_table = static_cast<uint8_t*>(tracked_malloc(*h.ctx, long(table.size())));
        std::copy(table.begin(), table.end(), h.ctx->picture_table);
        h.ctx->picture_table_size = int32_t(table.size());
        run_first_pass(*h.ctx, bytes);
        ASSERT_GT(h.ctx->picture_table_size, second);
        EXPECT_EQ(h.ctx->picture_table[first], 0x12);
        EXPECT_EQ(h.ctx->picture_table[second], 0x12);
    }
}

TEST(FirstPass, CommandsItDoesNotKnowAreFatal) {
    struct Case {
        TopicRecord record;
        std::string message;
    };
    TextRecordSpec table;
    table.type = 0x23;
    table.row.table_type = 4;
    table.row.columns = {{100, 0}};
    table.paragraphs = {plain_paragraph("cell")};
    ExtendedLink link;
    link.link_type = 2;
    std::vector<Case> cases = {{text_record(table), "\nUnknown TableType 4"},
                               {paragraph_record({{"x", cmd_extended_link(0xEA, link)}, {"", cmd_end()}}),
                                "\nUnknown modifier 02 in tag ea"},
                               {paragraph_record({{"x", Bytes{0x99}}, {"", cmd_end()}}), "\nUnknown 99"}};
    for (Case& c : cases) {
        HelpSpec recipe;
        recipe.records = {topic_header(titled("T")), c.record};
        link_topic_headers(recipe.records);
        ContextHolder h;
        Bytes bytes = help_file(recipe);
        std::string out = fatal_output([&] {
            OpenBytes f(bytes);
            load_system_file(*h.ctx, f.file);
            first_pass(*h.ctx, f.file);
        });
        EXPECT_NE(out.find(c.message), std::string::npos) << out;
    }
}

TEST(FirstPass, CommandsRunningPastTheHeadPartEndTheRecord) {
    ContextHolder h;
    HelpSpec recipe;
    // A macro whose stated length runs far past the head part.
    recipe.records = {topic_header(titled("T")), paragraph_record({{"x", cmd_macro(0xC8, "JI(`a')", 30000)}})};
    link_topic_headers(recipe.records);
    run_first_pass(*h.ctx, help_file(recipe));
    SUCCEED();
}

// A picture command at the very end of a head part, cut after its first
// size byte: the two-byte size was once read past the head part.
TEST(FirstPass, PictureCommandCutInsideItsSizeEndsTheRecord) {
    ContextHolder h;
    HelpSpec recipe;
    recipe.records = {topic_header(titled("Cut")), paragraph_record({{"text", Bytes{0x86, 0x03, 0x04}}}),
                    topic_header(titled("After"))};
    link_topic_headers(recipe.records);
    run_first_pass(*h.ctx, help_file(recipe));
    EXPECT_EQ(h.ctx->picture_table_size, 0);
}

}  // namespace
