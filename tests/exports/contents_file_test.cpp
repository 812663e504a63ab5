// The author's contents file beside a help file, through the exports: found
// in any letter case, copied into the sources, drawn as the contents tree.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "context_builder.h"
#include "large_help_file.h"
#include "paragraph_builder.h"
#include "plugin/archive_session.h"
#include "project_builder.h"
#include "wcx_fixture.h"

namespace {

using namespace hlptest;

// Topics Welcome (a popup of Glossary), Second (the contents topic),
// Glossary (only a popup) and one without a title.
Bytes help_file() {
    const std::vector<std::string> titles = {"Welcome", "Second", "Glossary", ""};
    const std::vector<std::string> ids = {"welcome", "second", "gloss", "untitled"};
    std::vector<TopicRecord> records;
    for (size_t t = 0; t < titles.size(); ++t) {
        TopicHeaderSpec head;
        head.title = titles[t];
        TextRecordSpec text;
        // Glossary's first paragraph is its title alone.
        text.paragraphs = {plain_paragraph(t == 2 ? titles[t] : titles[t] + " text")};
        if (t == 0)
            text.paragraphs[0].segments = {{"", cmd_link(0xE2, context_string_hash("gloss"))},
                                           {"word", cmd_hotspot_end()}, {"", cmd_end()}};
        records.push_back(topic_header(head));
        records.push_back(text_record(text));
    }
    link_topic_headers(records);
    const TopicFile topic = build_topic_file(records, topic_layout_for(33, 4));
    const std::vector<int32_t> offsets = count_topic_offsets(records, topic.positions);
    std::vector<ContextPair> contexts;
    for (size_t t = 0; t < ids.size(); ++t) contexts.push_back({context_string_hash(ids[t]), offsets[2 * t]});
    WinHelpWindow main;
    main.flags = 0x0002 | 0x0100 | 0x0200;
    main.name = "main";
    main.scroll_colour = {0x12, 0x34, 0x56};
    main.fixed_colour = {0xab, 0xcd, 0xef};
    const std::string button = "CreateButton(\"btn_up\",\"&Up && on\",\"JumpId(`x.hlp',`welcome')\")";
    const Bytes system = build_system_file(33, 4, {system_string_record(system_title, "Test"),
                                                   contents_record(static_cast<uint32_t>(offsets[2])),
                                                   system_string_record(system_config, button),
                                                   system_string_record(system_config, "CB(b2,Far,JI(other.hlp,y))"),
                                                   winhelp_window_record(main)});
    return build_help_file({{"|SYSTEM", system}, {"|TOPIC", topic.data}, {"|CONTEXT", build_context_tree(contexts)}});
}

const char* const contents_text =
    ":Base x.hlp\r\n:Title Test help\r\n1 Start\r\n2 Welcome=welcome\r\n2 Deeper\r\n3 Second=second>proc\r\n"
    "1 Elsewhere=ctx@other.hlp\r\n:Include more.cnt\r\n";

// Every output of x.hlp decompiled with the HTML edition.
std::map<std::string, std::string> outputs_beside(const std::string& cnt_name) {
    TempDir dir;
    write_file(dir.file("x.hlp"), help_file());
    if (!cnt_name.empty()) write_file(dir.file(cnt_name), bytes_of(contents_text));
    SetHlpunpackOptions(HLPUNPACK_HTML | HLPUNPACK_NO_CACHE);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    WCX_HANDLE handle = open_archive(dir.file("x.hlp"));
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    SetHlpunpackOptions(0);
    std::map<std::string, std::string> files;
    if (handle == nullptr) return files;
    for (OutputNode* n = static_cast<ArchiveSession*>(handle)->context.outputs.head; n; n = n->next)
        files[to_utf8(n->file->name)] = std::string(reinterpret_cast<const char*>(n->file->buffer), n->file->length);
    CloseArchive(handle);
    return files;
}

// The page whose <title> is `title`.
std::string page_titled(const std::map<std::string, std::string>& files, const std::string& title) {
    for (const auto& [name, text] : files)
        if (text.find("<title>" + title + "</title>") != std::string::npos) return name.substr(5);
    return "?";
}

TEST(ContentsFile, BesideTheHelpFileItIsCopiedNamedAndDrawnAsTheTree) {
    auto files = outputs_beside("X.CNT");
    ASSERT_TRUE(files.count("x.cnt"));
    EXPECT_EQ(files["x.cnt"], contents_text);
    const std::string project = files["x.hpj"];
    EXPECT_LT(project.find("\nCNT=x.cnt"), project.find("[WINDOWS]")) << project;
    const std::string welcome = page_titled(files, "Welcome"), second = page_titled(files, "Second"),
                      gloss = page_titled(files, "Glossary");
    const std::string index = files["html\\index.html"];
    const std::string tree =
        "<nav class=\"cnt\">\n<h2>Test help</h2>\n<ul>\n<li><details open><summary>Start</summary><ul>\n"
        "<li><a href=\"" + welcome + "\">Welcome</a></li>\n<li><details><summary>Deeper</summary><ul>\n"
        "<li><a href=\"" + second + "\">Second</a></li>\n</ul></details></li>\n</ul></details></li>\n"
        "<li><a href=\"../../other/html/ctx.html\">Elsewhere</a></li>\n<li>:Include more.cnt</li>\n</ul>\n</nav>\n";
    EXPECT_NE(index.find(tree), std::string::npos) << index;
    // The contents topic opens the page; the popup-only and the untitled
    // topic are listed apart.
    const size_t start = index.find("<section class=\"start\">");
    EXPECT_LT(start, index.find("Second text"));
    EXPECT_LT(index.find("Second text"), index.find("<nav class=\"cnt\">"));
    const size_t others = index.find("<ul class=\"other-topics\">");
    ASSERT_NE(others, std::string::npos);
    EXPECT_NE(index.find(gloss, others), std::string::npos);
    EXPECT_NE(index.find(page_titled(files, "NOHZJL"), others), std::string::npos) << index;
    EXPECT_EQ(index.find(welcome, others), std::string::npos);
    // The jumping button, its accelerator gone; the other file's button too.
    const std::string page = files["html\\" + second];
    EXPECT_NE(page.find("<a class=\"button\" href=\"" + welcome + "\">Up &amp; on</a>"), std::string::npos) << page;
    EXPECT_NE(page.find("<a class=\"button\" href=\"../../other/html/y.html\">Far</a>"), std::string::npos);
    // The title once: a first paragraph that is the title stands for the heading.
    EXPECT_NE(page.find("<h1>Second</h1>"), std::string::npos);
    EXPECT_EQ(files["html\\" + gloss].find("<h1>"), std::string::npos);
    const std::string css = files["html\\style.css"];
    EXPECT_NE(css.find("body{background:#123456}"), std::string::npos);
    EXPECT_NE(css.find(".nonscroll{background:#abcdef}"), std::string::npos);
}

TEST(ContentsFile, WithoutOneTheSourcesHaveNoneAndTheListHoldsTheTitledTopics) {
    auto files = outputs_beside("");
    EXPECT_EQ(files.count("x.cnt"), 0u);
    EXPECT_EQ(files["x.hpj"].find("CNT="), std::string::npos);
    const std::string index = files["html\\index.html"];
    const size_t list = index.find("<ol class=\"contents\">"), others = index.find("<ul class=\"other-topics\">");
    ASSERT_LT(list, others);
    EXPECT_LT(index.find(page_titled(files, "Welcome")), others);
    EXPECT_GT(index.find(page_titled(files, "Glossary"), list), others);
}

}  // namespace
