// The HTML edition decompiled in memory: the sample's pages hold each kind
// of link, popup and list they should; on every corpus file every href and
// src of every page names a file the decompile wrote.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
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
#include "html_attack_files.h"
#include "context_builder.h"
#include "font_builder.h"
#include "large_help_file.h"
#include "paragraph_builder.h"
#include "picture_builder.h"
#include "platform/code_page.h"

#define STB_IMAGE_STATIC
#define STBI_ONLY_PNG
#define STB_IMAGE_IMPLEMENTATION
#include <stb_image.h>

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
    EXPECT_NE(pictures.find("<img src=\"bm0.png\""), std::string::npos);
    // The metafile drawn as SVG; the picture with hotspots as its bitmap
    // with an image map whose areas jump, pop up and run macros.
    EXPECT_NE(pictures.find("<img src=\"bm1.svg\""), std::string::npos);
    EXPECT_NE(site.page("bm1.svg").find("<svg "), std::string::npos);
    EXPECT_NE(pictures.find("<img src=\"bm2.png\" alt=\"\" usemap=\"#map0\"><map name=\"map0\">"), std::string::npos);
    EXPECT_NE(pictures.find("<area shape=\"rect\" coords=\"2,6,30,26\" href=\"formatting.html\""), std::string::npos);
    EXPECT_NE(pictures.find("href=\"#p0\" alt=\"\" title=\"def_hotspot\""), std::string::npos);
    EXPECT_EQ(site.page("bm3.png").substr(1, 3), "PNG");
    // The site stands alone: nothing it shows lies outside html/, and it
    // holds no bitmap file.
    for (const auto& [name, text] : site.files) {
        if (name.rfind("html\\", 0) != 0) continue;
        EXPECT_EQ(name.find(".bmp"), std::string::npos) << name;
        for (size_t at = text.find("\"../"); at != std::string::npos; at = text.find("\"../", at + 1))
            EXPECT_EQ(text.compare(at, 7, "\"../../"), 0) << name << ": " << text.substr(at, 40);
    }

    const std::string index = site.page("index.html");
    EXPECT_NE(index.find("<h1>hlpunpack Sample</h1>"), std::string::npos);
    EXPECT_NE(index.find("Free to copy and change."), std::string::npos);
    // The contents topic first, then the list.
    EXPECT_LT(index.find("This help file was written by"), index.find("<ol class=\"contents\">"));
    const size_t list = index.find("<ol class=\"contents\">");
    const size_t first = index.find("welcome.html", list), second = index.find("formatting.html", list),
                 third = index.find("tables.html", list);
    EXPECT_TRUE(first < second && second < third) << index;
    EXPECT_NE(site.page("keywords.html").find("<dt id=\"k-"), std::string::npos);
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

// Keywords of an index, naming topics of built_site by number (0: Welcome,
// 1: Macros).
struct TopicKeyword {
    std::string keyword;
    std::vector<int> topics;
};

