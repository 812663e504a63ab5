// Turning entry names from a help file into names that are safe to create
// inside the output folder. The names come from the help file itself (its
// baggage files, for one), so a hostile file could otherwise climb out of
// the folder or write escape sequences to the terminal.
#ifndef HLPUNPACK_CLI_ENTRY_NAMES_H
#define HLPUNPACK_CLI_ENTRY_NAMES_H

#include <map>
#include <set>
#include <string>
#include <string_view>

namespace hlpcli {

// One flat file name: path separators, drive colons and control characters
// (C0, DEL and the C1 range) become '_'; "" and "." become "_", ".." "__".
// Input and output are UTF-8.
std::string flatten_entry_name(std::string_view name);

// The relative path an entry is written to: its flattened name, except
// that the HTML edition's entries ("html\\NAME") go into the subfolder
// html/, as "html/" and NAME flattened. No other folder is accepted.
std::string entry_path(std::string_view name);

// Names already given out during one run, compared without ASCII letter
// case so that two entries never land on the same file on any platform.
struct used_names {
    std::set<std::string> folded;
    std::map<std::string, int> next_suffix;  // folded name -> next "~N" to try
};

// A name not yet in `used`, made from `name` by adding "~2", "~3", ...
// before the extension when needed; records the result in `used`.
std::string claim_unique_name(used_names& used, const std::string& name);

}  // namespace hlpcli

#endif
