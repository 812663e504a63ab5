// Tab stops of the HTML edition: where a tab goes from a place on the line,
// as WinHelp finds it (the paragraph's stops, the hanging indent's stop on
// the first line, then a default stop every half inch), and how wide text
// is likely to be when the page cannot be measured.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "topics/topic_records.h"

constexpr long default_tab_twips = 720;

// A paragraph's stops and indents, in twips from the margin.
struct HtmlRuler {
    std::vector<FormatTab> stops;  // in order of position
    long left = 0;                 // left indent
    long first = 0;                // first line's indent from the left one
};

HtmlRuler html_ruler(const ParagraphFields& format);
// The stop a tab at x goes to; none past the last stop of the paragraph
// (a default stop then).
std::optional<FormatTab> html_next_tab_stop(const HtmlRuler& ruler, long x, bool first_line);
// The default stop after x.
long html_next_default_stop(long x);
// A likely width of characters at a size in half points: fixed-pitch faces
// 0.6 em a character; others a narrow 0.4 em, so that a stop the text
// leaves free is not passed over.
long html_estimated_width(long characters, int half_points, bool monospace);
// Twips as a CSS length in points.
void html_append_points(std::string& out, long twips);

// The line of a paragraph whose tabs are laid out: the text since the last
// tab (a segment) starts at a known stop, so the writer can put it in a
// cell as wide as the way to the next stop.
struct HtmlTabLine {
    HtmlRuler ruler;
    bool laid_out = false;    // a tab was met: the paragraph's tag is the tabbed one
    bool first_line = true;
    size_t paragraph_at = 0;  // where the paragraph's opening tag starts in the body
    size_t segment_at = 0;    // where the segment's markup starts
    long segment_x = 0;       // twips from the margin where it starts
    uint16_t segment_type = 0;  // of its stop: 0 left, 1 right, 2 centred
    long segment_width = 0;   // estimated
    size_t aligned_at = 0;    // right or centred segment: where the text before its stop starts
    long aligned_x = 0;       // and where that is, in twips
    // The segment's and the aligned text's places in the page's search text.
    size_t search_segment_at = 0;
    size_t search_aligned_at = 0;
};
