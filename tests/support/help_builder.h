// help_builder: writes help files byte by byte for tests.
//
// Everything here is an independent writer of the file format: it shares no
// code with the decompiler, so a test that reads a built file back checks the
// decompiler against a second, separate account of the layout.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace hlptest {

using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------- bytes

// Appends little-endian numbers and strings; patches values in place later.
class ByteWriter {
public:
    ByteWriter& u8(uint8_t v);
    ByteWriter& u16(uint16_t v);
    ByteWriter& u32(uint32_t v);
    ByteWriter& bytes(std::span<const uint8_t> b);
    ByteWriter& cstring(std::string_view s);  // the text and one NUL byte
    ByteWriter& zeros(size_t n);

    size_t size() const { return data_.size(); }
    void patch_u16(size_t at, uint16_t v);
    void patch_u32(size_t at, uint32_t v);

    const Bytes& data() const { return data_; }
    Bytes take() { return std::move(data_); }

private:
    Bytes data_;
};

uint16_t get_u16(const Bytes& b, size_t at);
uint32_t get_u32(const Bytes& b, size_t at);
void put_u16(Bytes& b, size_t at, uint16_t v);
void put_u32(Bytes& b, size_t at, uint32_t v);

Bytes bytes_of(std::string_view s);  // the characters, without a NUL

// ---------------------------------------------------------------- B+ trees

// A leaf entry is key bytes followed by value bytes. An index entry is the
// first key of a child page followed by that page's 2-byte number.
struct BTreeEntry {
    Bytes key;
    Bytes value;
};

struct BTreeOptions {
    uint16_t page_size = 4096;
    uint16_t magic = 0x293B;
    uint16_t flags = 0x0402;
    std::string structure = "z4";  // at most 16 characters, NUL padded
    int max_leaf_entries = 0;      // 0 = as many as fit in a page
    int max_index_entries = 0;     // entries besides the leftmost child; 0 = as many as fit
};

// Offsets inside a built tree, for tests that damage one on purpose.
// The tree header sits at offset 0; page n starts at btree_page_offset(tree, n).
namespace btree_field {
constexpr size_t magic = 0;               // u16
constexpr size_t flags = 2;               // u16
constexpr size_t page_size = 4;           // u16
constexpr size_t structure = 6;           // 16 bytes
constexpr size_t page_splits = 24;        // u16
constexpr size_t root_page = 26;          // i16
constexpr size_t total_pages = 30;        // u16
constexpr size_t level_count = 32;        // i16
constexpr size_t total_entries = 34;      // u32
constexpr size_t header_size = 38;
// Within a page: free_bytes u16 at 0, entry_count i16 at 2, previous_page i16
// at 4; leaves add next_page i16 at 6 (-1 ends the chain).
constexpr size_t page_free_bytes = 0;
constexpr size_t page_entry_count = 2;
constexpr size_t page_previous = 4;
constexpr size_t leaf_next = 6;
constexpr size_t leaf_header_size = 8;
constexpr size_t index_header_size = 6;
}  // namespace btree_field

// Leaves are pages 0..n-1 in key order; each index level follows the one
// below it, so the root is always the last page. Throws std::invalid_argument
// when an entry does not fit in a page.
Bytes build_btree(const std::vector<BTreeEntry>& sorted_entries, const BTreeOptions& options = {});
size_t btree_page_offset(const Bytes& tree, int page);

// ---------------------------------------------------------------- container

struct InternalFile {
    std::string name;
    Bytes data;
};

struct HelpFileOptions {
    uint16_t directory_page_size = 4096;
    int directory_max_leaf_entries = 0;
    int directory_max_index_entries = 0;
    uint32_t magic = 0x00035F3F;
};

// The 16-byte file header, the internal files in the order given (each after
// its 9-byte header), then the directory tree keyed by the NUL-terminated
// names in unsigned byte order. Throws std::invalid_argument on a repeated name.
Bytes build_help_file(std::vector<InternalFile> files, const HelpFileOptions& options = {});

// Throws std::runtime_error when the file cannot be written.
void write_file(const std::string& path, const Bytes& data);

// ---------------------------------------------------------------- compression

