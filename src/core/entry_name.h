// Names that come from inside a help file and become output entry names
// are untrusted: they must stay plain file names.
#pragma once

#include <cstddef>

// Rewrites name in place: path separators, drive colons and control
// characters become '_', and "", "." or ".." become "_", "_" or "__" (the
// buffer holds at least two bytes). The same input always gives the same
// output, so a project section and the extracted entry agree.
void make_safe_entry_name(char* name);
