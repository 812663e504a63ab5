// The topic files as people read them: LibreOffice's writer (headless)
// and unrtf turn them into text, which must hold the visible text of the
// topic file to its end, decoded in the declared code page; ImageMagick
// loads every bitmap and metafile. For the sample, a Russian help file
// made here, and corpus files of several kinds when the corpus is present.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "decompiled.h"
#include "external_tool.h"
#include "font_builder.h"
#include "paragraph_builder.h"
#include "visible_text.h"

namespace {

namespace fs = std::filesystem;
using namespace hlptest;
using namespace readers;

std::string read_text(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Each of a sample of the runs (spread over the file, with the last one)
// shows in the reader's text, in order. unrtf decodes few code pages and
// puts a tab after an escaped brace: only plain ASCII runs without braces
// are asked of it.
void expect_shown(const std::string& reader, const std::string& shown, const std::vector<VisibleRun>& runs,
                  bool ascii_only) {
    std::vector<const VisibleRun*> checked;
    for (const VisibleRun& run : runs) {
        const bool plain = run.ascii && run.text.find('{') == std::string::npos;
        if (character_count(run.text) >= 8 && (plain || !ascii_only)) checked.push_back(&run);
    }
    if (checked.empty() && ascii_only) return;
    ASSERT_FALSE(checked.empty()) << reader;
    const size_t step = std::max<size_t>(1, checked.size() / 60);
    size_t cursor = 0;
    for (size_t i = 0; i < checked.size(); i += i + step < checked.size() || i + 1 == checked.size() ? step : checked.size() - 1 - i) {
        const size_t at = shown.find(checked[i]->text, cursor);
        EXPECT_NE(at, std::string::npos) << reader << " does not show, after what it showed before:\n" << checked[i]->text;
        if (at == std::string::npos) return;
        cursor = at + checked[i]->text.size();
    }
}

struct ReaderRun {
    std::unique_ptr<e2e::Decompiled> d;
    std::vector<VisibleRun> runs;
    std::string libreoffice;  // the text each reader gives, white space squeezed
    std::string unrtf;

    // CODE_PAGE is what the help file's text is written in, known apart
    // from the decompiler: the topic file must declare it.
    ReaderRun(const std::string& help_path, int code_page) {
        d = std::make_unique<e2e::Decompiled>(help_path);
        EXPECT_TRUE(d->opened) << d->err.substr(0, 2000);
        if (!d->opened) return;
        const std::string header = d->contents(d->topic_name).substr(0, 40);
        EXPECT_EQ(header.rfind("{\\rtf1\\ansi\\ansicpg" + std::to_string(code_page) + "\\", 0), 0u) << header;
        const std::string folder = d->folder.path.string();
        runs = visible_runs(d->contents(d->topic_name));
        // A profile of its own, so that runs side by side do not meet.
        const e2e::ToolRun office = e2e::run_tool(
            {"soffice", "--headless", "-env:UserInstallation=file://" + folder + "/profile", "--convert-to",
             "txt:Text (encoded):UTF8", "--outdir", folder + "/text", d->path(d->topic_name)},
            folder);
        EXPECT_EQ(office.status, 0) << office.err;
        libreoffice = squeeze(read_text(fs::path(folder) / "text" / fs::path(d->topic_name).replace_extension(".txt")));
        const e2e::ToolRun text = e2e::run_tool({"unrtf", "--text", d->path(d->topic_name)}, folder);
        EXPECT_EQ(text.status, 0) << text.err;
        unrtf = squeeze(text.out);
    }

    // LibreOffice's HTML export of the topic file, tags left out: unlike its
    // text export it keeps the footnotes, where the topic titles are.
    std::string libreoffice_with_footnotes() const {
        const std::string folder = d->folder.path.string();
        const e2e::ToolRun office = e2e::run_tool(
            {"soffice", "--headless", "-env:UserInstallation=file://" + folder + "/profile", "--convert-to",
             "html:HTML (StarWriter)", "--outdir", folder + "/html-text", d->path(d->topic_name)},
            folder);
        EXPECT_EQ(office.status, 0) << office.err;
        const std::string page = read_text(fs::path(folder) / "html-text" / fs::path(d->topic_name).replace_extension(".html"));
        std::string text;
        bool in_tag = false;
        for (char c : page) {
            if (c == '<' || c == '>') in_tag = c == '<';
            else if (!in_tag) text += c;
        }
        return squeeze(text);
    }

    void expect_read() {
        ASSERT_TRUE(d->opened);
        expect_shown("LibreOffice", libreoffice, runs, false);
        // The text outside ASCII, sampled on its own: it shows only when the
        // declared code pages are the ones the text is written in.
        std::vector<VisibleRun> national;
        for (const VisibleRun& run : runs)
            if (!run.ascii) national.push_back(run);
        if (!national.empty()) expect_shown("LibreOffice", libreoffice, national, false);
        expect_shown("unrtf", unrtf, runs, true);
        for (const char* extension : {".bmp", ".wmf"}) {
            for (const std::string& name : d->names_ending(extension)) {
                const e2e::ToolRun identify = e2e::run_tool({"identify", d->path(name)}, d->folder.path.string());
                EXPECT_EQ(identify.status, 0) << name << ": " << identify.err;
            }
        }
    }
};

#define REQUIRE_READERS()                                   \
    do {                                                    \
        REQUIRE_TOOL("soffice", "libreoffice-writer-nogui"); \
        REQUIRE_TOOL("unrtf", "unrtf");                     \
        REQUIRE_TOOL("identify", "imagemagick");            \
    } while (0)

TEST(Readers, SampleHelpFile) {
    REQUIRE_READERS();
    ReaderRun run(HLP_SOURCE_DIR "/examples/sample.hlp", 1252);
    run.expect_read();
}

std::string in_code_page(const std::string& utf8, const std::string& page) {
    std::string bytes;
    EXPECT_TRUE(convert_text("UTF-8", page, utf8, bytes));
    return bytes;
}

TopicRecord text_paragraph(const std::string& text) {
    TextRecordSpec recipe;
    Paragraph paragraph;
    paragraph.segments = {{text, cmd_par()}, {"", cmd_end()}};
    recipe.paragraphs = {paragraph};
    return text_record(recipe);
}

// A help file of a Russian system: its language says so, its text is in
// code page 1251.
TEST(Readers, RussianTextReadsInItsCodePage) {
    REQUIRE_READERS();
    const std::string text = "Справка о программе: окна, меню и клавиши быстрого доступа.";
    TopicHeaderSpec header;
    header.title = in_code_page("Общие сведения", "CP1251");
    std::vector<TopicRecord> records = {topic_header(header), text_paragraph(in_code_page(text, "CP1251"))};
    link_topic_headers(records);
    FontFileSpec fonts;
    fonts.layout = FontLayout::old_layout;
    fonts.names = {"Arial"};
    FontDescriptorSpec font;
    font.family = 3;
    fonts.descriptors = {font};
    const SystemRecordSpec language{9, {0, 0, 0, 0, 0, 0, 0, 0, 0x19, 0x04}};
    TempDir source;
    write_file(source.file("russian.hlp"),
               build_help_file({{"|SYSTEM", build_system_file(33, 0, {system_string_record(system_title, "R"), language})},
                                {"|FONT", build_font_file(fonts)},
                                {"|TOPIC", build_topic_file(records, topic_layout_for(33, 0)).data}}));
    ReaderRun run(source.file("russian.hlp"), 1251);
    ASSERT_TRUE(run.d->opened);
    EXPECT_NE(run.libreoffice.find(text), std::string::npos) << run.libreoffice;
    EXPECT_NE(run.libreoffice_with_footnotes().find("Общие сведения"), std::string::npos);
    run.expect_read();
}

// A western file with German text, a Japanese one, one with Russian titles
// and western text, one with many tables, one with many pictures: each with
// the code page its text is written in (its language and fonts say so: the
// Russian one's fonts are Cyrillic, its language is left at US English), and
// a title outside ASCII where it has one.
struct CorpusCase {
    const char* file;
    int code_page;
    const char* title;  // UTF-8, or empty
};

void PrintTo(const CorpusCase& c, std::ostream* out) { *out << c.file; }

class CorpusReaders : public testing::TestWithParam<CorpusCase> {};

TEST_P(CorpusReaders, TopicFileAndPicturesRead) {
    const fs::path file = fs::path(HLP_CORPUS_DIR) / GetParam().file;
    if (!fs::exists(file)) GTEST_SKIP() << "no " << file;
    REQUIRE_READERS();
    ReaderRun run(file.string(), GetParam().code_page);
    run.expect_read();
    if (*GetParam().title) {
        const std::string shown = run.libreoffice_with_footnotes();
        EXPECT_NE(shown.find(GetParam().title), std::string::npos) << "LibreOffice does not show the title " << GetParam().title;
    }
}

INSTANTIATE_TEST_SUITE_P(RealHelpFiles, CorpusReaders,
                         testing::Values(CorpusCase{"migalley__GERMAN_MIG.HLP", 1252, ""},
                                         CorpusCase{"migalley__JAPANESE_MIG.HLP", 932, ""},
                                         CorpusCase{"freereport__FRUSER.HLP", 1251, "Переменная Button"},
                                         CorpusCase{"msvc6__SPYXX.HLP", 1252, ""},
                                         CorpusCase{"eudora__PureVoice.hlp", 1252, ""}),
                         [](const testing::TestParamInfo<CorpusCase>& info) {
                             std::string name = info.param.file;
                             return name.substr(0, name.find('.')).substr(name.find("__") + 2);
                         });

}  // namespace
