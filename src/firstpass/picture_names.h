// Names of exported pictures, by picture number.
#pragma once

struct DecompileContext;
struct MemoryFile;

// The extension for picture kind flags (their low four bits).
const char* picture_extension(unsigned flags);
// "bmN.ext" for an exported picture, or a fallback name (valid until the
// next call).
const char* picture_file_name(DecompileContext& ctx, unsigned number);
// [BITMAPS] of old-format project files.
void write_bitmaps_section(DecompileContext& ctx, MemoryFile* project);
