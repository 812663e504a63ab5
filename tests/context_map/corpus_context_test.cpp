// The context maps of the real help files, when the corpus is present:
// every |CONTEXT entry loads, [ALIAS] has one line per id beyond the first
// of its topic, and the map, guessing and keyword macros run to the end.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "helpfile_fixture.h"
#include "project/context_map.h"
#include "project/keyword_macros.h"
#include "project/system_file.h"

namespace {

struct Expected {
    std::string file;
    long context_ids = 0;
    long context_topic_offsets = 0;
};

std::vector<Expected> expected_counts() {
    std::vector<Expected> rows;
    for (const hlptest::ExpectedRow& row : hlptest::expected_rows(HLP_CORPUS_DIR))
        rows.push_back({row.file, row.count("context_ids"), row.count("context_topic_offsets")});
    if (rows.empty()) rows.push_back({});  // one case that skips
    return rows;
}

class CorpusContexts : public testing::TestWithParam<Expected> {};

long count_lines(const MemoryFile* f) {
    long lines = 0;
    for (uint32_t i = 0; i < f->length; ++i) lines += f->buffer[i] == '\n';
    return lines;
}

TEST_P(CorpusContexts, LoadsEveryIdAndWritesTheSections) {
    const Expected& row = GetParam();
    if (row.file.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    std::FILE* file = std::fopen((std::string(HLP_CORPUS_DIR) + "/" + row.file).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    MemoryFile* project = output_open("p.hpj", "wt");
    output_add(ctx.outputs, project);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    bool fatal = false;
    try {
        load_system_file(ctx, file);
        load_context_map(ctx, file);
        EXPECT_EQ(ctx.context_count, row.context_ids);
        std::set<int32_t> offsets;
        for (int32_t i = 0; i < ctx.context_count; ++i) offsets.insert(ctx.contexts[i].topic_offset);
        EXPECT_EQ(static_cast<long>(offsets.size()), row.context_topic_offsets);
        if (!ctx.old_format) guess_context_names(ctx, file);

        write_alias_section(ctx, project);
        long aliases = row.context_ids - row.context_topic_offsets;
        EXPECT_EQ(count_lines(project), aliases ? aliases + 2 : 0);  // header and closing blank line

        write_map_section(ctx, file, project);
        if (ctx.winhelp4) write_keyword_macros(ctx, file, project);
    } catch (const FatalError&) {
        fatal = true;
    }
    std::string err = testing::internal::GetCapturedStderr();
    testing::internal::GetCapturedStdout();
    std::fclose(file);
    EXPECT_FALSE(fatal) << err;
}

INSTANTIATE_TEST_SUITE_P(RealHelpFiles, CorpusContexts, testing::ValuesIn(expected_counts()),
                         [](const testing::TestParamInfo<Expected>& info) {
                             return hlptest::corpus_case_name(info.param.file, info.index);
                         });

}  // namespace
