// Real help files, when present beside the project: every topic becomes a
// page with its title, the context footnotes stay within what |CONTEXT
// holds, and the rich text's groups balance.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "corpus_files.h"
#include "firstpass/first_pass.h"
#include "firstpass/pictures.h"
#include "project/context_map.h"
#include "project/system_file.h"
#include "render/render_topics.h"
#include "rtf_fixture.h"
#include "topics/fonts.h"
#include "topics/phrases.h"

namespace {

namespace fs = std::filesystem;

long expected(const std::string& file, const std::string& column) {
    return hlptest::expected_count(HLP_CORPUS_DIR, file, column);
}

long occurrences(const std::string& text, const std::string& what) {
    long n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// Braces outside control symbols pair up and never close more than opened.
bool groups_balance(const std::string& rtf) {
    long depth = 0;
    for (size_t i = 0; i < rtf.size(); ++i) {
        if (rtf[i] == '\\') ++i;
        else if (rtf[i] == '{') ++depth;
        else if (rtf[i] == '}' && --depth < 0) return false;
    }
    return depth == 0;
}

class CorpusRtf : public testing::TestWithParam<std::string> {};

TEST_P(CorpusRtf, EveryTopicIsAPageWithItsTitle) {
    const std::string& path = GetParam();
    if (path.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    if (hlptest::corpus_copy_damaged(path)) GTEST_SKIP() << "a damaged copy: tests/corpus opens it";
    const std::string name = fs::path(path).filename().string();
    const long topic_headers = expected(name, "topic_headers");
    const long titles = expected(name, "nonempty_titles");
    const long context_offsets = expected(name, "context_topic_offsets");
    if (topic_headers < 0) GTEST_SKIP() << name << " has no expected counts";

    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    MemoryFile* rtf = output_open("corpus.rtf", "wb");
    output_add(ctx.outputs, rtf);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    bool fatal = false;
    try {
        load_system_file(ctx, file);
        load_context_map(ctx, file);
        phrase_table_load(ctx, file);
        export_bitmap_files(ctx, file);
        first_pass(ctx, file);
        rtf_header_write(ctx, nullptr, file, rtf);
        output_puts("}", topic_to_rtf(ctx, file, rtf));
    } catch (const FatalError&) {
        fatal = true;
    }
    testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    std::fclose(file);
    ASSERT_FALSE(fatal) << name << ": " << err.substr(err.size() > 300 ? err.size() - 300 : 0);

    const std::string text = file_text(rtf);
    EXPECT_EQ(occurrences(text, "\\page\n") + 1, topic_headers) << name;
    EXPECT_EQ(occurrences(text, "{\\up $}{\\footnote"), titles) << name;
    const long context_footnotes = occurrences(text, "{\\up #}{\\footnote");
    if (ctx.old_format) EXPECT_EQ(context_footnotes, topic_headers) << name;  // TOPICnn
    else EXPECT_LE(context_footnotes, context_offsets) << name;
    EXPECT_TRUE(groups_balance(text)) << name;
}

INSTANTIATE_TEST_SUITE_P(Files, CorpusRtf, testing::ValuesIn(hlptest::corpus_cases(HLP_CORPUS_DIR)),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return hlptest::corpus_case_name(info.param, info.index);
                         });

}  // namespace
