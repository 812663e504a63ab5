// The real help files of a corpus folder and the counts its EXPECTED.tsv
// lists for them, for the tests that read them in place.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace hlptest {

// The .hlp and .mvb files (any case) of the folder, sorted; empty when the
// folder is absent.
std::vector<std::string> corpus_files(const std::string& folder);
// The same, or one empty path when there is none, so that a parameterised
// suite still has one case, which skips.
std::vector<std::string> corpus_cases(const std::string& folder);
// A test name for case `index`: the file's stem with every character but
// letters and digits made '_', then the index; "absent" for the empty path.
std::string corpus_case_name(const std::string& path, size_t index);

// True for the corpus files that are damaged copies, which open only with
// salvage: watcom__PENAPIWH.HLP is the 3.1 SDK's file with 1.5 KB of its
// topic text overwritten, so four topics its indexes name are gone.
bool corpus_copy_damaged(const std::string& path);

// One line of EXPECTED.tsv: the file name and its counts by column name.
struct ExpectedRow {
    std::string file;
    std::map<std::string, long> counts;
    long count(const std::string& column) const;  // -1 when the column is missing
};
// The lines of folder/EXPECTED.tsv in file order; empty when it is absent.
std::vector<ExpectedRow> expected_rows(const std::string& folder);
// One count for the named file (its name without the folder), or -1.
long expected_count(const std::string& folder, const std::string& file, const std::string& column);

}  // namespace hlptest
