// How a phrase reads. Help compilers write no control character into a
// phrase and list the phrases in order, so texts that were damaged, or cut
// at the wrong places, show.
#pragma once

#include <cstdint>

struct DecompileContext;

// The texts are given as a buffer whose byte texts[x - origin] is the byte
// at offset x of the phrase texts, so that a stretch read apart from them
// can be judged where it is placed.
bool phrase_holds_control_character(const DecompileContext& ctx, uint32_t i, const char* texts, int64_t origin = 0);

// Phrase i reads as sound: no control character, and in order after phrase
// i - 1 (|Phrases as bytes, the packed tables without regard to case in two
// runs: the one-byte codes, then the rest). It proves nothing of an intact
// table, which is never judged by order.
bool phrase_plausible(const DecompileContext& ctx, uint32_t i, const char* texts, int64_t origin = 0);
