// The checks the test host runs against a loaded plug-in, in the order a
// file manager calls it.
#pragma once

#include <string>
#include <vector>

#include "host_support.h"
#include "plugin_loader.h"

namespace wcxhost {

struct Entry {
    std::u16string name;
    unsigned size = 0;
};

// Capabilities, then open, list, close; reopen from the cache and extract
// every entry into out_dir as NNN.bin (with manifest.txt naming them);
// reopen for an unknown operation, a target that cannot be created and a
// write that fails. Returns the listed entries.
std::vector<Entry> walk_help_file(const Plugin& plugin, const std::u16string& help_file,
                                  const std::u16string& out_dir, Report& report);

// Every extracted entry and the manifest, byte for byte against those the
// reference run (the Linux build) wrote.
void compare_with_reference(const std::u16string& out_dir, const std::u16string& reference_dir, Report& report);

// Files that are no help files, damaged or missing fail to open with 15,
// again and again without leaking handles or memory.
void check_open_failures(const Plugin& plugin, const std::u16string& help_file, const std::u16string& work_dir,
                         Report& report);

// Load, use from two threads at once, unload; repeated, the process keeps
// no handle or heap block of earlier rounds beyond what the runtime alone
// keeps (measured on probe_path, a DLL of the runtime alone, when given).
void check_load_cycles(const std::u16string& plugin_path, const std::u16string& first_file,
                       const std::u16string& second_file, const std::u16string& probe_path, Report& report);

}  // namespace wcxhost
