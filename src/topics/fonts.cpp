#include "topics/fonts.h"

#include <cctype>
#include <initializer_list>
#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "topics/charmap.h"
#include "topics/code_page.h"

namespace {

constexpr const char* malformed_font = "malformed |FONT file\n";
constexpr long header_size = 16;
constexpr long name_field_limit = 33;
constexpr long old_descriptor_size = 11;
constexpr long new_descriptor_size = 42;
constexpr long style_size = 146;
constexpr long style_name_at = 81;
// Size of the Normal style when there is no descriptor to take it from:
// 12 points, the rich-text default.
constexpr int fallback_normal_size = 24;

enum class Layout { old_layout, new_layout, mediaview };
using FontName = char[name_field_limit + 1];
static_assert(sizeof(FontName) == font_face_size);

// |FONT as a stretch of the help file; every read is checked against it.
struct FontFile {
    std::FILE* file;
    long start;
    long length;
};

void read_part(const FontFile& font, long offset, long size, void* destination) {
    if (offset < 0 || size < 0 || offset > font.length || size > font.length - offset)
        fatal_error("%s", malformed_font);
    std::fseek(font.file, font.start + offset, SEEK_SET);
    my_fread(size, font.file, destination);
}

// A table of count records of size bytes at offset, in a tracked block;
// null for an empty table.
uint8_t* read_table(DecompileContext& ctx, const FontFile& font, long offset, long count, long size) {
    if (count == 0) return nullptr;
    if (offset < 0 || offset > font.length || count > (font.length - offset) / size) fatal_error("%s", malformed_font);
    uint8_t* table = static_cast<uint8_t*>(tracked_malloc(ctx, count * size));
    read_part(font, offset, count * size, table);
    return table;
}

// The character-map records as NUL-terminated texts; null when none.
CharMapRecord* read_charmap_records(DecompileContext& ctx, const FontFile& font, long offset, long count) {
    uint8_t* records = read_table(ctx, font, offset, count, charmap_record_size);
    if (records == nullptr) return nullptr;
    CharMapRecord* texts = static_cast<CharMapRecord*>(tracked_malloc(ctx, count * sizeof(CharMapRecord)));
    for (long i = 0; i < count; ++i) {
        std::memcpy(texts[i], records + i * charmap_record_size, charmap_record_size);
        texts[i][charmap_record_size] = '\0';
    }
    tracked_free(ctx, records);
    return texts;
}

// The internal file's length, but never more than the help file holds
// after its start, so that no table is sized beyond the real file.
long bounded_length(std::FILE* file, long start, long length) {
    std::fseek(file, 0, SEEK_END);
    long available = std::ftell(file) - start;
    std::fseek(file, start, SEEK_SET);
    return length < available ? length : (available > 0 ? available : 0);
}

uint8_t size_from_height(uint32_t height) { return static_cast<uint8_t>(0u - 2u * height); }
long long style_size_of(int32_t height) { return -2LL * height; }
int16_t get_i16(const uint8_t* p) { return static_cast<int16_t>(get_le16(p)); }
int32_t get_i32(const uint8_t* p) { return static_cast<int32_t>(get_le32(p)); }

uint8_t old_family(uint8_t code) {
    static const uint8_t families[] = {0, 3, 1, 2, 4, 5};
    return code < sizeof families ? families[code] : code;
}

// The colour table index of a character background. The old compilers
// stored black where the source set no background, and the help viewer
// paints none there; readers that honour a black background would paint
// the text unreadable, so black counts as none. The colour still takes its
// place in the table, which keeps the numbers of the others.
uint8_t background_colour(DecompileContext& ctx, const uint8_t* rgb) {
    const int index = add_colour(ctx, rgb[0], rgb[1], rgb[2]);
    const uint8_t* colour = ctx.colours[index];
    return colour[0] == 0 && colour[1] == 0 && colour[2] == 0 ? 0 : static_cast<uint8_t>(index);
}

FontDescriptor old_descriptor(DecompileContext& ctx, const uint8_t* r) {
    FontDescriptor d{};
    d.bold = r[0] & 1;
    d.italic = (r[0] >> 1) & 1;
    d.underline = (r[0] >> 2) & 1;
    d.strikeout = (r[0] >> 3) & 1;
    d.double_underline = (r[0] >> 4) & 1;
    d.small_caps = (r[0] >> 5) & 1;
    d.size = r[1];
    d.family = old_family(r[2]);
    d.font_name = get_le16(r + 3);
    d.foreground = static_cast<uint8_t>(add_colour(ctx, r[5], r[6], r[7]));
    d.background = background_colour(ctx, r + 8);
    return d;
}

// The new and MediaView layouts hold the same fields at different places.
struct DescriptorPlaces {
    int name, foreground, background, height, weight, attributes, family;
};
constexpr DescriptorPlaces new_places{1, 3, 6, 14, 30, 34, 41};
constexpr DescriptorPlaces mediaview_places{0, 6, 9, 12, 28, 32, 39};

FontDescriptor new_descriptor(DecompileContext& ctx, const uint8_t* r, bool mediaview) {
    const DescriptorPlaces& at = mediaview ? mediaview_places : new_places;
    FontDescriptor d{};
    d.bold = get_i16(r + at.weight) > 500;
    d.italic = r[at.attributes] != 0;
    d.underline = r[at.attributes + 1] != 0;
    d.strikeout = r[at.attributes + 2] != 0;
    d.double_underline = r[at.attributes + 3] != 0;
    d.small_caps = r[at.attributes + 4] != 0;
    d.size = size_from_height(get_le32(r + at.height));
    d.family = r[at.family] >> 4;
    d.font_name = get_le16(r + at.name);
    d.foreground = static_cast<uint8_t>(add_colour(ctx, r[at.foreground], r[at.foreground + 1], r[at.foreground + 2]));
    d.background = background_colour(ctx, r + at.background);
    if (mediaview) {
        d.style = get_le16(r + 4);
        d.expansion = get_i16(r + 2);
        d.vertical_offset = static_cast<int8_t>(r[41]);
    }
    return d;
}

// Style record fields of the new and MediaView layouts; expansion and
// vertical offset exist in MediaView only.
struct StylePlaces {
    int font, foreground, background, height, weight, attributes;
};
constexpr StylePlaces new_style{5, 7, 10, 18, 34, 38};
constexpr StylePlaces mediaview_style{4, 10, 13, 16, 32, 36};
constexpr int style_expansion_at = 6;
constexpr int style_offset_at = 45;

// Puts both colours of every style into the colour table; the first byte
// of each colour then holds its index.
void index_style_colours(DecompileContext& ctx, uint8_t* styles, long count, const StylePlaces& at) {
    for (long i = 0; i < count; ++i) {
        uint8_t* s = styles + i * style_size;
        uint8_t* c = s + at.foreground;
        c[0] = static_cast<uint8_t>(add_colour(ctx, c[0], c[1], c[2]));
        s[at.background] = background_colour(ctx, s + at.background);
    }
}

// Names, family words and style names go into the header as text: the
// characters that would end a group or start a control word are escaped.
void put_rtf_text(MemoryFile* out, const char* text, size_t limit) {
    for (size_t i = 0; i < limit && text[i]; ++i) {
        if (text[i] == '\\' || text[i] == '{' || text[i] == '}') output_putc('\\', out);
        output_putc(static_cast<unsigned char>(text[i]), out);
    }
}

bool same_name(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    }
    return *a == *b;
}

