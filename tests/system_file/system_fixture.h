// A decompile context over a built help file with a project file, for the
// |SYSTEM reader and the project sections.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "helpfile_fixture.h"
#include "project_builder.h"

struct ProjectRun {
    ContextHolder holder;
    std::unique_ptr<OpenBytes> help;
    MemoryFile* project;

    explicit ProjectRun(std::vector<hlptest::InternalFile> files, bool mediaview = false);
    DecompileContext& ctx() { return *holder.ctx; }
    std::FILE* file() { return help->file; }

    // load_system_file, then write_project_options; answers the project text.
    std::string options();
    // The text written so far, line feeds without their carriage returns.
    std::string text() const;
    // Outputs by entry name, newest first.
    std::vector<const MemoryFile*> outputs_named(const std::string& name) const;
    // The only output of that name, as stored; fails the test otherwise.
    std::string output_bytes(const std::string& name) const;
};

// |SYSTEM of that version with those records, followed by the other files.
std::vector<hlptest::InternalFile> help_files(uint16_t minor, uint16_t flags,
                                              const std::vector<hlptest::SystemRecordSpec>& records,
                                              std::vector<hlptest::InternalFile> others = {});

// The lines from the one that is header up to the next section header (or
// the end); empty when there is no such section.
std::string section(const std::string& text, const std::string& header);
// The section headers in order.
std::vector<std::string> section_headers(const std::string& text);
