// Where a reading of a damaged phrase image belongs. Read again from a
// control byte past the damage, the image gives the texts that follow it,
// but not where they start: the damage made the bytes before it come out
// longer or shorter. The phrases' own order tells.
#pragma once

#include <cstdint>

struct DecompileContext;

// The texts offset for the reading of image from control byte `at`:
// `preferred` where its phrases read in order from there on, to the end or
// for long; else the one offset in [lo, hi] where they read in order for
// long and for much longer than at any other (both confirmed by the order);
// else `preferred` still, unconfirmed. Comparing phrases costs budget
// (bytes compared, over all the readings of a table): a damaged image
// cannot make the search take long.
struct ReadingPlacement {
    int64_t place;
    bool confirmed;
};
ReadingPlacement place_reading(DecompileContext& ctx, const uint8_t* image, long image_size, long at,
                               int64_t preferred, int64_t lo, int64_t hi, int64_t& budget);
