// Text of a help file's Windows code page as UTF-8: through iconv on POSIX
// systems and MultiByteToWideChar on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

struct CodePageConverter;

// A converter for Windows code page code_page (874, 932, 936, 949, 950,
// 1250-1258); an unknown or unavailable one falls back to 1252, and to
// Latin-1 when even that is missing. Never null.
CodePageConverter* code_page_open(int code_page);
void code_page_close(CodePageConverter* converter);
// Appends the UTF-8 form of length bytes of text to out. Bytes that do not
// convert become U+FFFD; the input is never read past length.
void code_page_append(CodePageConverter* converter, const char* text, size_t length, std::string& out);

// For a single-byte code page, the UTF-8 form of one byte (length in
// *length); null for a double-byte one, whose text must go through
// code_page_append whole.
const char* code_page_byte(const CodePageConverter* converter, unsigned char byte, size_t* length);

// For sorting without regard to case: each byte's small letter (as a byte
// of the same code page) for the capitals of ASCII and, in single-byte code
// pages, of the Latin, Greek and Cyrillic letters they hold; any other byte
// as it is.
void code_page_fold_table(const CodePageConverter* converter, uint8_t fold[256]);

}  // namespace platform