// A help file "test.hlp" of two topics: "Welcome" (context Welcome, [MAP]
// number 42) and one whose paragraph holds a hotspot for each macro, then
// the extra paragraph data given (a button); Welcome's text is hello_text.
Site built_site(const std::vector<std::string>& macros, std::vector<hlptest::InternalFile> extra = {},
                const std::vector<TopicKeyword>& k = {}, const std::vector<TopicKeyword>& a = {},
                std::vector<hlptest::Segment> more = {}, const std::string& hello_text = "Hello") {
    using namespace hlptest;
    TopicHeaderSpec welcome, second;
    welcome.title = "Welcome";
    second.title = "Macros";
    std::vector<Segment> segments;
    for (const std::string& macro : macros) {
        segments.push_back({"", cmd_macro(0xC8, macro)});
        segments.push_back({"here", cmd_hotspot_end()});
    }
    segments.insert(segments.end(), more.begin(), more.end());
    segments.push_back({"", cmd_end()});
    TextRecordSpec hello, links;
    hello.paragraphs = {plain_paragraph(hello_text)};
    Paragraph paragraph;
    paragraph.segments = segments;
    links.paragraphs = {paragraph};
    std::vector<TopicRecord> records = {topic_header(welcome), text_record(hello), topic_header(second),
                                        text_record(links)};
    link_topic_headers(records);
    const TopicFile topic = build_topic_file(records, topic_layout_for(33, 4));
    const std::vector<int32_t> offsets = count_topic_offsets(records, topic.positions);
    for (const auto& [letter, keywords] : {std::pair{'K', k}, std::pair{'A', a}}) {
        if (keywords.empty()) continue;
        std::vector<KeywordSpec> entries;
        for (const TopicKeyword& keyword : keywords) {
            entries.push_back({keyword.keyword, {}});
            for (int t : keyword.topics) entries.back().topic_offsets.push_back(static_cast<uint32_t>(offsets[2 * t]));
        }
        const KeywordIndex index = build_keyword_index(entries);
        extra.push_back({std::string("|") + letter + "WBTREE", index.tree});
        extra.push_back({std::string("|") + letter + "WDATA", index.data});
    }
    extra.push_back({"|SYSTEM", build_system_file(33, 4, {system_string_record(1, "Test")})});
    extra.push_back({"|TOPIC", topic.data});
    extra.push_back({"|CONTEXT", build_context_tree({{context_string_hash("Welcome"), 0}})});
    extra.push_back({"|CTXOMAP", build_context_map({{42, 0}, {7, -1}})});
    const Bytes help = build_help_file(extra);
    OpenBytes bytes(help);
    return decompile(bytes.file, "test", true);
}

const std::vector<TopicKeyword> built_k_keywords = {{"two", {0, 1}}, {"one", {0}}, {"also one", {0}}, {"Macro's", {1}}};
const std::vector<TopicKeyword> built_a_keywords = {{"a.s", {1, 0}}};

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
        // Keyword links: straight to the only topic their keywords name,
        // else to the first keyword's entry on the keyword page.
        {"KLink(one)", "<a href=\"Welcome.html\" title=\"KLink(one)\">"},
        {"KL(`ONE', 1)", "<a href=\"Welcome.html\" title=\"KL(`ONE', 1)\">"},
        {"KLink(one; also one)", "<a href=\"Welcome.html\" title=\"KLink(one; also one)\">"},
        {"KLink(two)", "<a href=\"keywords.html#k-two\" title=\"KLink(two)\">"},
        {"KLink(nothing;two)", "<a href=\"keywords.html#k-two\" title=\"KLink(nothing;two)\">"},
        {"KLink(also one;Macro's)", "<a href=\"keywords.html#k-also-one\" title=\"KLink(also one;Macro's)\">"},
        {"ALink(`a.s', 2)", "<a href=\"akeywords.html#k-a_2Es\" title=\"ALink(`a.s', 2)\">"},
        {"AL(one)", "<a class=\"macro\" title=\"AL(one)\">"},
        {"KLink(nothing)", "<a class=\"macro\" title=\"KLink(nothing)\">"},
        {"JumpKeyword(test.hlp, Macro's)", "<a href=\"topic1.html\" title=\"JumpKeyword(test.hlp, Macro's)\">"},
        {"JK(other.hlp, one)", "<a class=\"macro\" title=\"JK(other.hlp, one)\">"},
        {"Search()", "<a href=\"search.html\" title=\"Search()\">"},
    };
    std::vector<std::string> macros;
    for (const Case& c : cases) macros.push_back(c.macro);
    const hlptest::Bytes button = hlptest::cmd_picture(0x86, 5, hlptest::embedded_window_data("!Related,KLink(two)"));
    const Site site = built_site(macros, {}, built_k_keywords, built_a_keywords, {{"", button}});
    ASSERT_TRUE(site.ok);
    const std::string page = site.page("topic1.html");
    ASSERT_NE(page.find("<h1>Macros</h1>"), std::string::npos) << page;
    for (const Case& c : cases) EXPECT_NE(page.find(c.markup), std::string::npos) << c.macro << "\n" << page;
    // Both popups open the one box, which shows the mapped topic.
    EXPECT_EQ(page.find("id=\"p1\""), std::string::npos);
    EXPECT_NE(page.find("Hello", page.find("id=\"p0\"")), std::string::npos);
    EXPECT_NE(page.find("<a href=\"keywords.html#k-two\"><span class=\"button\""), std::string::npos) << page;
}

