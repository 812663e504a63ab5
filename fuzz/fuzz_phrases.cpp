// Phrase tables and phrase expansion. Input: a flags byte (bit 0: |PhrIndex
// with |PhrImage instead of |Phrases; bit 1: an old-format help file), the
// expansion buffer's capacity (16-bit word), the first internal file
// (16-bit length, bytes), the second (|PhrImage; 16-bit length, bytes), then
// the compressed text to expand. The internal files go into a help file that
// the loader reads as it would a real one.
#include <cstdint>
#include <memory>

#include "fuzz_support.h"
#include "help_builder.h"
#include "topics/phrases.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    InputReader in{data, size};
    uint8_t options = in.byte();
    long capacity = in.word();
    std::vector<uint8_t> first = in.part(in.word());
    std::vector<uint8_t> second = in.part(in.word());
    std::vector<uint8_t> text = in.rest();

    std::vector<hlptest::InternalFile> files;
    if (options & 1) {
        files.push_back({"|PhrIndex", first});
        files.push_back({"|PhrImage", second});
    } else {
        files.push_back({"|Phrases", first});
    }
    hlptest::Bytes help = hlptest::build_help_file(files);
    MemoryStream file(help.data(), help.size());

    FuzzContext holder;
    DecompileContext& ctx = *holder.ctx;
    ctx.old_format = (options & 2) != 0;
    try {
        phrase_table_load(ctx, file.file);
        phrase_file_write(ctx, "phrases.ph");
        checksum_outputs(ctx);
        // Exactly the capacity, so that a byte written past it is caught.
        std::unique_ptr<char[]> buffer(new char[capacity ? capacity : 1]);
        char* end = phrase_expand(ctx, buffer.get(), capacity, text.data(), static_cast<long>(text.size()));
        if (end < buffer.get() || end > buffer.get() + capacity) std::abort();
    } catch (const FatalError&) {
    }
    return 0;
}
