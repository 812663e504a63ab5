// The help file container: header, internal files and their directory.
#include "help_builder.h"

#include <algorithm>
#include <fstream>
#include <stdexcept>

namespace hlptest {
namespace {

// Internal-file header: reserved space, used space, flags.
void append_internal_file(ByteWriter& out, const Bytes& data)
{
    const auto size = static_cast<uint32_t>(data.size());
    out.u32(size).u32(size).u8(0).bytes(data);
}

}  // namespace

Bytes build_help_file(std::vector<InternalFile> files, const HelpFileOptions& options)
{
    ByteWriter out;
    // Magic, directory start and file size (patched below), no free block.
    out.u32(options.magic).u32(0).u32(0xFFFFFFFF).u32(0);

    std::vector<BTreeEntry> directory;
    for (const auto& file : files) {
        ByteWriter key;
        key.cstring(file.name);
        ByteWriter value;
        value.u32(static_cast<uint32_t>(out.size()));
        directory.push_back({key.take(), value.take()});
        append_internal_file(out, file.data);
    }

    // std::vector<uint8_t> compares as unsigned bytes, the directory's order;
    // the NUL puts a name before every longer name it is a prefix of.
    std::sort(directory.begin(), directory.end(),
              [](const BTreeEntry& a, const BTreeEntry& b) { return a.key < b.key; });
    auto same = std::adjacent_find(directory.begin(), directory.end(),
                                   [](const BTreeEntry& a, const BTreeEntry& b) { return a.key == b.key; });
    if (same != directory.end())
        throw std::invalid_argument("internal file name used twice");

    BTreeOptions tree;
    tree.page_size = options.directory_page_size;
    tree.max_leaf_entries = options.directory_max_leaf_entries;
    tree.max_index_entries = options.directory_max_index_entries;
    const auto directory_start = static_cast<uint32_t>(out.size());
    append_internal_file(out, build_btree(directory, tree));

    out.patch_u32(4, directory_start);
    out.patch_u32(12, static_cast<uint32_t>(out.size()));
    return out.take();
}

void write_file(const std::string& path, const Bytes& data)
{
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    f.close();
    if (!f)
        throw std::runtime_error("cannot write " + path);
}

}  // namespace hlptest
