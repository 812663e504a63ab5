// Large help files made of the builder's parts; see large_help_file.h.
#include "large_help_file.h"

#include <algorithm>
#include <array>
#include <map>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

#include "context_builder.h"
#include "keyword_index_builder.h"
#include "paragraph_builder.h"
#include "picture_builder.h"
#include "project_builder.h"

namespace hlptest {

// large_help_file_fonts.cpp: the font builder and the project builder each
// have their own colour record, so the fonts are made apart.
Bytes large_help_file_fonts();

namespace {

constexpr uint32_t none = 0xFFFFFFFF;
constexpr size_t link_header_size = 21;
constexpr size_t block_size = 4096;
constexpr size_t block_header_size = 12;
constexpr size_t block_room = block_size - block_header_size;
constexpr size_t decompress_size = 16384;
constexpr uint16_t minor_version = 33;
constexpr uint16_t lz77_topics = 4;

// ---------------------------------------------------------------- random

// splitmix64: the same numbers on every platform and standard library.
class Random {
public:
    explicit Random(uint64_t seed) : state_(seed) {}
    uint64_t next()
    {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    size_t below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(next() % n); }
    size_t between(size_t low, size_t high) { return low + below(high - low + 1); }
    bool chance(unsigned percent) { return below(100) < percent; }
    // Small indexes far more often than large ones, as words of a language.
    size_t skewed(size_t n)
    {
        double u = static_cast<double>(next() >> 11) / 9007199254740992.0;
        return std::min(n - 1, static_cast<size_t>(static_cast<double>(n) * u * u));
    }

private:
    uint64_t state_;
};

// ---------------------------------------------------------------- LZ77

// Greedy LZ77 whose back references neither cover nor copy bytes marked
// volatile, so those bytes can change after compression without changing
// anything else. The match search follows at most chain_limit candidates.
class BoundedCompressor {
public:
    BoundedCompressor(std::span<const uint8_t> in, const std::vector<bool>* volatile_bytes)
        : in_(in), volatile_(volatile_bytes), head_(1 << 13, -1), prev_(ring, -1)
    {
    }

    struct Chunk {
        Bytes data;
        size_t end = 0;  // input offset after the last byte taken
        std::vector<std::pair<size_t, size_t>> literals;  // (data offset, input offset) of volatile bytes
    };

    // Compresses from `start` into at most output_size bytes (exactly that
    // many when input remains), expanding to at most expanded_limit bytes.
    Chunk chunk(size_t start, size_t output_size, size_t expanded_limit)
    {
        Chunk c;
        const size_t end = std::min(in_.size(), start + expanded_limit);
        size_t pos = start;
        int bit = 8;
        size_t control = 0;
        auto flag = [&](bool reference) {
            if (bit == 8) {
                control = c.data.size();
                c.data.push_back(0);
                bit = 0;
            }
            if (reference) c.data[control] |= static_cast<uint8_t>(1u << bit);
            ++bit;
        };
        auto cost = [&](bool reference) { return (bit == 8 ? 1u : 0u) + (reference ? 2u : 1u); };
        chain_start_ = start;
        while (pos < end && c.data.size() < output_size) {
            const size_t room = output_size - c.data.size();
            auto [length, distance] = find(pos, std::min<size_t>(18, end - pos));
            if (length >= 3 && cost(true) <= room) {
                flag(true);
                const auto w = static_cast<uint16_t>((length - 3) << 12 | (distance - 1));
                c.data.push_back(static_cast<uint8_t>(w));
                c.data.push_back(static_cast<uint8_t>(w >> 8));
            } else if (cost(false) <= room) {
                length = 1;
                flag(false);
                if (is_volatile(pos)) c.literals.emplace_back(c.data.size(), pos);
                c.data.push_back(in_[pos]);
            } else {
                c.data.push_back(0);  // a control byte that announces nothing
                bit = 8;
                break;
            }
            for (size_t k = 0; k < length; ++k) insert(pos + k);
            pos += length;
        }
        if (pos < in_.size()) {
            // Fill the block: literals past the expanded limit are dropped.
            while (c.data.size() < output_size) {
                if (cost(false) <= output_size - c.data.size()) {
                    flag(false);
                    c.data.push_back(0);
                } else {
                    c.data.push_back(0);
                    bit = 8;
                }
            }
        }
        c.end = pos;
        return c;
    }

private:
    static constexpr int chain_limit = 24;
    // Candidates lie at most 4096 bytes back, so the chain links of the last
    // 8192 positions are all the search ever follows.
    static constexpr size_t ring = 8192;

