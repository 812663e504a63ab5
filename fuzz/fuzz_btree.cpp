// The B+ tree walk. Input: a mode byte, then the data. Mode bit 0 clear:
// the data is a help file; its directory is walked leaf by leaf as the
// picture export does, then a few names are looked up. Mode bit 0 set: the
// data is one tree of 8-byte entries (as |CONTEXT) walked as the context
// map loads it.
#include <cstdint>
#include <cstring>

#include "fuzz_support.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"

namespace {

constexpr long directory_name_limit = 19;

void walk_directory(std::FILE* file) {
    long directory_length = 0;
    if (!find_internal_file(file, &directory_length, nullptr)) return;
    BTreeWalk walk{};
    walk.next_page = -1;
    long total = 0;
    for (int count = btree_first_leaf(walk, file, &total, directory_length); count;
         count = btree_next_leaf(walk, file)) {
        for (int i = 0; i < count; ++i) {
            char entry[directory_name_limit];
            read_cstring(entry, file, directory_name_limit);
            read_dword(file);
            if (std::ftell(file) > walk.data_end) fatal_error("B+ tree entries run past their internal file.\n");
        }
    }
}

void look_up_names(std::FILE* file) {
    static const char* const names[] = {"|SYSTEM", "|TOPIC", "|CONTEXT", "|Phrases", "|bm0", "~"};
    for (const char* name : names) {
        long length = 0;
        find_internal_file(file, &length, name);
    }
}

void walk_tree(std::FILE* file, long length) {
    BTreeWalk walk{};
    walk.next_page = -1;
    long total = 0;
    for (int count = btree_first_leaf(walk, file, &total, length); count; count = btree_next_leaf(walk, file)) {
        if (count < 0) fatal_error("negative count");
        if (std::ftell(file) + count * 8L > walk.data_end) fatal_error("entries past the tree");
        uint8_t entry[8];
        for (int i = 0; i < count; ++i) my_fread(8, file, entry);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    uint8_t mode = data[0];
    MemoryStream stream(data + 1, size - 1);
    try {
        if (mode & 1) {
            walk_tree(stream.file, static_cast<long>(size - 1));
        } else {
            try {
                walk_directory(stream.file);
            } catch (const FatalError&) {
            }
            look_up_names(stream.file);
        }
    } catch (const FatalError&) {
    }
    return 0;
}
