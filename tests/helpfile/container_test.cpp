// Internal files found through the directory B+ tree, and leaf-by-leaf walks
// over keyed internal files, on intact and damaged trees.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "helpfile_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::InternalFile;

std::string name_of(int i) {
    char name[16];
    std::snprintf(name, sizeof name, "|f%05d", i);
    return name;
}

std::vector<InternalFile> numbered_files(int count) {
    std::vector<InternalFile> files;
    for (int i = 0; i < count; ++i) files.push_back({name_of(i), hlptest::bytes_of("data of " + name_of(i))});
    return files;
}

// Looks a name up and returns its data, or "absent".
std::string lookup(std::FILE* f, const char* name) {
    long length = -1;
    if (!find_internal_file(f, &length, name)) return "absent";
    std::string data(static_cast<size_t>(length), '\0');
    my_fread(length, f, data.data());
    return data;
}

TEST(Container, ShortFilesAndWrongMagic) {
    OpenBytes tiny(Bytes(10, 0x3F));
    EXPECT_EQ(fatal_output([&] { find_internal_file(tiny.file, nullptr, "|SYSTEM"); }),
              "\nmy_fread(16) at 10 failed");
    Bytes other(16, 0);
    other[0] = 0x4D;
    other[1] = 0x5A;
    OpenBytes not_help(other);
    EXPECT_FALSE(find_internal_file(not_help.file, nullptr, nullptr));
    EXPECT_FALSE(find_internal_file(not_help.file, nullptr, "|SYSTEM"));
}

TEST(Container, SingleLeafDirectory) {
    OpenBytes f(hlptest::build_help_file({{"|SYSTEM", hlptest::bytes_of("sys")},
                                          {"|TOPIC", hlptest::bytes_of("topics")},
                                          {"|bm0", Bytes{}}}));
    EXPECT_EQ(lookup(f.file, "|SYSTEM"), "sys");
    EXPECT_EQ(lookup(f.file, "|TOPIC"), "topics");
    EXPECT_EQ(lookup(f.file, "|bm0"), "");
    EXPECT_EQ(lookup(f.file, "|system"), "absent");  // names keep their case
    EXPECT_EQ(lookup(f.file, "|SYSTEMX"), "absent");
    long length = 0;
    ASSERT_TRUE(find_internal_file(f.file, &length, nullptr));
    EXPECT_GT(length, 38);  // the directory's own tree
}

TEST(Container, DeepDirectoriesFindEveryName) {
    hlptest::HelpFileOptions options;
    options.directory_page_size = 64;  // a few names per page forces index levels
    OpenBytes f(hlptest::build_help_file(numbered_files(400), options));
    for (int i = 0; i < 400; i += 7) EXPECT_EQ(lookup(f.file, name_of(i).c_str()), "data of " + name_of(i));
    EXPECT_EQ(lookup(f.file, name_of(399).c_str()), "data of " + name_of(399));
    EXPECT_EQ(lookup(f.file, "|a"), "absent");       // before the first
    EXPECT_EQ(lookup(f.file, "|f00012x"), "absent");  // between two
    EXPECT_EQ(lookup(f.file, "|zzz"), "absent");     // after the last

    // The directory can be walked leaf by leaf like any tree.
    long length = 0;
    ASSERT_TRUE(find_internal_file(f.file, &length, nullptr));
    BTreeWalk walk{};
    long total = 0;
    int leaves = 0, seen = 0;
    for (int n = btree_first_leaf(walk, f.file, &total, length); n; n = btree_next_leaf(walk, f.file)) {
        ++leaves;
        for (int i = 0; i < n; ++i) {
            char name[19];
            read_cstring(name, f.file, sizeof name);
            read_dword(f.file);
            EXPECT_EQ(name, name_of(seen++));
        }
    }
    EXPECT_EQ(total, 400);
    EXPECT_EQ(seen, 400);
    EXPECT_GT(leaves, 10);
}

TEST(Container, OverlongNamesInTheDirectoryAreFatal) {
    OpenBytes f(hlptest::build_help_file({{"|A", Bytes{1}}, {"|ABCDEFGHIJKLMNOPQRS", Bytes{2}}}));
    EXPECT_EQ(fatal_output([&] { find_internal_file(f.file, nullptr, "|B"); }),
              "String length exceeds decompiler limit.\n");
}

