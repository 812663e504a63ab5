// TEMPORARY: stand-ins for the browse sequences, so that the topic
// conversion links and runs before they exist. The first-pass work replaces
// this whole file with the real routines. (Keyword footnotes and topic
// windows have their own sources already.)
#include "firstpass/browse.h"

void browse_select(DecompileContext&, int32_t, int32_t, int32_t, int32_t) {}

uint32_t browse_number_select(DecompileContext&, int32_t, int32_t, int32_t, int32_t) { return 0; }

void browse_second_pass_start(DecompileContext&) {}
