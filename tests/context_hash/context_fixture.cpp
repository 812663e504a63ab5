#include "context_fixture.h"

#include <algorithm>

void set_context_table(DecompileContext& ctx, const std::vector<ContextEntry>& entries) {
    ctx.contexts = tracked_new_array<ContextEntry>(ctx, std::max<long>(1, static_cast<long>(entries.size())));
    std::copy(entries.begin(), entries.end(), ctx.contexts);
    ctx.context_count = static_cast<int32_t>(entries.size());
}

std::vector<RecordedName> recorded_names(const DecompileContext& ctx) {
    std::vector<RecordedName> names;
    for (int32_t i = 0; i < ctx.context_name_count; ++i) {
        const ContextName& n = ctx.context_names[i];
        names.push_back({n.name, n.hash, n.derived});
    }
    return names;
}
