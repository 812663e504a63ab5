// Phrase compression: |Phrases, or |PhrIndex with |PhrImage.
#pragma once

#include <cstdint>
#include <cstdio>

struct DecompileContext;

void phrase_table_load(DecompileContext& ctx, std::FILE* file);
// Expands source into destination, never writing more than capacity bytes
// nor reading past the source; returns the end of the produced text. The
// capacity is the expected expanded length: a code whose text would pass it
// is fatal ("Phrase replacement delivers ..."). A source that ends inside a
// code ends the expansion there.
char* phrase_expand(DecompileContext& ctx, char* destination, long capacity, const uint8_t* source,
                    long source_length);
// What phrase_expand would produce, with the same fatal errors, without
// writing anything: the length of the text.
long phrase_expanded_length(DecompileContext& ctx, long capacity, const uint8_t* source, long source_length);
// True when every phrase code of source names a phrase and the text comes
// to at most capacity bytes: the expansion would raise no error.
bool phrase_codes_sound(const DecompileContext& ctx, long capacity, const uint8_t* source, long source_length);
// Salvage: true when a code of source names a phrase that damage left
// untrustworthy (its text is a mark).
bool phrase_codes_untrusted(const DecompileContext& ctx, const uint8_t* source, long source_length);
// Salvage: expands codes some of whose stored bytes copy garbled ones
// (doubt: 1 for each) into destination, at most capacity bytes (null
// destination: only counted). What a doubtful byte stands for is written
// as '?', except a NUL, which parts the text's pieces and is kept. The bytes
// produced, or -1 when a code of sound bytes names no phrase.
long phrase_expand_doubtful(const DecompileContext& ctx, char* destination, long capacity, const uint8_t* source,
                            const uint8_t* doubt, long source_length);
// Notes how many topic records the first pass found using such phrases.
void note_untrusted_phrase_uses(DecompileContext& ctx);
// The phrase file, one phrase a line, when a table was loaded.
void phrase_file_write(DecompileContext& ctx, const char* name);
