// One internal file of a salvaged help file: the directory read once (or
// rebuilt from the internal-file headers when it is damaged), with each
// file's data cut to what the help file holds.
#pragma once

#include <cstdint>

constexpr int internal_file_name_size = 20;  // 19 characters and the NUL

struct InternalFileEntry {
    char name[internal_file_name_size];
    long data_start;  // first data byte, after the 9-byte header
    long length;      // data length, cut to the end of the help file
};
