// A help file is a small file system: a header points to a directory B+ tree
// that maps internal file names to offsets. Several internal files are B+
// trees of the same layout; BTreeWalk walks any of them leaf by leaf.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/btree_walk.h"

constexpr uint32_t help_file_magic = 0x00035F3F;

// True when found, with the stream at the internal file's first data byte
// and its length stored. A null name only checks the magic number and
// positions at the directory's tree header. False for a wrong magic number
// or an absent name.
bool find_internal_file(std::FILE* file, long* length, const char* name);

// Starts a walk over the tree whose header is at the stream position;
// data_length is the tree's internal file length. Returns the first leaf's
// entry count with the stream at its first entry, or 0 for an empty tree.
int btree_first_leaf(BTreeWalk& walk, std::FILE* file, long* total, long data_length);
// The next leaf's entry count with the stream at its first entry; 0 at the end.
int btree_next_leaf(BTreeWalk& walk, std::FILE* file);