const char* family_word(uint8_t family) {
    static const char* const words[] = {"nil", "roman", "swiss", "modern", "script", "decor", "tech"};
    return family < sizeof words / sizeof words[0] ? words[family] : "nil";
}

// The font most readers will have, by name; names of unused fonts (no
// family noted) do not count. The state keeps the number in one byte, so
// only the first 256 names can be chosen.
int default_font_of(const FontName* names, const uint8_t* families, long count) {
    static const char* const preferred[] = {"Arial", "Times New Roman", "MS Sans Serif", "MS Serif", "Helv",
                                            "TmsRmn", "MS Sans Serif", "Helvetica", "Times Roman", "Times"};
    const int ranks = sizeof preferred / sizeof preferred[0];
    int best = 0, best_rank = ranks;
    for (long i = 0; i < count && i < 256; ++i) {
        if (families[i] == 0) continue;
        for (int rank = 0; rank < best_rank; ++rank) {
            if (same_name(names[i], preferred[rank])) {
                best = static_cast<int>(i);
                best_rank = rank;
                break;
            }
        }
    }
    return best;
}

void write_font_table(const DecompileContext& ctx, MemoryFile* out, const FontName* names, const uint8_t* families,
                      long count) {
    output_puts("{\\fonttbl", out);
    for (long i = 0; i < count; ++i) {
        output_printf(out, "{\\f%ld\\f%s", i, family_word(families[i]));
        const int charset = font_name_charset(ctx, i);
        if (charset >= 0) output_control_word(out, "\\fcharset", charset);
        output_putc(' ', out);
        put_rtf_text(out, names[i], sizeof(FontName));
        output_puts(";}", out);
    }
    output_puts("}\n", out);
}

