#include "render/render_topics.h"

#include <cstdio>
#include <new>

#include "core/decompile_context.h"
#include "core/memory_file.h"
#include "core/tracked_allocator.h"
#include "render/html/html_writer.h"
#include "render/rtf/rtf_writer.h"
#include "render/walk/record_walk.h"

void topic_file_name(const DecompileContext& ctx, char* name) {
    std::snprintf(name, 260, "%.255s.rtf", ctx.base_name);
}

namespace {

// The HTML edition is an extra: when it fails on its own (memory, a size
// limit, anything its writer throws), it is given up and its files are
// unlisted, and the sources go on as they would without it.
struct GuardedHtml {
    HtmlWriter html;
    bool failed = false;

    template <class Work>
    void run(DecompileContext& ctx, Work&& work) {
        if (failed) return;
        int code = fatal_damage;
        try {
            work();
            return;
        } catch (const FatalError& error) {
            code = error.code;
        } catch (const std::bad_alloc&) {
            code = fatal_memory;
        }
        failed = true;
        html.topics.clear();
        html.topics.shrink_to_fit();
        output_list_drop_folder(ctx.outputs, u"html\\");
        std::fprintf(stderr, "\nThe HTML edition is left out: %s.\n",
                     code == fatal_memory ? "out of memory" : code == fatal_too_large ? "output too large"
                                                                                     : "it could not be made");
    }
    template <class Event>
    void on(DecompileContext& ctx, const Event& event) {
        run(ctx, [&] { html.on(ctx, event); });
    }
};

}  // namespace

MemoryFile* topic_to_rtf(DecompileContext& ctx, std::FILE* file, MemoryFile* rtf) {
    RtfWriter rich_text(file, rtf);
    if (ctx.html) {
        GuardedHtml guarded;
        guarded.run(ctx, [&] { html_writer_start(ctx, file, guarded.html); });
        // The rich text goes first, as it would alone.
        TopicTee<RtfWriter, GuardedHtml> both(rich_text, guarded);
        walk_topic_records(ctx, file, both);
        guarded.run(ctx, [&] { html_writer_finish(ctx, file, guarded.html, rtf->length); });
    } else {
        walk_topic_records(ctx, file, rich_text);
    }
    rich_text.finish(ctx);
    return rtf;
}
