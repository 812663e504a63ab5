// Phrase tables and phrase-compressed text, written from the file layout.
#include "phrase_builder.h"

#include <stdexcept>

namespace hlptest {
namespace {

constexpr size_t mediaview_reserved = 30;

Bytes concatenated(const std::vector<std::string>& phrases) {
    Bytes texts;
    for (const auto& p : phrases)
        texts.insert(texts.end(), p.begin(), p.end());
    return texts;
}

// The longest phrase that starts at `at`, or -1.
long longest_match(std::string_view text, size_t at, const std::vector<std::string>& phrases) {
    long best = -1;
    size_t best_length = 0;
    for (size_t i = 0; i < phrases.size(); ++i) {
        const auto& p = phrases[i];
        if (!p.empty() && p.size() > best_length && text.substr(at, p.size()) == p) {
            best = static_cast<long>(i);
            best_length = p.size();
        }
    }
    return best;
}

void compress_phrases_scheme(std::string_view text, const std::vector<std::string>& phrases, ByteWriter& out) {
    for (size_t i = 0; i < text.size();) {
        long match = longest_match(text, i, phrases);
        if (match < 0) {
            uint8_t c = static_cast<uint8_t>(text[i++]);
            if (c >= 1 && c <= 15)
                throw std::invalid_argument("byte 1..15 cannot be stored as a literal");
            out.u8(c);
            continue;
        }
        if (match >= 1920)
            throw std::invalid_argument("phrase number beyond the |Phrases codes");
        i += phrases[static_cast<size_t>(match)].size();
        unsigned code = static_cast<unsigned>(match) * 2 + 256;
        if (i < text.size() && text[i] == ' ') {
            code |= 1;
            ++i;
        }
        out.u8(static_cast<uint8_t>(code >> 8)).u8(static_cast<uint8_t>(code & 0xFF));
    }
}

void flush_literals(Bytes& pending, ByteWriter& out) {
    if (pending.empty())
        return;
    out.u8(static_cast<uint8_t>(((pending.size() - 1) << 3) | 3)).bytes(pending);
    pending.clear();
}

void compress_packed_scheme(std::string_view text, const std::vector<std::string>& phrases, ByteWriter& out) {
    Bytes pending;
    for (size_t i = 0; i < text.size();) {
        long match = longest_match(text, i, phrases);
        if (match >= 0) {
            flush_literals(pending, out);
            if (match < 128) {
                out.u8(static_cast<uint8_t>(match * 2));
            } else if (match < 128 + 64 * 256) {
                long n = match - 128;
                out.u8(static_cast<uint8_t>(((n >> 8) << 2) | 1)).u8(static_cast<uint8_t>(n & 0xFF));
            } else {
                throw std::invalid_argument("phrase number beyond the packed codes");
            }
            i += phrases[static_cast<size_t>(match)].size();
            continue;
        }
        char c = text[i];
        if (c == ' ' || c == '\0') {
            flush_literals(pending, out);
            size_t run = 0;
            while (run < 16 && i + run < text.size() && text[i + run] == c)
                ++run;
            out.u8(static_cast<uint8_t>(((run - 1) << 4) | (c == ' ' ? 7 : 15)));
            i += run;
            continue;
        }
        pending.push_back(static_cast<uint8_t>(c));
        ++i;
        if (pending.size() == 32)
            flush_literals(pending, out);
    }
    flush_literals(pending, out);
}

}  // namespace

size_t phrases_offset_table(const PhrasesOptions& options) {
    size_t at = 4;
    if (options.mediaview)
        at += 2;
    if (options.compressed)
        at += 4;
    if (options.mediaview && options.compressed)
        at += mediaview_reserved;
    return at;
}

Bytes build_phrases_file(const std::vector<std::string>& phrases, const PhrasesOptions& options) {
    ByteWriter out;
    const auto count = static_cast<uint16_t>(phrases.size());
    if (options.mediaview)
        out.u16(0x0800);
    out.u16(count).u16(options.version);
    const Bytes texts = concatenated(phrases);
    if (options.compressed) {
        out.u32(static_cast<uint32_t>(texts.size()));
        if (options.mediaview)
            out.zeros(mediaview_reserved);
    }
    size_t offset = 2 * (phrases.size() + 1);
    out.u16(static_cast<uint16_t>(offset));
    for (const auto& p : phrases) {
        offset += p.size();
        out.u16(static_cast<uint16_t>(offset));
    }
    out.bytes(options.compressed ? lz77_compress_greedy(texts) : texts);
    return out.take();
}

std::vector<bool> phrase_length_bits(size_t length, unsigned b) {
    if (length == 0)
        throw std::invalid_argument("phrases are at least one byte long");
    const size_t unit = size_t(1) << b;
    const size_t q = (length - 1) / unit;
    size_t r = (length - 1) % unit;
    std::vector<bool> bits(q, true);
    bits.push_back(false);
    const unsigned weights[] = {1, 2, 4, 8, 16};
    for (unsigned k = 0; k < 5; ++k) {
        if (k > 0 && b <= k)
            break;
        bits.push_back((r & weights[k]) != 0);
        r &= ~size_t(weights[k]);
    }
    if (r != 0)
        throw std::invalid_argument("phrase length not expressible with this bit count");
    return bits;
}

Bytes pack_length_bits(const std::vector<bool>& bits) {
    ByteWriter out;
    for (size_t start = 0; start < bits.size(); start += 32) {
        uint32_t word = 0;
        for (size_t k = 0; k < 32 && start + k < bits.size(); ++k)
            if (bits[start + k])
                word |= uint32_t(1) << k;
        out.u32(word);
    }
    return out.take();
}

PhraseIndexFiles build_phrase_index(const std::vector<std::string>& phrases, const PhraseIndexOptions& options) {
    std::vector<bool> bits;
    for (const auto& p : phrases) {
        auto more = phrase_length_bits(p.size(), options.length_bits);
        bits.insert(bits.end(), more.begin(), more.end());
    }
    const Bytes texts = concatenated(phrases);
    PhraseIndexFiles files;
    files.image = options.compress_image ? lz77_compress_greedy(texts) : texts;
    // A compressed image exactly as long as its texts would read as stored;
    // a trailing control byte with no items after it changes nothing.
    if (options.compress_image && files.image.size() == texts.size())
        files.image.push_back(0);
    ByteWriter out;
    out.u32(1)
        .u32(options.count.value_or(static_cast<uint32_t>(phrases.size())))
        .u32(0)
        .u32(options.expanded_size.value_or(static_cast<uint32_t>(texts.size())))
        .u32(options.recorded_image_size.value_or(static_cast<uint32_t>(files.image.size())))
        .u32(0)
        .u16(static_cast<uint16_t>(0x0010 | (options.length_bits & 0x0F)))
        .u16(0)
        .bytes(pack_length_bits(bits));
    files.index = out.take();
    return files;
}

Bytes phrase_compress(std::string_view text, const std::vector<std::string>& phrases, PhraseScheme scheme) {
    ByteWriter out;
    if (scheme == PhraseScheme::phrases)
        compress_phrases_scheme(text, phrases, out);
    else
        compress_packed_scheme(text, phrases, out);
    return out.take();
}

TopicRecord phrase_compressed_record(uint8_t type, const Bytes& head, std::string_view text,
                                     const std::vector<std::string>& phrases, PhraseScheme scheme) {
    TopicRecord r;
    r.type = type;
    r.head = head;
    r.text = phrase_compress(text, phrases, scheme);
    r.text_length = static_cast<int32_t>(text.size());
    return r;
}

}  // namespace hlptest