// A keyed tree with 4-byte keys and 4-byte values, as a help file's only file.
struct KeyedTree {
    Bytes tree;
    explicit KeyedTree(int count, uint16_t page_size = 64) {
        std::vector<hlptest::BTreeEntry> entries;
        for (int i = 0; i < count; ++i) {
            hlptest::ByteWriter key, value;
            key.u32(static_cast<uint32_t>(i * 3));
            value.u32(static_cast<uint32_t>(i));
            entries.push_back({key.take(), value.take()});
        }
        hlptest::BTreeOptions options;
        options.page_size = page_size;
        options.structure = "L4";
        tree = hlptest::build_btree(entries, options);
    }
    int16_t level_count() const { return static_cast<int16_t>(hlptest::get_u16(tree, hlptest::btree_field::level_count)); }
    // Page number of the last leaf, following the chain from page 0.
    int last_leaf() const {
        int page = 0;
        for (;;) {
            int16_t next = static_cast<int16_t>(
                hlptest::get_u16(tree, hlptest::btree_page_offset(tree, page) + hlptest::btree_field::leaf_next));
            if (next == -1) return page;
            page = next;
        }
    }
};

// Walks the tree stored as |TREE and returns the values in walk order.
std::vector<uint32_t> walk_values(const Bytes& tree, long* total = nullptr) {
    OpenBytes f(hlptest::build_help_file({{"|TREE", tree}}));
    long length = 0;
    EXPECT_TRUE(find_internal_file(f.file, &length, "|TREE"));
    BTreeWalk walk{};
    std::vector<uint32_t> values;
    for (int n = btree_first_leaf(walk, f.file, total, length); n; n = btree_next_leaf(walk, f.file)) {
        for (int i = 0; i < n; ++i) {
            read_dword(f.file);
            values.push_back(read_dword(f.file));
        }
    }
    return values;
}

TEST(BTreeWalk, ThreeLevelsAreWalkedInKeyOrder) {
    KeyedTree t(500);
    ASSERT_GE(t.level_count(), 3);
    long total = 0;
    std::vector<uint32_t> values = walk_values(t.tree, &total);
    EXPECT_EQ(total, 500);
    ASSERT_EQ(values.size(), 500u);
    for (uint32_t i = 0; i < 500; ++i) EXPECT_EQ(values[i], i);
}

TEST(BTreeWalk, EmptyTreeYieldsNothing) {
    long total = -1;
    EXPECT_TRUE(walk_values(KeyedTree(0).tree, &total).empty());
    EXPECT_EQ(total, 0);
}

TEST(BTreeWalk, DamagedTreesEndWithAFatalErrorInsteadOfHanging) {
    KeyedTree looped(200);
    hlptest::put_u16(looped.tree, hlptest::btree_page_offset(looped.tree, looped.last_leaf()) + hlptest::btree_field::leaf_next, 0);
    EXPECT_EQ(fatal_output([&] { walk_values(looped.tree); }), "\nB+ tree leaf chain loops.\n");

    KeyedTree far_root(200);
    hlptest::put_u16(far_root.tree, hlptest::btree_field::root_page, 999);
    EXPECT_EQ(fatal_output([&] { walk_values(far_root.tree); }), "\nB+ tree page 999 lies outside its internal file.\n");

    KeyedTree far_leaf(200);
    hlptest::put_u16(far_leaf.tree, hlptest::btree_page_offset(far_leaf.tree, 0) + hlptest::btree_field::leaf_next, 0x7000);
    EXPECT_NE(fatal_output([&] { walk_values(far_leaf.tree); }).find("lies outside"), std::string::npos);

    KeyedTree deep(200);
    hlptest::put_u16(deep.tree, hlptest::btree_field::level_count, 30000);
    EXPECT_EQ(fatal_output([&] { walk_values(deep.tree); }), "\nB+ tree with 30000 levels.\n");
}

// An internal file claiming gigabytes once let a looping leaf chain run for
// hundreds of millions of hops before it was called a loop: the walk's end
// (and so its leaf budget) stops at the end of the help file.
TEST(BTreeWalk, ClaimedLengthBeyondTheFileDoesNotStretchTheWalk) {
    KeyedTree looped(200);
    hlptest::put_u16(looped.tree, hlptest::btree_page_offset(looped.tree, looped.last_leaf()) + hlptest::btree_field::leaf_next, 0);
    Bytes help = hlptest::build_help_file({{"|TREE", looped.tree}});
    hlptest::put_u32(help, 16 + 4, 0x7FFFFFF0);  // used space of the first internal file
    OpenBytes f(help);
    long length = 0;
    ASSERT_TRUE(find_internal_file(f.file, &length, "|TREE"));
    EXPECT_EQ(length, 0x7FFFFFF0);
    BTreeWalk walk{};
    EXPECT_GT(btree_first_leaf(walk, f.file, nullptr, length), 0);
    EXPECT_LE(walk.data_end, static_cast<long>(help.size()));
    EXPECT_LE(walk.leaves_left, static_cast<long>(help.size()) / 64 + 1);
    EXPECT_EQ(fatal_output([&] {
                  while (btree_next_leaf(walk, f.file)) {
                  }
              }),
              "\nB+ tree leaf chain loops.\n");
}

