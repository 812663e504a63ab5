// Pictures of the HTML edition, written into html/ so that the site stands
// alone: bitmaps as PNG (a picture file's from the plain bitmap the picture
// export wrote beside the site for it), metafiles as SVG. A picture file
// (hotspots, several resolutions) gets an image map made from the hotspots
// of the picture shown, as the picture file holds them.
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
    std::map<std::string, MemoryFile*> outputs;
    long next_map = 0;
    // The maps of the page being written, by picture number: a picture shown
    // again on the page uses its map (the writer clears this at each page).
    std::map<unsigned, std::string> page_maps;
};

// The href a hotspot's link leads to, as the page's text links make it.
using HtmlHrefOf = std::function<std::string(const HtmlLink&)>;

// The markup of picture number (side 'l', 'r' or 'c'): an image the browser
// shows (with an image map for hotspots, linked through href_of), or a
// visible placeholder naming the picture file.
std::string html_picture_markup(DecompileContext& ctx, HtmlPictures& pictures, unsigned number, char side,
                                platform::CodePageConverter* code_page, const HtmlMapNumbers& map,
                                const HtmlHrefOf& href_of);

// Converts the bitmaps the picture export wrote into html/ that no page
// showed, so that html/ holds no bitmap file.
void html_pictures_finish(DecompileContext& ctx, HtmlPictures& pictures);
