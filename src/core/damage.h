// Salvage: what a damaged help file lost instead of ending the decompile,
// gathered for the damage report (NAME-damage.txt) beside the sources.
#pragma once

#include <cstdint>

#include "core/decompile_context.h"
#include "core/tracked_allocator.h"

// Records one loss: where it was (internal file and byte offset in it, -1
// when unknown) and what was lost. Warns on stderr and sets had_problems.
void note_damage(DecompileContext& ctx, const char* internal_file, long offset, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// Damage graded where it is found: without salvage it is fatal, with the
// message as a fatal error prints it; with salvage it is noted as a loss
// and the caller goes on with what is intact.
void damage_found(DecompileContext& ctx, const char* internal_file, long offset, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// True when a loss has been noted.
bool damage_noted(const DecompileContext& ctx);
// With salvage on and a loss noted, lists NAME-damage.txt with every loss
// and the line "N of M topics recovered whole" (the topic counts the
// context holds); otherwise nothing.
void write_damage_report(DecompileContext& ctx);

// Runs one step of the decompile. With salvage on, a fatal condition inside
// it costs only what the step had still to do: it is noted as a loss (the
// internal file and what was lost) and the result is false. Without salvage
// the FatalError goes on as always.
template <typename Step>
bool salvage_step(DecompileContext& ctx, const char* internal_file, const char* lost, Step&& step) {
    if (!ctx.salvage) {
        step();
        return true;
    }
    try {
        step();
        return true;
    } catch (const FatalError&) {
        note_damage(ctx, internal_file, -1, "%s", lost);
        return false;
    }
}
