// A small reader of Windows bitmap files, written for the tests from the
// bitmap format alone, to check the bitmaps that picture export writes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "help_builder.h"

struct BmpImage {
    uint16_t type = 0;
    uint32_t file_size = 0;
    uint32_t data_offset = 0;
    uint32_t header_size = 0;
    int32_t width = 0;
    int32_t height = 0;
    uint16_t planes = 0;
    uint16_t bits_per_pixel = 0;
    uint32_t compression = 0;
    uint32_t image_size = 0;
    uint32_t x_pixels_per_metre = 0;
    uint32_t y_pixels_per_metre = 0;
    uint32_t colours_used = 0;
    uint32_t colours_important = 0;
    std::vector<uint32_t> palette;  // 0x00RRGGBB, every entry between the headers and the data
    hlptest::Bytes pixels;          // from the data offset to the end

    uint32_t stride() const { return (uint32_t(bits_per_pixel) * uint32_t(width) + 31) / 32 * 4; }
    // The pixel value at (x, row), row counted as stored.
    unsigned pixel(uint32_t x, uint32_t row) const;
};

// Parses the headers; an empty error means the file is consistent: its size
// field matches its length, the data offset lies inside it and leaves room
// for exactly the colour table, and the pixel data is what the header needs.
BmpImage read_bmp(const hlptest::Bytes& file, std::string& error);
