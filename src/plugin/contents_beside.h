// The WinHelp 4 contents file (NAME.cnt) that lies beside a help file.
#pragma once

struct DecompileContext;

// A contents file larger than this is no author's; it is left alone.
constexpr long largest_contents_file = 4L * 1024 * 1024;

// Reads NAME.cnt beside `path` (any letter case) into ctx.contents_file;
// leaves it null when there is none or it is too large to be one.
void load_contents_beside(DecompileContext& ctx, const char16_t* path);
