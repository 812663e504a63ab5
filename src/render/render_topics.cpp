#include "render/render_topics.h"

#include <cstdio>

#include "core/decompile_context.h"
#include "render/html/html_writer.h"
#include "render/rtf/rtf_writer.h"
#include "render/walk/record_walk.h"

void topic_file_name(const DecompileContext& ctx, char* name) {
    std::snprintf(name, 260, "%.255s.rtf", ctx.base_name);
}

MemoryFile* topic_to_rtf(DecompileContext& ctx, std::FILE* file, MemoryFile* rtf) {
    RtfWriter rich_text(file, rtf);
    if (ctx.html) {
        HtmlWriter html;
        html_writer_start(ctx, file, html);
        // The rich text goes first, as it would alone.
        TopicTee<RtfWriter, HtmlWriter> both(rich_text, html);
        walk_topic_records(ctx, file, both);
        html_writer_finish(ctx, file, html);
    } else {
        walk_topic_records(ctx, file, rich_text);
    }
    rich_text.finish(ctx);
    return rtf;
}
