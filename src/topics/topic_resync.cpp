#include "topics/topic_resync.h"

#include "helpfile/byte_stream.h"

namespace {

constexpr long link_size = 21;  // a record's own header

}  // namespace

BlockResync find_block_resync(const uint8_t* data, long length, uint32_t base, uint32_t after, uint32_t block_end,
                              uint32_t last_link, uint32_t next_first, uint32_t shifted_only) {
    BlockResync last{0, 0};
    for (long x = 0; x + link_size <= length; ++x) {
        const uint8_t* link = data + x;
        const uint32_t record_length = get_le32(link);
        const uint32_t next = get_le32(link + 12);
        // Other fields may hold the same position (a topic header names the
        // next topic): the header must be a record's, and the latest wins.
        if (next_first != 0 && next == next_first && last_link >= after && last_link >= base &&
            last_link < block_end && record_length >= link_size && get_le32(link + 8) < last_link &&
            get_le32(link + 16) >= link_size && get_le32(link + 16) <= record_length &&
            !(last_link == shifted_only && int64_t(last_link - base) == x))
            last = {last_link, static_cast<int32_t>(int64_t(last_link - base) - x)};
        if (record_length < link_size || next <= record_length) continue;
        const uint32_t position = next - record_length;
        if (position < after || position < base || position >= block_end) continue;
        if (record_length > static_cast<uint32_t>(length - x - link_size)) continue;
        // The next record's header, where this one's length puts it, must
        // name this record as the one before it.
        const uint8_t* following = link + record_length;
        const int32_t shift = static_cast<int32_t>(int64_t(position - base) - x);
        if (position == shifted_only && shift == 0) continue;
        if (get_le32(following + 8) == position && get_le32(following + 12) > next) return {position, shift};
    }
    return last;
}
