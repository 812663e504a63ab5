// Reads back the picture files (.shg/.mrb) that picture export writes.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

#include "help_builder.h"

struct ParsedPicture {
    size_t start = 0;  // offset of the picture in the file
    uint8_t type = 0;
    uint8_t packing = 0;
    std::vector<uint32_t> fields;  // the header fields before the four slots, decoded
    uint32_t packed_slot = 0;      // the raw 32-bit slots
    uint32_t hotspot_slot = 0;
    uint32_t packed_offset = 0;
    uint32_t hotspot_offset = 0;
    size_t slots_end = 0;  // offset (from start) right behind the slots
    hlptest::Bytes data;      // packed_slot / 2 bytes at packed_offset
    hlptest::Bytes hotspots;  // hotspot_slot / 2 bytes at hotspot_offset
};

struct ParsedPictureFile {
    uint16_t magic = 0;
    uint16_t count = 0;
    std::vector<uint32_t> offsets;
    std::vector<ParsedPicture> pictures;
};

inline hlptest::Bytes slice(const hlptest::Bytes& f, size_t at, size_t n) {
    if (at > f.size() || n > f.size() - at) throw std::out_of_range("slice past the end of the picture file");
    return hlptest::Bytes(f.begin() + at, f.begin() + at + n);
}

inline ParsedPictureFile parse_picture_file(const hlptest::Bytes& f) {
    auto u16 = [&](size_t at) { return hlptest::get_u16(f, at); };
    auto u32 = [&](size_t at) { return hlptest::get_u32(f, at); };
    ParsedPictureFile file;
    file.magic = u16(0);
    file.count = u16(2);
    for (unsigned i = 0; i < file.count; ++i) file.offsets.push_back(u32(4 + 4 * i));
    for (uint32_t start : file.offsets) {
        ParsedPicture p;
        p.start = start;
        size_t at = start;
        p.type = f.at(at++);
        p.packing = f.at(at++);
        auto cshort = [&] {
            uint32_t b = f.at(at);
            if (b & 1) {
                uint32_t v = u16(at) >> 1;
                at += 2;
                return v;
            }
            ++at;
            return b >> 1;
        };
        auto clong = [&] {
            uint32_t w = u16(at);
            if (w & 1) {
                uint32_t v = u32(at) >> 1;
                at += 4;
                return v;
            }
            at += 2;
            return w >> 1;
        };
        if (p.type == 8) {
            p.fields = {cshort(), u16(at), u16(at + 2)};
            at += 4;
            p.fields.push_back(clong());
        } else {
            for (int i = 0; i < 2; ++i) p.fields.push_back(clong());
            for (int i = 0; i < 2; ++i) p.fields.push_back(cshort());
            for (int i = 0; i < 4; ++i) p.fields.push_back(clong());
        }
        p.packed_slot = u32(at);
        p.hotspot_slot = u32(at + 4);
        p.packed_offset = u32(at + 8);
        p.hotspot_offset = u32(at + 12);
        p.slots_end = at + 16 - start;
        p.data = slice(f, start + p.packed_offset, p.packed_slot / 2);
        if (p.hotspot_offset) p.hotspots = slice(f, start + p.hotspot_offset, p.hotspot_slot / 2);
        file.pictures.push_back(p);
    }
    return file;
}
