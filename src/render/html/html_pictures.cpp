#include "render/html/html_pictures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "core/decompile_context.h"
#include "firstpass/picture_names.h"
#include "firstpass/pictures.h"
#include "platform/code_page.h"
#include "project/context_hash.h"
#include "render/html/html_metafile.h"
#include "render/html/html_png.h"
#include "render/html/html_text.h"
#include "topics/topic_records.h"

namespace {

uint32_t compressed_long(HeadCursor& c) {
    if (!cursor_need(c, 2)) return 0;
    if ((c.at[0] & 1) == 0) return cursor_u16(c) >> 1;
    return cursor_u32(c) >> 1;
}

struct Hotspot {
    uint8_t type;
    uint16_t x, y, width, height;
    std::string target;  // context name or macro
};

// One picture of a picture file as the picture export wrote it: the data's
// offset and size are 4-byte fields there, the offsets from the picture's
// first byte.
struct StoredPicture {
    uint8_t type = 0;
    uint8_t packing = 0;
    uint64_t score = 0;  // bitmaps: most colours, then most pixels
    uint16_t metafile_width = 0, metafile_height = 0;
    uint32_t unpacked_size = 0;
    long data = -1, data_size = 0;
    long hotspots = -1;
};

std::vector<StoredPicture> stored_pictures(const MemoryFile& file) {
    std::vector<StoredPicture> pictures;
    const uint8_t* data = file.buffer;
    const long size = static_cast<long>(file.length);
    HeadCursor c = head_cursor(data, size);
    cursor_skip(c, 2);
    const uint16_t count = cursor_u16(c);
    for (unsigned i = 0; i < count && !c.overrun; ++i) {
        HeadCursor slot = head_cursor(data + 4 + 4 * static_cast<long>(i), size - 4 - 4 * static_cast<long>(i));
        const uint32_t start = cursor_u32(slot);
        if (slot.overrun || start >= static_cast<uint32_t>(size)) break;
        HeadCursor p = head_cursor(data + start, size - static_cast<long>(start));
        StoredPicture picture;
        picture.type = cursor_u8(p);
        picture.packing = cursor_u8(p);
        if (picture.type == 8) {
            cursor_compressed_ushort(p);
            picture.metafile_width = cursor_u16(p);
            picture.metafile_height = cursor_u16(p);
            picture.unpacked_size = compressed_long(p);
        } else {
            compressed_long(p);
            compressed_long(p);
            const uint16_t planes = cursor_compressed_ushort(p);
            const uint16_t bits = cursor_compressed_ushort(p);
            const uint32_t width = compressed_long(p), height = compressed_long(p);
            compressed_long(p);
            compressed_long(p);
            picture.score = (uint64_t(bits) * planes << 40) +
                            std::min<uint64_t>(uint64_t(width) * height, uint64_t(1) << 39) + 1;
        }
        const uint32_t data_size = cursor_u32(p) >> 1;
        const uint32_t hotspot_size = cursor_u32(p) >> 1;
        const uint32_t data_offset = cursor_u32(p);
        const uint32_t hotspot_offset = cursor_u32(p);
        if (p.overrun) break;
        if (uint64_t(start) + data_offset + data_size <= uint64_t(size)) {
            picture.data = static_cast<long>(start + data_offset);
            picture.data_size = static_cast<long>(data_size);
        }
        if (hotspot_size != 0 && uint64_t(start) + hotspot_offset < uint64_t(size))
            picture.hotspots = static_cast<long>(start + hotspot_offset);
        pictures.push_back(picture);
    }
    return pictures;
}

// The picture the edition shows: the best bitmap (the one the picture
// export wrote for it), else the first metafile; null when there is none.
const StoredPicture* shown_picture(const std::vector<StoredPicture>& pictures) {
    const StoredPicture* best = nullptr;
    for (const StoredPicture& picture : pictures)
        if (picture.type != 8 && (best == nullptr || picture.score > best->score)) best = &picture;
    for (const StoredPicture& picture : pictures)
        if (best == nullptr && picture.type == 8) best = &picture;
    return best;
}

std::vector<Hotspot> hotspots_at(const MemoryFile& file, long at) {
    std::vector<Hotspot> hotspots;
    const long size = static_cast<long>(file.length);
    if (at < 0 || at >= size) return hotspots;
    HeadCursor h = head_cursor(file.buffer + at, size - at);
    cursor_u8(h);
    const uint16_t n = cursor_u16(h);
    const uint32_t macro_size = cursor_u32(h);
    if (h.overrun || !cursor_need(h, 15L * n)) return hotspots;
    const uint8_t* records = h.at;
    cursor_skip(h, 15L * n);
    cursor_skip(h, static_cast<long>(std::min<uint32_t>(macro_size, 0x7FFFFFFF)));
    for (unsigned i = 0; i < n && !h.overrun; ++i) {
        const char* name = cursor_cstring(h);
        const char* target = name != nullptr ? cursor_cstring(h) : nullptr;
        if (target == nullptr) break;
        HeadCursor r = head_cursor(records + 15 * i, 15);
        Hotspot spot{};
        spot.type = cursor_u8(r);
        cursor_skip(r, 2);
        spot.x = cursor_u16(r);
        spot.y = cursor_u16(r);
        spot.width = cursor_u16(r);
        spot.height = cursor_u16(r);
        spot.target = target;
        hotspots.push_back(std::move(spot));
    }
    return hotspots;
}

// The metafile of a picture file as a placeable metafile (the size the
// picture export gives .wmf files: hundredths of a millimetre), its
// run-length code undone.
std::vector<uint8_t> placeable_metafile(const MemoryFile& file, const StoredPicture& picture) {
    const uint16_t words[10] = {0xCDD7, 0x9AC6, 0, 0, 0, picture.metafile_width, picture.metafile_height, 2540, 0, 0};
    std::vector<uint8_t> out;
    uint16_t checksum = 0;
    for (uint16_t w : words) {
        out.push_back(static_cast<uint8_t>(w));
        out.push_back(static_cast<uint8_t>(w >> 8));
        checksum ^= w;
    }
    out.push_back(static_cast<uint8_t>(checksum));
    out.push_back(static_cast<uint8_t>(checksum >> 8));
    const uint8_t* at = file.buffer + picture.data;
    const uint8_t* end = at + picture.data_size;
    if (!(picture.packing & 1)) {
        out.insert(out.end(), at, end);
        return out;
    }
    const size_t limit = out.size() + picture.unpacked_size;
    while (at < end && out.size() < limit) {
        const unsigned count = *at & 0x7F;
        if (*at++ & 0x80) {
            const size_t n = std::min<size_t>(count, static_cast<size_t>(end - at));
            out.insert(out.end(), at, at + n);
            at += n;
        } else if (at < end) {
            out.insert(out.end(), count, *at++);
        }
    }
    if (out.size() > limit) out.resize(limit);
    return out;
}

void write_map(DecompileContext& ctx, const std::vector<Hotspot>& hotspots, const std::string& map,
               platform::CodePageConverter* code_page, const HtmlMapNumbers& numbers, const HtmlHrefOf& href_of,
               std::string& out) {
    out += "<map name=\"" + map + "\">";
    // No picture of a help file has this many hotspots; one built to make
    // every showing of it huge has its areas cut here.
    constexpr size_t most_areas = 1000;
    const size_t shown = std::min(hotspots.size(), most_areas);
    for (const Hotspot& spot : std::span(hotspots).first(shown)) {
        out += "<area shape=\"rect\" coords=\"" + std::to_string(spot.x) + "," + std::to_string(spot.y) + "," +
               std::to_string(spot.x + spot.width) + "," + std::to_string(spot.y + spot.height) + "\"";
        const HtmlLink link =
            html_target_link(ctx, spot.target, (spot.type & 0xF0) == 0xC0, !(spot.type & 1), numbers);
        if (link.kind != HtmlLink::none) {
            out += " href=\"";
            out += href_of(link);
            out += '"';
        }
        out += " alt=\"\" title=\"";
        html_escape_converted(out, code_page, spot.target);
        out += "\">";
    }
    out += "</map>";
}

// The help file's text as UTF-8, for the strings of metafile records.
void convert_text(const char* text, size_t length, void* converter, std::string& out) {
    platform::code_page_append(static_cast<platform::CodePageConverter*>(converter), text, length, out);
}

// A new output of the edition, listed with the others.
void add_output(DecompileContext& ctx, HtmlPictures& w, const std::string& name, const std::string& bytes) {
    MemoryFile* file = output_open(name.c_str(), "wb");
    output_add(ctx.outputs, file);
    output_write(bytes.data(), 1, bytes.size(), file);
    w.outputs.emplace(name, file);
}

void list_outputs(DecompileContext& ctx, HtmlPictures& w) {
    if (!w.outputs.empty()) return;
    for (OutputNode* n = ctx.outputs.head; n != nullptr; n = n->next) {
        std::string name;
        for (const char16_t* c = n->file->name; *c; ++c) name += static_cast<char>(*c);
        w.outputs.emplace(name, n->file);
    }
}

// The bitmap the picture export wrote into html/ for a picture file,
// replaced in its place in the list by its PNG; false when there is none
// or it cannot be read.
bool replace_bitmap_by_png(DecompileContext& ctx, HtmlPictures& w, const std::string& stem, bool transparent) {
    auto bitmap = w.outputs.find("html\\" + stem + ".bmp");
    if (bitmap == w.outputs.end()) return false;
    MemoryFile* old = bitmap->second;
    std::string png;
    if (!html_bmp_png(old->buffer, static_cast<long>(old->length), transparent, png)) return false;
    MemoryFile* file = output_open(("html\\" + stem + ".png").c_str(), "wb");
    output_write(png.data(), 1, png.size(), file);
    for (OutputNode* n = ctx.outputs.head; n != nullptr; n = n->next)
        if (n->file == old) n->file = file;
    std::free(old->buffer);
    std::free(old);
    w.outputs.erase(bitmap);
    w.outputs.emplace("html\\" + stem + ".png", file);
    return true;
}

// The SVG of a metafile (placeable or not) as html\stem.svg, once.
bool write_svg(DecompileContext& ctx, HtmlPictures& w, const std::string& stem, const uint8_t* data, long size,
               platform::CodePageConverter* code_page) {
    const std::string name = "html\\" + stem + ".svg";
    if (w.outputs.count(name)) return true;
    std::string svg;
    if (!html_metafile_svg(data, size, svg, convert_text, code_page)) return false;
    add_output(ctx, w, name, svg);
    return true;
}

// html\stem.png of a picture: the bitmap file of the sources converted, or
// the picture file's bitmap the export wrote into html/.
bool write_png(DecompileContext& ctx, HtmlPictures& w, const std::string& stem, const MemoryFile* source,
               bool own, bool transparent) {
    const std::string name = "html\\" + stem + ".png";
    if (w.outputs.count(name)) return true;
    if (own) return replace_bitmap_by_png(ctx, w, stem, transparent);
    std::string png;
    if (source == nullptr || !html_bmp_png(source->buffer, static_cast<long>(source->length), transparent, png))
        return false;
    add_output(ctx, w, name, png);
    return true;
}

}  // namespace