TEST(Container, DamagedDirectoriesAreFatal) {
    hlptest::HelpFileOptions options;
    options.directory_page_size = 64;
    Bytes file = hlptest::build_help_file(numbered_files(100), options);
    uint32_t directory = hlptest::get_u32(file, 4);
    size_t tree = directory + 9;
    Bytes far_root = file;
    hlptest::put_u16(far_root, tree + hlptest::btree_field::root_page, 0x4000);
    OpenBytes f1(far_root);
    EXPECT_NE(fatal_output([&] { find_internal_file(f1.file, nullptr, "|f00050"); }).find("outside"), std::string::npos);
    Bytes truncated(file.begin(), file.begin() + directory + 20);
    OpenBytes f2(truncated);
    EXPECT_NE(fatal_output([&] { find_internal_file(f2.file, nullptr, "|f00050"); }).find("my_fread(38)"), std::string::npos);
}

// A directory claiming gigabytes whose only leaf claims 32767 entries, with
// the file ending after the first: every lookup once read on at the end of
// the file 32767 times, for each of the hundred names a decompile looks up.
// A leaf or index page without room for the entries it claims is fatal.
TEST(Container, DirectoryPagesClaimingMoreEntriesThanTheyHoldAreFatal) {
    Bytes file = hlptest::build_help_file({{"|SYSTEM", hlptest::bytes_of("sys")}});
    uint32_t directory = hlptest::get_u32(file, 4);
    size_t leaf = directory + 9 + hlptest::btree_field::header_size;  // page 0, the root
    Bytes claiming = file;
    hlptest::put_u32(claiming, directory + 4, 0xFFFFFF2F);  // the directory's used space
    hlptest::put_u16(claiming, leaf + hlptest::btree_field::page_entry_count, 0x7FFF);
    claiming.resize(leaf + hlptest::btree_field::leaf_header_size + 12);  // "|SYSTEM", NUL and its offset
    OpenBytes f(claiming);
    EXPECT_EQ(fatal_output([&] { find_internal_file(f.file, nullptr, "|bm0"); }),
              "\nB+ tree entries run past their internal file.\n");

    hlptest::HelpFileOptions options;
    options.directory_page_size = 64;
    Bytes deep = hlptest::build_help_file(numbered_files(100), options);
    size_t root = hlptest::get_u32(deep, 4) + 9;
    root += hlptest::btree_page_offset(Bytes(deep.begin() + static_cast<long>(root), deep.end()),
                                       hlptest::get_u16(deep, root + hlptest::btree_field::root_page));
    hlptest::put_u16(deep, root + hlptest::btree_field::page_entry_count, 20);  // 20 x 3 bytes > 58
    OpenBytes d(deep);
    EXPECT_EQ(fatal_output([&] { find_internal_file(d.file, nullptr, "|f00050"); }),
              "\nB+ tree entries run past their internal file.\n");
    // As many entries as the smallest entries would fit is not refused.
    hlptest::put_u16(deep, root + hlptest::btree_field::page_entry_count, 3);
    OpenBytes fits(deep);
    EXPECT_NE(lookup(fits.file, "|f00001"), "absent");
}

// A leaf cannot hold more entries than its page has bytes.
TEST(BTreeWalk, LeafWithMoreEntriesThanItsPageHasBytesIsFatal) {
    KeyedTree tree(10);
    hlptest::put_u16(tree.tree, hlptest::btree_page_offset(tree.tree, 0) + hlptest::btree_field::page_entry_count,
                     64 - 8 + 1);
    EXPECT_EQ(fatal_output([&] { walk_values(tree.tree); }), "\nB+ tree leaf with 57 entries.\n");
    KeyedTree full(5);
    ASSERT_EQ(full.level_count(), 1);
    hlptest::put_u16(full.tree, hlptest::btree_page_offset(full.tree, 0) + hlptest::btree_field::page_entry_count,
                     64 - 8);
    OpenBytes f(hlptest::build_help_file({{"|TREE", full.tree}}));
    long length = 0;
    ASSERT_TRUE(find_internal_file(f.file, &length, "|TREE"));
    BTreeWalk walk{};
    EXPECT_EQ(btree_first_leaf(walk, f.file, nullptr, length), 56);
}

}  // namespace
