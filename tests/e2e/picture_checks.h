// The pictures of a decompile, read by ImageMagick (bitmaps) and libwmf
// (metafiles); the picture files no common program reads are checked
// for a consistent header.
#pragma once

#include <map>
#include <string>

#include "decompiled.h"
#include "rtf_scan.h"

namespace e2e {

struct PictureSize {
    long width = -1;
    long height = -1;
    bool operator==(const PictureSize&) const = default;
};

// Width and height (made positive) that a bitmap file's header gives.
PictureSize bmp_header_size(const std::string& bmp);

// Every extracted .bmp decodes in ImageMagick without a warning, with the
// size of its header; returns the decoded sizes by entry name.
std::map<std::string, PictureSize> expect_bitmaps_decode(const Decompiled& d);
// Every extracted .wmf converts with libwmf; returns the drawing sizes by name.
std::map<std::string, PictureSize> expect_metafiles_convert(const Decompiled& d);
// Every extracted .shg and .mrb has its magic, a picture count (.mrb for
// several), and offsets to pictures of a known type inside the file.
void expect_picture_files_consistent(const Decompiled& d);
// Every picture the topic file or the [BITMAPS] section names is an entry
// ("missing.bmp" only with the help compiler's note about it).
void expect_named_pictures_extracted(const Decompiled& d, const RtfScan& scan);

// The pixel at (x, y), counted from the top left, as ImageMagick decodes
// it: "r,g,b" in 0..255.
std::string pixel_rgb(const Decompiled& d, const std::string& name, int x, int y);

}  // namespace e2e