    bool is_volatile(size_t pos) const { return volatile_ != nullptr && (*volatile_)[pos]; }

    size_t hash(size_t pos) const
    {
        return (in_[pos] * 2654435761u ^ in_[pos + 1] * 40503u ^ in_[pos + 2]) & (head_.size() - 1);
    }

    void insert(size_t pos)
    {
        if (pos + 3 > in_.size()) return;
        auto& h = head_[hash(pos)];
        prev_[pos % ring] = h;
        h = static_cast<int64_t>(pos);
    }

    std::pair<size_t, size_t> find(size_t pos, size_t max_length) const
    {
        if (max_length < 3 || pos + 3 > in_.size()) return {0, 0};
        // A back reference may not write a volatile byte.
        for (size_t k = 0; k < max_length; ++k) {
            if (is_volatile(pos + k)) {
                max_length = k;
                break;
            }
        }
        if (max_length < 3) return {0, 0};
        size_t best_length = 0, best_distance = 0;
        int steps = 0;
        for (int64_t candidate = head_[hash(pos)];
             candidate >= static_cast<int64_t>(chain_start_) && pos - static_cast<size_t>(candidate) <= 4096 &&
             steps < chain_limit;
             candidate = prev_[static_cast<size_t>(candidate) % ring], ++steps) {
            const size_t from = static_cast<size_t>(candidate);
            size_t length = 0;
            while (length < max_length && !is_volatile(from + length) && in_[from + length] == in_[pos + length])
                ++length;
            if (length > best_length) {
                best_length = length;
                best_distance = pos - from;
                if (length == max_length) break;
            }
        }
        return best_length >= 3 ? std::pair{best_length, best_distance} : std::pair<size_t, size_t>{0, 0};
    }

    std::span<const uint8_t> in_;
    const std::vector<bool>* volatile_;
    std::vector<int64_t> head_;
    std::vector<int64_t> prev_;
    size_t chain_start_ = 0;  // references never reach before the chunk
};

Bytes compress_whole(const Bytes& input)
{
    BoundedCompressor compressor(input, nullptr);
    return compressor.chunk(0, SIZE_MAX, SIZE_MAX).data;
}

// ---------------------------------------------------------------- text

constexpr std::string_view vocabulary_words[] = {
    "the", "of", "to", "and", "a", "in", "is", "for", "that", "on", "with", "this", "you", "as", "are", "be",
    "by", "or", "from", "when", "which", "can", "file", "window", "dialog", "value", "function", "returns",
    "parameter", "specifies", "handle", "message", "the", "button", "select", "command", "menu", "option",
    "default", "object", "property", "method", "event", "control", "application", "system", "memory",
    "structure", "pointer", "string", "number", "error", "return", "following", "example", "information",
    "display", "current", "document", "record", "field", "table", "index", "keyword", "topic", "section",
    "contents", "search", "print", "format", "character", "paragraph", "font", "color", "picture", "bitmap",
    "library", "resource", "version", "project", "compiler", "windows", "dynamic", "static", "member",
    "class", "interface", "type", "variable", "constant", "array", "list", "item", "collection", "database",
    "query", "connection", "server", "client", "network", "address", "protocol", "request", "response",
    "timeout", "buffer", "stream", "input", "output", "device", "driver", "printer", "screen", "mouse",
    "keyboard", "cursor", "position", "size", "width", "height", "left", "right", "top", "bottom", "style",
    "flag", "mask", "state", "status", "mode", "level", "range", "count", "length", "offset", "data", "text",
    "name", "path", "folder", "drive", "setting", "registry", "user", "group", "security", "access", "owner",
    "thread", "process", "module", "instance", "callback", "procedure", "routine", "operation", "result",
    "argument", "specified", "otherwise", "nonzero",
};
constexpr std::span<const std::string_view> vocabulary(vocabulary_words);

std::string capitalised(std::string_view word)
{
    std::string s(word);
    if (!s.empty() && s[0] >= 'a' && s[0] <= 'z') s[0] = static_cast<char>(s[0] - 32);
    return s;
}

std::string sentence(Random& random, size_t low, size_t high)
{
    const size_t words = random.between(low, high);
    std::string s;
    for (size_t i = 0; i < words; ++i) {
        std::string_view w = vocabulary[random.skewed(vocabulary.size())];
        if (i > 0) s += ' ';
        s += i == 0 ? capitalised(w) : std::string(w);
        if (i + 1 < words && random.chance(6)) s += ',';
    }
    return s + ". ";
}

// The phrases: the longer words of the vocabulary, most frequent first.
std::vector<std::string> phrase_table()
{
    std::vector<std::string> phrases;
    for (std::string_view w : vocabulary) {
        std::string s(w);
        if (s.size() >= 4 && std::find(phrases.begin(), phrases.end(), s) == phrases.end()) phrases.push_back(s);
        std::string c = capitalised(w);
        if (c.size() >= 4 && std::find(phrases.begin(), phrases.end(), c) == phrases.end()) phrases.push_back(c);
    }
    return phrases;
}

bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Phrase compression by whole words: a word that is a phrase becomes its
// code, everything else is stored as the scheme allows.
class PhraseCoder {
public:
    PhraseCoder(const std::vector<std::string>& phrases, PhraseScheme scheme) : scheme_(scheme)
    {
        for (size_t i = 0; i < phrases.size(); ++i) index_.emplace(phrases[i], i);
    }

