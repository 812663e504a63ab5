#include "bmp_reader.h"

using hlptest::Bytes;
using hlptest::get_u16;
using hlptest::get_u32;

unsigned BmpImage::pixel(uint32_t x, uint32_t row) const {
    size_t at = size_t(row) * stride();
    if (bits_per_pixel >= 8) {
        unsigned value = 0;
        for (unsigned b = 0; b < bits_per_pixel / 8u; ++b) value |= unsigned(pixels.at(at + x * (bits_per_pixel / 8u) + b)) << (8 * b);
        return value;
    }
    size_t bit = size_t(x) * bits_per_pixel;
    unsigned shift = 8 - bits_per_pixel - bit % 8;
    return (pixels.at(at + bit / 8) >> shift) & ((1u << bits_per_pixel) - 1);
}

BmpImage read_bmp(const Bytes& file, std::string& error) {
    BmpImage image;
    error.clear();
    if (file.size() < 54) {
        error = "shorter than the two headers";
        return image;
    }
    image.type = get_u16(file, 0);
    image.file_size = get_u32(file, 2);
    image.data_offset = get_u32(file, 10);
    image.header_size = get_u32(file, 14);
    image.width = static_cast<int32_t>(get_u32(file, 18));
    image.height = static_cast<int32_t>(get_u32(file, 22));
    image.planes = get_u16(file, 26);
    image.bits_per_pixel = get_u16(file, 28);
    image.compression = get_u32(file, 30);
    image.image_size = get_u32(file, 34);
    image.x_pixels_per_metre = get_u32(file, 38);
    image.y_pixels_per_metre = get_u32(file, 42);
    image.colours_used = get_u32(file, 46);
    image.colours_important = get_u32(file, 50);
    if (image.type != 0x4D42) error += "type is not BM; ";
    if (image.file_size != file.size()) error += "size field differs from the length; ";
    if (image.header_size != 40) error += "information header is not 40 bytes; ";
    if (image.data_offset < 54 || image.data_offset > file.size()) {
        error += "data offset outside the file; ";
        return image;
    }
    if ((image.data_offset - 54) % 4 != 0) error += "colour table of a partial entry; ";
    uint32_t entries = (image.data_offset - 54) / 4;
    uint32_t expected_entries = image.colours_used ? image.colours_used
                                : image.bits_per_pixel <= 8 ? 1u << image.bits_per_pixel
                                                            : 0;
    if (entries != expected_entries) error += "colour table size differs from the header; ";
    for (uint32_t i = 0; i < entries; ++i) image.palette.push_back(get_u32(file, 54 + 4 * i) & 0xFFFFFF);
    image.pixels.assign(file.begin() + image.data_offset, file.end());
    uint64_t needed = uint64_t(image.stride()) * static_cast<uint32_t>(image.height);
    if (image.image_size != needed) error += "image size is not stride x height; ";
    if (image.pixels.size() != needed) error += "pixel data is not image size bytes; ";
    return image;
}
