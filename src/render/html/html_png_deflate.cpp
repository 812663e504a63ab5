#include "render/html/html_png_deflate.h"

namespace {

// Bits go out least significant first; Huffman codes most significant first.
struct BitWriter {
    std::string& out;
    uint64_t bits = 0;
    int count = 0;

    void put(uint32_t value, int length) {
        bits |= uint64_t(value) << count;
        count += length;
        while (count >= 8) {
            out += static_cast<char>(bits & 0xFF);
            bits >>= 8;
            count -= 8;
        }
    }
    void code(uint32_t value, int length) {
        uint32_t reversed = 0;
        for (int i = 0; i < length; ++i) reversed |= ((value >> i) & 1u) << (length - 1 - i);
        put(reversed, length);
    }
    // A literal byte or a length symbol (256 up) in the fixed code.
    void symbol(unsigned s) {
        if (s < 144) code(0x30 + s, 8);
        else if (s < 256) code(0x190 + s - 144, 9);
        else if (s < 280) code(s - 256, 7);
        else code(0xC0 + s - 280, 8);
    }
    void flush() {
        if (count > 0) put(0, 8 - count);
    }
};

constexpr uint16_t length_base[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t length_extra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};

// A copy of the byte before, length 3 to 258: distance 1 is distance code 0.
void repeat(BitWriter& w, unsigned length) {
    unsigned j = 28;
    while (length_base[j] > length) --j;
    w.symbol(257 + j);
    if (length_extra[j] != 0) w.put(length - length_base[j], length_extra[j]);
    w.code(0, 5);
}

uint32_t adler32(const uint8_t* data, size_t size) {
    uint32_t a = 1, b = 0;
    while (size > 0) {
        const size_t chunk = size < 5552 ? size : 5552;  // no overflow before the modulo
        for (size_t i = 0; i < chunk; ++i) b += a += data[i];
        a %= 65521;
        b %= 65521;
        data += chunk;
        size -= chunk;
    }
    return b << 16 | a;
}

}  // namespace

void html_run_length_zlib(const uint8_t* data, size_t size, std::string& out) {
    out.assign("\x78\x01", 2);
    BitWriter w{out};
    w.put(1, 1);  // the final block
    w.put(1, 2);  // of the fixed code
    for (size_t i = 0; i < size;) {
        size_t run = 0;
        if (i > 0)
            while (run < 258 && i + run < size && data[i + run] == data[i - 1]) ++run;
        if (run >= 3) {
            repeat(w, static_cast<unsigned>(run));
            i += run;
        } else {
            w.symbol(data[i++]);
        }
    }
    w.symbol(256);
    w.flush();
    const uint32_t sum = adler32(data, size);
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((sum >> shift) & 0xFF);
}
