// Salvage of a damaged or cut-off directory: the internal files are found by
// walking their headers from the end of the help file header and named by
// what their content shows.
#pragma once

#include <cstdint>

#include "core/internal_file.h"

struct DecompileContext;

// The internal files found so far, growing in tracked memory.
struct InternalFileList {
    InternalFileEntry* items;
    long count;
    long capacity;
};

void internal_file_list_add(DecompileContext& ctx, InternalFileList& list, const InternalFileEntry& file);
// True when the list holds a file of this name.
bool internal_file_listed(const InternalFileList& list, const char* name);

// Walks the headers of the help file image (size bytes) and adds every
// internal file whose data does not start where a listed one does, named
// by its content; the unrecognised ones are counted in the damage report.
// Linear in the size.
void rebuild_directory(DecompileContext& ctx, const uint8_t* image, long size, InternalFileList& list);