// Entry 0, the automatic colour, is implied by the leading semicolon.
void write_colour_table(const DecompileContext& ctx, MemoryFile* out) {
    if (ctx.colour_count <= 1) return;
    output_puts("{\\colortbl;", out);
    for (int i = 1; i < ctx.colour_count; ++i)
        output_printf(out, "\\red%d\\green%d\\blue%d;", ctx.colours[i][0], ctx.colours[i][1], ctx.colours[i][2]);
    output_puts("}\n", out);
}

void write_flag_difference(MemoryFile* out, const char* word, uint8_t value, uint8_t base) {
    if (value != base) output_printf(out, "\\%s%d", word, value);
}

void write_vertical_offset(MemoryFile* out, int8_t offset) {
    if (offset > 0) output_printf(out, "\\up%d", offset);
    if (offset < 0) output_printf(out, "\\dn%d", -offset);
}

void write_style(MemoryFile* out, const uint8_t* styles, long count, long index, bool mediaview) {
    const StylePlaces& at = mediaview ? mediaview_style : new_style;
    const uint8_t* s = styles + index * style_size;
    output_printf(out, "{\\*\\cs%u \\additive", get_le16(s) + 9u);
    const uint8_t* a = s + at.attributes;
    unsigned based_on = get_le16(s + 2);
    // A based-on number outside the table is written as a style of its own.
    if (based_on == 0 || static_cast<long>(based_on) > count) {
        output_printf(out, "\\f%d", get_i16(s + at.font));
        if (a[0]) output_puts("\\i", out);
        if (get_i16(s + at.weight) > 500) output_puts("\\b", out);
        if (a[1]) output_puts("\\ul", out);
        if (a[2]) output_puts("\\strike", out);
        if (a[3]) output_puts("\\uldb", out);
        if (a[4]) output_puts("\\scaps", out);
        if (mediaview) {
            if (get_i16(s + style_expansion_at)) output_printf(out, "\\expndtw%d", get_i16(s + style_expansion_at));
            write_vertical_offset(out, static_cast<int8_t>(s[style_offset_at]));
        }
        output_printf(out, "\\fs%lld", style_size_of(get_i32(s + at.height)));
        if (s[at.foreground]) output_printf(out, "\\cf%d", s[at.foreground]);
        if (s[at.background]) output_printf(out, "\\cb%d", s[at.background]);
    } else {
        const uint8_t* b = styles + (based_on - 1) * style_size;
        const uint8_t* ba = b + at.attributes;
        if (get_i16(s + at.font) != get_i16(b + at.font)) output_printf(out, "\\f%d", get_i16(s + at.font));
        if (mediaview && get_i16(s + style_expansion_at) != get_i16(b + style_expansion_at))
            output_printf(out, "\\expndtw%d", get_i16(s + style_expansion_at));
        if (s[at.foreground] != b[at.foreground]) output_printf(out, "\\cf%d", s[at.foreground]);
        if (s[at.background] != b[at.background]) output_printf(out, "\\cb%d", s[at.background]);
        if (get_i32(s + at.height) != get_i32(b + at.height))
            output_printf(out, "\\fs%lld", style_size_of(get_i32(s + at.height)));
        bool bold = get_i16(s + at.weight) > 500;
        if (bold != (get_i16(b + at.weight) > 500)) output_printf(out, "\\b%d", bold ? 1 : 0);
        write_flag_difference(out, "i", a[0], ba[0]);
        write_flag_difference(out, "ul", a[1], ba[1]);
        write_flag_difference(out, "strike", a[2], ba[2]);
        write_flag_difference(out, "uldb", a[3], ba[3]);
        write_flag_difference(out, "scaps", a[4], ba[4]);
        if (mediaview && s[style_offset_at] != b[style_offset_at]) {
            // Back to the baseline must be said, or the base style's raise stays.
            if (s[style_offset_at] == 0) output_puts("\\up0", out);
            write_vertical_offset(out, static_cast<int8_t>(s[style_offset_at]));
        }
        output_printf(out, " \\sbasedon%u", based_on + 9);
    }
    output_putc(' ', out);
    put_rtf_text(out, reinterpret_cast<const char*>(s + style_name_at), style_size - style_name_at);
    output_puts(";}\n", out);
}

