#include "render/html/html_png_deflate.h"

#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

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

namespace {

// stb's hash of three bytes, bit for bit.
uint32_t three_byte_hash(const uint8_t* p) {
    uint32_t hash = p[0] + (uint32_t(p[1]) << 8) + (uint32_t(p[2]) << 16);
    hash ^= hash << 3;
    hash += hash >> 5;
    hash ^= hash << 4;
    hash += hash >> 17;
    hash ^= hash << 25;
    hash += hash >> 6;
    return hash;
}

// How many bytes from a and b on agree, at most `limit` and 258; a is
// before b, so a read that stays inside b's stays inside the data.
int match_length(const uint8_t* a, const uint8_t* b, int limit) {
    const int most = limit < 258 ? limit : 258;
    int i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        for (; i + 8 <= most; i += 8) {
            uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y) return i + std::countr_zero(x ^ y) / 8;
        }
    }
    while (i < most && a[i] == b[i]) ++i;
    return i;
}

// The places each hash bucket remembers, newest last, as stb's stretchy
// arrays hold them: at most 2 x quality, the older half dropped when full.
// Kept by the thread between pictures; only the buckets used are emptied.
struct Chains {
    int capacity = 0;
    std::unique_ptr<int32_t[]> places;  // read only below each bucket's count: left uncleared
    std::vector<uint16_t> counts;
    std::vector<uint16_t> used;
};
thread_local Chains chains;

constexpr int hash_buckets = 16384;

void prepare(Chains& c, int quality) {
    if (c.capacity != 2 * quality) {
        c.capacity = 2 * quality;
        c.places.reset(new int32_t[size_t(hash_buckets) * c.capacity]);
        c.counts.assign(hash_buckets, 0);
    }
    for (const uint16_t bucket : c.used) c.counts[bucket] = 0;
    c.used.clear();
}

// The longest match at data[i] among the bucket's places within the
// window, the newest of equal ones; its length in `best` (from 3).
int32_t longest_match(const Chains& c, uint32_t bucket, const uint8_t* data, int size, int i, int& best) {
    const int32_t* places = &c.places[size_t(bucket) * c.capacity];
    int32_t found = -1;
    for (int j = 0; j < c.counts[bucket]; ++j) {
        if (places[j] <= i - 32768) continue;
        const int d = match_length(data + places[j], data + i, size - i);
        if (d >= best) best = d, found = places[j];
    }
    return found;
}

void remember(Chains& c, uint32_t bucket, int quality, int32_t i) {
    int32_t* places = &c.places[size_t(bucket) * c.capacity];
    int n = c.counts[bucket];
    if (n == c.capacity) {
        std::memmove(places, places + quality, sizeof(int32_t) * quality);
        n = quality;
    }
    if (n == 0) c.used.push_back(static_cast<uint16_t>(bucket));
    places[n] = i;
    c.counts[bucket] = static_cast<uint16_t>(n + 1);
}

// A longer match one byte on, stb's lazy matching.
bool longer_next(const Chains& c, const uint8_t* data, int size, int i, int best) {
    const uint32_t bucket = three_byte_hash(data + i + 1) & (hash_buckets - 1);
    const int32_t* places = &c.places[size_t(bucket) * c.capacity];
    for (int j = 0; j < c.counts[bucket]; ++j)
        if (places[j] > i - 32767 && match_length(data + places[j], data + i + 1, size - i - 1) > best) return true;
    return false;
}

constexpr uint16_t distance_base[31] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,
                                        49,  65,  97,  129, 193, 257,  385,  513,  769,  1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32768};
constexpr uint8_t distance_extra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

void copy_of(BitWriter& w, unsigned length, unsigned distance) {
    unsigned j = 28;
    while (length_base[j] > length) --j;
    w.symbol(257 + j);
    if (length_extra[j] != 0) w.put(length - length_base[j], length_extra[j]);
    unsigned k = 0;
    while (distance > distance_base[k + 1] - 1u) ++k;
    w.code(k, 5);
    if (distance_extra[k] != 0) w.put(distance - distance_base[k], distance_extra[k]);
}

// The blocks of the fixed code: matches found as stb finds them.
void fixed_blocks(const uint8_t* data, int size, int quality, std::string& out) {
    Chains& c = chains;
    prepare(c, quality);
    BitWriter w{out};
    w.put(1, 1);  // the final block
    w.put(1, 2);  // of the fixed code
    int i = 0;
    while (i < size - 3) {
        const uint32_t bucket = three_byte_hash(data + i) & (hash_buckets - 1);
        int best = 3;
        const int32_t found = longest_match(c, bucket, data, size, i, best);
        remember(c, bucket, quality, i);
        if (found >= 0 && !longer_next(c, data, size, i, best)) {
            copy_of(w, static_cast<unsigned>(best), static_cast<unsigned>(i - found));
            i += best;
        } else {
            w.symbol(data[i++]);
        }
    }
    for (; i < size; ++i) w.symbol(data[i]);
    w.symbol(256);
    w.flush();
}

// Stored blocks, where the fixed code would be larger.
void stored_blocks(const uint8_t* data, int size, std::string& out) {
    for (int j = 0; j < size;) {
        const int length = size - j < 32767 ? size - j : 32767;
        const char head[5] = {static_cast<char>(size - j == length), static_cast<char>(length & 0xFF),
                              static_cast<char>(length >> 8), static_cast<char>(~length & 0xFF),
                              static_cast<char>((~length >> 8) & 0xFF)};
        out.append(head, 5);
        out.append(reinterpret_cast<const char*>(data) + j, static_cast<size_t>(length));
        j += length;
    }
}

}  // namespace

unsigned char* html_stb_deflate(unsigned char* data, int data_len, int* out_len, int quality) {
    if (quality < 5) quality = 5;
    std::string out("\x78\x5e", 2);
    out.reserve(static_cast<size_t>(data_len) / 8 * 9 + 64);
    fixed_blocks(data, data_len, quality, out);
    if (out.size() > static_cast<size_t>(data_len) + 2 + static_cast<size_t>((data_len + 32766) / 32767) * 5) {
        out.resize(2);
        stored_blocks(data, data_len, out);
    }
    const uint32_t sum = adler32(data, static_cast<size_t>(data_len));
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((sum >> shift) & 0xFF);
    auto* copy = static_cast<unsigned char*>(std::malloc(out.size()));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, out.data(), out.size());
    *out_len = static_cast<int>(out.size());
    return copy;
}

void html_stb_deflate_let_go() { chains = Chains{}; }