    Bytes compress(std::string_view text) const
    {
        ByteWriter out;
        Bytes pending;
        auto flush = [&] {
            for (size_t at = 0; at < pending.size(); at += 32) {
                const size_t n = std::min<size_t>(32, pending.size() - at);
                out.u8(static_cast<uint8_t>(((n - 1) << 3) | 3)).bytes(std::span(pending).subspan(at, n));
            }
            pending.clear();
        };
        for (size_t i = 0; i < text.size();) {
            size_t word = 0;
            if (i == 0 || !is_letter(text[i - 1]))
                while (i + word < text.size() && is_letter(text[i + word])) ++word;
            auto found = word ? index_.find(std::string(text.substr(i, word))) : index_.end();
            if (found != index_.end()) {
                i += word;
                if (scheme_ == PhraseScheme::phrases) {
                    unsigned code = static_cast<unsigned>(found->second) * 2 + 256;
                    if (i < text.size() && text[i] == ' ') {
                        code |= 1;
                        ++i;
                    }
                    out.u8(static_cast<uint8_t>(code >> 8)).u8(static_cast<uint8_t>(code));
                } else {
                    flush();
                    const size_t n = found->second;
                    if (n < 128) {
                        out.u8(static_cast<uint8_t>(n * 2));
                    } else {
                        out.u8(static_cast<uint8_t>((((n - 128) >> 8) << 2) | 1)).u8(static_cast<uint8_t>(n - 128));
                    }
                }
                continue;
            }
            const char c = text[i];
            if (scheme_ == PhraseScheme::packed && (c == ' ' || c == '\0')) {
                flush();
                size_t run = 0;
                while (run < 16 && i + run < text.size() && text[i + run] == c) ++run;
                out.u8(static_cast<uint8_t>(((run - 1) << 4) | (c == ' ' ? 7 : 15)));
                i += run;
                continue;
            }
            if (scheme_ == PhraseScheme::phrases) {
                out.u8(static_cast<uint8_t>(c));
            } else {
                pending.push_back(static_cast<uint8_t>(c));
            }
            ++i;
        }
        flush();
        return out.take();
    }

private:
    PhraseScheme scheme_;
    std::unordered_map<std::string, size_t> index_;
};

// ---------------------------------------------------------------- topic file

struct Block {
    size_t start = 0;
    size_t end = 0;
    Bytes data;
    std::vector<std::pair<size_t, size_t>> literals;
};

struct Stream {
    Bytes bytes;
    std::vector<bool> volatile_bytes;
    std::vector<size_t> starts;  // of each record, then the stream's end

