// The compiler to rebuild with, the [OPTIONS] section, and the order of the
// record-driven sections after it.
#include <cstring>

#include "core/decompile_context.h"
#include "project/contents_file.h"
#include "project/context_map.h"
#include "project/project_sections.h"
#include "project/system_file.h"

namespace {

// What the walk over the records found for the sections after [OPTIONS].
struct SectionNeeds {
    int window_count;
    bool config;
    bool ftindex;
    bool keyindex;
    bool dllmaps;
    bool contents_file;  // a CNT= line was written
};

void set_compiler_name(DecompileContext& ctx, uint16_t minor) {
    const char* name = nullptr;
    switch (minor) {
    case 15: name = "HC30"; break;
    case 21: name = "HC31/HCP"; break;
    case 27: name = "WMVC/MVCC"; break;
    case 33: name = ctx.mediaview ? "MVC" : "HCRTF"; break;
    default: break;
    }
    if (name) std::strcpy(ctx.compiler_name, name);
}

void write_multikey_lines(DecompileContext& ctx, MemoryFile* project) {
    for (int c = 0x41; c <= 0x7A; ++c) {
        if (!ctx.keyword_file_letters[c] || c == 'K') continue;
        // WinHelp 4 keeps its A-keywords without being told.
        if (c == 'A' && ctx.winhelp4) continue;
        output_printf(project, "MULTIKEY=%c\n", c);
    }
}

void write_old_format_options(DecompileContext& ctx, std::FILE* file, MemoryFile* project, const SystemHeader& header) {
    char title[34];
    read_old_title(file, header, title, sizeof title);
    if (title[0] && title[0] != '\n') output_printf(project, "TITLE=%s\n", title);
    const char* index = topic_offset_name(ctx, 0);
    if (index) output_printf(project, "INDEX=%s\n", index);
    output_puts(ctx.phrase_count ? "COMPRESS=true\n" : "COMPRESS=false\n", project);
    write_multikey_lines(ctx, project);
    output_puts("\n", project);
}

void write_copyright(const char* text, MemoryFile* project) {
    // The compiler puts the date where the copyright text has a line break.
    const char* cr = std::strchr(text, '\r');
    if (cr) {
        output_printf(project, "COPYRIGHT=%.*s%%date\n", static_cast<int>(cr - text), text);
    } else if (text[0]) {
        output_printf(project, "COPYRIGHT=%s\n", text);
    }
}

void write_icon(DecompileContext& ctx, const SystemRecord* r, MemoryFile* project, const char* icon_name) {
    output_printf(project, "ICON=%s\n", icon_name);
    MemoryFile* icon = output_open(icon_name, "wb");
    output_add(ctx.outputs, icon);
    output_write(r->data, 1, r->length, icon);
}

void write_option_record(DecompileContext& ctx, const SystemRecord* r, MemoryFile* project, const char* icon_name,
                         SectionNeeds& needs) {
    const char* text = system_record_text(r);
    switch (r->type) {
    case 1:
        if (text[0]) output_printf(project, "TITLE=%s\n", text);
        break;
    case 2:
        write_copyright(text, project);
        break;
    case 3:
        // Too short to hold a topic offset: naming topic 0 would be made up.
        if (r->length >= 4) {
            const char* name = topic_offset_name(ctx, static_cast<int32_t>(record_dword(r, 0)));
            if (name) output_printf(project, "CONTENTS=%s\n", name);
        }
        break;
    case 4:
        needs.config = true;
        break;
    case 5:
        write_icon(ctx, r, project, icon_name);
        break;
    case 6:
        ++needs.window_count;
        break;
    case 8:
        if (text[0]) output_printf(project, "CITATION=%s\n", text);
        break;
    case 9:
        if (!ctx.mediaview) {
            output_printf(project, "LCID=0x%X 0x%X 0x%X\n", static_cast<unsigned>(int32_t(record_short(r, 8))),
                          static_cast<unsigned>(int32_t(record_short(r, 0))),
                          static_cast<unsigned>(int32_t(record_short(r, 2))));
        }
        break;
    case 10:
        if (!ctx.mediaview && text[0]) {
            output_printf(project, "CNT=%s\n", text);
            needs.contents_file = true;
        }
        break;
    case 12:
        if (ctx.mediaview) {
            needs.ftindex = true;
        } else {
            output_printf(project, "DEFFONT=%s,%d,%d\n", record_string(r, 2), record_byte(r, 0), record_byte(r, 1));
        }
        break;
    case 13:
        if (ctx.mediaview) ++ctx.group_count;
        break;
    case 14:
        if (ctx.mediaview) {
            needs.keyindex = true;
        } else {
            output_printf(project, "INDEX_SEPARATORS=\"%s\"\n", text);
        }
        break;
    case 18:
        if (text[0]) output_printf(project, "LANGUAGE=%s\n", text);
        break;
    case 19:
        needs.dllmaps = true;
        break;
    default:
        break;
    }
}

void write_compression(DecompileContext& ctx, MemoryFile* project) {
    if (ctx.winhelp4) {
        int value = ctx.topics_compressed ? 8 : 0;
        if (ctx.packed_phrases) {
            value += 4;
        } else if (ctx.phrase_count) {
            value += 2;
        }
        output_printf(project, "COMPRESS=%d\n", value);
    } else if (!ctx.topics_compressed) {
        output_puts("COMPRESS=OFF\n", project);
    } else {
        output_puts(ctx.phrase_count ? "COMPRESS=HIGH\n" : "COMPRESS=MEDIUM\n", project);
    }
}

}  // namespace

void write_project_options(DecompileContext& ctx, std::FILE* file, MemoryFile* project, const char* icon_name) {
    if (project == nullptr) return;
    SystemHeader header;
    if (!read_system_header(ctx, file, header)) return;
    set_compiler_name(ctx, header.minor);
    output_puts("[OPTIONS]\n", project);
    if (ctx.old_format) {
        write_old_format_options(ctx, file, project, header);
        return;
    }

    SectionNeeds needs{};
    ctx.group_count = 0;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        write_option_record(ctx, r, project, icon_name, needs);
    }
    // The contents file found beside the help file is copied beside the project.
    if (!needs.contents_file && !ctx.mediaview && ctx.contents_file != nullptr)
        output_printf(project, "CNT=%s\n", contents_copy_name(ctx).c_str());
    write_compression(ctx, project);
    if (header.flags == 8) output_puts("CDROMOPT=true\n", project);
    write_multikey_lines(ctx, project);
    output_puts("\n", project);

    if (needs.window_count) write_windows_section(ctx, file, project);
    if (needs.config) write_config_section(ctx, file, project);
    if (needs.ftindex) write_ftindex_section(ctx, file, project);
    if (ctx.group_count || (ctx.minor_27 && ctx.browse_count > 0)) write_groups_section(ctx, file, project);
    if (needs.dllmaps) write_dllmaps_section(ctx, file, project);
    if (needs.keyindex) write_keyindex_section(ctx, file, project);
    write_window_config_sections(ctx, file, project, needs.window_count);
}
