#include "topics/phrase_order.h"

#include <algorithm>

#include "core/decompile_context.h"

namespace {

uint32_t phrase_length(const DecompileContext& ctx, uint32_t i) {
    return ctx.phrase_offsets[i + 1] - ctx.phrase_offsets[i];
}

int compare_phrases(const char* a, uint32_t la, const char* b, uint32_t lb, bool fold_case) {
    for (uint32_t i = 0; i < std::min(la, lb); ++i) {
        unsigned ca = static_cast<unsigned char>(a[i]), cb = static_cast<unsigned char>(b[i]);
        if (fold_case && ca >= 'A' && ca <= 'Z') ca += 'a' - 'A';
        if (fold_case && cb >= 'A' && cb <= 'Z') cb += 'a' - 'A';
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return la < lb ? -1 : (la > lb ? 1 : 0);
}

}  // namespace

bool phrase_holds_control_character(const DecompileContext& ctx, uint32_t i, const char* texts, int64_t origin) {
    const char* text = texts + (int64_t(ctx.phrase_offsets[i]) - origin);
    const uint32_t length = phrase_length(ctx, i);
    for (uint32_t k = 0; k < length; ++k) {
        const unsigned char c = static_cast<unsigned char>(text[k]);
        if (c < 0x20 || c == 0x7F) return true;
    }
    return false;
}

bool phrase_plausible(const DecompileContext& ctx, uint32_t i, const char* texts, int64_t origin) {
    if (phrase_holds_control_character(ctx, i, texts, origin)) return false;
    if (i == 0 || (ctx.packed_phrases && i == 128)) return true;
    const char* text = texts + (int64_t(ctx.phrase_offsets[i]) - origin);
    const char* before = texts + (int64_t(ctx.phrase_offsets[i - 1]) - origin);
    return compare_phrases(before, phrase_length(ctx, i - 1), text, phrase_length(ctx, i), ctx.packed_phrases) <= 0;
}
