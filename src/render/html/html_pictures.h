// Pictures of the HTML edition. Bitmaps are shown from the bitmap files of
// the sources; a picture file (hotspots, several resolutions) from the plain
// bitmap the picture export wrote beside the site for it, with an image map
// made from the hotspots of that picture as the picture file holds them;
// metafiles in picture files are drawn as SVG.
#pragma once

#include <functional>
#include <map>
#include <string>

#include "render/html/html_links.h"

struct DecompileContext;
struct MemoryFile;
namespace platform {
struct CodePageConverter;
}

// The outputs a picture is shown from, by entry name (made at the first
// picture), and the image maps written so far.
struct HtmlPictures {
    std::map<std::string, const MemoryFile*> outputs;
    long next_map = 0;
};

// The href a hotspot's link leads to, as the page's text links make it.
using HtmlHrefOf = std::function<std::string(const HtmlLink&)>;

// The markup of picture number (side 'l', 'r' or 'c'): an image the browser
// shows (with an image map for hotspots, linked through href_of), or a
// visible placeholder linking the picture file.
std::string html_picture_markup(DecompileContext& ctx, HtmlPictures& pictures, unsigned number, char side,
                                platform::CodePageConverter* code_page, const HtmlMapNumbers& map,
                                const HtmlHrefOf& href_of);
