// picture_builder: picture files (the contents of |bm files and of pictures
// embedded in topics) for tests, written independently of the decompiler.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "context_builder.h"  // context_string_hash
#include "help_builder.h"

namespace hlptest {

// 2 bytes for values up to 0x7FFF, else 4; the low bit marks the long form.
Bytes compressed_ulong(uint32_t v);

// Packs picture data the way the compilers did: run-length code first (bit
// 0), then LZ77 over that (bit 1), so a reader undoes LZ77 first.
Bytes pack_picture_data(const Bytes& raw, uint8_t packing);

// Rows of pixels of the given depth, each padded to `alignment` bytes
// (2 for device-dependent bitmaps, 4 for device-independent ones).
Bytes bitmap_rows(uint32_t width, uint32_t height, unsigned bits_per_pixel, unsigned alignment,
                  const std::function<unsigned(uint32_t x, uint32_t y)>& pixel);

// n colour-table entries (blue, green, red, 0) in a grey ramp.
Bytes grey_colour_table(unsigned n);

struct HotspotSpec {
    uint8_t kind = 0xE3;  // 0xC8/0xCC macro, 0xE0..0xE7 jump/popup, 0xEA.. external
    uint8_t form = 4;     // byte 1
    uint8_t byte2 = 0;
    uint16_t x = 1, y = 2, w = 30, h = 40;
    std::string name = {};
    std::string target = {};
    std::optional<uint32_t> hash = {};  // default: the target's hash for jumps, 0 for others
};

struct HotspotBlock {
    uint8_t version = 1;
    std::vector<HotspotSpec> hotspots = {};
    Bytes macro_data = {};
};

Bytes build_hotspot_block(const HotspotBlock& block);

enum PictureType : uint8_t { device_bitmap = 5, dib_bitmap = 6, metafile_picture = 8 };

struct PictureSpec {
    uint8_t type = dib_bitmap;
    uint8_t packing = 0;
    // Bitmaps.
    uint32_t x_dpi = 96, y_dpi = 96;
    uint16_t planes = 1, bits_per_pixel = 1;
    uint32_t width = 0, height = 0;
    uint32_t colours_used = 0, colours_important = 0;
    Bytes colour_table = {};  // device-independent bitmaps, stored as given
    // Metafiles.
    uint16_t mapping_mode = 8;
    uint16_t metafile_width = 0, metafile_height = 0;
    // The unpacked pixel rows (as stored) or metafile records.
    Bytes data = {};
    std::optional<HotspotBlock> hotspots = {};
    // Stored values that replace the computed ones, for damaged pictures.
    std::optional<Bytes> packed = {};  // default pack_picture_data(data, packing)
    std::optional<uint32_t> packed_size = {}, unpacked_size = {}, hotspot_size = {}, packed_offset = {},
                            hotspot_offset = {};
};

// Where the parts of one picture lie in a built picture file.
struct PictureLayout {
    size_t header = 0;  // the picture header's first byte
    size_t data = 0;    // the packed data
    size_t packed_size = 0;
    size_t hotspots = 0;  // the hotspot block, 0 when there is none
    size_t hotspot_size = 0;
};

struct PictureFile {
    Bytes data;
    std::vector<PictureLayout> layout;
};

// Magic, count and offset table, then each picture: header fields, colour
// table, packed data and hotspot block, back to back.
PictureFile build_picture_file(const std::vector<PictureSpec>& pictures, uint16_t magic = 0x506C);

// The internal file of picture n: "|bmN", or "bmN" in old-format files.
InternalFile picture_internal_file(unsigned number, Bytes picture, bool old_format = false);

}  // namespace hlptest
