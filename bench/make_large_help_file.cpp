// Writes a generated help file of the given scale, for profiling by hand:
//   make_large_help_file OUTPUT.hlp SCALE [packed|phrases]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "large_help_file.h"

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: make_large_help_file OUTPUT.hlp SCALE [packed|phrases]\n");
        return 2;
    }
    hlptest::LargeHelpFileOptions options;
    options.scale = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
    if (argc == 4 && std::strcmp(argv[3], "phrases") == 0) options.phrases = hlptest::PhraseScheme::phrases;
    try {
        const auto c = hlptest::write_large_help_file(argv[1], options);
        std::printf("%zu topics, %zu context ids, %zu keywords (%zu references), %zu browse sequences, "
                    "%zu |bm pictures, %zu embedded pictures, %zu bytes of text\n",
                    c.topics, c.context_ids, c.keywords, c.keyword_references, c.browse_sequences, c.bm_pictures,
                    c.embedded_pictures, c.expanded_text);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_large_help_file: %s\n", e.what());
        return 1;
    }
    return 0;
}
