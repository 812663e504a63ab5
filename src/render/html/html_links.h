// Hotspot targets of the HTML edition: jumps and popups in this file, jumps
// into other help files, and the jump macros read as links.
#pragma once

#include <cstdint>
#include <string>

struct DecompileContext;
struct HtmlWriter;

struct HtmlLink {
    enum Kind { none, hash, number, offset, context_number, other_file } kind;
    uint32_t value;    // context hash, topic number, topic offset or [MAP] number
    bool popup;
    std::string file;  // other_file: the help file named
    std::string name;  // other_file: the context name there
};

// The link a macro hotspot means: JumpId/JI, PopupId/PI, JumpHash/JH,
// PopupHash/PH, JumpContents, Contents (and the like), and JumpContext/JC,
// PopupContext/PC as a context_number for the writer to look up in the
// [MAP]; none for any other macro and for those naming another help file.
HtmlLink html_macro_link(DecompileContext& ctx, const char* macro);
// True when file names this help file (any folder, any case).
bool html_is_this_file(const DecompileContext& ctx, const char* file);
// Opens the link in the writer's page; title (may be null) goes into its
// title attribute.
void html_open_link(HtmlWriter& writer, DecompileContext& ctx, const HtmlLink& link, const char* title);
// The markup of picture number (side 'l', 'r' or 'c'): an image the
// browser shows (with an image map for hotspots), or a visible placeholder
// linking the picture file.
std::string html_picture_markup(HtmlWriter& writer, DecompileContext& ctx, unsigned number, char side);
// A safe page file name for a context name in another help file.
std::string html_safe_name(const std::string& name);
