// Every real help file of the corpus: all references of its keyword indexes
// come out as footnotes, each once.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "corpus_files.h"
#include "firstpass/keyword_footnotes.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "keywords_fixture.h"
#include "project/context_map.h"
#include "project/system_file.h"

namespace {

namespace fs = std::filesystem;

// The references of the flagged indexes: all of them, and those with a topic
// offset a footnote can have.
struct ReferenceCount {
    long all = 0;
    long writable = 0;
};

ReferenceCount count_references(DecompileContext& ctx, std::FILE* file) {
    ReferenceCount n;
    for (int kind = 0; kind < 2; ++kind) {
        for (int c = '0'; c <= 'z'; ++c) {
            if (!(kind ? ctx.keyword_index_letters : ctx.keyword_file_letters)[c]) continue;
            char data_name[16], tree_name[16];
            std::snprintf(data_name, sizeof data_name, kind ? "|%cKWDATA" : "|%cWDATA", c);
            std::snprintf(tree_name, sizeof tree_name, kind ? "|%cKWBTREE" : "|%cWBTREE", c);
            long data_length = 0, tree_length = 0;
            if (!find_internal_file(file, &data_length, data_name)) continue;
            std::vector<uint8_t> data(data_length);
            my_fread(data_length, file, data.data());
            if (!find_internal_file(file, &tree_length, tree_name)) continue;
            BTreeWalk walk;
            KeywordEntry entry;
            for (int count = btree_first_leaf(walk, file, nullptr, tree_length); count != 0;
                 count = btree_next_leaf(walk, file)) {
                for (int i = 0; i < count; ++i) {
                    read_keyword_entry(file, walk.data_end, entry);
                    long start = keyword_list_start(ctx, entry, data_length / 4);
                    for (long k = 0; k < entry.count; ++k) {
                        int32_t t = static_cast<int32_t>(get_le32(data.data() + 4 * (start + k)));
                        ++n.all;
                        if (t >= 0 && t < INT32_MAX) ++n.writable;
                    }
                }
            }
        }
    }
    return n;
}

TEST(KeywordCorpus, EveryReferenceIsWrittenOnce) {
    std::vector<std::string> files = hlptest::corpus_files(HLP_CORPUS_DIR);
    if (files.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    std::vector<hlptest::ExpectedRow> expected = hlptest::expected_rows(HLP_CORPUS_DIR);
    long corpus_written = 0;
    for (const std::string& path : files) {
        std::string name = fs::path(path).filename().string();
        SCOPED_TRACE(name);
        ContextHolder holder;
        DecompileContext& ctx = *holder.ctx;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        ReferenceCount references;
        MemoryFile* rtf = output_open("corpus.rtf", "wb");
        output_add(ctx.outputs, rtf);
        long written = 0;
        testing::internal::CaptureStderr();
        try {
            load_system_file(ctx, file);  // the index letters and the minor version
            references = count_references(ctx, file);
            for (int64_t t = 0;; t = t * 2 + 1) {
                int32_t at = static_cast<int32_t>(std::min<int64_t>(t, INT32_MAX - 1));
                uint32_t before = rtf->length;
                write_keyword_footnotes(ctx, rtf, file, at);
                written += written_keywords(std::string(reinterpret_cast<char*>(rtf->buffer) + before,
                                                        rtf->length - before)).size();
                if (at == INT32_MAX - 1) break;
            }
        } catch (const FatalError&) {
            ADD_FAILURE() << "fatal error";
        }
        testing::internal::GetCapturedStderr();
        std::fclose(file);
        EXPECT_EQ(written, references.writable);
        corpus_written += written;
        auto listed = std::find_if(expected.begin(), expected.end(), [&](const auto& row) { return row.file == name; });
        if (listed != expected.end()) {
            EXPECT_EQ(references.all, listed->count("K_references") + listed->count("other_index_references"));
        }
    }
    EXPECT_GT(corpus_written, 0) << "the corpus has keyword indexes";
}

}  // namespace
