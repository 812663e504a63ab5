// Macro strings: well-formedness, and the context strings their arguments name.
#pragma once

struct DecompileContext;

// Reports a badly formed macro string; registers the context strings it names.
void check_macro(DecompileContext& ctx, const char* macro);
// Scans a writable copy in place; true when well-formed.
bool scan_macro(DecompileContext& ctx, char* macro);
// The matching closing character of a quoted or bracketed part, or its NUL.
char* skip_quoted(char* p);