    void mark(size_t at, size_t n) { std::fill_n(volatile_bytes.begin() + static_cast<ptrdiff_t>(at), n, true); }
};

uint16_t character_count(const TopicRecord& r)
{
    // Text records: a compressed long (2 or 4 bytes), then the count.
    if ((r.type != 0x20 && r.type != 0x23) || r.head.size() < 3) return 0;
    size_t at = (r.head[0] & 1) ? 4 : 2;
    if (at >= r.head.size()) return 0;
    if ((r.head[at] & 1) == 0) return r.head[at] >> 1;
    return at + 1 < r.head.size() ? static_cast<uint16_t>(get_u16(r.head, at) >> 1) : 0;
}

Stream lay_out(const std::vector<const TopicRecord*>& records)
{
    Stream s;
    for (const TopicRecord* r : records) {
        s.starts.push_back(s.bytes.size());
        const size_t head_length = link_header_size + r->head.size();
        ByteWriter w;
        w.u32(static_cast<uint32_t>(head_length + r->text.size()))
            .u32(static_cast<uint32_t>(r->text_length.value_or(static_cast<int32_t>(r->text.size()))))
            .u32(none)
            .u32(none)
            .u32(static_cast<uint32_t>(head_length))
            .u8(r->type)
            .bytes(r->head)
            .bytes(r->text);
        s.bytes.insert(s.bytes.end(), w.data().begin(), w.data().end());
    }
    s.starts.push_back(s.bytes.size());
    s.volatile_bytes.assign(s.bytes.size(), false);
    return s;
}

}  // namespace

std::vector<int32_t> count_topic_offsets(const std::vector<TopicRecord>& records,
                                         const std::vector<uint32_t>& positions)
{
    auto block = [](uint32_t position) { return (position - 12) / decompress_size; };
    std::vector<int32_t> offsets(records.size(), 0);
    uint32_t offset = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        offsets[i] = static_cast<int32_t>(offset);
        offset += character_count(records[i]);
        if (i + 1 < positions.size() && block(positions[i + 1]) != block(positions[i]))
            offset = static_cast<uint32_t>(block(positions[i + 1]) << 15);
    }
    return offsets;
}

LargeTopicFile build_large_topic_file(const std::vector<LargeTopicRecord>& input)
{
    std::vector<TopicRecord> records;
    records.reserve(input.size() + 1);
    uint32_t topics = 0;
    for (const auto& r : input) {
        records.push_back(r.record);
        topics += r.record.type == 2;
    }
    records.push_back(topic_header_record("", topics));  // the end marker
    std::vector<const TopicRecord*> pointers;
    for (const auto& r : records) pointers.push_back(&r);
    Stream s = lay_out(pointers);
    const size_t n = records.size();
    for (size_t i = 0; i < n; ++i) {
        const size_t head = s.starts[i] + link_header_size;
        s.mark(s.starts[i] + 8, 8);
        for (const auto& ref : records[i].position_refs) s.mark(head + ref.head_offset, 4);
        if (i < input.size() && input[i].browse_previous >= 0) s.mark(head + 4, 4);
        if (i < input.size() && input[i].browse_next >= 0) s.mark(head + 8, 4);
    }

    // Volatile bytes never take part in back references, so their values
    // change nothing about the blocks: compress once, then fill them in.
    BoundedCompressor compressor(s.bytes, &s.volatile_bytes);
    std::vector<Block> blocks;
    for (size_t start = 0; start < s.bytes.size();) {
        auto c = compressor.chunk(start, block_room, decompress_size);
        if (c.end == start) throw std::logic_error("topic block holds no byte");
        blocks.push_back({start, c.end, std::move(c.data), std::move(c.literals)});
        start = blocks.back().end;
    }

    LargeTopicFile file;
    file.positions.resize(n + 1);
    size_t b = 0;
    for (size_t i = 0; i <= n; ++i) {
        while (b + 1 < blocks.size() && s.starts[i] >= blocks[b].end) ++b;
        file.positions[i] = static_cast<uint32_t>(b * decompress_size + block_header_size + (s.starts[i] - blocks[b].start));
    }
    file.topic_offsets = count_topic_offsets(records, file.positions);

    for (size_t i = 0; i < n; ++i) {
        const size_t head = s.starts[i] + link_header_size;
        put_u32(s.bytes, s.starts[i] + 8, i == 0 ? none : file.positions[i - 1]);
        put_u32(s.bytes, s.starts[i] + 12, i + 1 == n ? none : file.positions[i + 1]);
        for (const auto& ref : records[i].position_refs)
            put_u32(s.bytes, head + ref.head_offset, ref.record < n ? file.positions[ref.record] : none);
        if (i < input.size()) {
            const auto& r = input[i];
            if (r.browse_previous >= 0)
                put_u32(s.bytes, head + 4, static_cast<uint32_t>(file.topic_offsets[static_cast<size_t>(r.browse_previous)]));
            if (r.browse_next >= 0)
                put_u32(s.bytes, head + 8, static_cast<uint32_t>(file.topic_offsets[static_cast<size_t>(r.browse_next)]));
        }
    }

    ByteWriter out;
    size_t record = 0;
    uint32_t last_link = none, last_header = none;
    for (auto& block : blocks) {
        for (auto [at, from] : block.literals) block.data[at] = s.bytes[from];
        while (record < n && s.starts[record] < block.start) {
            last_link = file.positions[record];
            if (records[record].type == 2) last_header = file.positions[record];
            ++record;
        }
        const uint32_t first_link = record < n && s.starts[record] < block.end ? file.positions[record] : none;
        out.u32(last_link).u32(first_link).u32(last_header).bytes(block.data);
    }
    file.data = out.take();
    file.topic_offsets.pop_back();
    return file;
}