void reset_colours(DecompileContext& ctx) {
    ctx.colours[0][0] = 1;
    ctx.colours[0][1] = 1;
    ctx.colours[0][2] = 0;
    ctx.colour_count = 1;
}

// The header fields, with the layout its length selects.
struct FontHeader {
    long name_count, descriptor_count, names_at, descriptors_at;
    long style_count, styles_at, charmap_count, charmaps_at;
    Layout layout;
};

FontHeader read_header(const FontFile& font) {
    uint8_t h[header_size] = {};
    read_part(font, 0, font.length < header_size ? font.length : header_size, h);
    FontHeader header{get_le16(h), get_le16(h + 2), get_le16(h + 4), get_le16(h + 6), 0, 0, 0, 0, Layout::old_layout};
    long needed = 8;
    if (header.names_at >= 12) {
        header.layout = Layout::new_layout;
        header.style_count = get_le16(h + 8);
        header.styles_at = get_le16(h + 10);
        needed = 12;
    }
    if (header.names_at >= 16) {
        header.layout = Layout::mediaview;
        header.charmap_count = get_le16(h + 12);
        header.charmaps_at = get_le16(h + 14);
        needed = 16;
    }
    if (font.length < needed) fatal_error("%s", malformed_font);
    return header;
}

// The font names, empty ones as Arial. MediaView names are cut at their
// comma; the part after it selects a character map for the project file.
FontName* read_names(DecompileContext& ctx, const FontFile& font, const FontHeader& header, MemoryFile* project,
                     const CharMapRecord* charmaps) {
    if (header.name_count == 0) return nullptr;
    if (header.descriptors_at < header.names_at) fatal_error("%s", malformed_font);
    const long field = (header.descriptors_at - header.names_at) / header.name_count;
    if (field > name_field_limit) fatal_error("%s", malformed_font);
    uint8_t* fields = read_table(ctx, font, header.names_at, field > 0 ? header.name_count : 0, field);
    FontName* names = static_cast<FontName*>(tracked_malloc(ctx, header.name_count * sizeof(FontName)));
    bool charmap_section = false;
    for (long i = 0; i < header.name_count; ++i) {
        std::memset(names[i], 0, sizeof(FontName));
        if (field > 0) std::memcpy(names[i], fields + i * field, static_cast<size_t>(field));
        if (names[i][0] == '\0') std::strcpy(names[i], "Arial");
        char* comma = header.layout == Layout::mediaview ? std::strchr(names[i], ',') : nullptr;
        if (comma == nullptr) continue;
        *comma = '\0';
        if (project != nullptr)
            charmap_write_font_line(project, charmaps, static_cast<int>(header.charmap_count), names[i], comma + 1,
                                    charmap_section);
    }
    if (charmap_section) output_putc('\n', project);
    if (fields) tracked_free(ctx, fields);
    return names;
}

// A descriptor an intact file could hold: it names one of the font names,
// its attribute bits or bytes are the flags there are, and its family and
// weight are ones a font can have. Garbled bytes rarely keep all of that.
bool descriptor_sound(const uint8_t* r, const FontDescriptor& d, const FontHeader& header) {
    if (header.name_count > 0 && d.font_name >= header.name_count) return false;
    if (header.layout == Layout::old_layout) return (r[0] & 0x80) == 0 && r[2] <= 5;
    const DescriptorPlaces& at = header.layout == Layout::mediaview ? mediaview_places : new_places;
    for (int i = 0; i < 5; ++i)
        if (r[at.attributes + i] > 1) return false;
    const int16_t weight = get_i16(r + at.weight);
    return weight >= 0 && weight <= 1000;
}

// Marks a garbled descriptor for the default font (set once it is known).
constexpr uint16_t garbled_font_name = 0xFFFF;