// Keyword page entries have ids, under a letter bar.
TEST(HtmlSite, KeywordPagesHaveEntryIdsAndALetterBar) {
    const Site site = built_site({}, {}, built_k_keywords, built_a_keywords);
    ASSERT_TRUE(site.ok);
    // Each entry named once, by its id; the letter bar links the first of
    // each letter and shows the others plain.
    const std::string keywords = site.page("keywords.html");
    for (const char* id : {"k-two", "k-one", "k-also-one", "k-Macro_27s"}) {
        const std::string dt = std::string("<dt id=\"") + id + "\">";
        EXPECT_NE(keywords.find(dt), std::string::npos) << dt << "\n" << keywords;
        EXPECT_EQ(keywords.find(dt), keywords.rfind(dt)) << dt;
    }
    const size_t bar = keywords.find("<nav class=\"letters\">");
    ASSERT_NE(bar, std::string::npos) << keywords;
    const std::string letters = keywords.substr(bar, keywords.find("</nav>", bar) - bar);
    EXPECT_NE(letters.find("<a href=\"#k-also-one\">A</a>"), std::string::npos) << letters;
    EXPECT_NE(letters.find("<a href=\"#k-one\">O</a>"), std::string::npos) << letters;
    EXPECT_NE(letters.find("<span>B</span>"), std::string::npos) << letters;
    EXPECT_EQ(letters.find("#</a>"), std::string::npos) << letters;
    EXPECT_NE(site.page("akeywords.html").find("<dt id=\"k-a_2Es\">"), std::string::npos);
    EXPECT_TRUE(broken_references(site).empty());
}

// The search index names each word's topics with the times the word is
// there (a title word counting five), and is safe inside a script.
TEST(HtmlSite, SearchIndexListsTheTopicsOfEachWord) {
    const Site site = built_site({"JI(, Welcome)", "JI(, Welcome)"}, {}, {}, {}, {},
                                 "Hello, \xC9t\xE9 </script> hello_world information Informational INFORMATION "
                                 "abcdefghijABCDEFGHIJabcdefghijabcdefghijXYZ");
    ASSERT_TRUE(site.ok);
    const std::string script = site.page("search-index.js");
    const std::string prefix = "var hlpSearchIndex = ";
    ASSERT_EQ(script.compare(0, prefix.size(), prefix), 0) << script;
    EXPECT_EQ(script.find("</"), std::string::npos) << script;
    const nlohmann::json index = nlohmann::json::parse(script.substr(prefix.size(), script.rfind(';') - prefix.size()));
    EXPECT_EQ(index["pages"], nlohmann::json::array({"Welcome.html", "topic1.html"}));
    EXPECT_EQ(index["titles"], nlohmann::json::array({"Welcome", "Macros"}));
    EXPECT_EQ(index["snippets"][0],
              "Hello, \xC3\x89t\xC3\xA9 </script> hello_world information Informational INFORMATION "
              "abcdefghijABCDEFGHIJabcdefghijabcdefghijXYZ");
    // Items "DELTA*COUNT" in base 36 from topic 0.
    const nlohmann::json& words = index["words"];
    EXPECT_EQ(words["hello"], "0");
    EXPECT_EQ(words["\xC3\xA9t\xC3\xA9"], "0");
    EXPECT_EQ(words["hello_world"], "0");
    // Words alike in their first eight letters, and one cut at 40.
    EXPECT_EQ(words["information"], "0*2");
    EXPECT_EQ(words["informational"], "0");
    EXPECT_EQ(words["abcdefghijabcdefghijabcdefghijabcdefghij"], "0");
    EXPECT_EQ(words["welcome"], "0*5");
    EXPECT_EQ(words["herehere"], "1");  // two links, one word on the page
    EXPECT_EQ(words["macros"], "1*5");
    EXPECT_EQ(words["script"], "0");
    const std::string page = site.page("search.html");
    EXPECT_NE(page.find("<ol id=\"results\">"), std::string::npos);
    EXPECT_NE(page.find("<script src=\"search-index.js\"></script>"), std::string::npos);
    EXPECT_NE(site.page("Welcome.html").find("<a href=\"search.html\">Search</a>"), std::string::npos);
}

