// Symbol fonts of the HTML edition: text in Symbol or Wingdings holds
// glyph numbers, not letters of the code page; tables give the Unicode
// characters the glyphs show.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {
struct CodePageConverter;
}

// A face's table: the character of each byte from 0x20 on, 0 where the
// glyph has none (the byte then goes as the code page has it); null for
// faces without a table.
const char16_t* html_symbol_table(std::string_view face);
// Appends text through the table as escaped UTF-8.
void html_append_symbol_text(std::string& out, const char16_t* table, platform::CodePageConverter* code_page,
                             const char* text, size_t length);
