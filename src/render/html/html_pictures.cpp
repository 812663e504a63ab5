#include "render/html/html_pictures.h"

#include <cstring>
#include <vector>

#include "core/decompile_context.h"
#include "firstpass/picture_names.h"
#include "firstpass/pictures.h"
#include "platform/code_page.h"
#include "project/context_hash.h"
#include "render/html/html_metafile.h"
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

// The hotspots of the picture file's best bitmap (the one the picture export
// shows): most colours, then most pixels, as it chose.
std::vector<Hotspot> best_picture_hotspots(const MemoryFile& file) {
    std::vector<Hotspot> hotspots;
    const uint8_t* data = file.buffer;
    const long size = static_cast<long>(file.length);
    HeadCursor c = head_cursor(data, size);
    cursor_skip(c, 2);
    const uint16_t count = cursor_u16(c);
    uint64_t best_score = 0;
    long best_hotspots = -1;
    for (unsigned i = 0; i < count && !c.overrun; ++i) {
        HeadCursor slot = head_cursor(data + 4 + 4 * static_cast<long>(i), size - 4 - 4 * static_cast<long>(i));
        const uint32_t start = cursor_u32(slot);
        if (slot.overrun || start >= static_cast<uint32_t>(size)) break;
        HeadCursor p = head_cursor(data + start, size - static_cast<long>(start));
        const uint8_t type = cursor_u8(p);
        cursor_u8(p);
        if (type == 8) continue;
        compressed_long(p);
        compressed_long(p);
        const uint16_t planes = cursor_compressed_ushort(p);
        const uint16_t bits = cursor_compressed_ushort(p);
        const uint32_t width = compressed_long(p), height = compressed_long(p);
        compressed_long(p);
        compressed_long(p);
        cursor_u32(p);
        const uint32_t hotspot_size = cursor_u32(p) >> 1;
        cursor_u32(p);
        const uint32_t hotspot_offset = cursor_u32(p);
        if (p.overrun) break;
        const uint64_t score = (uint64_t(bits) * planes << 40) +
                               std::min<uint64_t>(uint64_t(width) * height, uint64_t(1) << 39) + 1;
        if (score > best_score) {
            best_score = score;
            best_hotspots = hotspot_size != 0 ? static_cast<long>(start + hotspot_offset) : -1;
        }
    }
    if (best_hotspots < 0 || best_hotspots >= size) return hotspots;
    HeadCursor h = head_cursor(data + best_hotspots, size - best_hotspots);
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

void write_map(DecompileContext& ctx, const std::vector<Hotspot>& hotspots, const std::string& map,
               platform::CodePageConverter* code_page, const HtmlMapNumbers& numbers, const HtmlHrefOf& href_of,
               std::string& out) {
    out += "<map name=\"" + map + "\">";
    for (const Hotspot& spot : hotspots) {
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

}  // namespace

std::string html_picture_markup(DecompileContext& ctx, HtmlPictures& w, unsigned number, char side,
                                platform::CodePageConverter* code_page, const HtmlMapNumbers& numbers,
                                const HtmlHrefOf& href_of) {
    if (w.outputs.empty())
        for (OutputNode* n = ctx.outputs.head; n != nullptr; n = n->next) {
            std::string name;
            for (const char16_t* c = n->file->name; *c; ++c) name += static_cast<char>(*c);
            w.outputs.emplace(name, n->file);
        }
    const unsigned flags = number < static_cast<unsigned>(ctx.picture_table_size) ? ctx.picture_table[number] : 0;
    const std::string name = picture_file_name(ctx, number);
    const size_t dot = name.rfind('.');
    const std::string stem = name.substr(0, dot);
    const std::string extension = dot == std::string::npos ? "" : name.substr(dot);
    const char* placement = side == 'l' ? " class=\"left\"" : side == 'r' ? " class=\"right\"" : "";
    std::string out;
    auto shown = w.outputs.find("html\\" + stem + ".bmp");
    auto source = w.outputs.find(name);
    if (flags != 0 && extension == ".wmf" && source != w.outputs.end()) {
        const std::string svg_name = "html\\" + stem + ".svg";
        if (!w.outputs.count(svg_name)) {
            std::string svg;
            if (!html_metafile_svg(source->second->buffer, static_cast<long>(source->second->length), svg,
                                   convert_text, code_page))
                svg.clear();
            if (!svg.empty()) {
                MemoryFile* file = output_open(svg_name.c_str(), "wb");
                output_add(ctx.outputs, file);
                output_write(svg.data(), 1, svg.size(), file);
                w.outputs.emplace(svg_name, file);
            }
        }
        if (w.outputs.count(svg_name)) {
            out += "<img src=\"" + stem + ".svg\" alt=\"\"";
            out += placement;
            out += '>';
            return out;
        }
    }
    if (flags != 0 && (extension == ".bmp" || shown != w.outputs.end())) {
        const bool own = extension != ".bmp";
        out += "<img src=\"" + std::string(own ? "" : "../") + (own ? stem + ".bmp" : name) + "\" alt=\"\"";
        out += placement;
        std::vector<Hotspot> hotspots;
        if (own && source != w.outputs.end()) hotspots = best_picture_hotspots(*source->second);
        if (!hotspots.empty()) {
            const std::string map = "map" + std::to_string(w.next_map++);
            out += " usemap=\"#" + map + "\">";
            write_map(ctx, hotspots, map, code_page, numbers, href_of, out);
        } else {
            out += '>';
        }
        return out;
    }
    if (flags != 0 && source != w.outputs.end()) {
        out += "<a class=\"missing\" href=\"../";
        html_escape(out, name);
        out += "\">[picture ";
    } else {
        out += "<span class=\"missing\">[picture ";
    }
    html_escape(out, name);
    out += flags != 0 && source != w.outputs.end() ? "]</a>" : "]</span>";
    return out;
}