namespace {

// ---------------------------------------------------------------- pictures

Bytes packed_picture_data(const Bytes& raw) { return compress_whole(runlength_encode(raw)); }

PictureSpec bitmap_picture(uint32_t width, uint32_t height, unsigned pattern)
{
    PictureSpec p;
    p.type = dib_bitmap;
    p.packing = 3;
    p.bits_per_pixel = 4;
    p.width = width;
    p.height = height;
    p.colours_used = 16;
    p.colour_table = grey_colour_table(16);
    p.data = bitmap_rows(width, height, 4, 4, [pattern](uint32_t x, uint32_t y) {
        return ((x / (4 + pattern)) + (y / 6) * pattern) % 16 == 0 ? 15u : (x * pattern + y) / 23 % 16;
    });
    p.packed = packed_picture_data(p.data);
    return p;
}

// The |bm pictures of one scale unit: plain bitmaps, one with hotspots that
// jump to topics, and a metafile.
std::vector<Bytes> bm_pictures(const std::vector<std::string>& jump_targets)
{
    std::vector<Bytes> files;
    for (unsigned k = 0; k < 4; ++k) files.push_back(build_picture_file({bitmap_picture(160 + 64 * k, 120 + 40 * k, k + 1)}).data);
    PictureSpec hot = bitmap_picture(160, 100, 3);
    HotspotBlock hotspots;
    for (size_t i = 0; i < 3 && i < jump_targets.size(); ++i) {
        HotspotSpec h;
        h.kind = 0xE3;
        h.x = static_cast<uint16_t>(10 + 40 * i);
        h.name = "hs" + std::to_string(i);
        h.target = jump_targets[i];
        hotspots.hotspots.push_back(h);
    }
    hot.hotspots = hotspots;
    files.push_back(build_picture_file({hot}).data);
    PictureSpec meta;
    meta.type = metafile_picture;
    meta.packing = 2;
    meta.metafile_width = 2000;
    meta.metafile_height = 1000;
    ByteWriter records;
    for (int i = 0; i < 200; ++i) records.u32(5).u16(0x0214).u16(static_cast<uint16_t>(i * 7)).u16(static_cast<uint16_t>(i * 3));
    records.u32(3).u16(0);
    meta.data = records.take();
    meta.packed = compress_whole(meta.data);
    files.push_back(build_picture_file({meta}).data);
    return files;
}

// ---------------------------------------------------------------- topics

struct TopicPlan {
    std::string title;
    std::vector<std::string> ids;  // context ids; the first is the one jumps use
    int64_t sequence_previous = -1;  // topic numbers within the browse sequence
    int64_t sequence_next = -1;
};

std::string title_of(Random& random)
{
    std::string t;
    const size_t words = random.between(2, 4);
    for (size_t i = 0; i < words; ++i) {
        if (i) t += ' ';
        t += capitalised(vocabulary[20 + random.below(vocabulary.size() - 20)]);
    }
    return t;
}

std::string without_spaces(const std::string& s)
{
    std::string r;
    for (char c : s)
        if (c != ' ') r += c;
    return r;
}

struct TopicWriter {
    Random& random;
    const PhraseCoder& coder;
    const std::vector<TopicPlan>& plans;
    size_t bm_count;
    const Bytes& embedded_picture;
    LargeHelpFileContents& contents;

    TopicRecord text(const TextRecordSpec& recipe) const
    {
        TopicRecord r = text_record(recipe);
        const Bytes plain = r.text;
        r.text = coder.compress(std::string_view(reinterpret_cast<const char*>(plain.data()), plain.size()));
        r.text_length = static_cast<int32_t>(plain.size());
        contents.expanded_text += plain.size();
        return r;
    }

    const std::string& target() const { return plans[random.below(plans.size())].ids.front(); }

