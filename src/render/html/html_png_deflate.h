// A zlib stream of the bytes that takes linear time whatever they hold:
// every byte is a literal, or part of a repeat of the byte before it. For
// the pictures too large for stb's deflate, whose hash chains cost tens of
// comparisons a byte in long runs (a damaged header's zero rows).
#pragma once

#include <cstdint>
#include <string>

void html_run_length_zlib(const uint8_t* data, size_t size, std::string& out);
