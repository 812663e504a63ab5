// Little-endian byte assembly shared by all builders.
#include "help_builder.h"

#include <stdexcept>

namespace hlptest {

ByteWriter& ByteWriter::u8(uint8_t v)
{
    data_.push_back(v);
    return *this;
}

ByteWriter& ByteWriter::u16(uint16_t v)
{
    data_.push_back(static_cast<uint8_t>(v));
    data_.push_back(static_cast<uint8_t>(v >> 8));
    return *this;
}

ByteWriter& ByteWriter::u32(uint32_t v)
{
    u16(static_cast<uint16_t>(v));
    return u16(static_cast<uint16_t>(v >> 16));
}

ByteWriter& ByteWriter::bytes(std::span<const uint8_t> b)
{
    data_.insert(data_.end(), b.begin(), b.end());
    return *this;
}

ByteWriter& ByteWriter::cstring(std::string_view s)
{
    data_.insert(data_.end(), s.begin(), s.end());
    data_.push_back(0);
    return *this;
}

ByteWriter& ByteWriter::zeros(size_t n)
{
    data_.resize(data_.size() + n, 0);
    return *this;
}

void ByteWriter::patch_u16(size_t at, uint16_t v) { put_u16(data_, at, v); }
void ByteWriter::patch_u32(size_t at, uint32_t v) { put_u32(data_, at, v); }

uint16_t get_u16(const Bytes& b, size_t at)
{
    if (at + 2 > b.size())
        throw std::out_of_range("get_u16 past the end");
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

uint32_t get_u32(const Bytes& b, size_t at)
{
    return get_u16(b, at) | static_cast<uint32_t>(get_u16(b, at + 2)) << 16;
}

void put_u16(Bytes& b, size_t at, uint16_t v)
{
    if (at + 2 > b.size())
        throw std::out_of_range("put_u16 past the end");
    b[at] = static_cast<uint8_t>(v);
    b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put_u32(Bytes& b, size_t at, uint32_t v)
{
    put_u16(b, at, static_cast<uint16_t>(v));
    put_u16(b, at + 2, static_cast<uint16_t>(v >> 16));
}

Bytes bytes_of(std::string_view s)
{
    return Bytes(s.begin(), s.end());
}

}  // namespace hlptest
