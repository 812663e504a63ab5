// Hotspot targets of the HTML edition: what a hotspot or macro links to,
// and the href that leads there. Jumps and popups inside this file become
// markers the site resolves once every page is known.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

struct DecompileContext;

// Markers in a page body under construction: "\x01" kind value "\x01".
// Text never holds a byte below 0x20, so they cannot be forged.
constexpr char html_marker = '\x01';
constexpr char marker_jump = 'J';       // hexadecimal context hash: its page
constexpr char marker_number = 'N';     // decimal topic number: its page
constexpr char marker_popup_box = 'Q';  // decimal popup number of this page
constexpr char marker_offset = 'O';     // hexadecimal topic offset: its page
constexpr char marker_anchor = 'A';     // hexadecimal context hash: an anchor for it here
constexpr char marker_keyword = 'K';    // index letter, then a ';' list of keywords

// Appends a marker: a context hash or topic offset as eight hexadecimal
// digits, any other value in decimal.
void html_append_marker(std::string& out, char kind, unsigned long value);

struct HtmlLink {
    enum Kind { none, hash, number, offset, context_number, other_file, keyword } kind;
    uint32_t value;    // context hash, topic number, topic offset, [MAP] number or index letter
    bool popup;
    std::string file;  // other_file: the help file named
    std::string name;  // other_file: the context name there; keyword: the keyword list
};

struct HtmlPopup {
    char kind;  // marker_jump, marker_number or marker_offset
    uint32_t value;
};

// The popups a page opens: one box per popup topic, however many hotspots
// open it.
struct HtmlPagePopups {
    std::vector<HtmlPopup> boxes;
    std::unordered_map<uint64_t, size_t> index;  // kind and target -> box
};

// [MAP] numbers and the topic offsets they name.
using HtmlMapNumbers = std::unordered_map<int32_t, int32_t>;

// The link a macro hotspot means: JumpId/JI, PopupId/PI, JumpHash/JH,
// PopupHash/PH, JumpContents, Contents (and the like), JumpContext/JC,
// PopupContext/PC through the [MAP] numbers, and the keyword links
// KLink/KL, ALink/AL and JumpKeyword/JK; none for any other macro,
// for numbers the map sends nowhere and for those naming another help file.
HtmlLink html_macro_link(DecompileContext& ctx, const char* macro, const HtmlMapNumbers& map);
// The link of a picture hotspot's target: a context name with an optional
// ">window" and "@file", or (macro hotspots) a macro.
HtmlLink html_target_link(DecompileContext& ctx, const std::string& target, bool macro, bool popup,
                          const HtmlMapNumbers& map);
// True when file names this help file (any folder, any case).
bool html_is_this_file(const DecompileContext& ctx, const char* file);

// Where a link leads: its href (markers for this file's topics) and the
// title to show (title, the other file's name, or both).
struct HtmlHref {
    std::string href;
    std::string title;
};
HtmlHref html_link_href(const HtmlLink& link, const char* title, HtmlPagePopups& popups);
