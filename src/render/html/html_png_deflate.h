// The zlib streams of the HTML edition's PNG pictures.
#pragma once

#include <cstdint>
#include <string>

// A zlib stream of the bytes that takes linear time whatever they hold:
// every byte is a literal, or part of a repeat of the byte before it. For
// the pictures too large for stb's deflate, whose hash chains cost tens of
// comparisons a byte in long runs (a damaged header's zero rows).
void html_run_length_zlib(const uint8_t* data, size_t size, std::string& out);

// stb's deflate (stbi_zlib_compress) in less work, the same bytes from the
// same input: its hash chains held in one table the thread keeps rather
// than an array grown for each bucket of each picture. Memory from
// malloc.
unsigned char* html_stb_deflate(unsigned char* data, int data_len, int* out_len, int quality);
// Lets go of the thread's table.
void html_stb_deflate_let_go();
