// Walks over an opened help file's entries in the order a file manager
// uses: ReadHeaderExW, then one ProcessFileW per entry, until
// ReadHeaderExW answers E_END_ARCHIVE.
#ifndef HLPUNPACK_CLI_ARCHIVE_WALK_H
#define HLPUNPACK_CLI_ARCHIVE_WALK_H

#include <filesystem>
#include <string>

#include <hlpunpack/wcx.h>

#include "console.h"

namespace hlpcli {

// How one walk went. `failure` is the reason shown to the user, empty when
// every entry went well; `entries` counts the entries seen.
struct walk_outcome {
    std::string failure;
    int entries = 0;
    int written = 0;
    int kept = 0;  // existing files left alone
    // A salvaged decompile that lost something lists NAME-damage.txt; its
    // last line ("N of M topics recovered whole"), empty when there is none.
    std::string damage_summary;
    std::string damage_text;   // the whole damage report, when read
    std::string project_text;  // the project file, when asked for
    int pictures = 0;          // entries bmN.bmp, .wmf, .shg, .mrb
};

// With `salvage`, the damage report's entry is read for its summary line;
// with `details`, the project file's entry too.
walk_outcome list_entries(WCX_HANDLE archive, const console& con, bool salvage, bool details);
walk_outcome test_entries(WCX_HANDLE archive, bool salvage, bool details);
// `folder` must exist. Existing files are kept unless `force` is set.
walk_outcome extract_entries(WCX_HANDLE archive, const std::filesystem::path& folder, bool force,
                             const console& con, bool salvage, bool details);

}  // namespace hlpcli

#endif
