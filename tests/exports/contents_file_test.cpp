// The author's contents file beside a help file, through the exports: found
// in any letter case, copied into the sources, drawn as the contents tree
// (and as the HTML Help project's contents, whose strings are escaped).
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>

#include "context_builder.h"
#include "help_builder.h"
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

// Every output of x.hlp decompiled with the HTML edition (or `flags`).
std::map<std::string, std::string> outputs_beside(const std::string& cnt_name, const Bytes& help = help_file(),
                                                  int flags = HLPUNPACK_HTML) {
    TempDir dir;
    write_file(dir.file("x.hlp"), help);
    if (!cnt_name.empty()) write_file(dir.file(cnt_name), bytes_of(contents_text));
    SetHlpunpackOptions(flags | HLPUNPACK_NO_CACHE);
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

// With --htmlhelp the contents file is the project's contents: headings hold
// their topics, an entry of another help file has no page here.
TEST(ContentsFile, IsTheHtmlHelpContentsTree) {
    auto files = outputs_beside("x.cnt", help_file(), HLPUNPACK_HTMLHELP);
    auto item = [](const std::string& name, const std::string& local) {
        return "\t<LI> <OBJECT type=\"text/sitemap\">\r\n\t\t<param name=\"Name\" value=\"" + name + "\">\r\n" +
               (local.empty() ? "" : "\t\t<param name=\"Local\" value=\"" + local + "\">\r\n") + "\t\t</OBJECT>\r\n";
    };
    const std::string tree = "<UL>\r\n" + item("Start", "") + "<UL>\r\n" + item("Welcome", page_titled(files, "Welcome")) +
                             item("Deeper", "") + "<UL>\r\n" + item("Second", page_titled(files, "Second")) +
                             "</UL>\r\n</UL>\r\n" + item("Elsewhere", "") + item(":Include more.cnt", "") +
                             "</UL>\r\n</BODY>";
    const std::string contents = files["html\\x.hhc"];
    EXPECT_NE(contents.find(tree), std::string::npos) << contents;
    EXPECT_NE(files["html\\x.hhp"].find("\r\nDefault topic=" + page_titled(files, "Second") + "\r\n"), std::string::npos);
}

// The HTML Help project keeps every help-file string where it lands: no
// line of the .hhp broken, the sitemaps' values escaped, a long title of a
// two-byte code page cut between characters.
TEST(ContentsFile, HtmlHelpProjectEscapesTheHelpFilesStrings) {
    using namespace hlptest;
    const std::string long_title(130 * 2, '\x83');  // 130 times the katakana 0x83 0x83
    TopicHeaderSpec hostile, japanese;
    hostile.title = "<b>&\"x\"";
    japanese.title = "A" + long_title;
    TextRecordSpec text;
    text.paragraphs = {plain_paragraph("a")};
    std::vector<TopicRecord> records = {topic_header(hostile), text_record(text), topic_header(japanese),
                                        text_record(text)};
    link_topic_headers(records);
    const TopicFile topic = build_topic_file(records, topic_layout_for(33, 4));
    const std::vector<int32_t> offsets = count_topic_offsets(records, topic.positions);
    const KeywordIndex k = build_keyword_index({{"k\"<&>", {static_cast<uint32_t>(offsets[0])}}});
    WinHelpWindow main;
    main.flags = 0x0002 | 0x0004 | 0x0078;
    main.name = "main";
    main.caption = "Cap\"tion\r\n[FILES]";
    main.x = 100, main.y = 200, main.width = 300, main.height = 400;
    const Bytes help = build_help_file(
        {{"|SYSTEM", build_system_file(33, 4, {system_string_record(system_title, "A\"B\r\nTitle=evil"),
                                               lcid_record(0x411, 0, 0), winhelp_window_record(main)})},
         {"|TOPIC", topic.data}, {"|KWBTREE", k.tree}, {"|KWDATA", k.data},
         // One number sending to one topic three times: three names.
         {"|CTXOMAP", build_context_map({{5, offsets[2]}, {5, offsets[2]}, {5, offsets[2]}})}});
    auto files = outputs_beside("", help, HLPUNPACK_HTMLHELP);
    const std::string cut = "A" + long_title.substr(0, 238) + "...";
    char unnamed[16];
    std::snprintf(unnamed, sizeof unnamed, "TOPIC%08x", static_cast<unsigned>(offsets[2]));
    const std::string u = unnamed;
    const struct {
        const char* file;
        std::string text;
    } cases[] = {
        {"x.hhp", "\r\nLanguage=0x411\r\nTitle=A\"BTitle=evil\r\n"},
        {"x.hhp", "\r\nmain=\"Cap'tion[FILES]\",\"x.hhc\",\"x.hhk\",\"topic0.html\",\"topic0.html\",,,,,"
                     "0x42520,,0x304e,[100,150,400,450],,,,,,,0\r\n\r\n[FILES]\r\n"},
        {"x.hhc", "charset=shift_jis"},
        {"x.hhc", "<param name=\"Name\" value=\"&lt;b&gt;&amp;&quot;x&quot;\">\r\n"},
        {"x.hhc", "<param name=\"Name\" value=\"" + cut + "\">\r\n\t\t<param name=\"Local\" value=\"topic1.html\">"},
        {"x.hhk", "<param name=\"Name\" value=\"k&quot;&lt;&amp;&gt;\">\r\n\t\t<param name=\"Local\" "
                     "value=\"topic0.html\">"},
        {"x.h", "#define " + u + " 5\r\n#define " + u + "_5 5\r\n#define " + u + "_5_3 5\r\n"},
        {"x.hhp", "[ALIAS]\r\n" + u + "=topic1.html\r\n" + u + "_5=topic1.html\r\n" + u + "_5_3=topic1.html\r\n"},
    };
    for (const auto& c : cases)
        EXPECT_NE(files[std::string("html\\") + c.file].find(c.text), std::string::npos) << c.text << "\n"
                                                                                         << files[std::string("html\\") + c.file];
    // The hostile strings start no line of their own.
    EXPECT_EQ(files["html\\x.hhp"].find("\nTitle=evil"), std::string::npos);
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
