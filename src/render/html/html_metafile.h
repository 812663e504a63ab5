// Windows metafiles (placeable or not) as SVG for the HTML edition.
#pragma once

#include <cstdint>
#include <string>

// The SVG drawing of the metafile's size bytes; false when it has no
// metafile header. Strings of text records go through convert (the help
// file's code page to UTF-8).
bool html_metafile_svg(const uint8_t* data, long size, std::string& svg,
                       void (*convert)(const char*, size_t, void*, std::string&), void* context);
