// Salvaging a damaged phrase table: which phrases can still be trusted, and
// a visible mark in place of each of the others.
#pragma once

#include <cstdint>
#include <vector>

struct DecompileContext;

// A phrase's flag: sound, written as a mark, or vouched for in part and
// written with '?' for each byte in doubt.
constexpr uint8_t phrase_marked_whole = 1;
constexpr uint8_t phrase_marked_in_place = 2;

// Offsets that are out of order or outside the texts (size bytes): each run
// of them is spread evenly over the texts between the sound entries around
// it, so every phrase stays inside the texts, and the phrases they bound are
// flagged in untrusted. Returns how many entries were unsound.
uint32_t mend_phrase_offsets(uint32_t* offsets, uint32_t count, uint32_t size, uint8_t* untrusted);

// The phrase texts (size bytes) came from a compressed image that does not
// expand to that size. The bytes before the damage are kept, the stream is
// read again from the first control byte that every reading started past
// each damaged spot agrees on, each stretch placed where its phrases read in
// order; a phrase no byte of which the readings vouch for is flagged in
// untrusted, one vouched for in part is written with '?' in place of the
// others and flagged as such.
void recover_phrase_image(DecompileContext& ctx, const uint8_t* image, long image_size, uint32_t size,
                          uint8_t* untrusted);

// The phrase lengths as the length table gave them (`lengths`) do not add up
// to the texts' size (size bytes). Where one phrase's length alone came out
// wrong (a flipped bit of the length table), every later boundary is off by
// the difference: the phrase whose length, set right, has every later
// phrase read as sound is mended and flagged alone. False when none is
// found, the boundaries left as they were.
bool mend_one_length(DecompileContext& ctx, uint32_t size, const std::vector<uint32_t>& lengths, uint8_t* untrusted);

// The phrase boundaries are unsound from some phrase on (a damaged length
// table): the phrases from the first one that reads as damaged are flagged.
void distrust_from_disorder(const DecompileContext& ctx, uint8_t* untrusted);

// Flags the phrases not yet flagged that hold a control character, which
// no phrase a compiler writes has (stored texts zeroed or garbled show so
// and nothing else); answers how many it flagged.
uint32_t flag_control_characters(const DecompileContext& ctx, uint8_t* untrusted);

// Writes each phrase flagged whole as its mark ("[?]", stretched or cut to
// the phrase's length so that topic text keeps its length) into the texts
// and keeps the flags in the context; answers how many are flagged, the
// first and last of them, and how many of them were marked in place.
uint32_t mark_untrusted_phrases(DecompileContext& ctx, uint8_t* untrusted, uint32_t& first, uint32_t& last,
                                uint32_t& in_place);
