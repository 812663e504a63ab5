// Pieces shared by the |SYSTEM reader, the [OPTIONS] writer and the
// sections that follow it in the project file.
#pragma once

#include <cstdint>
#include <cstdio>

#include "project/system_file.h"

struct DecompileContext;
struct MemoryFile;

constexpr long system_header_size = 12;

struct SystemHeader {
    uint16_t minor;
    uint16_t major;
    uint16_t flags;
    long length;  // of the whole internal file
    bool damaged;  // the magic number or the major version is wrong
};

// Positions at |SYSTEM and reads its header; false when there is no |SYSTEM.
// A |SYSTEM too short for its header is a short read.
bool read_system_header(DecompileContext& ctx, std::FILE* file, SystemHeader& header);
// The oldest format's title that follows the header (at most 32 characters),
// read without leaving |SYSTEM.
void read_old_title(std::FILE* file, const SystemHeader& header, char* title, long size);

// Fixed-offset fields of a record; bytes past the record data read as zero
// and strings past it as empty, so damaged short records stay inside.
uint8_t record_byte(const SystemRecord* record, long offset);
int16_t record_short(const SystemRecord* record, long offset);
uint32_t record_dword(const SystemRecord* record, long offset);
const char* record_string(const SystemRecord* record, long offset);

// The sections after [OPTIONS], each written only when its data exists.
void write_windows_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void write_config_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void write_ftindex_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void write_groups_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void write_dllmaps_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void write_keyindex_section(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
void write_window_config_sections(DecompileContext& ctx, std::FILE* file, MemoryFile* project, int window_count);

// A NUL-terminated string from the stream position, never reading at or past
// the stream position end (which ends the string like a NUL). More than
// size - 1 characters is fatal. Returns the number of characters.
long read_string_inside(std::FILE* file, long end, char* destination, long size);
