// The |SYSTEM internal file: version header and typed records.
#include "help_builder.h"

namespace hlptest {
namespace {

// A fixed generation date keeps built files identical from run to run.
constexpr uint32_t generation_date = 0;

ByteWriter system_header(uint16_t magic, uint16_t minor, uint16_t major, uint16_t flags)
{
    ByteWriter out;
    out.u16(magic).u16(minor).u16(major).u32(generation_date).u16(flags);
    return out;
}

}  // namespace

Bytes build_system_file(uint16_t minor, uint16_t flags, const std::vector<SystemRecordSpec>& records,
                        uint16_t major, uint16_t magic)
{
    ByteWriter out = system_header(magic, minor, major, flags);
    for (const auto& r : records)
        out.u16(r.type).u16(static_cast<uint16_t>(r.data.size())).bytes(r.data);
    return out.take();
}

Bytes build_old_system_file(const std::string& title)
{
    ByteWriter out = system_header(0x036C, 15, 1, 0);
    out.cstring(title);
    return out.take();
}

SystemRecordSpec system_string_record(uint16_t type, const std::string& text)
{
    ByteWriter data;
    data.cstring(text);
    return {type, data.take()};
}

}  // namespace hlptest
