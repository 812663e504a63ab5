// Help files built to make the HTML edition huge, opened through the
// exports as a file manager opens them: the edition stays within a fixed
// multiple of the topic file, and the sources are always written.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

#include "help_builder.h"
#include "html_attack_files.h"
#include "paragraph_builder.h"
#include "project_builder.h"
#include "plugin/archive_session.h"
#include "wcx_fixture.h"

namespace {

using namespace hlptest;

struct Opened {
    int result = 0;
    std::map<std::string, std::string> files;
    uint64_t html_bytes = 0;
};

Opened open_built(const Bytes& help) {
    TempDir dir;
    write_file(dir.file("x.hlp"), help);
    // With the HTML Help project, whose contents and index list the titles too.
    SetHlpunpackOptions(HLPUNPACK_HTMLHELP | HLPUNPACK_NO_CACHE);
    testing::internal::CaptureStderr();
    Opened opened;
    WCX_HANDLE handle = open_archive(dir.file("x.hlp"), &opened.result);
    testing::internal::GetCapturedStderr();
    SetHlpunpackOptions(0);
    if (handle == nullptr) return opened;
    opened.result = 0;
    for (OutputNode* n = static_cast<ArchiveSession*>(handle)->context.outputs.head; n; n = n->next) {
        const std::string name = to_utf8(n->file->name);
        opened.files[name] = std::string(reinterpret_cast<const char*>(n->file->buffer), n->file->length);
        if (name.rfind("html\\", 0) == 0) opened.html_bytes += n->file->length;
    }
    CloseArchive(handle);
    return opened;
}

TEST(HtmlBounds, BombFilesGiveAnEditionOfTheTopicFilesOrder) {
    struct Case {
        const char* name;
        std::function<Bytes()> build;
    } cases[] = {
        // 200 pages each opening one 40 KB popup through 64 ids.
        {"popups", [] { return popup_bomb_file(200, 64, 40000); }},
        // A 20,000-character title listed 6,000 times under one keyword,
        // and once under each of 3,000 more.
        {"keyword", [] { return keyword_bomb_file(20000, 6000, 3000); }},
        // A picture of 1,000 hotspots shown 20 times in each of 10 topics.
        {"image map", [] { return image_map_bomb_file(1000, 20, 10); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Opened opened = open_built(c.build());
        ASSERT_EQ(opened.result, 0);
        ASSERT_TRUE(opened.files.count("x.hpj") && opened.files.count("x.rtf"));
        const uint64_t rtf = opened.files.at("x.rtf").size();
        EXPECT_LE(opened.html_bytes, 20 * rtf + (1u << 20)) << "topic file " << rtf;
        EXPECT_TRUE(opened.files.count("html\\index.html"));
    }
}

// Text before the first topic's header (a damaged or hand-made |TOPIC)
// has no page to go to: the edition leaves it out, whatever command it holds.
TEST(HtmlBounds, TextBeforeTheFirstTopicIsLeftOut) {
    TextRecordSpec stray;
    Paragraph marks;
    marks.segments = {{"a", cmd_nonbreaking_space()}, {"b", cmd_nonbreaking_hyphen()}, {"c", cmd_tab()},
                      {"", cmd_end()}};
    stray.paragraphs = {marks};
    TopicHeaderSpec first;
    first.title = "First";
    TextRecordSpec text;
    text.paragraphs = {plain_paragraph("inside")};
    std::vector<TopicRecord> records = {text_record(stray), topic_header(first), text_record(text)};
    link_topic_headers(records);
    const Bytes help = build_help_file({{"|SYSTEM", build_system_file(33, 4, {})},
                                        {"|TOPIC", build_topic_file(records, topic_layout_for(33, 4)).data}});
    const Opened opened = open_built(help);
    ASSERT_EQ(opened.result, 0);
    EXPECT_TRUE(opened.files.count("x.rtf"));
    EXPECT_TRUE(opened.files.count("html\\index.html"));
}

}  // namespace