Bytes lz77_compress_literal(const Bytes& input);  // literals only
Bytes lz77_compress_greedy(const Bytes& input);   // longest match at each step

// Compresses a prefix of input into exactly output_size bytes (fewer only when
// the whole input fits), expanding to at most expanded_limit bytes. When the
// expanded limit stops it first, the output is padded with literals past that
// limit, which a reader with a buffer of that capacity drops.
struct Lz77Chunk {
    Bytes data;
    size_t consumed = 0;  // input bytes the chunk expands to
};
Lz77Chunk lz77_compress_chunk(std::span<const uint8_t> input, size_t output_size,
                              size_t expanded_limit, bool greedy);

// Count byte 0x81..0xFF: that many minus 128 literal bytes follow;
// 0x01..0x7F: the next byte repeated that many times.
Bytes runlength_encode(const Bytes& input);

// ---------------------------------------------------------------- |SYSTEM

enum SystemRecordType : uint16_t {
    system_title = 1,
    system_copyright = 2,
    system_contents = 3,
    system_config = 4,
    system_icon = 5,
    system_window = 6,
};

struct SystemRecordSpec {
    uint16_t type;
    Bytes data;
};

// The 12-byte header (magic, minor, major, a zero date, flags), then each
// record as type, length and data.
Bytes build_system_file(uint16_t minor, uint16_t flags, const std::vector<SystemRecordSpec>& records,
                        uint16_t major = 1, uint16_t magic = 0x036C);
// Minor version 15: the header followed by the NUL-terminated title.
Bytes build_old_system_file(const std::string& title);
SystemRecordSpec system_string_record(uint16_t type, const std::string& text);

// ---------------------------------------------------------------- |TOPIC

enum class BlockCompression { stored, lz77_literal, lz77_greedy };

struct TopicLayout {
    uint32_t block_size = 4096;        // bytes of |TOPIC per block, 12-byte header included
    uint32_t decompress_size = 16384;  // span of topic positions per block
    BlockCompression compression = BlockCompression::lz77_greedy;
    bool relative_links = false;  // old files: next/previous links are distances
    bool end_marker = true;       // close the chain with an empty topic header, as compilers do
};

// The layout that a |SYSTEM header of this minor version and flags announces.
TopicLayout topic_layout_for(uint16_t minor, uint16_t flags);

// Writes the topic position of record `record` (an index into the list; the
// list's size means the end marker) as an i32 at `head_offset` of the head
// part. A reference to no record writes -1.
struct PositionRef {
    size_t head_offset;
    size_t record;
};

struct TopicRecord {
    uint8_t type = 0x20;
    Bytes head;  // the head part that follows the 21-byte link header
    Bytes text;  // the text part as stored
    std::optional<int32_t> text_length;  // expanded text length; default text.size()
    std::optional<int32_t> next_link;    // replaces the computed link
    std::vector<PositionRef> position_refs;
};

struct TopicFile {
    Bytes data;                       // the |TOPIC internal file
    std::vector<uint32_t> positions;  // of each record, then of the end marker if any
    uint32_t decompress_size = 0;
    uint32_t block_count = 0;
    uint32_t block_of(uint32_t position) const { return (position - 12) / decompress_size; }
};

// Lays the records out back to back as one logical stream (header, head part,
// text part), fills lengths and links, cuts the stream into blocks with their
// headers (last record before the block, first record in it, last topic
// header before it; -1 for none) and stores or compresses each block.
TopicFile build_topic_file(const std::vector<TopicRecord>& records, const TopicLayout& layout);

// A type-2 record with a 28-byte head (size 0, no browse links, the topic
// number, no non-scrolling region, scroll start and next topic -1) and the
// title as its text.
TopicRecord topic_header_record(const std::string& title, uint32_t topic_number);
// Points every such head's scroll start at the record after it (when that is
// not a topic header) and its next topic at the following topic header or the
// end marker.
void link_topic_headers(std::vector<TopicRecord>& records);

Bytes compressed_ushort(uint16_t v);  // 1 byte below 128, else 2
Bytes compressed_short(int16_t v);    // 1 byte for -64..63, else 2

}  // namespace hlptest
