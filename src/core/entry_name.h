// Names that come from inside a help file and become output entry names
// are untrusted: they must stay plain file names.
#pragma once

#include <cstddef>

// Rewrites name in place: path separators, drive colons and control
// characters become '_', "", "." or ".." become "_", "_" or "__", and a
// device name ("NUL.txt") gets a '_' in front, which the buffer of
// `capacity` bytes (at least two) must have room for, else its first
// letter becomes '_'. The same input always gives the same output, so a
// project section and the extracted entry agree.
void make_safe_entry_name(char* name, size_t capacity);
