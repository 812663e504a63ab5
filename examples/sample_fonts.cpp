// |FONT of the sample in the layout of WinHelp 4.0: three faces, the
// descriptors that topic text selects by number, and two character styles.
// It has a file of its own because font_builder.h and project_builder.h
// both name a colour type Rgb.
#include "font_builder.h"
#include "sample.h"

namespace sample {

using namespace hlptest;

namespace {

enum Face : uint16_t { arial, times, courier };
enum Family : uint8_t { roman = 1, swiss = 2, modern = 3 };

FontDescriptorSpec descriptor(Face face, Family family, uint8_t half_points)
{
    FontDescriptorSpec d;
    d.font_name = face;
    d.family = family;
    d.size = half_points;
    return d;
}

}  // namespace

Bytes font_file()
{
    FontFileSpec recipe;
    recipe.names = {"Arial", "Times New Roman", "Courier New"};

    // In the order of enum Font.
    FontDescriptorSpec body_font = descriptor(arial, swiss, 20);
    FontDescriptorSpec heading_font = descriptor(arial, swiss, 28);
    heading_font.bold = true;
    heading_font.foreground = {0, 0, 128};
    FontDescriptorSpec bold_font = body_font;
    bold_font.bold = true;
    FontDescriptorSpec italic_font = body_font;
    italic_font.italic = true;
    FontDescriptorSpec serif_font = descriptor(times, roman, 24);
    serif_font.foreground = {128, 0, 0};
    FontDescriptorSpec highlight_font = body_font;
    highlight_font.background = {255, 255, 0};
    recipe.descriptors = {body_font,  heading_font, bold_font, italic_font, descriptor(courier, modern, 18),
                        serif_font, highlight_font};

    FontStyleSpec code_style;
    code_style.number = 1;
    code_style.font = courier;
    code_style.height = -9;
    code_style.name = "Code";
    FontStyleSpec strong_code = code_style;
    strong_code.number = 2;
    strong_code.based_on = 1;
    strong_code.weight = 700;
    strong_code.name = "Code Strong";
    recipe.styles = {code_style, strong_code};
    return build_font_file(recipe);
}

}  // namespace sample