// Bitmaps of each depth (the grey ramp's colours, or colours of their own)
// are shown as PNG files in html/ with the pixels of the bitmap, top row
// first; white is left transparent in a transparent bitmap.
TEST(HtmlSite, BitmapsAreShownAsPngWithTheirPixels) {
    using namespace hlptest;
    struct Case {
        uint16_t bits;
        uint32_t width, height;
        uint32_t colours_important;  // 1: transparent
    } cases[] = {{1, 13, 3, 0}, {4, 7, 5, 0}, {8, 5, 4, 0}, {24, 3, 2, 0}, {8, 6, 2, 1}, {4, 9, 3, 1}, {1, 11, 2, 1},
                 // More rows than stb's deflate is given: runs of 1 to 301 pixels.
                 {8, 2100, 2050, 1}, {24, 1200, 1300, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        auto value = [&](uint32_t x, uint32_t y) {
            const uint32_t u = c.width > 1000 ? (x + y) / (1 + y % 301) : x;
            if (c.bits == 24) return 0x102030u * (u + 1) + 0x0B0000u * y;
            return x == 0 ? (1u << c.bits) - 1 : (u * 7 + y * 3) % (1u << c.bits);  // a white column
        };
        PictureSpec bitmap;
        bitmap.bits_per_pixel = c.bits;
        bitmap.width = c.width;
        bitmap.height = c.height;
        bitmap.colours_important = c.colours_important;
        if (c.bits <= 8) bitmap.colour_table = grey_colour_table(1u << c.bits);
        bitmap.data = bitmap_rows(c.width, c.height, c.bits, 4, value);
        const Site site = built_site({}, {picture_internal_file(1, build_picture_file({bitmap}).data)}, {}, {},
                                     {{"", cmd_picture(0x86, 3, picture_reference(0, 1))}});
        ASSERT_NE(site.page("topic1.html").find("<img src=\"bm1.png\""), std::string::npos);
        const std::string png = site.page("bm1.png");
        int width = 0, height = 0, channels = 0;
        stbi_uc* rgba = stbi_load_from_memory(reinterpret_cast<const stbi_uc*>(png.data()), static_cast<int>(png.size()),
                                              &width, &height, &channels, 4);
        ASSERT_NE(rgba, nullptr);
        ASSERT_EQ(width, static_cast<int>(c.width));
        ASSERT_EQ(height, static_cast<int>(c.height));
        for (uint32_t y = 0; y < c.height; ++y)
            for (uint32_t x = 0; x < c.width; ++x) {
                const uint8_t* got = rgba + 4 * (size_t(y) * c.width + x);
                const unsigned v = value(x, c.height - 1 - y);  // stored bottom row first
                uint8_t red = 0, green = 0, blue = 0;
                if (c.bits == 24) {
                    red = static_cast<uint8_t>(v >> 16), green = static_cast<uint8_t>(v >> 8), blue = static_cast<uint8_t>(v);
                } else {
                    red = bitmap.colour_table[4 * v + 2], green = bitmap.colour_table[4 * v + 1], blue = bitmap.colour_table[4 * v];
                }
                const bool clear = c.colours_important == 1 && red == 255 && green == 255 && blue == 255;
                EXPECT_EQ(got[3], clear ? 0 : 255) << x << "," << y;
                if (clear) continue;
                EXPECT_EQ(got[0], red) << x << "," << y;
                EXPECT_EQ(got[1], green) << x << "," << y;
                EXPECT_EQ(got[2], blue) << x << "," << y;
            }
        stbi_image_free(rgba);
    }
}

// A picture with hotspots whose picture is a metafile is drawn as SVG under
// an image map in the metafile's size; its pattern fills are rectangles of
// the brush, black or white, and fills that mix with the drawing are left
// out.
TEST(HtmlSite, MetafileWithHotspotsIsSvgWithAMapAndPatternFills) {
    using namespace hlptest;
    ByteWriter records;
    auto record = [&](uint16_t function, std::vector<uint16_t> words) {
        records.u32(static_cast<uint32_t>(3 + words.size())).u16(function);
        for (uint16_t w : words) records.u16(w);
    };
    records.u16(1).u16(9).u16(0x300).u32(0).u16(1).u32(12).u16(0);
    record(0x020B, {0, 0});              // window origin
    record(0x020C, {48, 96});            // window extent: 96 x 48
    record(0x02FC, {0, 0x00FF, 0, 0});   // a solid red brush
    record(0x012D, {0});                 // selected
    record(0x061D, {0x0021, 0x00F0, 20, 30, 5, 10});            // PATCOPY 30 x 20 at 10,5
    record(0x0940, {0x0062, 0x00FF, 0, 0, 0, 4, 6, 1, 2});     // WHITENESS 6 x 4 at 2,1
    record(0x0922, {0x0042, 0x0000, 0, 0, 0, 3, 3, 40, 50});   // BLACKNESS 3 x 3 at 50,40
    record(0x061D, {0x0009, 0x0055, 8, 8, 0, 0});               // DSTINVERT: left out
    record(0x0000, {});
    PictureSpec picture;
    picture.type = metafile_picture;
    picture.packing = 1;
    picture.metafile_width = 2540;  // hundredths of a millimetre: 96 pixels
    picture.metafile_height = 1270;
    picture.data = records.take();
    HotspotSpec jump;
    jump.kind = 0xE3;
    jump.x = 10, jump.y = 5, jump.w = 30, jump.h = 20;
    jump.name = "red";
    jump.target = "Welcome";
    picture.hotspots = HotspotBlock{1, {jump}, {}};
    const Site site = built_site({}, {picture_internal_file(1, build_picture_file({picture}).data)}, {}, {},
                                 {{"", cmd_picture(0x86, 3, picture_reference(0, 1))}});
    const std::string page = site.page("topic1.html");
    EXPECT_NE(page.find("<img src=\"bm1.svg\" alt=\"\" usemap=\"#map0\"><map name=\"map0\">"
                        "<area shape=\"rect\" coords=\"10,5,40,25\" href=\"Welcome.html\""),
              std::string::npos)
        << page;
    const std::string svg = site.page("bm1.svg");
    EXPECT_NE(svg.find("width=\"96\" height=\"48\" viewBox=\"0 0 96 48\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("<rect x=\"10\" y=\"5\" width=\"30\" height=\"20\" fill=\"#ff0000\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("<rect x=\"2\" y=\"1\" width=\"6\" height=\"4\" fill=\"#ffffff\""), std::string::npos) << svg;
    EXPECT_NE(svg.find("<rect x=\"50\" y=\"40\" width=\"3\" height=\"3\" fill=\"#000000\""), std::string::npos) << svg;
    size_t rects = 0;
    for (size_t at = svg.find("<rect"); at != std::string::npos; at = svg.find("<rect", at + 1)) ++rects;
    EXPECT_EQ(rects, 3u) << svg;
    EXPECT_TRUE(broken_references(site).empty());
}

// Keywords listed alphabetically whatever their case (Windows-1252 letters
// too); those equal but for case in the index's order.
// Two topics: "Welcome" ("Hello", a context id at its third character) and
// one of paragraphs with tab stops, kept spaces, faces and a jump to that id.
Site text_site() {
    using namespace hlptest;
    TopicHeaderSpec welcome, text;
    welcome.title = "Welcome";
    text.title = "Text";
    Paragraph tabs, plain_tab, faces, jump;
    tabs.attributes.left_indent = 360;
    tabs.attributes.first_indent = -360;
    tabs.attributes.tabs = std::vector<TabStop>{{1440, {}}, {4320, 1}};
    tabs.segments = {{"a", cmd_tab()}, {"b", cmd_tab()}, {"c", cmd_tab()}, {"d", cmd_end()}};
    plain_tab.segments = {{"k", cmd_tab()}, {"v", cmd_end()}};
    faces.segments = {{"x   y\tz", cmd_font(1)}, {"mono", cmd_font(2)}, {"\xB7", cmd_end()}};
    jump.segments = {{"", cmd_link(0xE3, context_string_hash("inner"))}, {"go", cmd_hotspot_end()}, {"", cmd_end()}};
    TextRecordSpec hello;
    hello.paragraphs = {plain_paragraph("Hello")};
    std::vector<TopicRecord> records = {topic_header(welcome), text_record(hello), topic_header(text)};
    for (const Paragraph& paragraph : {tabs, plain_tab, faces, jump}) {
        TextRecordSpec record;
        record.paragraphs = {paragraph};
        records.push_back(text_record(record));
    }
    link_topic_headers(records);
    FontFileSpec fonts;
    fonts.names = {"Arial", "Courier New", "Symbol", "Odd\"Face"};
    // Courier declared decorative, as help files have it.
    const uint8_t families[] = {2, 5, 1, 0};
    for (uint16_t i = 0; i < 4; ++i) {
        FontDescriptorSpec font;
        font.family = families[i];
        font.font_name = i;
        fonts.descriptors.push_back(font);
    }
    const Bytes help = build_help_file(
        {{"|SYSTEM", build_system_file(33, 4, {system_string_record(1, "Test")})},
         {"|FONT", build_font_file(fonts)},
         {"|TOPIC", build_topic_file(records, topic_layout_for(33, 4)).data},
         {"|CONTEXT", build_context_tree({{context_string_hash("Welcome"), 0}, {context_string_hash("inner"), 2}})}});
    OpenBytes bytes(help);
    return decompile(bytes.file, "test", true);
}

TEST(HtmlSite, TextKeepsTabStopsSpacesFacesAndAnchors) {
    const Site site = text_site();
    ASSERT_TRUE(site.ok);
    char id[16];
    std::snprintf(id, sizeof id, "c%08x", hlptest::context_string_hash("inner"));
    const struct {
        const char* page;
        std::string markup;
    } cases[] = {
        // Measured from the margin: the hanging indent's stop (18pt), the
        // left stop at 1 inch, then "d" ends at the right one at 3 inches.
        {"topic1.html", "<p style=\"text-indent:18pt hanging\">"
                        "<span class=\"tab-cell\" style=\"min-width:18pt\">a</span>"
                        "<span class=\"tab-cell\" style=\"min-width:54pt\">b</span><span class=\"tab-right\" "
                        "style=\"min-width:144pt\"><span>c</span><span>d</span></span></p>"},
        // Past the stops, the browser's tab reaches the half-inch ones.
        {"topic1.html", "<p style=\"text-indent:0pt hanging\">k\tv</p>"},
        {"topic1.html", "<p>x   y\tz<span class=\"f1\">mono</span><span class=\"f2\">\xE2\x80\xA2</span></p>"},
        {"topic1.html", std::string("<a href=\"Welcome.html#") + id + "\">"},
        {"Welcome.html", std::string("He<span id=\"") + id + "\"></span>llo"},
        // The anchor is no part of what the search shows or finds.
        {"search-index.js", "\"snippets\":[\"Hello\","},
        {"search-index.js", "\"hello\":\"0\""},
        // Text in columns at tab stops is words apart ("a", "b", "c", "d").
        {"search-index.js", "\"d\":\"1\""},
        {"style.css", ".f1{font-family:\"Courier New\",monospace;"},
        {"style.css", ".f3{font-family:\"Odd\\22 Face\";"},
        {"style.css", "white-space:pre-wrap;tab-size:36pt"},
    };
    for (const auto& c : cases)
        EXPECT_NE(site.page(c.page).find(c.markup), std::string::npos) << c.markup << "\n" << site.page(c.page);
}

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
        for (size_t at = page.find("<dt"); at != std::string::npos; at = page.find("<dt", at + 1)) {
            const size_t text = page.find('>', at) + 1;
            order += page.substr(text, page.find("</dt>", at) - text) + " ";
        }
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

// The ids of the keyword pages: letters and digits kept, a space '-', any
// other byte '_' and two upper-case hexadecimal digits.
std::string expected_id(const std::string& raw) {
    std::string id = "k-";
    for (unsigned char c : raw) {
        char hex[4];
        std::snprintf(hex, sizeof hex, "_%02X", c);
        id += std::isalnum(c) ? std::string(1, static_cast<char>(c)) : c == ' ' ? std::string("-") : hex;
    }
    return id;
}

// Page names a topic may have: from any of its context names (letters,
// digits, '_', '-', '.' kept, others '_', not starting with a dot) or
// from its number.
std::string expected_page(const std::string& name) {
    std::string page;
    for (char c : name.substr(0, 120)) page += std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '.' ? c : '_';
    return (page.empty() || page[0] == '.' ? "_" : "") + page + ".html";
}

// The raw text of an RTF footnote from `at` to its closing brace.
std::string rtf_footnote_text(const std::string& rtf, size_t at) {
    std::string text;
    while (at < rtf.size() && rtf[at] != '}') {
        if (rtf[at] == '\\' && at + 3 < rtf.size() && rtf[at + 1] == '\'') {
            text += static_cast<char>(std::stoi(rtf.substr(at + 2, 2), nullptr, 16));
            at += 4;
        } else if (rtf[at] == '\\' && at + 1 < rtf.size()) {
            text += rtf[at + 1];
            at += 2;
        } else {
            text += rtf[at++];
        }
    }
    return text;
}

// The RTF with the font some footnotes name after \plain left out.
std::string without_footnote_fonts(const std::string& rtf) {
    static const std::string plain = "{\\footnote\\pard\\plain";
    std::string out;
    size_t from = 0;
    for (size_t at = rtf.find(plain); at != std::string::npos; at = rtf.find(plain, at + 1)) {
        size_t next = at + plain.size();
        out.append(rtf, from, next - from);
        if (rtf.compare(next, 2, "\\f") == 0) next = rtf.find_first_not_of("0123456789", next + 2);
        from = std::min(next, rtf.size());
    }
    return out.append(rtf, from, std::string::npos);
}

// Keyword id -> the topics (by their place in the RTF) whose K footnotes
// name it; and each topic's possible page names -> its place.
void rtf_keywords(const std::string& raw, std::map<std::string, std::vector<int>>& keywords,
                  std::map<std::string, int>& topic_of_page) {
    const std::string rtf = without_footnote_fonts(raw);
    int topic = 0;
    size_t start = 0;
    while (start < rtf.size()) {
        // Each topic ends with \page at the end of a line.
        size_t end = rtf.find("\\page", start);
        while (end != std::string::npos &&
               ((end > 0 && rtf[end - 1] == '\\') || end + 5 >= rtf.size() || (rtf[end + 5] != '\r' && rtf[end + 5] != '\n')))
            end = rtf.find("\\page", end + 1);
        if (end == std::string::npos) end = rtf.size();
        const std::string section = rtf.substr(start, end - start);
        topic_of_page.emplace("topic" + std::to_string(topic) + ".html", topic);
        const std::string context = "{\\up #}{\\footnote\\pard\\plain{\\up #} ";
        for (size_t at = section.find(context); at != std::string::npos; at = section.find(context, at + 1)) {
            // A name that another page (index.html...) has already gets "_2".
            const std::string page = expected_page(rtf_footnote_text(section, at + context.size()));
            topic_of_page.emplace(page, topic);
            topic_of_page.emplace(page.substr(0, page.size() - 5) + "_2.html", topic);
        }
        const std::string k = "{\\up K}{\\footnote\\pard\\plain{\\up K} ";
        for (size_t at = section.find(k); at != std::string::npos; at = section.find(k, at + 1)) {
            const std::string list = rtf_footnote_text(section, at + k.size());
            for (size_t from = 0; from <= list.size();) {
                const size_t semicolon = std::min(list.find(';', from), list.size());
                keywords[expected_id(list.substr(from, semicolon - from))].push_back(topic);
                from = semicolon + 1;
            }
        }
        start = end + 6;
        ++topic;
    }
}

// The keyword page's entries: id -> the topics (by their place in the RTF)
// its links lead to; -1 for a page no topic has.
std::map<std::string, std::vector<int>> page_keywords(const std::string& page,
                                                      const std::map<std::string, int>& topic_of_page) {
    std::map<std::string, std::vector<int>> keywords;
    std::vector<int>* entry = nullptr;
    for (size_t at = page.find("<d"); at != std::string::npos; at = page.find("<d", at + 1)) {
        if (page.compare(at, 8, "<dt id=\"") == 0) {
            entry = &keywords[page.substr(at + 8, page.find('"', at + 8) - at - 8)];
        } else if (page.compare(at, 13, "<dd><a href=\"") == 0 && entry != nullptr) {
            const auto it = topic_of_page.find(page.substr(at + 13, page.find('"', at + 13) - at - 13));
            entry->push_back(it != topic_of_page.end() ? it->second : -1);
        }
    }
    for (auto& [id, topics] : keywords) std::sort(topics.begin(), topics.end());
    return keywords;
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
    // The keyword page lists the K keywords of the RTF's footnotes, each with
    // the topics whose footnotes name it.
    std::string rtf;
    size_t page_bytes = 0;
    for (const auto& [name, text] : site.files) {
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".rtf") == 0) rtf = text;
        if (name.size() > 5 && name.compare(name.size() - 5, 5, ".html") == 0) page_bytes += text.size();
    }
    std::map<std::string, std::vector<int>> expected;
    std::map<std::string, int> topic_of_page;
    rtf_keywords(rtf, expected, topic_of_page);
    // A topic is listed once under a keyword, however many footnotes name it.
    for (auto& [id, topics] : expected) {
        std::sort(topics.begin(), topics.end());
        topics.erase(std::unique(topics.begin(), topics.end()), topics.end());
    }
    auto listed = page_keywords(site.page("keywords.html"), topic_of_page);
    // References past the last topic's text are in no footnote (no text
    // reaches them); the page keeps them, leading to the last topic.
    int last = -1;
    for (const auto& [page, topic] : topic_of_page) {
        if (site.files.count("html\\" + page)) last = std::max(last, topic);
    }
    for (auto& [id, topics] : listed) {
        const auto it = expected.find(id);
        const bool in_rtf = it != expected.end();
        if (!topics.empty() && topics.back() == last && !(in_rtf && it->second.back() == last)) topics.pop_back();
        if (!in_rtf) {
            EXPECT_TRUE(topics.empty()) << id << " is on keywords.html, not in the RTF";
        }
    }
    for (const auto& [id, topics] : expected) {
        const auto it = listed.find(id);
        if (it == listed.end()) ADD_FAILURE() << id << " is not on keywords.html";
        else EXPECT_EQ(it->second, topics) << id;
    }
    // The search index stays well below the pages it indexes.
    EXPECT_LT(site.page("search-index.js").size(), page_bytes * 2 / 5);
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