std::string html_picture_markup(DecompileContext& ctx, HtmlPictures& w, unsigned number, char side,
                                platform::CodePageConverter* code_page, const HtmlMapNumbers& numbers,
                                const HtmlHrefOf& href_of) {
    list_outputs(ctx, w);
    const unsigned flags = number < static_cast<unsigned>(ctx.picture_table_size) ? ctx.picture_table[number] : 0;
    const std::string name = picture_file_name(ctx, number);
    const size_t dot = name.rfind('.');
    const std::string stem = name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    const char* placement = side == 'l' ? " class=\"left\"" : side == 'r' ? " class=\"right\"" : "";
    auto found = w.outputs.find(name);
    const MemoryFile* source = flags != 0 && found != w.outputs.end() ? found->second : nullptr;
    const bool own = extension == ".shg" || extension == ".mrb";
    std::vector<StoredPicture> stored;
    if (own && source != nullptr) stored = stored_pictures(*source);
    const StoredPicture* shown = shown_picture(stored);
    std::string shown_file;
    if (source != nullptr && extension == ".wmf") {
        if (write_svg(ctx, w, stem, source->buffer, static_cast<long>(source->length), code_page))
            shown_file = stem + ".svg";
    } else if (shown != nullptr && shown->type == 8 && shown->data >= 0) {
        const std::vector<uint8_t> metafile = placeable_metafile(*source, *shown);
        if (write_svg(ctx, w, stem, metafile.data(), static_cast<long>(metafile.size()), code_page))
            shown_file = stem + ".svg";
    } else if (source != nullptr && (extension == ".bmp" || own)) {
        if (write_png(ctx, w, stem, source, own, (flags & picture_transparent) != 0)) shown_file = stem + ".png";
    }
    std::string out;
    if (shown_file.empty()) {
        // Nothing the browser can show: the picture's name, for the reader
        // to find it among the sources.
        out += "<span class=\"missing\">[picture ";
        html_escape(out, name);
        out += "]</span>";
        return out;
    }
    out += "<img src=\"" + shown_file + "\" alt=\"\"";
    out += placement;
    const std::vector<Hotspot> hotspots = shown != nullptr ? hotspots_at(*source, shown->hotspots) : std::vector<Hotspot>{};
    if (hotspots.empty()) {
        out += '>';
        return out;
    }
    const auto [known, fresh] = w.page_maps.try_emplace(number);
    if (fresh) known->second = "map" + std::to_string(w.next_map++);
    out += " usemap=\"#" + known->second + "\">";
    if (fresh) write_map(ctx, hotspots, known->second, code_page, numbers, href_of, out);
    return out;
}

void html_pictures_finish(DecompileContext& ctx, HtmlPictures& w) {
    list_outputs(ctx, w);
    for (unsigned number = 0; number < static_cast<unsigned>(ctx.picture_table_size); ++number) {
        if (ctx.picture_table[number] == 0) continue;
        const std::string name = picture_file_name(ctx, number);
        const std::string stem = name.substr(0, name.rfind('.'));
        if (!w.outputs.count("html\\" + stem + ".bmp")) continue;
        if (!replace_bitmap_by_png(ctx, w, stem, (ctx.picture_table[number] & picture_transparent) != 0))
            std::fprintf(stderr, "The bitmap of %s cannot be shown in the HTML edition.\n", name.c_str());
    }
}
