// NAME.hhp: the HTML Help project's options, windows, files and map.
#include "render/html/html_help_project.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/decompile_context.h"
#include "core/memory_file.h"
#include "render/html/html_text.h"

namespace html_site {

void append_project_text(std::string& out, std::string_view text, bool quoted) {
    for (const char c : text) {
        const auto b = static_cast<uint8_t>(c);
        if (b < 0x20 || b == 0x7F) continue;
        out += quoted && c == '"' ? '\'' : c;
    }
}

namespace {

void append_hex(std::string& out, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%x", value);
    out += text;
}

void append_options(const Site& site, const HelpProject& project, std::string& out) {
    const DecompileContext& ctx = site.ctx;
    out += "[OPTIONS]\r\nCompatibility=1.1 or later\r\nCompiled file=" + project.name + ".chm\r\n";
    out += "Contents file=" + project.name + ".hhc\r\nDefault Window=main\r\n";
    out += "Default topic=" + project.default_page + "\r\n";
    out += "Display compile progress=No\r\nFull-text search=Yes\r\n";
    out += "Index file=" + project.name + ".hhk\r\nLanguage=";
    // Files before WinHelp 4 name no language; their pages are read as
    // Western text, which is what US English gives the compiler.
    append_hex(out, ctx.language_id != 0 ? ctx.language_id : 0x409u);
    out += "\r\nTitle=";
    if (ctx.help_title[0] != '\0') append_project_text(out, ctx.help_title, false);
    else out += project.name;
    out += "\r\n\r\n";
}

// Every file of html/ written so far: the pages, their pictures, the
// stylesheet and the search's scripts.
void append_files(const DecompileContext& ctx, std::string& out) {
    static constexpr std::u16string_view folder = u"html\\";
    std::vector<std::string> names;
    for (const OutputNode* n = ctx.outputs.head; n != nullptr; n = n->next) {
        const std::u16string_view name(n->file->name);
        if (name.substr(0, folder.size()) != folder) continue;
        std::string narrow;
        // The edition's names are ASCII (html_safe_name and its own).
        for (const char16_t unit : name.substr(folder.size())) narrow += unit < 0x80 ? static_cast<char>(unit) : '_';
        names.push_back(std::move(narrow));
    }
    std::reverse(names.begin(), names.end());  // the list holds the newest first
    out += "[FILES]\r\n";
    for (const std::string& name : names) out += name + "\r\n";
    out += "\r\n";
}

}  // namespace

void write_help_project(const Site& site, std::FILE* file, const KeywordIndex& keywords, const SiteContents& contents) {
    DecompileContext& ctx = site.ctx;
    HelpProject project{html_safe_name(ctx.base_name), help_code_page(ctx, file), "index.html"};
    if (site.contents_topic >= 0) project.default_page = site.topics[site.contents_topic].page;
    std::string text;
    append_options(site, project, text);
    append_help_windows(site, file, project, text);
    append_files(ctx, text);
    append_help_map(site, file, project, text);
    write_help_contents(site, project, contents);
    write_help_index(site, project, keywords);
    add_output(ctx, project.name + ".hhp", text);
}

}  // namespace html_site