namespace {

// An edition that outgrows its limit is left out with its own message; the
// sources are written as without it, and the run is no failure.
TEST(HtmlSite, AnEditionPastItsLimitIsLeftOutAndTheSourcesStay) {
    const hlptest::Bytes help = hlptest::popup_bomb_file(40, 4, 2000);
    OpenBytes bytes(help);
    ContextHolder h;
    h.ctx->html = true;
    h.ctx->html_limit = 4000;
    std::snprintf(h.ctx->base_name, sizeof h.ctx->base_name, "x");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    const bool ok = decompile_help_file(*h.ctx, bytes.file);
    testing::internal::GetCapturedStdout();
    const std::string messages = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(ok);
    EXPECT_NE(messages.find("The HTML edition is left out: output too large."), std::string::npos) << messages;
    std::map<std::string, size_t> names;
    for (OutputNode* n = h.ctx->outputs.head; n; n = n->next) {
        std::string name;
        for (const char16_t* c = n->file->name; *c; ++c) name += static_cast<char>(*c);
        names[name] = n->file->length;
        EXPECT_NE(name.rfind("html\\", 0), 0u) << name;
    }
    const Site plain = decompile(bytes.file, "x", false);
    ASSERT_TRUE(plain.ok);
    for (const auto& [name, text] : plain.files) EXPECT_EQ(names[name], text.size()) << name;
}

}  // namespace