    // Sentences with jumps, popups and font changes between them.
    Paragraph paragraph(size_t sentences) const
    {
        Paragraph p;
        if (random.chance(30)) p.attributes.space_before = 6;
        if (random.chance(15)) p.attributes.left_indent = 360;
        if (random.chance(10)) p.attributes.tabs = std::vector<TabStop>{{720, std::nullopt}, {2880, 1}};
        for (size_t i = 0; i < sentences; ++i) {
            std::string s = sentence(random, 6, 16);
            const unsigned pick = static_cast<unsigned>(random.below(100));
            if (pick < 20) {
                p.segments.push_back({s, cmd_link(0xE3, context_string_hash(target()))});
                p.segments.push_back({capitalised(vocabulary[30 + random.below(60)]), cmd_hotspot_end()});
            } else if (pick < 28) {
                p.segments.push_back({s, cmd_link(0xE2, context_string_hash(target()))});
                p.segments.push_back({std::string(vocabulary[30 + random.below(60)]), cmd_hotspot_end()});
            } else if (pick < 40) {
                p.segments.push_back({s, cmd_font(static_cast<int16_t>(1 + random.below(5)))});
                p.segments.push_back({std::string(vocabulary[random.below(vocabulary.size())]) + " ", cmd_font(0)});
            } else if (pick < 44) {
                p.segments.push_back({s, cmd_tab()});
            } else if (pick < 47) {
                p.segments.push_back({s, cmd_line()});
            } else {
                p.segments.push_back({s, {}});
            }
        }
        // Adjacent strings without a command between them are one string.
        std::vector<Segment> merged;
        for (auto& segment : p.segments) {
            if (!merged.empty() && merged.back().command.empty()) {
                merged.back().text += segment.text;
                merged.back().command = segment.command;
            } else {
                merged.push_back(segment);
            }
        }
        if (!merged.empty() && merged.back().command.empty()) merged.back().command = cmd_par();
        else merged.push_back({"", cmd_par()});
        merged.push_back({"", cmd_end()});
        p.segments = std::move(merged);
        return p;
    }

    TopicRecord picture_paragraph(size_t topic) const
    {
        TextRecordSpec recipe;
        Paragraph p;
        p.attributes.centre = true;
        if (topic % 2 == 0 && bm_count > 0) {
            p.segments.push_back({"", cmd_picture(0x86, 3, picture_reference(0, static_cast<uint16_t>(1 + topic / 2 % bm_count)))});
        } else {
            ByteWriter data;
            data.u16(1).bytes(embedded_picture);
            p.segments.push_back({"", cmd_picture(0x86, 3, data.data())});
            ++contents.embedded_pictures;
        }
        p.segments.push_back({"", cmd_par()});
        p.segments.push_back({"", cmd_end()});
        recipe.paragraphs.push_back(p);
        return text(recipe);
    }

    TopicRecord table() const
    {
        TextRecordSpec recipe;
        recipe.type = 0x23;
        const size_t columns = random.between(2, 3);
        for (size_t c = 0; c < columns; ++c) recipe.row.columns.push_back({static_cast<int16_t>(2000 + 400 * c), 108});
        for (size_t c = 0; c < columns; ++c) {
            Paragraph cell;
            cell.column = static_cast<int16_t>(c);
            cell.segments = {{c == 0 ? capitalised(vocabulary[40 + random.below(100)]) : sentence(random, 3, 9), cmd_par()},
                             {"", cmd_end()}};
            recipe.paragraphs.push_back(cell);
        }
        ++contents.table_rows;
        return text(recipe);
    }

