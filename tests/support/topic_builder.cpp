// The |TOPIC internal file: topic link records laid out as one logical stream
// and cut into blocks, each with a 12-byte header and stored or compressed.
#include "help_builder.h"

#include <stdexcept>

namespace hlptest {
namespace {

constexpr size_t link_header_size = 21;
constexpr size_t block_header_size = 12;
constexpr uint32_t none = 0xFFFFFFFF;

struct Block {
    size_t start = 0;  // stream offset of the block's first byte
    size_t end = 0;
    Bytes data;        // as it goes into the file, without the header
};

TopicRecord end_marker(const std::vector<TopicRecord>& records, bool relative_links)
{
    TopicRecord marker;
    marker.type = 2;
    if (relative_links) {
        // Old heads: size, then 16-bit browse links, each padded to 32 bits.
        ByteWriter head;
        head.u32(0).u16(0xFFFF).u16(0).u16(0xFFFF).u16(0);
        marker.head = head.take();
    } else {
        uint32_t topics = 0;
        for (const auto& r : records)
            topics += r.type == 2;
        marker.head = topic_header_record("", topics).head;
    }
    return marker;
}

// Writes the records with the given positions (one per record plus the
// position just past the stream) into the logical stream.
Bytes serialize(const std::vector<TopicRecord>& records, const std::vector<uint32_t>& positions,
                bool relative_links)
{
    ByteWriter out;
    const size_t n = records.size();
    for (size_t i = 0; i < n; ++i) {
        const auto& r = records[i];
        uint32_t previous = relative_links ? (i == 0 ? 0 : positions[i] - positions[i - 1])
                                           : (i == 0 ? none : positions[i - 1]);
        uint32_t next = relative_links ? positions[i + 1] - positions[i] : (i + 1 == n ? none : positions[i + 1]);
        if (r.next_link)
            next = static_cast<uint32_t>(*r.next_link);
        out.u32(static_cast<uint32_t>(link_header_size + r.head.size() + r.text.size()))
            .u32(static_cast<uint32_t>(r.text_length.value_or(static_cast<int32_t>(r.text.size()))))
            .u32(previous)
            .u32(next)
            .u32(static_cast<uint32_t>(link_header_size + r.head.size()))
            .u8(r.type);
        Bytes head = r.head;
        for (const auto& ref : r.position_refs)
            put_u32(head, ref.head_offset, ref.record < n ? positions[ref.record] : none);
        out.bytes(head).bytes(r.text);
    }
    return out.take();
}

std::vector<Block> cut_blocks(const Bytes& stream, const TopicLayout& layout)
{
    const size_t room = layout.block_size - block_header_size;
    std::vector<Block> blocks;
    for (size_t start = 0; start < stream.size();) {
        Block b;
        b.start = start;
        if (layout.compression == BlockCompression::stored) {
            b.end = std::min(stream.size(), start + std::min<size_t>(room, layout.decompress_size));
            b.data.assign(stream.begin() + static_cast<ptrdiff_t>(start), stream.begin() + static_cast<ptrdiff_t>(b.end));
        } else {
            auto chunk = lz77_compress_chunk(std::span(stream).subspan(start), room, layout.decompress_size,
                                             layout.compression == BlockCompression::lz77_greedy);
            if (chunk.consumed == 0)
                throw std::invalid_argument("topic block too small to hold a byte");
            b.end = start + chunk.consumed;
            b.data = std::move(chunk.data);
        }
        start = b.end;
        blocks.push_back(std::move(b));
    }
    return blocks;
}

// Topic position of a stream offset: block number times the decompress
// size, plus 12, plus the offset inside the block's expanded data.
uint32_t position_of(size_t offset, const std::vector<Block>& blocks, uint32_t decompress_size)
{
    size_t b = 0;
    while (b + 1 < blocks.size() && offset >= blocks[b].end)
        ++b;
    const size_t start = blocks.empty() ? 0 : blocks[b].start;
    return static_cast<uint32_t>(b * decompress_size + block_header_size + (offset - start));
}

}  // namespace

TopicLayout topic_layout_for(uint16_t minor, uint16_t flags)
{
    TopicLayout layout;
    if (minor < 16) {
        layout.block_size = 2048;
        layout.decompress_size = 2048;
        layout.compression = BlockCompression::stored;
        layout.relative_links = true;
        return layout;
    }
    layout.block_size = flags == 8 ? 2048 : 4096;
    layout.decompress_size = 16384;
    layout.compression = flags == 4 || flags == 8 ? BlockCompression::lz77_greedy : BlockCompression::stored;
    return layout;
}

TopicFile build_topic_file(const std::vector<TopicRecord>& input, const TopicLayout& layout)
{
    if (layout.block_size <= block_header_size || layout.decompress_size == 0)
        throw std::invalid_argument("topic block too small");
    std::vector<TopicRecord> records = input;
    if (layout.end_marker)
        records.push_back(end_marker(input, layout.relative_links));

    std::vector<size_t> starts;
    size_t stream_size = 0;
    for (const auto& r : records) {
        starts.push_back(stream_size);
        stream_size += link_header_size + r.head.size() + r.text.size();
    }
    starts.push_back(stream_size);

    // Positions depend on where blocks end, and with compression the block
    // ends depend on the bytes, positions included: repeat until they agree.
    std::vector<uint32_t> positions(records.size() + 1, 0);
    std::vector<Block> blocks;
    for (int round = 0;; ++round) {
        if (round == 32)
            throw std::runtime_error("topic block layout does not settle");
        const Bytes stream = serialize(records, positions, layout.relative_links);
        blocks = cut_blocks(stream, layout);
        std::vector<uint32_t> settled;
        for (size_t s : starts)
            settled.push_back(position_of(s, blocks, layout.decompress_size));
        if (settled == positions)
            break;
        positions = std::move(settled);
    }

    ByteWriter out;
    for (const auto& b : blocks) {
        uint32_t last_link = none, first_link = none, last_header = none;
        for (size_t i = 0; i < records.size(); ++i) {
            if (starts[i] < b.start) {
                last_link = positions[i];
                if (records[i].type == 2)
                    last_header = positions[i];
            } else if (starts[i] < b.end && first_link == none) {
                first_link = positions[i];
            }
        }
        out.u32(last_link).u32(first_link).u32(last_header).bytes(b.data);
    }

    TopicFile file;
    file.data = out.take();
    file.positions.assign(positions.begin(), positions.end() - 1);
    file.decompress_size = layout.decompress_size;
    file.block_count = static_cast<uint32_t>(blocks.size());
    return file;
}

TopicRecord topic_header_record(const std::string& title, uint32_t topic_number)
{
    TopicRecord r;
    r.type = 2;
    ByteWriter head;
    head.u32(0).u32(none).u32(none).u32(topic_number).u32(none).u32(none).u32(none);
    r.head = head.take();
    ByteWriter text;
    text.cstring(title);
    r.text = text.take();
    return r;
}

void link_topic_headers(std::vector<TopicRecord>& records)
{
    constexpr size_t scroll_start = 20, next_topic = 24;
    for (size_t i = 0; i < records.size(); ++i) {
        auto& r = records[i];
        if (r.type != 2 || r.head.size() < 28)
            continue;
        if (i + 1 < records.size() && records[i + 1].type != 2)
            r.position_refs.push_back({scroll_start, i + 1});
        size_t j = i + 1;
        while (j < records.size() && records[j].type != 2)
            ++j;
        r.position_refs.push_back({next_topic, j});
    }
}

Bytes compressed_ushort(uint16_t v)
{
    ByteWriter out;
    if (v < 0x80)
        out.u8(static_cast<uint8_t>(v * 2));
    else if (v < 0x8000)
        out.u16(static_cast<uint16_t>(v * 2 + 1));
    else
        throw std::out_of_range("compressed unsigned short above 32767");
    return out.take();
}

Bytes compressed_short(int16_t v)
{
    ByteWriter out;
    if (v >= -64 && v < 64)
        out.u8(static_cast<uint8_t>((v + 64) * 2));
    else if (v >= -16384 && v < 16384)
        out.u16(static_cast<uint16_t>((v + 16384) * 2 + 1));
    else
        throw std::out_of_range("compressed signed short outside -16384..16383");
    return out.take();
}

}  // namespace hlptest
