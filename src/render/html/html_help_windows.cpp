// [WINDOWS] of the HTML Help project: the help file's WinHelp windows with
// their captions, places and sizes. HTML Help windows have no colours of
// their own; the main window's are in the pages' stylesheet already.
#include <string>
#include <unordered_set>

#include "core/decompile_context.h"
#include "project/project_sections.h"
#include "project/system_file.h"
#include "render/html/html_help_project.h"

namespace html_site {

namespace {

// The window record's flags for the fields it holds.
constexpr uint16_t has_name = 0x0002, has_caption = 0x0004, has_place = 0x0008 | 0x0010 | 0x0020 | 0x0040;
constexpr long winhelp_window_length = 90;

// HTML Help window properties: three panes, the contents kept in step with
// the topic, the search tab, the topic's title as the caption; the place
// given by the project; buttons to hide the panes, back, forward, home,
// options and print.
constexpr unsigned tri_pane = 0x2520, user_position = 0x40000, main_buttons = 0x304E;

struct HelpWindow {
    std::string name;
    std::string caption;  // the help file's bytes, made fit for the line
    bool placed = false;
    int left = 0, top = 0, right = 0, bottom = 0;
    bool maximized = false;
};

// WinHelp places windows on a grid of 1024 by 1024 over the screen; taken
// as a screen of 1024 by 768 pixels.
void place(HelpWindow& window, const SystemRecord* r) {
    const int x = record_short(r, 72), y = record_short(r, 74), width = record_short(r, 76), height = record_short(r, 78);
    window.placed = true;
    window.left = x;
    window.right = x + width;
    window.top = y * 3 / 4;
    window.bottom = (y + height) * 3 / 4;
}

void append_window(std::string& out, const HelpWindow& window, const HelpProject& project) {
    const bool main = window.name == "main";
    char number[64];
    out += window.name + "=\"" + window.caption + "\",";
    if (main) {
        out += '"' + project.name + ".hhc\",\"" + project.name + ".hhk\",\"" + project.default_page + "\",\"" +
               project.default_page + '"';
    } else {
        out += ",,,";
    }
    std::snprintf(number, sizeof number, ",,,,,0x%x,,", (main ? tri_pane : 0u) | (window.placed ? user_position : 0u));
    out += number;
    if (main) {
        std::snprintf(number, sizeof number, "0x%x", main_buttons);
        out += number;
    }
    out += ',';
    if (window.placed) {
        std::snprintf(number, sizeof number, "[%d,%d,%d,%d]", window.left, window.top, window.right, window.bottom);
        out += number;
    }
    // Style, extended style, show state (3: maximized), the navigation
    // pane's closing, tab and place, and the window's id.
    out += window.maximized ? ",,,3,,,,0\r\n" : ",,,,,,,0\r\n";
}

}  // namespace

void append_help_windows(const Site& site, std::FILE* file, const HelpProject& project, std::string& out) {
    DecompileContext& ctx = site.ctx;
    std::vector<HelpWindow> windows;
    std::unordered_set<std::string> named;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        const uint16_t flags = static_cast<uint16_t>(record_short(r, 0));
        if (r->type != 6 || r->length != winhelp_window_length || !(flags & has_name) || windows.size() >= 255) continue;
        HelpWindow window;
        for (const char c : std::string_view(record_string(r, 12)))
            if ((c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_')
                window.name += static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        if (window.name.empty() || !named.insert(window.name).second) continue;
        if (flags & has_caption) append_project_text(window.caption, record_string(r, 21), true);
        if ((flags & has_place) == has_place) place(window, r);
        window.maximized = record_short(r, 80) == 1;
        windows.push_back(std::move(window));
    }
    // The main window shows the contents and the index, with or without a
    // record of its own.
    if (named.insert("main").second) windows.insert(windows.begin(), HelpWindow{"main", {}});
    for (HelpWindow& window : windows)
        if (window.name == "main" && window.caption.empty()) append_project_text(window.caption, ctx.help_title, true);
    out += "[WINDOWS]\r\n";
    for (const HelpWindow& window : windows) append_window(out, window, project);
    out += "\r\n";
}

}  // namespace html_site
