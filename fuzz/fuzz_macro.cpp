// Macro checking: the input is one macro string, scanned in place and
// checked (which also registers the context strings it names).
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz_support.h"
#include "project/macros.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The decompiler reads macros as NUL-terminated strings.
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    std::vector<char> copy = text;
    FuzzContext holder;
    DecompileContext& ctx = *holder.ctx;
    try {
        scan_macro(ctx, copy.data());
        check_macro(ctx, text.data());
    } catch (const FatalError&) {
    }
    return 0;
}
