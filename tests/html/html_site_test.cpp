// The HTML edition decompiled in memory: the sample's pages hold each kind
// of link, popup and list they should; on every corpus file every href and
// src of every page names a file the decompile wrote.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "corpus_files.h"
#include "driver/decompile.h"
#include "helpfile_fixture.h"
#include "context_builder.h"
#include "paragraph_builder.h"
#include "platform/code_page.h"

namespace {

struct Site {
    std::map<std::string, std::string> files;  // entry name -> bytes
    bool ok = false;
    std::string page(const std::string& name) const {
        auto it = files.find("html\\" + name);
        return it != files.end() ? it->second : std::string();
    }
};

Site decompile(std::FILE* file, const std::string& base_name, bool html) {
    Site site;
    ContextHolder h;
    h.ctx->html = html;
    std::snprintf(h.ctx->base_name, sizeof h.ctx->base_name, "%s", base_name.c_str());
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    try {
        site.ok = decompile_help_file(*h.ctx, file);
    } catch (const FatalError&) {
    }
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    for (OutputNode* n = h.ctx->outputs.head; n; n = n->next) {
        std::string name;
        for (const char16_t* c = n->file->name; *c; ++c) name += static_cast<char>(*c);
        site.files[name] = std::string(reinterpret_cast<const char*>(n->file->buffer), n->file->length);
    }
    return site;
}

Site decompile(const std::string& path, bool html) {
    const std::string stem = path.substr(path.find_last_of('/') + 1);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return Site{};
    Site site = decompile(file, stem.substr(0, stem.rfind('.')), html);
    std::fclose(file);
    return site;
}

// Every href and src of the pages that is not an anchor on the page itself
// or a link into another help file's site; with the entry it should name.
std::vector<std::pair<std::string, std::string>> broken_references(const Site& site) {
    std::vector<std::pair<std::string, std::string>> broken;
    for (const auto& [name, text] : site.files) {
        if (name.rfind("html\\", 0) != 0) continue;
        for (const char* attribute : {"href=\"", "src=\""}) {
            const size_t length = std::strlen(attribute);
            for (size_t at = text.find(attribute); at != std::string::npos; at = text.find(attribute, at + 1)) {
                if (at > 0 && std::isalnum(static_cast<unsigned char>(text[at - 1]))) continue;
                const size_t end = text.find('"', at + length);
                std::string target = text.substr(at + length, end - at - length);
                target = target.substr(0, target.find('#'));
                if (target.empty() || target.rfind("../../", 0) == 0 || target.rfind("data:", 0) == 0) continue;
                const std::string entry = target.rfind("../", 0) == 0 ? target.substr(3) : "html\\" + target;
                if (entry.find('/') != std::string::npos || !site.files.count(entry))
                    broken.emplace_back(name, target);
            }
        }
    }
    return broken;
}

TEST(HtmlSite, SampleHasPagesLinksPopupsContentsAndKeywords) {
    const Site site = decompile(HLP_SOURCE_DIR "/examples/sample.hlp", true);
    ASSERT_TRUE(site.ok);
    const std::string welcome = site.page("welcome.html");
    ASSERT_FALSE(welcome.empty());
    EXPECT_NE(welcome.find("<meta charset=\"utf-8\">"), std::string::npos);
    EXPECT_NE(welcome.find("<title>Welcome</title>"), std::string::npos);
    // The title once: the non-scrolling region shows it, so no heading.
    EXPECT_EQ(welcome.find("<h1>"), std::string::npos);
    EXPECT_NE(welcome.find("<div class=\"nonscroll\">\n<p style=\"margin-top:4px;margin-bottom:4px;\"><span class=\"f1\">Welcome</span>"), std::string::npos);
    // A jump names the target's page; a popup opens a box of this page that
    // holds the popup topic's text.
    EXPECT_NE(welcome.find("<a href=\"formatting.html\">"), std::string::npos);
    EXPECT_NE(welcome.find("<a class=\"popup\" href=\"#p0\">"), std::string::npos);
    const size_t box = welcome.find("<div class=\"popup-box\" id=\"p0\">");
    ASSERT_NE(box, std::string::npos);
    EXPECT_NE(welcome.find("a word or picture that jumps", box), std::string::npos);
    // Macros other than jumps stay inert, with the macro to read.
    EXPECT_NE(welcome.find("title=\"ExecFile(&quot;notepad.exe&quot;, &quot;readme.txt&quot;)\""), std::string::npos);
    EXPECT_NE(welcome.find("<div class=\"nonscroll\">"), std::string::npos);
    EXPECT_NE(welcome.find("rel=\"next\" href=\"formatting.html\""), std::string::npos);

    const std::string tables = site.page("tables.html");
    EXPECT_NE(tables.find("<table>"), std::string::npos);
    EXPECT_NE(tables.find("<td style=\"width:"), std::string::npos);
    EXPECT_NE(tables.find("device-independent bitmap"), std::string::npos);
    const std::string pictures = site.page("pictures.html");
    EXPECT_NE(pictures.find("<img src=\"../bm0.bmp\""), std::string::npos);
    // The metafile drawn as SVG; the picture with hotspots as its bitmap
    // with an image map whose areas jump, pop up and run macros.
    EXPECT_NE(pictures.find("<img src=\"bm1.svg\""), std::string::npos);
    EXPECT_NE(site.page("bm1.svg").find("<svg "), std::string::npos);
    EXPECT_NE(pictures.find("<img src=\"bm2.bmp\" alt=\"\" usemap=\"#map0\"><map name=\"map0\">"), std::string::npos);
    EXPECT_NE(pictures.find("<area shape=\"rect\" coords=\"2,6,30,26\" href=\"formatting.html\""), std::string::npos);
    EXPECT_NE(pictures.find("href=\"#p0\" alt=\"\" title=\"def_hotspot\""), std::string::npos);
    EXPECT_EQ(site.page("bm3.bmp").substr(0, 2), "BM");

    const std::string index = site.page("index.html");
    EXPECT_NE(index.find("<h1>hlpunpack Sample</h1>"), std::string::npos);
    EXPECT_NE(index.find("Free to copy and change."), std::string::npos);
    // The contents topic first, then the list.
    EXPECT_LT(index.find("This help file was written by"), index.find("<ol class=\"contents\">"));
    const size_t list = index.find("<ol class=\"contents\">");
    const size_t first = index.find("welcome.html", list), second = index.find("formatting.html", list),
                 third = index.find("tables.html", list);
    EXPECT_TRUE(first < second && second < third) << index;
    EXPECT_NE(site.page("keywords.html").find("<dt>"), std::string::npos);
    EXPECT_NE(site.page("style.css").find(".f0{"), std::string::npos);
    EXPECT_TRUE(broken_references(site).empty());

    // Off, nothing of it is written and the sources are the same bytes.
    const Site plain = decompile(HLP_SOURCE_DIR "/examples/sample.hlp", false);
    size_t html_entries = 0;
    for (const auto& [name, text] : site.files) {
        if (name.rfind("html\\", 0) == 0) ++html_entries;
        else EXPECT_EQ(plain.files.at(name), text) << name;
    }
    EXPECT_EQ(plain.files.size() + html_entries, site.files.size());
}

// A help file "test.hlp" of two topics: "Welcome" (context Welcome, [MAP]
// number 42) and one whose paragraph holds a hotspot for each macro.
Site built_site(const std::vector<std::string>& macros, std::vector<hlptest::InternalFile> extra = {}) {
    using namespace hlptest;
    TopicHeaderSpec welcome, second;
    welcome.title = "Welcome";
    second.title = "Macros";
    std::vector<Segment> segments;
    for (const std::string& macro : macros) {
        segments.push_back({"", cmd_macro(0xC8, macro)});
        segments.push_back({"here", cmd_hotspot_end()});
    }
    segments.push_back({"", cmd_end()});
    TextRecordSpec hello, links;
    hello.paragraphs = {plain_paragraph("Hello")};
    Paragraph paragraph;
    paragraph.segments = segments;
    links.paragraphs = {paragraph};
    std::vector<TopicRecord> records = {topic_header(welcome), text_record(hello), topic_header(second),
                                        text_record(links)};
    link_topic_headers(records);
    extra.push_back({"|SYSTEM", build_system_file(33, 4, {system_string_record(1, "Test")})});
    extra.push_back({"|TOPIC", build_topic_file(records, topic_layout_for(33, 4)).data});
    extra.push_back({"|CONTEXT", build_context_tree({{context_string_hash("Welcome"), 0}})});
    extra.push_back({"|CTXOMAP", build_context_map({{42, 0}, {7, -1}})});
    const Bytes help = build_help_file(extra);
    OpenBytes bytes(help);
    return decompile(bytes.file, "test", true);
}

TEST(HtmlSite, MacroHotspotsLinkWhereTheyNameATopicOfThisFile) {
    struct Case {
        const char* macro;
        const char* markup;  // the hotspot's opening tag
    } cases[] = {
        // JumpContext and PopupContext by the [MAP] number, in this file.
        {"JumpContext(`', 42)", "<a href=\"Welcome.html\" title=\"JumpContext(`', 42)\">"},
        {"JC(test.hlp, 0x2A)", "<a href=\"Welcome.html\" title=\"JC(test.hlp, 0x2A)\">"},
        {"PopupContext(qchPath, 42)", "<a class=\"popup\" href=\"#p0\" title=\"PopupContext(qchPath, 42)\">"},
        {"PC(, 42)", "<a class=\"popup\" href=\"#p0\" title=\"PC(, 42)\">"},
        // Another file, a number the map lacks, one it sends nowhere, no number.
        {"JumpContext(other.hlp, 42)", "<a class=\"macro\" title=\"JumpContext(other.hlp, 42)\">"},
        {"JC(, 5)", "<a class=\"macro\" title=\"JC(, 5)\">"},
        {"JC(, 7)", "<a class=\"macro\" title=\"JC(, 7)\">"},
        {"PC(, x)", "<a class=\"macro\" title=\"PC(, x)\">"},
    };
    std::vector<std::string> macros;
    for (const Case& c : cases) macros.push_back(c.macro);
    const Site site = built_site(macros);
    ASSERT_TRUE(site.ok);
    const std::string page = site.page("topic1.html");
    ASSERT_NE(page.find("<h1>Macros</h1>"), std::string::npos) << page;
    for (const Case& c : cases) EXPECT_NE(page.find(c.markup), std::string::npos) << c.macro << "\n" << page;
    // Both popups open the one box, which shows the mapped topic.
    EXPECT_EQ(page.find("id=\"p1\""), std::string::npos);
    EXPECT_NE(page.find("Hello", page.find("id=\"p0\"")), std::string::npos);
}

// Keywords listed alphabetically whatever their case (Windows-1252 letters
// too); those equal but for case in the index's order.
TEST(HtmlSite, KeywordPagesAreSortedWithoutRegardToCase) {
    const hlptest::KeywordIndex k = hlptest::build_keyword_index(
        {{"banana", {0}}, {"apple", {0}}, {"\xC9" "clair", {0}}, {"Apple", {0}}, {"\xE9" "clair", {0}}, {"Zebra", {0}},
         {"\xE0 la", {0}}});
    const hlptest::KeywordIndex a = hlptest::build_keyword_index({{"b_id", {0}}, {"A_id", {0}}});
    const Site site = built_site({}, {{"|KWBTREE", k.tree}, {"|KWDATA", k.data}, {"|AWBTREE", a.tree},
                                      {"|AWDATA", a.data}});
    ASSERT_TRUE(site.ok);
    std::string order;
    for (const std::string name : {"keywords.html", "akeywords.html"}) {
        const std::string page = site.page(name);
        for (size_t at = page.find("<dt>"); at != std::string::npos; at = page.find("<dt>", at + 1))
            order += page.substr(at + 4, page.find("</dt>", at) - at - 4) + " ";
    }
    EXPECT_EQ(order, "apple Apple banana Zebra \xC3\xA0 la \xC3\x89" "clair \xC3\xA9" "clair A_id b_id ");
}

TEST(HtmlSite, CodePagesConvertToUtf8) {
    struct Case {
        int code_page;
        const char* bytes;
        const char* utf8;
    } cases[] = {
        {1252, "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
        {1251, "\xCF\xF0\xE8", "\xD0\x9F\xD1\x80\xD0\xB8"},
        {932, "\x83\x65\x83\x58\x83\x67", "\xE3\x83\x86\xE3\x82\xB9\xE3\x83\x88"},
        {12345, "A\xE9", "A\xC3\xA9"},  // unknown: 1252
        {932, "A\x83", "A\xEF\xBF\xBD"},  // a lead byte cut off
    };
    for (const Case& c : cases) {
        platform::CodePageConverter* converter = platform::code_page_open(c.code_page);
        std::string out;
        platform::code_page_append(converter, c.bytes, std::strlen(c.bytes), out);
        platform::code_page_close(converter);
        EXPECT_EQ(out, c.utf8) << c.code_page;
    }
}

class CorpusHtml : public testing::TestWithParam<std::string> {};

// Every reference resolves, and the sources are the bytes written without
// the edition.
TEST_P(CorpusHtml, EveryReferenceResolvesAndTheSourcesAreUnchanged) {
    if (GetParam().empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    const Site site = decompile(GetParam(), true);
    if (!site.ok) GTEST_SKIP() << "the help file does not decompile";
    ASSERT_FALSE(site.page("index.html").empty());
    for (const auto& [page, target] : broken_references(site)) ADD_FAILURE() << page << " -> " << target;
    const Site plain = decompile(GetParam(), false);
    for (const auto& [name, text] : plain.files) {
        auto it = site.files.find(name);
        ASSERT_NE(it, site.files.end()) << name;
        EXPECT_TRUE(it->second == text) << name << " differs with the HTML edition on";
    }
}

INSTANTIATE_TEST_SUITE_P(Corpus, CorpusHtml, testing::ValuesIn(hlptest::corpus_cases(HLP_CORPUS_DIR)),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return hlptest::corpus_case_name(info.param, info.index);
                         });

}  // namespace
