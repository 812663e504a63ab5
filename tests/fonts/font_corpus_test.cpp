// The rich-text header of every real help file with a |FONT: its groups
// balance and its font table names each font of the file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "corpus_files.h"
#include "font_fixture.h"
#include "helpfile/container.h"
#include "topics/fonts.h"

namespace {

// Unescaped braces open and close groups. Only the document's own group
// stays open, for the topics that follow; no group closes it early.
bool braces_balance(const std::string& rtf) {
    long depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') ++i;
        else if (rtf[i] == '{') ++depth;
        else if (rtf[i] == '}' && --depth < 1) return false;
    }
    return depth == 1;
}

// The font names as the file stores them, read here without the decompiler.
std::vector<std::string> stored_names(std::FILE* file, long length) {
    std::vector<uint8_t> font(static_cast<size_t>(length));
    if (std::fread(font.data(), 1, font.size(), file) != font.size() || length < 8) return {};
    size_t count = hlptest::get_u16(font, 0), names_at = hlptest::get_u16(font, 4);
    size_t field = count ? (hlptest::get_u16(font, 6) - names_at) / count : 0;
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        std::string name(reinterpret_cast<const char*>(font.data() + names_at + i * field), field);
        name = name.substr(0, name.find('\0'));
        if (names_at >= 16) name = name.substr(0, name.find(','));
        names.push_back(name.empty() ? "Arial" : name);
    }
    return names;
}

TEST(FontCorpus, HeadersBalanceAndListTheFileFonts) {
    std::vector<std::string> files = hlptest::corpus_files(HLP_CORPUS_DIR);
    if (files.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    int with_fonts = 0;
    for (const std::string& path : files) {
        SCOPED_TRACE(path);
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        long length = 0;
        if (!find_internal_file(file, &length, "|FONT")) {
            std::fclose(file);
            continue;
        }
        ++with_fonts;
        std::vector<std::string> names = stored_names(file, length);
        ContextHolder holder;
        MemoryFile* topics = output_open("t.rtf", "wt");
        output_add(holder.ctx->outputs, topics);
        MemoryFile* project = output_open("t.hpj", "wt");
        output_add(holder.ctx->outputs, project);
        testing::internal::CaptureStderr();
        try {
            rtf_header_write(*holder.ctx, project, file, topics);
        } catch (const FatalError&) {
            ADD_FAILURE() << "fatal error";
        }
        std::string progress = testing::internal::GetCapturedStderr();
        std::fclose(file);
        std::string rtf(reinterpret_cast<const char*>(topics->buffer), topics->length);
        EXPECT_TRUE(braces_balance(rtf));
        EXPECT_EQ(rtf.rfind("{\\rtf1\\ansi\\ansicpg", 0), 0u);
        std::string table = font_table_of(rtf);
        for (size_t i = 0; i < names.size(); ++i) {
            std::string entry = "{\\f" + std::to_string(i) + "\\f";
            size_t at = table.find(entry);
            ASSERT_NE(at, std::string::npos) << "font " << i;
            EXPECT_EQ(table.substr(table.find(' ', at) + 1, names[i].size() + 2), names[i] + ";}");
        }
        EXPECT_NE(progress.find(std::to_string(names.size()) + " font names, "), std::string::npos) << progress;
    }
    EXPECT_GT(with_fonts, 0);
}

}  // namespace
