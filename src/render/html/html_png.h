// Bitmaps as PNG for the HTML edition: the device-independent bitmaps the
// picture export writes (and metafiles carry) decoded to colours and written
// with stb's PNG writer (large ones deflated by runs).
#pragma once

#include <cstdint>
#include <string>

// PNG of the bitmap file (BITMAPFILEHEADER first) of size bytes; white
// pixels are left transparent when asked (a transparent picture shows the
// page behind its white). False, png unchanged, when the bitmap is not one
// that can be read: a compression other than none or bit fields, a depth
// other than 1, 4, 8, 16, 24 or 32, or more pixels than a help file's
// picture can hold. Pixel data cut short is completed with zeros.
bool html_bmp_png(const uint8_t* bmp, long size, bool white_transparent, std::string& png);

// The same for a device-independent bitmap without the file header (the
// info header first, the colour table and the pixels behind it), as
// metafile records carry them.
bool html_dib_png(const uint8_t* dib, long size, std::string& png);

// Lets go of the scratch memory the thread keeps between pictures; called
// once the edition's pictures are written.
void html_png_let_go();
