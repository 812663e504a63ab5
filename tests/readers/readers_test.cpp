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

    explicit ReaderRun(const std::string& help_path) {
        d = std::make_unique<e2e::Decompiled>(help_path);
        EXPECT_TRUE(d->opened) << d->err.substr(0, 2000);
        if (!d->opened) return;
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
    ReaderRun run(HLP_SOURCE_DIR "/examples/sample.hlp");
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
    ReaderRun run(source.file("russian.hlp"));
    ASSERT_TRUE(run.d->opened);
    EXPECT_EQ(run.d->contents(run.d->topic_name).rfind("{\\rtf1\\ansi\\ansicpg1251", 0), 0u);
    EXPECT_NE(run.libreoffice.find(text), std::string::npos) << run.libreoffice;
    run.expect_read();
}

// A western file with German text, a Japanese one, one with Russian titles
// and western text, one with many tables, one with many pictures.
class CorpusReaders : public testing::TestWithParam<const char*> {};

TEST_P(CorpusReaders, TopicFileAndPicturesRead) {
    const fs::path file = fs::path(HLP_CORPUS_DIR) / GetParam();
    if (!fs::exists(file)) GTEST_SKIP() << "no " << file;
    REQUIRE_READERS();
    ReaderRun run(file.string());
    run.expect_read();
}

INSTANTIATE_TEST_SUITE_P(RealHelpFiles, CorpusReaders,
                         testing::Values("migalley__GERMAN_MIG.HLP", "migalley__JAPANESE_MIG.HLP",
                                         "freereport__FRUSER.HLP", "msvc6__SPYXX.HLP", "eudora__PureVoice.hlp"),
                         [](const testing::TestParamInfo<const char*>& info) {
                             std::string name = info.param;
                             return name.substr(0, name.find('.')).substr(name.find("__") + 2);
                         });

}  // namespace
