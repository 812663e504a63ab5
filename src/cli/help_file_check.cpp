#include "help_file_check.h"

#include <cstdint>
#include <fstream>

namespace hlpcli {

namespace {
constexpr uint32_t help_file_magic = 0x00035F3F;
constexpr std::streamsize help_header_size = 16;
}  // namespace

help_file_status check_help_file(const std::filesystem::path& path) {
    std::error_code ec;
    // A folder opens as a stream on some systems but is never readable.
    if (std::filesystem::is_directory(path, ec)) return help_file_status::cannot_open;
    std::ifstream in(path, std::ios::binary);
    if (!in) return help_file_status::cannot_open;
    unsigned char header[help_header_size];
    in.read(reinterpret_cast<char*>(header), help_header_size);
    if (in.gcount() < help_header_size) {
        if (in.bad()) return help_file_status::cannot_open;
        return help_file_status::not_help_file;
    }
    uint32_t magic = header[0] | header[1] << 8 | header[2] << 16 | static_cast<uint32_t>(header[3]) << 24;
    return magic == help_file_magic ? help_file_status::ok : help_file_status::not_help_file;
}

}  // namespace hlpcli
