// LZ77 over a 4096-byte window: a control byte announces eight tokens, least
// significant bit first; a set bit is a 2-byte back reference, a clear bit a
// literal byte.
#include "help_builder.h"

#include <algorithm>
#include <limits>

namespace hlptest {
namespace {

constexpr size_t window_size = 4096;
constexpr size_t min_match = 3;
constexpr size_t max_match = 18;

class TokenWriter {
public:
    // Output bytes the next token needs, counting a fresh control byte.
    size_t cost(bool reference) const { return (bit_ == 8 ? 1 : 0) + (reference ? 2 : 1); }
    size_t size() const { return out_.size(); }

    void literal(uint8_t b)
    {
        flag(false);
        out_.push_back(b);
    }

    // Copies `length` bytes starting `distance` bytes back.
    void reference(size_t distance, size_t length)
    {
        flag(true);
        const auto w = static_cast<uint16_t>((length - min_match) << 12 | (distance - 1));
        out_.push_back(static_cast<uint8_t>(w));
        out_.push_back(static_cast<uint8_t>(w >> 8));
    }

    // A control byte with no tokens after it: the input ends before any of
    // its flags is used, so it fills one byte and expands to nothing.
    void lone_control()
    {
        out_.push_back(0);
        bit_ = 8;
    }

    Bytes take() { return std::move(out_); }

private:
    void flag(bool reference)
    {
        if (bit_ == 8) {
            control_ = out_.size();
            out_.push_back(0);
            bit_ = 0;
        }
        if (reference)
            out_[control_] |= static_cast<uint8_t>(1u << bit_);
        ++bit_;
    }

    Bytes out_;
    size_t control_ = 0;
    int bit_ = 8;
};

// Hash chains over 3-byte prefixes; the nearest of equally long matches wins.
class MatchFinder {
public:
    explicit MatchFinder(std::span<const uint8_t> in) : in_(in), head_(1 << 12, -1), prev_(in.size(), -1) {}

    void insert(size_t pos)
    {
        if (pos + min_match > in_.size())
            return;
        auto& h = head_[hash(pos)];
        prev_[pos] = h;
        h = static_cast<int>(pos);
    }

    // Longest match for the bytes at pos, at most max_len long; length 0 if
    // none reaches min_match. The source may overlap pos: the decoder copies
    // byte by byte, so comparing the input with itself describes its output.
    std::pair<size_t, size_t> find(size_t pos, size_t max_len) const
    {
        size_t best_len = 0, best_dist = 0;
        if (max_len < min_match)
            return {0, 0};
        for (int cand = head_[hash(pos)]; cand >= 0 && pos - static_cast<size_t>(cand) <= window_size;
             cand = prev_[static_cast<size_t>(cand)]) {
            size_t len = 0;
            while (len < max_len && in_[static_cast<size_t>(cand) + len] == in_[pos + len])
                ++len;
            if (len > best_len) {
                best_len = len;
                best_dist = pos - static_cast<size_t>(cand);
                if (len == max_len)
                    break;
            }
        }
        return best_len >= min_match ? std::pair{best_len, best_dist} : std::pair<size_t, size_t>{0, 0};
    }

private:
    size_t hash(size_t pos) const
    {
        return (in_[pos] * 33u * 33u + in_[pos + 1] * 33u + in_[pos + 2]) & (head_.size() - 1);
    }

    std::span<const uint8_t> in_;
    std::vector<int> head_;
    std::vector<int> prev_;
};

}  // namespace

Lz77Chunk lz77_compress_chunk(std::span<const uint8_t> input, size_t output_size, size_t expanded_limit,
                              bool greedy)
{
    const size_t end = std::min(input.size(), expanded_limit);
    const auto source = input.first(end);
    TokenWriter w;
    MatchFinder matches(source);
    size_t pos = 0;
    while (pos < end && w.size() < output_size) {
        const size_t room = output_size - w.size();
        auto [len, dist] = greedy ? matches.find(pos, std::min(max_match, end - pos)) : std::pair<size_t, size_t>{};
        if (len >= min_match && w.cost(true) <= room) {
            w.reference(dist, len);
        } else if (w.cost(false) <= room) {
            len = 1;
            w.literal(source[pos]);
        } else {
            w.lone_control();  // one byte left and no literal fits in it
            break;
        }
        for (size_t k = 0; k < len; ++k)
            matches.insert(pos + k);
        pos += len;
    }
    // More input follows in a later chunk, so this one must be full. Literals
    // past the expanded limit are dropped by a reader that holds only that many.
    if (pos < input.size()) {
        while (w.size() < output_size) {
            if (w.cost(false) <= output_size - w.size())
                w.literal(0);
            else
                w.lone_control();
        }
    }
    return {w.take(), pos};
}

Bytes lz77_compress_literal(const Bytes& input)
{
    constexpr auto unlimited = std::numeric_limits<size_t>::max();
    return lz77_compress_chunk(input, unlimited, unlimited, false).data;
}

Bytes lz77_compress_greedy(const Bytes& input)
{
    constexpr auto unlimited = std::numeric_limits<size_t>::max();
    return lz77_compress_chunk(input, unlimited, unlimited, true).data;
}

}  // namespace hlptest
