#include "seed_fonts.h"

#include "font_builder.h"

using namespace hlptest;

Bytes seed_font_file(SeedFontLayout layout) {
    FontFileSpec recipe;
    recipe.layout = layout == SeedFontLayout::old_layout ? FontLayout::old_layout
                  : layout == SeedFontLayout::mediaview ? FontLayout::mediaview
                                                         : FontLayout::new_layout;
    recipe.names = {"Arial", "Times New Roman"};
    FontDescriptorSpec plain;
    FontDescriptorSpec bold;
    bold.bold = true;
    bold.font_name = 1;
    bold.foreground = Rgb{255, 0, 0};
    recipe.descriptors = {plain, bold};
    if (layout != SeedFontLayout::old_layout) {
        FontStyleSpec style;
        style.name = "Heading";
        recipe.styles = {style};
    }
    if (layout == SeedFontLayout::mediaview) recipe.charmaps = {"|MVCHARTAB,0"};
    return build_font_file(recipe);
}

Bytes seed_charmap_file() { return build_charmap_file({{1, 2, {3, 4, 5, 6}}}, {Bytes{1, 2, 3}}, 4); }
