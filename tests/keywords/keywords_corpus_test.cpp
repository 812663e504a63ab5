// Every real help file of the corpus: all references of its keyword indexes
// come out as footnotes, each once.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "firstpass/keyword_footnotes.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "keywords_fixture.h"
#include "plugin/decompile_context.h"
#include "project/context_map.h"
#include "project/system_file.h"

namespace {

namespace fs = std::filesystem;

std::vector<std::string> corpus_files() {
    std::vector<std::string> files;
    std::error_code error;
    if (!fs::is_directory(HLP_CORPUS_DIR, error)) return files;
    for (const auto& entry : fs::directory_iterator(HLP_CORPUS_DIR, error)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (entry.is_regular_file() && (ext == ".hlp" || ext == ".mvb")) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// K_references + other_index_references of EXPECTED.tsv, by file name.
std::map<std::string, long> expected_references() {
    std::map<std::string, long> counts;
    std::ifstream in(fs::path(HLP_CORPUS_DIR) / "EXPECTED.tsv");
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::vector<std::string> fields;
        std::stringstream split(line);
        for (std::string f; std::getline(split, f, '\t');) fields.push_back(f);
        if (fields.size() >= 10) counts[fields[0]] = std::stol(fields[8]) + std::stol(fields[9]);
    }
    return counts;
}

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
                    long start = keyword_list_start(entry, data_length / 4);
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
    std::vector<std::string> files = corpus_files();
    if (files.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    std::map<std::string, long> expected = expected_references();
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
        auto listed = expected.find(name);
        if (listed != expected.end()) {
            EXPECT_EQ(references.all, listed->second);
        }
    }
    EXPECT_GT(corpus_written, 0) << "the corpus has keyword indexes";
}

}  // namespace
