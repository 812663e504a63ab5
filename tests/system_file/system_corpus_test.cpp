// Every real help file of the corpus, when present: the TITLE lines of
// [OPTIONS] match the title records of its |SYSTEM, read here on their own.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "corpus_files.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/context_map.h"
#include "project/system_file.h"
#include "system_fixture.h"

namespace {

namespace fs = std::filesystem;

// The TITLE lines a |SYSTEM calls for, from its raw bytes.
std::vector<std::string> expected_titles(const std::string& system) {
    std::vector<std::string> titles;
    auto u16 = [&](size_t at) { return size_t(uint8_t(system[at]) | (uint8_t(system[at + 1]) << 8)); };
    if (u16(2) < 16) {
        std::string title = system.substr(12);
        title = title.substr(0, title.find('\0'));
        if (!title.empty() && title[0] != '\n') titles.push_back("TITLE=" + title);
        return titles;
    }
    if (u16(4) != 1) return titles;
    for (size_t at = 12; at + 4 <= system.size();) {
        size_t type = u16(at), length = u16(at + 2);
        if (at + 4 + length > system.size()) break;
        if (type == 1) {
            std::string title = system.substr(at + 4, length);
            title = title.substr(0, title.find('\0'));
            if (!title.empty()) titles.push_back("TITLE=" + title);
        }
        at += 4 + length;
    }
    return titles;
}

std::vector<std::string> title_lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string options = section(text, "[OPTIONS]");
    for (size_t at = 0; at < options.size();) {
        size_t end = options.find('\n', at);
        if (options.compare(at, 6, "TITLE=") == 0) lines.push_back(options.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

class SystemCorpus : public testing::TestWithParam<std::string> {};

TEST_P(SystemCorpus, TitleLinesMatchTheTitleRecords) {
    const std::string& path = GetParam();
    if (path.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    long length = 0;
    ASSERT_TRUE(find_internal_file(file, &length, "|SYSTEM"));
    std::string system(static_cast<size_t>(length), '\0');
    my_fread(length, file, system.data());

    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    std::string ext = fs::path(path).extension().string();
    ctx.mediaview = ext.size() == 4 && (ext[1] | 0x20) == 'm';
    MemoryFile* project = output_open("p.hpj", "wt");
    output_add(ctx.outputs, project);
    testing::internal::CaptureStderr();
    try {
        load_system_file(ctx, file);
        load_context_map(ctx, file);
        write_project_options(ctx, file, project, "p.ico");
        write_baggage(ctx, file, project);
    } catch (const FatalError&) {
        ADD_FAILURE() << "fatal error";
    }
    std::string messages = testing::internal::GetCapturedStderr();
    std::fclose(file);

    std::string text;
    for (uint32_t i = 0; i < project->length; ++i) {
        if (project->buffer[i] != '\r') text += char(project->buffer[i]);
    }
    EXPECT_EQ(title_lines(text), expected_titles(system)) << messages;
    EXPECT_EQ(text.rfind("[OPTIONS]\n", 0), 0u);
    EXPECT_STRNE(ctx.compiler_name, "");
    EXPECT_EQ(text.substr(text.size() - 2), "\n\n");
}

INSTANTIATE_TEST_SUITE_P(Files, SystemCorpus, testing::ValuesIn(hlptest::corpus_cases(HLP_CORPUS_DIR)),
                         [](const testing::TestParamInfo<std::string>& info) {
                             return hlptest::corpus_case_name(info.param, info.index);
                         });

}  // namespace