void read_descriptors(DecompileContext& ctx, const FontFile& font, const FontHeader& header) {
    const bool old_layout = header.layout == Layout::old_layout;
    const long size = old_layout ? old_descriptor_size : new_descriptor_size;
    uint8_t* records = read_table(ctx, font, header.descriptors_at, header.descriptor_count, size);
    ctx.fonts = records ? tracked_new_array<FontDescriptor>(ctx, header.descriptor_count) : nullptr;
    ctx.font_count = static_cast<int32_t>(header.descriptor_count);
    for (long i = 0; i < header.descriptor_count; ++i) {
        const uint8_t* r = records + i * size;
        ctx.fonts[i] = old_layout ? old_descriptor(ctx, r) : new_descriptor(ctx, r, header.layout == Layout::mediaview);
        if (ctx.salvage && !descriptor_sound(r, ctx.fonts[i], header)) {
            // Its text keeps its words in plain default type, not in
            // whatever case, size and lines the garbage would give it.
            note_damage(ctx, "|FONT", header.descriptors_at + i * size,
                        "font descriptor %ld garbled: its text written in the default font", i);
            ctx.fonts[i] = FontDescriptor{};
            ctx.fonts[i].font_name = garbled_font_name;
        }
    }
    if (records) tracked_free(ctx, records);
}

// Gives the garbled descriptors the default font and the Normal size.
void plain_garbled_descriptors(DecompileContext& ctx) {
    for (long i = 0; i < ctx.font_count; ++i) {
        if (ctx.fonts[i].font_name != garbled_font_name) continue;
        ctx.fonts[i].font_name = ctx.default_font;
        ctx.fonts[i].size = ctx.fonts[0].font_name == ctx.default_font && ctx.fonts[0].size ? ctx.fonts[0].size
                                                                                               : fallback_normal_size;
    }
}

// The family each name is used with; a later descriptor overrides.
uint8_t* name_families(DecompileContext& ctx, long name_count) {
    if (name_count == 0) return nullptr;
    uint8_t* families = static_cast<uint8_t*>(tracked_malloc(ctx, name_count));
    std::memset(families, 0, static_cast<size_t>(name_count));
    for (long i = 0; i < ctx.font_count; ++i) {
        if (ctx.fonts[i].font_name < name_count) families[ctx.fonts[i].font_name] = ctx.fonts[i].family;
    }
    return families;
}

}  // namespace

int add_colour(DecompileContext& ctx, uint8_t red, uint8_t green, uint8_t blue) {
    if (ctx.colour_count < 1) reset_colours(ctx);
    for (int i = 0; i < ctx.colour_count; ++i) {
        if (ctx.colours[i][0] == red && ctx.colours[i][1] == green && ctx.colours[i][2] == blue) return i;
    }
    if (ctx.colour_count < colour_table_size) {
        uint8_t* entry = ctx.colours[ctx.colour_count];
        entry[0] = red;
        entry[1] = green;
        entry[2] = blue;
        return ctx.colour_count++;
    }
    // The table is full: the nearest real colour stands in (never the
    // automatic entry, which would drop a background altogether).
    if (!ctx.colour_table_overflow) {
        ctx.colour_table_overflow = true;
        ctx.had_problems = true;
        std::fprintf(stderr, "More than %d colours: the rest are written as the nearest ones\n",
                     colour_table_size - 1);
    }
    int best = 1;
    long best_distance = -1;
    for (int i = 1; i < ctx.colour_count; ++i) {
        long dr = ctx.colours[i][0] - red, dg = ctx.colours[i][1] - green, db = ctx.colours[i][2] - blue;
        long distance = dr * dr + dg * dg + db * db;
        if (best_distance < 0 || distance < best_distance) {
            best = i;
            best_distance = distance;
        }
    }
    return best;
}