    void topic(size_t number, std::vector<LargeTopicRecord>& out) const
    {
        const TopicPlan& plan = plans[number];
        LargeTopicRecord header;
        TopicHeaderSpec recipe;
        recipe.title = plan.title;
        recipe.topic_number = static_cast<uint32_t>(number);
        header.record = topic_header(recipe);
        header.browse_previous = plan.sequence_previous;
        header.browse_next = plan.sequence_next;
        out.push_back(header);
        ++contents.topics;

        // A non-scrolling title paragraph, then the body.
        TextRecordSpec title;
        Paragraph p;
        p.segments = {{plan.title, cmd_font(1)}, {"", cmd_par()}, {"", cmd_end()}};
        title.paragraphs.push_back(p);
        out.push_back({text(title)});
        const size_t paragraphs = random.between(2, 6);
        for (size_t i = 0; i < paragraphs; ++i) {
            TextRecordSpec body;
            body.paragraphs.push_back(paragraph(random.between(1, 4)));
            out.push_back({text(body)});
            ++contents.text_records;
        }
        if (number % 9 == 4) {
            const size_t rows = random.between(2, 5);
            for (size_t r = 0; r < rows; ++r) out.push_back({table()});
        }
        if (number % 25 == 7) out.push_back({picture_paragraph(number / 25)});
    }
};

// Topic header records (the first record of each topic) with their browse
// fields pointing at record indexes instead of topic numbers.
void link_records(std::vector<LargeTopicRecord>& records)
{
    std::vector<size_t> header_of_topic;
    for (size_t i = 0; i < records.size(); ++i)
        if (records[i].record.type == 2) header_of_topic.push_back(i);
    for (size_t i : header_of_topic) {
        auto& r = records[i];
        if (r.browse_previous >= 0) r.browse_previous = static_cast<int64_t>(header_of_topic[static_cast<size_t>(r.browse_previous)]);
        if (r.browse_next >= 0) r.browse_next = static_cast<int64_t>(header_of_topic[static_cast<size_t>(r.browse_next)]);
    }
    std::vector<TopicRecord> plain;
    plain.reserve(records.size());
    for (auto& r : records) plain.push_back(std::move(r.record));
    link_topic_headers(plain);
    for (size_t i = 0; i < records.size(); ++i) records[i].record = std::move(plain[i]);
}

void sort_by_name(std::vector<KeywordSpec>& keywords)
{
    std::sort(keywords.begin(), keywords.end(), [](const KeywordSpec& a, const KeywordSpec& b) {
        return std::lexicographical_compare(a.keyword.begin(), a.keyword.end(), b.keyword.begin(), b.keyword.end(),
                                            [](char x, char y) { return static_cast<uint8_t>(x) < static_cast<uint8_t>(y); });
    });
}

}  // namespace

