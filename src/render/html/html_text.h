// Text of the HTML edition: escaping, page names and the help file's code
// page. Nothing here knows of pages, links or the writer.
#pragma once

#include <charconv>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "render/html/html_name_table.h"

struct DecompileContext;
namespace platform {
struct CodePageConverter;
}

// Appends value in decimal, as printf's %lu would.
inline void html_append_number(std::string& out, unsigned long value) {
    char digits[24];
    out.append(digits, static_cast<size_t>(std::to_chars(digits, digits + sizeof digits, value).ptr - digits));
}

// Appends text with &, <, > and " escaped; control characters are dropped.
void html_escape(std::string& out, std::string_view text);
// Appends text of the help file's code page as escaped UTF-8 (tabs kept);
// false when no entity was written.
bool html_append_text(std::string& out, platform::CodePageConverter* code_page, const char* text, size_t length);
// The help file's string converted to UTF-8, then escaped.
void html_escape_converted(std::string& out, platform::CodePageConverter* code_page, std::string_view text);
// A safe file name: letters, digits, '_', '-' and '.' kept, everything else
// '_', at most 120 characters, never starting with a dot, '_' in front of a
// device name ("PRN" gives "_PRN").
std::string html_safe_name(const std::string& name);
// The page names taken so far: every name folded to lower case, and for
// each base name the next suffix to try.
struct HtmlPageNames {
    HtmlNameTable used;
    HtmlNameTable next_suffix;
};
// No page name taken but the reserved ones (folded to lower case).
HtmlPageNames html_page_names(std::initializer_list<std::string_view> reserved);
// A page name from a context name (topicN without one), unique among those
// taken (case folded); ".html" added.
std::string html_page_name(HtmlPageNames& names, const char* name, long topic_number);
// The Windows code page of the help file's language (|SYSTEM), 1252 when
// none is named.
int help_code_page(DecompileContext& ctx, std::FILE* file);