namespace {

// Without a font file the topic file still has to be rich text whose groups
// balance: the header of an empty font table.
void write_header_without_fonts(DecompileContext& ctx, MemoryFile* topics) {
    const int code_page = topic_code_page(ctx);
    ctx.double_byte_text = double_byte_code_page(code_page);
    output_printf(topics,
                  "{\\rtf1\\ansi\\ansicpg%d\\deff0\n{\\fonttbl}\n{\\stylesheet{\\fs%d \\snext0 Normal;}\n}\\pard\\plain\n",
                  code_page, fallback_normal_size);
    std::memset(&ctx.attributes, 0, sizeof ctx.attributes);
}

void write_header_from_fonts(DecompileContext& ctx, MemoryFile* project, std::FILE* file, MemoryFile* topics,
                             long length) {
    const long start = std::ftell(file);
    const FontFile font{file, start, bounded_length(file, start, length)};
    const FontHeader header = read_header(font);
    const bool mediaview = header.layout == Layout::mediaview;

    // Character maps matter only to the project file.
    const long charmap_count = project != nullptr ? header.charmap_count : 0;
    CharMapRecord* charmaps = read_charmap_records(ctx, font, header.charmaps_at, charmap_count);
    FontName* names = read_names(ctx, font, header, project, charmaps);
    if (charmaps) {
        charmap_write_files(ctx, file, charmaps, static_cast<int>(charmap_count));
        tracked_free(ctx, charmaps);
    }

    read_descriptors(ctx, font, header);
    ctx.scale_multiplier = header.layout == Layout::old_layout ? 10 : 1;
    ctx.scale_subtrahend = header.layout == Layout::old_layout ? 5 : 0;
    uint8_t* styles = read_table(ctx, font, header.styles_at, header.style_count, style_size);
    index_style_colours(ctx, styles, header.style_count, mediaview ? mediaview_style : new_style);

    uint8_t* families = name_families(ctx, header.name_count);
    ctx.default_font = static_cast<uint8_t>(default_font_of(names, families, header.name_count));
    plain_garbled_descriptors(ctx);
    const int code_page = topic_code_page(ctx);
    ctx.double_byte_text = double_byte_code_page(code_page);
    const int footnote_font = footnote_font_of(ctx, code_page);
    ctx.footnotes_name_font = footnote_font >= 0;
    ctx.footnote_font = static_cast<uint8_t>(footnote_font >= 0 ? footnote_font : 0);
    output_printf(topics, "{\\rtf1\\ansi\\ansicpg%d\\deff%d\n", code_page, ctx.default_font);
    write_font_table(ctx, topics, names, families, header.name_count);
    // The faces stay for the HTML edition's stylesheet.
    ctx.font_faces = reinterpret_cast<char*>(names);
    ctx.font_face_count = static_cast<int32_t>(header.name_count);
    if (families) tracked_free(ctx, families);
    write_colour_table(ctx, topics);

    output_printf(topics, "{\\stylesheet{\\fs%d \\snext0 Normal;}\n",
                  ctx.font_count > 0 ? ctx.fonts[0].size : fallback_normal_size);
    for (long i = 0; i < header.style_count; ++i) write_style(topics, styles, header.style_count, i, mediaview);
    output_puts("}\\pard\\plain\n", topics);
    if (styles) tracked_free(ctx, styles);

    std::memset(&ctx.attributes, 0, sizeof ctx.attributes);
    ctx.attributes.font_name = ctx.default_font;

    if (project != nullptr) {
        std::fprintf(stderr, "%ld font names, %ld font descriptors", header.name_count, header.descriptor_count);
        if (header.layout != Layout::old_layout) std::fprintf(stderr, ", %ld font styles", header.style_count);
        std::fprintf(stderr, " loaded\n");
    }
}

}  // namespace

void rtf_header_write(DecompileContext& ctx, MemoryFile* project, std::FILE* file, MemoryFile* topics) {
    // Topic conversion scales measurements even without a font file.
    ctx.scale_multiplier = 1;
    ctx.scale_subtrahend = 0;
    ctx.font_faces = nullptr;
    ctx.font_face_count = 0;
    reset_colours(ctx);
    long length = 0;
    if (!find_internal_file(ctx, file, &length, "|FONT")) {
        write_header_without_fonts(ctx, topics);
        return;
    }
    const uint32_t written = topics->length;
    if (salvage_step(ctx, "|FONT", "font table damaged; topics written in the default font",
                     [&] { write_header_from_fonts(ctx, project, file, topics, length); })) {
        return;
    }
    // Whatever of the header was written goes: the topic file starts again.
    topics->length = topics->position = written;
    ctx.fonts = nullptr;
    ctx.font_count = 0;
    ctx.font_faces = nullptr;
    ctx.font_face_count = 0;
    ctx.default_font = 0;
    ctx.footnotes_name_font = false;
    ctx.scale_multiplier = 1;
    ctx.scale_subtrahend = 0;
    reset_colours(ctx);
    write_header_without_fonts(ctx, topics);
}

const char* font_face_name(const DecompileContext& ctx, int font) {
    if (font < 0 || font >= ctx.font_count || ctx.fonts == nullptr || ctx.font_faces == nullptr) return "";
    const int face = ctx.fonts[font].font_name;
    return face < ctx.font_face_count ? ctx.font_faces + static_cast<long>(face) * font_face_size : "";
}
