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

std::string damage_text(const DecompileContext& ctx);

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

// The same damage with salvage on: every leaf that can be read is used once,
// broken pages are skipped, loops end, and each break is noted.
std::vector<uint32_t> salvaged_values(const Bytes& tree, DecompileContext& ctx) {
    OpenBytes f(hlptest::build_help_file({{"|TREE", tree}}));
    long length = 0;
    // Found through the directory as it is: the tree's own damage is what
    // the walk is to meet.
    EXPECT_TRUE(find_internal_file(f.file, &length, "|TREE"));
    BTreeWalk walk{};
    std::vector<uint32_t> values;
    testing::internal::CaptureStderr();
    for (int n = btree_first_leaf(ctx, walk, f.file, nullptr, length, "|TREE"); n; n = btree_next_leaf(ctx, walk, f.file)) {
        for (int i = 0; i < n; ++i) {
            read_dword(f.file);
            values.push_back(read_dword(f.file));
        }
    }
    testing::internal::GetCapturedStderr();
    return values;
}

std::vector<uint32_t> counting(uint32_t from, uint32_t to) {
    std::vector<uint32_t> values;
    for (uint32_t i = from; i < to; ++i) values.push_back(i);
    return values;
}

TEST(BTreeWalk, SalvageUsesEveryReadableLeafOnce) {
    const uint16_t page = 256;  // 31 entries a leaf, one index page
    ASSERT_EQ(KeyedTree(200, page).level_count(), 2);
    ContextHolder h;
    h.ctx->salvage = true;

    KeyedTree looped(200, page);
    hlptest::put_u16(looped.tree, hlptest::btree_page_offset(looped.tree, looped.last_leaf()) + hlptest::btree_field::leaf_next, 0);
    EXPECT_EQ(salvaged_values(looped.tree, *h.ctx), counting(0, 200));

    KeyedTree far_leaf(200, page);
    hlptest::put_u16(far_leaf.tree, hlptest::btree_page_offset(far_leaf.tree, 0) + hlptest::btree_field::leaf_next, 0x7000);
    EXPECT_EQ(salvaged_values(far_leaf.tree, *h.ctx), counting(0, 200));

    KeyedTree far_root(200, page);
    hlptest::put_u16(far_root.tree, hlptest::btree_field::root_page, 999);
    EXPECT_EQ(salvaged_values(far_root.tree, *h.ctx), counting(0, 200));

    // A leaf claiming more entries than its page holds is skipped.
    KeyedTree garbled(200, page);
    hlptest::put_u16(garbled.tree, hlptest::btree_page_offset(garbled.tree, 2) + hlptest::btree_field::page_entry_count, 0x7FFF);
    std::vector<uint32_t> expected = counting(0, 62);
    for (uint32_t i = 93; i < 200; ++i) expected.push_back(i);
    EXPECT_EQ(salvaged_values(garbled.tree, *h.ctx), expected);

    // A damaged header: the leaves are found by their headers, at the page
    // size the header gives, or (zeroed) the one where they link up; the
    // index page among them is left out.
    KeyedTree deep(200, page);
    hlptest::put_u16(deep.tree, hlptest::btree_field::level_count, 30000);
    EXPECT_EQ(salvaged_values(deep.tree, *h.ctx), counting(0, 200));
    KeyedTree zeroed(2000, 1024);
    ASSERT_EQ(zeroed.level_count(), 2);
    std::fill_n(zeroed.tree.begin(), 38, 0);
    EXPECT_EQ(salvaged_values(zeroed.tree, *h.ctx), counting(0, 2000));
    std::fill_n(zeroed.tree.begin(), zeroed.tree.size(), 0);
    EXPECT_TRUE(salvaged_values(zeroed.tree, *h.ctx).empty());

    const std::string report = damage_text(*h.ctx);
    EXPECT_NE(report.find("|TREE: B+ tree leaf chain broken at page 0"), std::string::npos) << report;
    EXPECT_NE(report.find("B+ tree leaf page 2 damaged; skipped"), std::string::npos) << report;
    EXPECT_NE(report.find("|TREE at offset 0: B+ tree header damaged; its leaves are taken by their headers, in pages of "
                          "256 bytes"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("in pages of 1024 bytes"), std::string::npos) << report;
    EXPECT_NE(report.find("|TREE at offset 0: B+ tree header damaged; the tree is empty"), std::string::npos) << report;
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

// ---------------------------------------------------------------- salvage

namespace {

// The losses noted so far, one per line (LF).
std::string damage_text(const DecompileContext& ctx) {
    if (ctx.damage_log.head == nullptr) return "";
    const MemoryFile* log = ctx.damage_log.head->file;
    std::string text(reinterpret_cast<const char*>(log->buffer), log->length);
    std::string lines;
    for (char c : text) {
        if (c != '\r') lines += c;
    }
    return lines;
}

std::string salvaged_lookup(DecompileContext& ctx, std::FILE* f, const char* name) {
    long length = -1;
    if (!find_internal_file(ctx, f, &length, name)) return "absent";
    std::string data(static_cast<size_t>(length), '\0');
    my_fread(length, f, data.data());
    return data;
}

Bytes system_bytes() { return hlptest::build_system_file(21, 0, {hlptest::system_string_record(1, "Title")}); }

// A |TOPIC whose first block header points at its first record.
Bytes topic_bytes() {
    Bytes topic(200, 0x42);
    hlptest::put_u32(topic, 0, 0xFFFFFFFF);
    hlptest::put_u32(topic, 4, 12);
    hlptest::put_u32(topic, 8, 0xFFFFFFFF);
    return topic;
}

Bytes picture_bytes() {
    Bytes picture(300, 0x11);
    hlptest::put_u32(picture, 0, 0x0001'506C);  // 'l', 'P', 1, 0
    hlptest::put_u32(picture, 4, 8);
    return picture;
}

}  // namespace

TEST(Salvage, TruncatedFileLosesTheDirectoryWhichIsRebuiltFromTheHeaders) {
    Bytes file = hlptest::build_help_file({{"|SYSTEM", system_bytes()},
                                           {"notes.txt", hlptest::bytes_of("baggage")},
                                           {"|TOPIC", topic_bytes()},
                                           {"|bm7", picture_bytes()}});
    const uint32_t directory = hlptest::get_u32(file, 4);
    file.resize(directory - 100);  // the directory and the picture's last 100 bytes
    OpenBytes f(file);
    // Without salvage the lost directory ends the decompile, as it always did.
    EXPECT_NE(fatal_output([&] { find_internal_file(f.file, nullptr, "|SYSTEM"); }).find("my_fread(9)"),
              std::string::npos);

    ContextHolder h;
    h.ctx->salvage = true;
    testing::internal::CaptureStderr();
    const Bytes sys = system_bytes();
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|SYSTEM"), std::string(sys.begin(), sys.end()));
    testing::internal::GetCapturedStderr();
    const Bytes topic = topic_bytes();
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|TOPIC"), std::string(topic.begin(), topic.end()));
    // The picture's name is lost: it gets the first free number, cut short.
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|bm0").size(), 200u);
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|bm7"), "absent");
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "notes.txt"), "absent");  // its content does not tell
    EXPECT_EQ(h.ctx->directory_state, 2);
    EXPECT_EQ(h.ctx->renumbered_pictures, 1);
    EXPECT_TRUE(h.ctx->had_problems);
    const std::string report = damage_text(*h.ctx);
    EXPECT_NE(report.find("picture found without its name, exported as bm0"), std::string::npos) << report;
    EXPECT_NE(report.find("|bm0 at offset 200: cut short by the end of the help file: 200 of 300 bytes remain"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("1 internal files found whose content does not tell their name"), std::string::npos)
        << report;
}

TEST(Salvage, IntactDirectoryCutsLengthsToTheFileAndEntriesPastItsEndAreDropped) {
    Bytes file = hlptest::build_help_file({{"|SYSTEM", system_bytes()}, {"|TOPIC", topic_bytes()}});
    OpenBytes intact(file);
    // Salvage changes nothing in an intact file.
    ContextHolder clean;
    clean.ctx->salvage = true;
    EXPECT_EQ(salvaged_lookup(*clean.ctx, intact.file, "|TOPIC"), lookup(intact.file, "|TOPIC"));
    EXPECT_EQ(clean.ctx->directory_state, 1);
    EXPECT_EQ(damage_text(*clean.ctx), "");

    // |TOPIC claims more than the file holds.
    long length = 0;
    ASSERT_TRUE(find_internal_file(intact.file, &length, "|TOPIC"));
    const long topic_header = std::ftell(intact.file) - 9;
    hlptest::put_u32(file, static_cast<size_t>(topic_header) + 4, 0x7FFFFFF0);
    OpenBytes claiming(file);
    ASSERT_TRUE(find_internal_file(claiming.file, &length, "|TOPIC"));
    EXPECT_EQ(length, 0x7FFFFFF0);  // unchanged without salvage
    ContextHolder h;
    h.ctx->salvage = true;
    testing::internal::CaptureStderr();
    ASSERT_TRUE(find_internal_file(*h.ctx, claiming.file, &length, "|TOPIC"));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("cut short"), std::string::npos);
    EXPECT_EQ(length, static_cast<long>(file.size()) - topic_header - 9);

    // |SYSTEM's directory entry points past the end.
    const uint32_t directory = hlptest::get_u32(file, 4);
    const size_t entry = std::string(file.begin() + directory, file.end()).find(std::string("|SYSTEM\0", 8));
    ASSERT_NE(entry, std::string::npos);
    hlptest::put_u32(file, directory + entry + 8, 0x00FFFFFF);
    OpenBytes past(file);
    ContextHolder p;
    p.ctx->salvage = true;
    testing::internal::CaptureStderr();
    // The entry is dropped, and the directory is then damaged: |SYSTEM is
    // found again by its content.
    const Bytes sys = system_bytes();
    EXPECT_EQ(salvaged_lookup(*p.ctx, past.file, "|SYSTEM"), std::string(sys.begin(), sys.end()));
    testing::internal::GetCapturedStderr();
    const std::string report = damage_text(*p.ctx);
    EXPECT_NE(report.find("|SYSTEM: starts at 16777215, past the end of the help file; absent"), std::string::npos)
        << report;
    EXPECT_NE(report.find("|SYSTEM found by its content"), std::string::npos) << report;
}

TEST(Salvage, GarbledDirectoryPageIsRebuiltAndNamesWhatTheDirectoryStillHolds) {
    hlptest::HelpFileOptions options;
    options.directory_page_size = 64;
    std::vector<InternalFile> files = numbered_files(30);
    files.push_back({"|SYSTEM", system_bytes()});
    files.push_back({"|TOPIC", topic_bytes()});
    Bytes file = hlptest::build_help_file(files, options);
    const uint32_t directory = hlptest::get_u32(file, 4);
    const size_t tree = directory + 9;
    // The last leaf page, which names |f00029 among others: garbage.
    const size_t pages = tree + hlptest::btree_field::header_size;
    const size_t named = std::string(file.begin() + static_cast<long>(pages), file.end()).find("|f00029");
    ASSERT_NE(named, std::string::npos);
    const size_t page = pages + named / 64 * 64;
    for (size_t i = 0; i < 64; ++i) file[page + i] = static_cast<uint8_t>(0xA5 ^ i);
    OpenBytes f(file);
    ContextHolder h;
    h.ctx->salvage = true;
    testing::internal::CaptureStderr();
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|f00000"), "data of |f00000");
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|f00025"), "data of |f00025");
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|f00029"), "absent");
    const Bytes topic = topic_bytes();
    EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|TOPIC"), std::string(topic.begin(), topic.end()));
    EXPECT_EQ(h.ctx->directory_state, 2);
    EXPECT_NE(damage_text(*h.ctx).find("directory: damaged or cut off; 28 internal files read from it"),
              std::string::npos)
        << damage_text(*h.ctx);
}

TEST(Salvage, DamagedHeadersAndNamesCostOnlyWhatTheyHold) {
    const Bytes sys = system_bytes(), topic = topic_bytes(), picture = picture_bytes();
    const Bytes built = hlptest::build_help_file(
        {{"notes.txt", hlptest::bytes_of("baggage!!")}, {"|SYSTEM", sys}, {"|TOPIC", topic}, {"|bm7", picture}});
    const uint32_t directory = hlptest::get_u32(built, 4);
    const std::string image(built.begin(), built.end());
    const size_t topic_at = image.find(std::string(topic.begin(), topic.end())) - 9;
    const size_t picture_at = image.find(std::string(picture.begin(), picture.end())) - 9;
    // What is damaged, and what the report says; notes.txt is named only by
    // the directory, whose leaf is lost in the last case alone.
    const std::vector<std::pair<std::function<void(Bytes&)>, const char*>> cases = {
        {[&](Bytes& f) { f[directory + 9 + 26] ^= 0x40; }, "leaf chain broken"},  // the root page number
        {[&](Bytes& f) { std::fill_n(f.begin() + long(topic_at), 9, 0); },
         "|TOPIC: its own header is damaged; its length (200 bytes)"},
        {[&](Bytes& f) { f[image.rfind("|TOPIC") + 5] ^= 0x20; }, "the name of |TOPIC came out as \"|TOPIc\""},
        // The first file's header zeroed, and its data a header leading past |SYSTEM.
        {[&](Bytes& f) {
             std::fill_n(f.begin() + directory + 9 + hlptest::btree_field::header_size, 64, 0);
             std::fill_n(f.begin() + 16, 9 + 9, 0);
             hlptest::put_u32(f, 25, uint32_t(picture_at - 25));
         },
         "|SYSTEM found by its content"},
    };
    for (const auto& [damage, noted] : cases) {
        SCOPED_TRACE(noted);
        Bytes file = built;
        damage(file);
        OpenBytes f(file);
        ContextHolder h;
        h.ctx->salvage = true;
        testing::internal::CaptureStderr();
        EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|SYSTEM"), std::string(sys.begin(), sys.end()));
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "|TOPIC"), std::string(topic.begin(), topic.end()));
        EXPECT_EQ(salvaged_lookup(*h.ctx, f.file, "notes.txt"), &damage == &cases.back().first ? "absent" : "baggage!!");
        EXPECT_NE(damage_text(*h.ctx).find(noted), std::string::npos) << damage_text(*h.ctx);
    }
}