LargeHelpFile build_large_help_file(const LargeHelpFileOptions& options)
{
    if (options.scale == 0) throw std::invalid_argument("scale 0");
    LargeHelpFile file;
    LargeHelpFileContents& contents = file.contents;
    Random random(options.seed * 0x2545F4914F6CDD1Dull + options.scale);
    const size_t topic_count = 2300 * size_t(options.scale);

    // Titles and context ids. Most ids spell their title without spaces, so a
    // decompiler can find them again; the rest are numbered.
    std::vector<TopicPlan> plans(topic_count);
    std::unordered_map<uint32_t, bool> used_hashes;
    auto claim = [&](const std::string& id) { return used_hashes.emplace(context_string_hash(id), true).second; };
    for (size_t t = 0; t < topic_count; ++t) {
        TopicPlan& plan = plans[t];
        for (;;) {
            plan.title = title_of(random);
            std::string id = without_spaces(plan.title);
            if (!random.chance(80)) id = "IDH_" + std::to_string(10000 + t);
            if (!claim(id)) continue;
            plan.ids.push_back(id);
            contents.derivable_ids += id.rfind("IDH_", 0) != 0;
            break;
        }
        if (random.chance(12)) {
            std::string alias = "IDH_ALIAS_" + std::to_string(100000 + t);
            if (claim(alias)) plan.ids.push_back(alias);
        }
    }
    // Browse sequences of consecutive topics.
    for (size_t t = 0; t < topic_count;) {
        const size_t length = random.between(4, 24);
        if (random.chance(70) && length >= 2) {
            const size_t end = std::min(topic_count, t + length);
            for (size_t k = t; k < end; ++k) {
                if (k > t) plans[k].sequence_previous = static_cast<int64_t>(k - 1);
                if (k + 1 < end) plans[k].sequence_next = static_cast<int64_t>(k + 1);
            }
            if (end - t >= 2) ++contents.browse_sequences;
            t = end;
        } else {
            t += length;
        }
    }

    const std::vector<std::string> phrases = phrase_table();
    contents.phrases = phrases.size();
    PhraseCoder coder(phrases, options.phrases);
    std::vector<std::string> jump_targets;
    for (size_t i = 0; i < 3; ++i) jump_targets.push_back(plans[i * topic_count / 3].ids.front());
    const std::vector<Bytes> picture_kinds = bm_pictures(jump_targets);
    const size_t bm_count = picture_kinds.size() * options.scale;
    contents.bm_pictures = bm_count;
    const Bytes embedded = build_picture_file({bitmap_picture(32, 32, 5)}).data;

    std::vector<LargeTopicRecord> records;
    TopicWriter writer{random, coder, plans, bm_count, embedded, contents};
    for (size_t t = 0; t < topic_count; ++t) writer.topic(t, records);
    link_records(records);
    const LargeTopicFile topic = build_large_topic_file(records);

    std::vector<int32_t> topic_offset(topic_count);
    for (size_t i = 0, t = 0; i < records.size(); ++i)
        if (records[i].record.type == 2) topic_offset[t++] = topic.topic_offsets[i];

    std::vector<ContextPair> pairs;
    std::vector<MapPair> map;
    for (size_t t = 0; t < topic_count; ++t) {
        for (const auto& id : plans[t].ids) pairs.push_back({context_string_hash(id), topic_offset[t]});
        if (t % 10 == 0) map.push_back({static_cast<int32_t>(1000 + t), topic_offset[t]});
    }
    std::sort(pairs.begin(), pairs.end(), [](const ContextPair& a, const ContextPair& b) { return a.hash < b.hash; });
    contents.context_ids = pairs.size();

    // Keyword indexes: K with phrases of two words, A with the ids.
    std::map<std::string, std::vector<uint32_t>> k_words;
    for (size_t n = 0; n < topic_count * 6 / 5; ++n) {
        std::string keyword = capitalised(vocabulary[20 + random.below(vocabulary.size() - 20)]) + " " +
                              std::string(vocabulary[20 + random.below(vocabulary.size() - 20)]);
        if (random.chance(30)) keyword += " " + std::to_string(10000 + random.below(90000));
        auto& list = k_words[keyword];
        const size_t references = random.between(1, 4);
        for (size_t r = 0; r < references; ++r) list.push_back(static_cast<uint32_t>(topic_offset[random.below(topic_count)]));
    }
    std::vector<KeywordSpec> k_index, a_index;
    for (auto& [keyword, list] : k_words) {
        std::sort(list.begin(), list.end());
        list.erase(std::unique(list.begin(), list.end()), list.end());
        k_index.push_back({keyword, list});
    }
    for (size_t t = 0; t < topic_count; t += 3) a_index.push_back({"a_" + plans[t].ids.front(), {static_cast<uint32_t>(topic_offset[t])}});
    sort_by_name(k_index);
    sort_by_name(a_index);
    contents.keywords = k_index.size() + a_index.size();
    for (const auto& k : k_index) contents.keyword_references += k.topic_offsets.size();
    contents.keyword_references += a_index.size();
    BTreeOptions keyword_tree;
    keyword_tree.structure = "z2l";
    const KeywordIndex k_files = build_keyword_index(k_index, keyword_tree);
    const KeywordIndex a_files = build_keyword_index(a_index, keyword_tree);

    // Some topics show in the secondary window.
    std::vector<WindowEntry> windows;
    for (size_t t = 5; t < topic_count; t += 20) windows.push_back({topic_offset[t], 0});

    ByteWriter contents_record;
    contents_record.u32(static_cast<uint32_t>(topic_offset[0]));
    WinHelpWindow secondary;
    secondary.flags = 0x0001 | 0x0004 | 0x0008;
    secondary.type = "proc";
    secondary.name = "proc";
    secondary.caption = "Procedure";
    const Bytes system = build_system_file(minor_version, lz77_topics,
                                           {system_string_record(system_title, "Large Reference"),
                                            system_string_record(system_copyright, "Generated for measurements."),
                                            {system_contents, contents_record.take()},
                                            winhelp_window_record(secondary)});

    std::vector<InternalFile> files = {{"|SYSTEM", system}, {"|FONT", large_help_file_fonts()}, {"|TOPIC", topic.data},
                                       {"|CONTEXT", build_context_tree(pairs)}, {"|CTXOMAP", build_context_map(map)},
                                       {"|VIOLA", build_viola(windows)}};
    for (auto& f : keyword_index_files('K', false, k_files)) files.push_back(std::move(f));
    for (auto& f : keyword_index_files('A', false, a_files)) files.push_back(std::move(f));
    if (options.phrases == PhraseScheme::packed) {
        PhraseIndexFiles index = build_phrase_index(phrases);
        files.push_back({"|PhrIndex", std::move(index.index)});
        files.push_back({"|PhrImage", std::move(index.image)});
    } else {
        files.push_back({"|Phrases", build_phrases_file(phrases)});
    }
    for (size_t n = 0; n < bm_count; ++n)
        files.push_back(picture_internal_file(static_cast<unsigned>(n + 1), picture_kinds[n % picture_kinds.size()]));
    HelpFileOptions layout;
    layout.directory_page_size = 1024;
    file.data = build_help_file(std::move(files), layout);
    return file;
}

LargeHelpFileContents write_large_help_file(const std::string& path, const LargeHelpFileOptions& options)
{
    LargeHelpFile file = build_large_help_file(options);
    write_file(path, file.data);
    return file.contents;
}

}  // namespace hlptest
