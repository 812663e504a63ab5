// The code page of the topic text, for the header of the topic file: rich
// text readers decode the bytes of the text with it.
#pragma once

#include <cstdint>

struct DecompileContext;

// The Windows code page of a font character set; 0 for the sets that name
// none of their own (western, default, symbol, OEM, Macintosh).
int code_page_of_charset(int charset);
// The Windows code page of a language (LCID); 1252 for western languages
// and those not known here.
int code_page_of_language(uint16_t language_id);
// Whether characters of the code page may take two bytes.
bool double_byte_code_page(int code_page);
// The code page the help file's text is written in: its language's, or,
// for a western or unstated language, the one most of its fonts use.
// Needs the font descriptors read.
int topic_code_page(const DecompileContext& ctx);
// The character set of font name `name`, or -1 when the help file does not
// say.
int font_name_charset(const DecompileContext& ctx, long name);
// The font that footnotes name so that readers take their text in the
// code page: one whose character set is the code page's, when the default
// font's is another; -1 when the default font's fits or none does.
int footnote_font_of(const DecompileContext& ctx, int code_page);