TEST(Salvage, TopicFileWhoseFirstBlockLostItsStartIsFoundByTheNextBlocks) {
    // Two 4 KB blocks: the first one's start zeroed (a lost sector), the
    // second one's header as a compiler writes it. The directory is lost.
    Bytes topic(4096 + 300, 0x42);
    hlptest::put_u32(topic, 4096, 0x19AA);      // the last record link before the block
    hlptest::put_u32(topic, 4096 + 4, 0x400C);  // the block's first record link
    hlptest::put_u32(topic, 4096 + 8, 0x06E7);  // the last topic header before the block
    std::fill_n(topic.begin(), 64, 0);
    Bytes unrelated(4096 + 300, 0x42);  // the same bytes with no header past the first block
    std::fill_n(unrelated.begin(), 64, 0);
    for (const bool headed : {true, false}) {
        SCOPED_TRACE(headed ? "with the second block's header" : "without");
        const Bytes& data = headed ? topic : unrelated;
        Bytes file = hlptest::build_help_file({{"|SYSTEM", system_bytes()}, {"|TOPIC", data}});
        const uint32_t directory = hlptest::get_u32(file, 4);
        std::fill_n(file.begin() + directory + 9 + hlptest::btree_field::header_size, 64, 0);
        OpenBytes f(file);
        ContextHolder h;
        h.ctx->salvage = true;
        testing::internal::CaptureStderr();
        const std::string found = salvaged_lookup(*h.ctx, f.file, "|TOPIC");
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(found, headed ? std::string(data.begin(), data.end()) : "absent");
        EXPECT_EQ(damage_text(*h.ctx).find("|TOPIC found by its content") != std::string::npos, headed)
            << damage_text(*h.ctx);
    }
}
