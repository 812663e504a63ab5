#include "render/html/html_site_shared.h"

#include <cstring>
#include <string>

#include "core/decompile_context.h"
#include "platform/code_page.h"
#include "render/html/html_fonts.h"
#include "topics/fonts.h"

namespace html_site {

void write_stylesheet(DecompileContext& ctx, platform::CodePageConverter* code_page, const std::string& window_rules) {
    std::string css =
        "body{font-family:Arial,Helvetica,sans-serif;font-size:10pt;margin:1em 2em;max-width:60em}\n"
        "p{margin:0;min-height:1em;white-space:pre-wrap;tab-size:36pt}\n"
        "nav{margin:.5em 0;padding:.3em 0;border-bottom:1px solid #ccc}\n"
        "nav a{margin-right:1em}\n"
        "nav.letters span{margin-right:1em;color:#999}\n"
        "h1{font-size:1.4em}\n"
        ".nonscroll{background:#ffffe0;border-bottom:1px solid #999;padding:.3em;margin-bottom:.5em}\n"
        "table{border-collapse:collapse}\n"
        "td{vertical-align:top;padding:2px 4px}\n"
        // Text between tabs: a cell up to the next stop; text after a right
        // (centred) stop ends (is centred) at the end of the cell it shares
        // with the text before.
        ".tab-cell{display:inline-block;white-space:pre;text-indent:0}\n"
        ".tab-right,.tab-centre{display:inline-flex;justify-content:space-between;text-indent:0}\n"
        ".tab-centre>:last-child{transform:translateX(50%)}\n"
        "img.left{float:left;margin-right:.5em}\n"
        "img.right{float:right;margin-left:.5em}\n"
        "a.popup{text-decoration:underline dotted;color:#060}\n"
        "a.macro{color:inherit;text-decoration:underline dashed}\n"
        ".button{border:1px outset #999;padding:0 .3em;background:#eee}\n"
        ".window,.missing{border:1px dashed #999;padding:0 .3em;color:#666}\n"
        ".popup-box{display:none}\n"
        ".popup-box:target{display:block;position:fixed;top:15%;left:15%;right:15%;max-height:60%;overflow:auto;"
        "background:#ffffe8;border:1px solid #333;box-shadow:4px 4px 12px #888;padding:.5em 1em;z-index:10}\n"
        ".popup-box .close{float:right;text-decoration:none;font-size:1.4em}\n"
        "dt{margin-top:.3em}\n"
        // The non-scrolling region stays in view as the page scrolls.
        ".nonscroll{position:sticky;top:0;z-index:1}\n"
        "nav.cnt ul,ul.other-topics{list-style:none;padding-left:1.2em;margin:.2em 0}\n"
        "nav.cnt summary{cursor:pointer;font-weight:bold}\n"
        "nav.cnt li{margin:.15em 0}\n"
        ".start{border-bottom:1px solid #ccc;padding-bottom:.5em;margin-bottom:1em}\n";
    css += window_rules;
    for (int32_t i = 0; i < ctx.font_count && ctx.fonts != nullptr; ++i) {
        const FontDescriptor& f = ctx.fonts[i];
        css += ".f" + std::to_string(i) + "{";
        const char* face = font_face_name(ctx, i);
        std::string converted;
        platform::code_page_append(code_page, face, std::strlen(face), converted);
        const std::string family = html_font_family(converted, f.family);
        if (!family.empty()) css += "font-family:" + family + ";";
        if (f.size > 0) css += "font-size:" + std::to_string(f.size / 2) + (f.size & 1 ? ".5" : "") + "pt;";
        if (f.bold) css += "font-weight:bold;";
        if (f.italic) css += "font-style:italic;";
        if (f.underline || f.double_underline || f.strikeout) {
            css += "text-decoration:";
            if (f.underline || f.double_underline) css += " underline";
            if (f.strikeout) css += " line-through";
            if (f.double_underline) css += " double";
            css += ";";
        }
        if (f.small_caps) css += "font-variant:small-caps;";
        auto colour = [&](int index, const char* property) {
            if (index <= 0 || index >= ctx.colour_count) return;
            char value[16];
            std::snprintf(value, sizeof value, "#%02x%02x%02x", ctx.colours[index][0], ctx.colours[index][1],
                          ctx.colours[index][2]);
            css += std::string(property) + ":" + value + ";";
        };
        colour(f.foreground, "color");
        colour(f.background, "background-color");
        if (f.vertical_offset > 0) css += "vertical-align:super;";
        if (f.vertical_offset < 0) css += "vertical-align:sub;";
        css += "}\n";
    }
    add_output(ctx, "style.css", css);
}

}  // namespace html_site
