// Run-length code used by pictures: repeats of three or more bytes become a
// count and the byte; everything else goes out in literal runs.
#include "help_builder.h"

namespace hlptest {

Bytes runlength_encode(const Bytes& input)
{
    constexpr size_t max_run = 127;
    ByteWriter out;
    Bytes literals;
    auto flush = [&] {
        if (literals.empty())
            return;
        out.u8(static_cast<uint8_t>(0x80 + literals.size())).bytes(literals);
        literals.clear();
    };
    for (size_t i = 0; i < input.size();) {
        size_t run = 1;
        while (run < max_run && i + run < input.size() && input[i + run] == input[i])
            ++run;
        if (run >= 3) {
            flush();
            out.u8(static_cast<uint8_t>(run)).u8(input[i]);
            i += run;
        } else {
            literals.push_back(input[i++]);
            if (literals.size() == max_run)
                flush();
        }
    }
    flush();
    return out.take();
}

}  // namespace hlptest
