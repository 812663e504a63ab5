#include "core/damage.h"

#include <cstdarg>
#include <cstdio>
#include <initializer_list>

#include "core/decompile_context.h"

namespace {

void note_damage_text(DecompileContext& ctx, const char* internal_file, long offset, const char* format,
                      va_list args);

}  // namespace

void damage_found(DecompileContext& ctx, Damage grade, const char* fatal_message, const char* internal_file,
                  long offset, const char* format, ...) {
    if (grade == Damage::none || grade == Damage::end) return;
    if (!ctx.salvage) fatal_error("%s", fatal_message);
    va_list args;
    va_start(args, format);
    note_damage_text(ctx, internal_file, offset, format, args);
    va_end(args);
}

void note_damage(DecompileContext& ctx, const char* internal_file, long offset, const char* format, ...) {
    va_list args;
    va_start(args, format);
    note_damage_text(ctx, internal_file, offset, format, args);
    va_end(args);
}

namespace {

void note_damage_text(DecompileContext& ctx, const char* internal_file, long offset, const char* format,
                      va_list args) {
    char what[512];
    std::vsnprintf(what, sizeof what, format, args);
    char where[64];
    std::snprintf(where, sizeof where, "%s", internal_file);
    // Names come from a damaged file: control characters are not passed on.
    for (char* text : {what, where}) {
        for (char* c = text; *c; ++c) {
            if (static_cast<unsigned char>(*c) < 0x20 || *c == 0x7F) *c = '?';
        }
    }
    if (ctx.damage_log.head == nullptr) output_add(ctx.damage_log, output_open("damage", "wt"));
    MemoryFile* log = ctx.damage_log.head->file;
    if (offset >= 0) output_printf(log, "%s at offset %ld: %s\n", where, offset, what);
    else output_printf(log, "%s: %s\n", where, what);
    std::fprintf(stderr, "\nSalvage: %s: %s\n", where, what);
    ctx.had_problems = true;
}

}  // namespace

void damage_found(DecompileContext& ctx, const char* internal_file, long offset, const char* format, ...) {
    char what[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(what, sizeof what, format, args);
    va_end(args);
    damage_found(ctx, Damage::rest, what, internal_file, offset, "%s", what);
}

void reference_misplaced(DecompileContext& ctx, const char* index, const char* what, int32_t named,
                         int32_t written) {
    constexpr int32_t listed = 5;
    char message[400];
    std::snprintf(message, sizeof message, "%.300s names topic offset 0x%X, where no text starts", what,
                  static_cast<uint32_t>(named));
    if (!ctx.salvage) fatal_error("%s", message);
    if (ctx.misplaced_references < listed) note_damage(ctx, index, -1, "%s; written at 0x%X", message, written);
    else if (ctx.misplaced_references == listed)
        note_damage(ctx, index, -1, "more references name places where no text starts; they are not listed");
    ++ctx.misplaced_references;
}

bool damage_noted(const DecompileContext& ctx) { return ctx.damage_log.head != nullptr; }

long damage_log_length(const DecompileContext& ctx) {
    return ctx.damage_log.head ? static_cast<long>(ctx.damage_log.head->file->length) : 0;
}

void write_damage_report(DecompileContext& ctx) {
    if (!ctx.salvage || !damage_noted(ctx)) return;
    const MemoryFile* log = ctx.damage_log.head->file;
    char name[300];
    std::snprintf(name, sizeof name, "%s-damage.txt", ctx.base_name);
    MemoryFile* report = output_open(name, "wt");
    output_add(ctx.outputs, report);
    output_printf(report, "Damage found while salvaging %s\n\n", ctx.base_name);
    // The log is stored with CR LF already: copied as bytes, not widened again.
    report->text = false;
    output_write(log->buffer, 1, log->length, report);
    report->text = true;
    output_puts("\n", report);
    if (ctx.renumbered_pictures > 0) {
        output_printf(report, "%ld pictures lost their names and were exported under new numbers\n",
                      static_cast<long>(ctx.renumbered_pictures));
    }
    // The summary stays the last line: the command-line tool reads it there.
    output_printf(report, "%ld of %ld topics recovered whole\n", static_cast<long>(ctx.topics_whole),
                  static_cast<long>(ctx.topics_total));
}
