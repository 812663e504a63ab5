// A help file is a small file system: a header points to a directory B+ tree
// that maps internal file names to offsets. Several internal files are B+
// trees of the same layout; BTreeWalk walks any of them leaf by leaf.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/btree_walk.h"

struct DecompileContext;
struct InternalFileEntry;

constexpr uint32_t help_file_magic = 0x00035F3F;

// The container's headers as stored: the help file's own, each internal
// file's, and the B+ tree's with its index and leaf pages.
enum ContainerLayout : long {
    help_header_size = 16, internal_header_size = 9,
    tree_header_size = 38, tree_index_header_size = 6, tree_leaf_header_size = 8,
};
// The first word of |SYSTEM and of a B+ tree header.
enum ContainerMagic : uint16_t { system_magic = 0x036C, tree_magic = 0x293B };

// True when found, with the stream at the internal file's first data byte
// and its length stored. A null name only checks the magic number and
// positions at the directory's tree header. False for a wrong magic number
// or an absent name.
bool find_internal_file(std::FILE* file, long* length, const char* name);
// The same for a decompile. With salvage on, the directory is read once into
// the context's table of internal files (rebuilt from the internal-file
// headers when it is damaged or cut off) and each length is cut to what the
// help file holds; files starting past its end are absent. A null name then
// only checks the magic number.
bool find_internal_file(DecompileContext& ctx, std::FILE* file, long* length, const char* name);
// With salvage on: the internal files in name order, as the directory lists
// them (null when the help file has no table).
const InternalFileEntry* internal_file_table(DecompileContext& ctx, std::FILE* file, int32_t* count);

// Starts a walk over the tree whose header is at the stream position;
// data_length is the tree's internal file length. Returns the first leaf's
// entry count with the stream at its first entry, or 0 for an empty tree.
int btree_first_leaf(BTreeWalk& walk, std::FILE* file, long* total, long data_length);
// The next leaf's entry count with the stream at its first entry; 0 at the end.
int btree_next_leaf(BTreeWalk& walk, std::FILE* file);
// The same for a decompile. With salvage on, broken pages (outside the tree,
// or with impossible counts) are skipped and loops cut: the walk goes on
// with the leaves not yet met, taken in page order by their headers, and
// each break is noted under the tree's name. A header that cannot be read
// gives an empty tree; one that is damaged (zeroed, or with a page size or
// depth no tree has) has its leaves found by their headers, at the page size
// where they link up one to the next, and *total is then -1 (unknown).
int btree_first_leaf(DecompileContext& ctx, BTreeWalk& walk, std::FILE* file, long* total, long data_length,
                     const char* tree_name);
int btree_next_leaf(DecompileContext& ctx, BTreeWalk& walk, std::FILE* file);
