// Salvage: what a damaged help file lost instead of ending the decompile,
// gathered for the damage report (NAME-damage.txt) beside the sources.
#pragma once

#include <cstdint>

#include "core/decompile_context.h"
#include "core/tracked_allocator.h"

// What a piece of damage costs, graded where it is found; what follows
// from it is decided in one place, damage_found.
enum class Damage : uint8_t {
    none,  // sound
    end,   // not damage: the data ends here, as an intact file's may
    item,  // one item (a record, a picture reference) is lost; what follows is sound
    rest,  // the rest of the part, from here on, is lost
};

// The one place that decides what damage leads to: without salvage a fatal
// error (fatal_message); with it a note in the damage report (the internal
// file, the offset or -1, and what was lost), after which the caller goes
// on at the grade's cost.
void damage_found(DecompileContext& ctx, Damage grade, const char* fatal_message, const char* internal_file,
                  long offset, const char* format, ...) __attribute__((format(printf, 6, 7)));

// Records one loss: where it was (internal file and byte offset in it, -1
// when unknown) and what was lost. Warns on stderr and sets had_problems.
void note_damage(DecompileContext& ctx, const char* internal_file, long offset, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// The same where the fatal error and the note say the same: without salvage
// the message is fatal; with salvage it is noted as a loss and the caller
// goes on with what is intact.
void damage_found(DecompileContext& ctx, const char* internal_file, long offset, const char* format, ...)
    __attribute__((format(printf, 4, 5)));
// A reference of an index (a context id, a keyword) names a place where no
// text starts, so the index is damaged; it was written at the next place
// that has text. Without salvage fatal; with salvage the first few are noted
// one by one, then one line says that more are not listed.
void reference_misplaced(DecompileContext& ctx, const char* index, const char* what, int32_t named,
                         int32_t written);
// True when a loss has been noted.
bool damage_noted(const DecompileContext& ctx);
// The length of the damage report so far: a step whose losses were noted
// made it grow.
long damage_log_length(const DecompileContext& ctx);
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
        // The fatal error has said what it met; salvage notes what it costs.
        damage_found(ctx, Damage::rest, "", internal_file, -1, "%s", lost);
        return false;
    }
}
