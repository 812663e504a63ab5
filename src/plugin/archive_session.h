// One opened help file: the handle the host holds between OpenArchiveW and
// CloseArchive, and what the output cache parks afterwards.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/decompile_context.h"
#include "hlpunpack/wcx.h"

constexpr int session_path_units = 1024;

struct ArchiveSession {
    char16_t path[session_path_units];  // as given to OpenArchiveW; also the cache key
    uint32_t dos_date_time;             // last-write time as DOS date/time, 0 if unknown
    int64_t unix_time;                  // last-write time in Unix seconds, 0 if unknown
    int open_mode;
    int options;                        // the settings' flags it was decompiled with; also the cache key
    tProcessDataProcW process_data_proc;  // stored, never called
    std::FILE* help_file;                 // open only during the decompile
    DecompileContext context;
};

ArchiveSession* session_create();
void session_free(ArchiveSession* session);

// Last-write time of the file as the cache key; 0 when it cannot be read.
uint32_t session_time_key(const char16_t* path, int64_t* unix_time);
// A path whose third unit from the end is 'm' or 'M' (as in .mvb) is MediaView.
bool path_is_mediaview(const char16_t* path);
// The file name without folder and last extension, in the ANSI code page.
void path_base_name(const char16_t* path, char* base_name, size_t size);
// The file name without folder, in the ANSI code page.
void path_file_name(const char16_t* path, char* file_name, size_t size);
