// The |FONT file of generated large help files: four faces, six descriptors.
#include "font_builder.h"

namespace hlptest {

Bytes large_help_file_fonts()
{
    FontFileSpec recipe;
    recipe.names = {"Arial", "Times New Roman", "Courier New", "Symbol"};
    auto descriptor = [](uint16_t name, uint8_t size, bool bold, bool italic, Rgb colour) {
        FontDescriptorSpec d;
        d.font_name = name;
        d.size = size;
        d.bold = bold;
        d.italic = italic;
        d.foreground = colour;
        d.family = 0x20;
        return d;
    };
    recipe.descriptors = {descriptor(0, 20, false, false, {}),    descriptor(0, 28, true, false, {0, 0, 128}),
                        descriptor(1, 20, false, true, {}),     descriptor(2, 18, false, false, {}),
                        descriptor(0, 20, true, false, {}),     descriptor(0, 20, false, false, {0, 128, 0})};
    return build_font_file(recipe);
}

}  // namespace hlptest
