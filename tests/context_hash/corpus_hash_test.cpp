// Every context id of every real help file in the corpus, when it is
// present beside the project, gets a name that hashes back to it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "context_fixture.h"
#include "corpus_files.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

namespace {

// The hashes of the |CONTEXT tree's leaf entries (hash, topic offset).
std::vector<uint32_t> context_hashes(std::FILE* file) {
    std::vector<uint32_t> hashes;
    long length = 0;
    if (!find_internal_file(file, &length, "|CONTEXT")) return hashes;
    BTreeWalk walk{};
    long total = 0;
    for (int n = btree_first_leaf(walk, file, &total, length); n; n = btree_next_leaf(walk, file)) {
        for (int i = 0; i < n; ++i) {
            uint8_t entry[8];
            my_fread(8, file, entry);
            hashes.push_back(get_le32(entry));
        }
    }
    EXPECT_EQ(static_cast<long>(hashes.size()), total);
    return hashes;
}

TEST(CorpusContextIds, EveryHashHasANameThatHashesBack) {
    std::vector<std::string> files = hlptest::corpus_files(HLP_CORPUS_DIR);
    if (files.empty()) GTEST_SKIP() << "no corpus at " << HLP_CORPUS_DIR;
    long checked = 0;
    for (const std::string& path : files) {
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr) << path;
        std::vector<uint32_t> hashes;
        try {
            hashes = context_hashes(file);
        } catch (const FatalError&) {
            ADD_FAILURE() << "unreadable |CONTEXT in " << path;
        }
        std::fclose(file);
        ContextHolder h;
        for (uint32_t hash : hashes) {
            const char* name = unhash(*h.ctx, hash);
            ASSERT_EQ(context_hash(name), hash) << path << ": " << name;
            // A name learned for the hash is what unhash answers from then on.
            add_context_name(*h.ctx, name, true);
            ASSERT_STREQ(unhash(*h.ctx, hash), name) << path;
        }
        checked += static_cast<long>(hashes.size());
    }
    EXPECT_GT(checked, 0);
}

}  // namespace
