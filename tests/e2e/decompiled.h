// A help file opened through the exports, as a file manager opens it, with
// every entry extracted into a temporary folder.
#pragma once

#include <string>
#include <vector>

#include "wcx_fixture.h"

namespace e2e {

struct Decompiled {
    TempDir folder;
    bool opened = false;
    int open_result = -1;  // what OpenArchiveW stored, when it failed
    std::vector<Entry> entries;  // in listing order
    std::vector<int> extract_results;
    std::string out;  // what the decompile printed on standard output
    std::string err;  // and on standard error
    std::string project_name;  // base name + .hpj or .mvp
    std::string topic_name;    // base name + .rtf

    explicit Decompiled(const std::string& help_path);
    bool listed(const std::string& name) const;
    std::string path(const std::string& name) const { return folder.file(name); }
    std::string contents(const std::string& name) const { return read_file(path(name)); }
    // The listed names that end with the extension (".bmp", ...).
    std::vector<std::string> names_ending(const std::string& extension) const;
};

}  // namespace e2e
