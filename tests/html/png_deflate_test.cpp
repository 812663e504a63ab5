// The edition's deflate against stb's own: the same zlib stream, byte for
// byte, from data of each shape a picture's rows take.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "render/html/html_png_deflate.h"

#define STB_IMAGE_WRITE_STATIC
#define STBI_WRITE_NO_STDIO
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

namespace {

// A zlib stream from a deflate of stb's signature, its memory let go.
template <class Deflate>
std::string packed(Deflate deflate, std::vector<uint8_t>& data, int quality) {
    int length = 0;
    unsigned char* bytes = deflate(data.data(), static_cast<int>(data.size()), &length, quality);
    std::string stream(reinterpret_cast<const char*>(bytes), static_cast<size_t>(length));
    std::free(bytes);
    return stream;
}

// Bytes of a shape: noise, one byte repeated, a short period, four values
// (chains full), rows of a picture behind their filter bytes, or a second
// half repeating the first from further back than the window reaches.
std::vector<uint8_t> shaped(const std::string& shape, size_t size) {
    std::vector<uint8_t> data(size);
    uint32_t seed = 12345;
    for (size_t i = 0; i < size; ++i) {
        seed = seed * 1103515245u + 12345u;
        const auto noise = static_cast<uint8_t>(seed >> 16);
        if (shape == "noise") data[i] = noise;
        else if (shape == "run") data[i] = 7;
        else if (shape == "period") data[i] = static_cast<uint8_t>("abcab"[i % 5]);
        else if (shape == "few") data[i] = static_cast<uint8_t>(noise % 4);  // long hash chains
        else if (shape == "rows") data[i] = i % 33 == 0 ? 0 : static_cast<uint8_t>((i / 33 % 7) * 17 + (i % 33 < 9));
        else data[i] = static_cast<uint8_t>(i < size / 2 ? noise % 16 : data[i - size / 2 + (i % 3)]);  // "echo"
    }
    return data;
}

TEST(PngDeflate, GivesStbsBytes) {
    struct Case {
        const char* shape;
        size_t size;
        int quality;
    };
    const Case cases[] = {
        {"noise", 0, 5},     {"noise", 1, 5},     {"run", 3, 5},        {"period", 4, 5},
        {"noise", 1000, 5},  {"run", 70000, 5},   {"period", 5000, 5},  {"few", 100000, 5},
        {"few", 20000, 8},   {"rows", 33 * 200, 5}, {"echo", 80000, 5},  // repeats beyond the window
        {"noise", 70000, 5},  // stored blocks
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> data = shaped(c.shape, c.size);
        const std::string expected = packed(stbi_zlib_compress, data, c.quality);
        const std::string ours = packed(html_stb_deflate, data, c.quality);
        EXPECT_EQ(ours, expected) << c.shape << " " << c.size << " quality " << c.quality;
    }
    html_stb_deflate_let_go();
}

}  // namespace
