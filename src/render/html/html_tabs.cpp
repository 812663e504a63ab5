#include "render/html/html_tabs.h"

#include <algorithm>

#include "render/html/html_text.h"

HtmlRuler html_ruler(const ParagraphFields& format) {
    HtmlRuler ruler;
    if (format.flags & 0x0010) ruler.left = format.measures[3];
    if (format.flags & 0x0040) ruler.first = format.measures[5];
    for (int i = 0; i < format.tab_count && format.tabs != nullptr; ++i) ruler.stops.push_back(format.tabs[i]);
    std::stable_sort(ruler.stops.begin(), ruler.stops.end(),
                     [](const FormatTab& a, const FormatTab& b) { return a.twips < b.twips; });
    return ruler;
}

std::optional<FormatTab> html_next_tab_stop(const HtmlRuler& ruler, long x, bool first_line) {
    std::optional<FormatTab> next;
    for (const FormatTab& stop : ruler.stops)
        if (stop.twips > x) {
            next = stop;
            break;
        }
    // A hanging indent is a stop of the first line as well.
    const bool hanging = first_line && ruler.first < 0 && ruler.left > x;
    if (hanging && (!next || next->twips > ruler.left)) next = FormatTab{0, ruler.left};
    return next;
}

long html_next_default_stop(long x) {
    if (x < 0) return 0;
    return (x / default_tab_twips + 1) * default_tab_twips;
}

long html_estimated_width(long characters, int half_points, bool monospace) {
    if (half_points <= 0) half_points = 20;
    // An em is the size: half points * 10 twips.
    const long em = half_points * 10L;
    return characters * em * (monospace ? 6 : 4) / 10;
}

void html_append_points(std::string& out, long twips) {
    if (twips < 0) {
        out += '-';
        twips = -twips;
    }
    html_append_number(out, static_cast<unsigned long>(twips / 20));
    const long rest = twips % 20;  // twentieths of a point
    if (rest == 0) {
        out += "pt";
        return;
    }
    out += '.';
    out += static_cast<char>('0' + rest * 10 / 20);
    if (rest % 2) out += '5';
    out += "pt";
}
