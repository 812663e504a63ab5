// |SYSTEM records of the project settings and the files they name.
#include "project_builder.h"

#include <algorithm>
#include <stdexcept>

namespace hlptest {
namespace {

// A text in a fixed-size field, NUL padded; throws when it does not fit
// with its NUL.
void fixed_string(ByteWriter& out, const std::string& text, size_t size)
{
    if (text.size() >= size)
        throw std::invalid_argument("text does not fit its field: " + text);
    out.bytes(bytes_of(text)).zeros(size - text.size());
}

void put_at(Bytes& b, size_t at, const Bytes& value)
{
    for (size_t i = 0; i < value.size() && at + i < b.size(); ++i)
        b[at + i] = value[i];
}

Bytes le16(int16_t v)
{
    auto u = static_cast<uint16_t>(v);
    return {static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)};
}

}  // namespace

SystemRecordSpec winhelp_window_record(const WinHelpWindow& w)
{
    ByteWriter out;
    out.u16(w.flags);
    fixed_string(out, w.type, 10);
    fixed_string(out, w.name, 9);
    fixed_string(out, w.caption, 51);
    for (int16_t v : {w.x, w.y, w.width, w.height, w.maximize})
        out.u16(static_cast<uint16_t>(v));
    out.bytes(w.scroll_colour).u8(0).bytes(w.fixed_colour).u8(0);
    return {system_window, out.take()};
}

SystemRecordSpec mediaview_window_record(const MediaViewWindow& w)
{
    Bytes data(std::max<size_t>(w.length, 132), 0);
    put_at(data, 12, bytes_of(w.name.substr(0, 8)));
    put_at(data, 21, bytes_of(w.caption.substr(0, 50)));
    for (size_t i = 0; i < 5; ++i)
        put_at(data, 73 + 2 * i, le16(w.position[i]));
    const size_t colour_at[3] = {83, 116, 112};
    for (size_t i = 0; i < 3; ++i)
        put_at(data, colour_at[i], Bytes(w.colours[i].begin(), w.colours[i].end()));
    for (size_t i = 0; i < 4; ++i)
        put_at(data, 120 + 2 * i, le16(w.region[i]));
    for (size_t i = 0; i < 2; ++i)
        put_at(data, 128 + 2 * i, le16(w.extra[i]));
    data.resize(w.length);
    return {system_window, data};
}

SystemRecordSpec contents_record(uint32_t topic_offset)
{
    ByteWriter out;
    out.u32(topic_offset);
    return {system_contents, out.take()};
}

SystemRecordSpec lcid_record(int16_t at8, int16_t at0, int16_t at2)
{
    ByteWriter out;
    out.u16(static_cast<uint16_t>(at0)).u16(static_cast<uint16_t>(at2)).zeros(4).u16(static_cast<uint16_t>(at8));
    return {system_lcid, out.take()};
}

SystemRecordSpec deffont_record(uint8_t size, uint8_t charset, const std::string& face)
{
    ByteWriter out;
    out.u8(size).u8(charset).cstring(face);
    return {system_deffont, out.take()};
}

SystemRecordSpec strings_record(uint16_t type, const std::vector<std::string>& strings)
{
    ByteWriter out;
    for (const auto& s : strings)
        out.cstring(s);
    return {type, out.take()};
}

SystemRecordSpec keyword_index_record(char letter, const std::string& title)
{
    ByteWriter out;
    out.u8(0).u8(static_cast<uint8_t>(letter)).zeros(28).cstring(title);
    return {system_index_separators, out.take()};
}

SystemRecordSpec raw_record(uint16_t type, const Bytes& data) { return {type, data}; }

Bytes group_file(uint32_t type, uint32_t first, uint32_t last, const Bytes& bitmap, std::optional<int32_t> bitmap_size)
{
    ByteWriter out;
    out.u32(0)
        .u32(static_cast<uint32_t>(bitmap_size.value_or(static_cast<int32_t>(bitmap.size()))))
        .u32(last)
        .u32(first)
        .zeros(8)
        .u32(type)
        .zeros(12)
        .bytes(bitmap);
    return out.take();
}

Bytes group_macros_file(const std::vector<GroupMacro>& records)
{
    ByteWriter out;
    out.u32(0);
    for (const auto& r : records) {
        auto entry_end = static_cast<int32_t>(8 + r.entry.size());
        auto length = static_cast<int32_t>(entry_end + r.exit.size());
        int32_t exit_offset = r.exit.empty() ? 0 : entry_end;
        out.u32(static_cast<uint32_t>(r.length.value_or(length)))
            .u32(static_cast<uint32_t>(r.exit_offset.value_or(exit_offset)))
            .bytes(bytes_of(r.entry))
            .bytes(bytes_of(r.exit));
    }
    return out.take();
}

Bytes config_macros_file(const std::vector<std::string>& macros)
{
    ByteWriter out;
    for (const auto& m : macros)
        out.cstring(m);
    return out.take();
}

Bytes word_list_file(const std::vector<std::string>& words, std::optional<uint16_t> total)
{
    uint16_t sum = 0;
    for (const auto& w : words)
        sum = static_cast<uint16_t>(sum + w.size() + 1);
    ByteWriter out;
    out.u32(0).u16(total.value_or(sum)).zeros(34);
    for (const auto& w : words) {
        if (w.size() > 255)
            throw std::invalid_argument("word longer than 255 characters");
        out.u8(static_cast<uint8_t>(w.size())).bytes(bytes_of(w));
    }
    return out.take();
}

}  // namespace hlptest
