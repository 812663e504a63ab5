#include "core/decompile_context.h"

#include <cstring>
#include <type_traits>

void context_init(DecompileContext& ctx) {
    std::memset(&ctx, 0, sizeof ctx);
    ctx.guess_context_ids = true;
    ctx.window_state = -1;
}

void context_release(DecompileContext& ctx) {
    // The outputs go even if freeing the tracked blocks is interrupted.
    try {
        tracked_free_all(ctx.allocations);
    } catch (...) {
        output_list_free(ctx.outputs);
        output_list_free(ctx.damage_log);
        throw;
    }
    output_list_free(ctx.outputs);
    output_list_free(ctx.damage_log);
}

// context_init clears the context as raw memory.
static_assert(std::is_trivial_v<DecompileContext>);
