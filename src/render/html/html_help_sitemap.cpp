// NAME.hhc and NAME.hhk: HTML Help's sitemaps, lists of <OBJECT
// type="text/sitemap"> entries, in the help file's code page.
#include <string>
#include <string_view>

#include "core/decompile_context.h"
#include "render/html/html_help_project.h"
#include "render/html/html_keyword_ids.h"
#include "render/html/html_text.h"

namespace html_site {

namespace {

const char* charset_name(int code_page) {
    switch (code_page) {
    case 874: return "windows-874";
    case 932: return "shift_jis";
    case 936: return "gb2312";
    case 949: return "ks_c_5601-1987";
    case 950: return "big5";
    case 1250: return "windows-1250";
    case 1251: return "windows-1251";
    case 1253: return "windows-1253";
    case 1254: return "windows-1254";
    case 1255: return "windows-1255";
    case 1256: return "windows-1256";
    case 1257: return "windows-1257";
    case 1258: return "windows-1258";
    default: return "windows-1252";
    }
}

bool lead_byte(int code_page, uint8_t b) {
    if (code_page == 932) return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    return (code_page == 936 || code_page == 949 || code_page == 950) && b >= 0x81 && b <= 0xFE;
}

// A topic's name in the lists: its title (cut after 240 bytes, at a
// character's start, as the pages' lists cut it), else its page's name.
std::string listed_name(const HtmlTopic& topic, int code_page) {
    constexpr size_t longest = 240;
    if (topic.raw_title.empty()) return topic.page.substr(0, topic.page.size() - 5);
    if (topic.raw_title.size() <= longest) return topic.raw_title;
    size_t end = 0;
    while (end < longest) {
        const size_t step = lead_byte(code_page, static_cast<uint8_t>(topic.raw_title[end])) ? 2 : 1;
        if (end + step > longest) break;
        end += step;
    }
    return topic.raw_title.substr(0, end) + "...";
}

void append_param(std::string& out, const char* name, std::string_view value) {
    out += "\t\t<param name=\"";
    out += name;
    out += "\" value=\"";
    html_escape(out, value);  // drops control characters too
    out += "\">\r\n";
}

// One entry: a name, and where it leads when `local` is not empty.
void append_item(std::string& out, std::string_view name, std::string_view local) {
    out += "\t<LI> <OBJECT type=\"text/sitemap\">\r\n";
    append_param(out, "Name", name);
    if (!local.empty()) append_param(out, "Local", local);
    out += "\t\t</OBJECT>\r\n";
}

MemoryFile* open_sitemap(const Site& site, const HelpProject& project, const char* extension, std::string& out) {
    out = "<!DOCTYPE HTML PUBLIC \"-//IETF//DTD HTML//EN\">\r\n<HTML>\r\n<HEAD>\r\n"
          "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
    out += charset_name(project.code_page);
    out += "\">\r\n</HEAD>\r\n<BODY>\r\n<UL>\r\n";
    return open_page(site.ctx, project.name + extension);
}

void close_sitemap(MemoryFile* file, std::string& out) {
    out += "</UL>\r\n</BODY>\r\n</HTML>\r\n";
    write_part(file, out, true);
}

// The author's tree: headings as entries without a page, their topics in
// a list under them.
void append_tree(const Site& site, const ContentsTree& tree, MemoryFile* file, std::string& out) {
    int depth = 0;  // headings open
    for (const ContentsEntry& entry : tree.entries) {
        for (; depth > entry.level - 1; --depth) out += "</UL>\r\n";
        const bool topic = !entry.heading && !entry.context.empty();
        append_item(out, entry.text, topic ? contents_entry_local(site, entry, tree.base) : std::string());
        if (entry.heading) {
            out += "<UL>\r\n";
            ++depth;
        }
        write_part(file, out, false);
    }
    for (; depth > 0; --depth) out += "</UL>\r\n";
}

}  // namespace

void write_help_contents(const Site& site, const HelpProject& project, const SiteContents& contents) {
    std::string out;
    MemoryFile* file = open_sitemap(site, project, ".hhc", out);
    if (site.ctx.contents_file != nullptr) append_tree(site, contents.tree, file, out);
    for (long t : contents.listed) {
        append_item(out, listed_name(site.topics[t], project.code_page), site.topics[t].page);
        write_part(file, out, false);
    }
    // The author's tree stands alone; the contents drawn from the topics
    // list the others apart, as the index page does.
    const bool others = site.ctx.contents_file == nullptr && !contents.others.empty();
    if (others) {
        append_item(out, "Other topics", {});
        out += "<UL>\r\n";
        for (long t : contents.others) {
            append_item(out, listed_name(site.topics[t], project.code_page), site.topics[t].page);
            write_part(file, out, false);
        }
        out += "</UL>\r\n";
    }
    close_sitemap(file, out);
}

// Each keyword one entry; several topics under it as several name and page
// pairs after the keyword, as HTML Help lists them to choose from.
void write_help_index(const Site& site, const HelpProject& project, const KeywordIndex& keywords) {
    std::string out;
    MemoryFile* file = open_sitemap(site, project, ".hhk", out);
    for (const KeywordEntry& entry : keywords.entries) {
        out += "\t<LI> <OBJECT type=\"text/sitemap\">\r\n";
        append_param(out, "Name", entry.raw);
        for (long t : entry.topics) {
            if (entry.topics.size() > 1) append_param(out, "Name", listed_name(site.topics[t], project.code_page));
            append_param(out, "Local", site.topics[t].page);
        }
        out += "\t\t</OBJECT>\r\n";
        write_part(file, out, false);
    }
    close_sitemap(file, out);
}

}  // namespace html_site
