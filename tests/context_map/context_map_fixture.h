// A decompile context over a built help file, with a project file to
// write sections into.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "context_builder.h"
#include "helpfile_fixture.h"

struct Decompile {
    ContextHolder holder;
    std::unique_ptr<OpenBytes> help;
    MemoryFile* project;

    explicit Decompile(std::vector<hlptest::InternalFile> files);
    DecompileContext& ctx() { return *holder.ctx; }
    std::FILE* file() { return help->file; }
    // The project file's text with line ends as written.
    std::string project_text() const;
};

// Runs f, expecting no fatal error, and returns what it wrote to stderr.
template <typename F>
std::string stderr_of(F f) {
    testing::internal::CaptureStderr();
    try {
        f();
    } catch (const FatalError&) {
        std::string text = testing::internal::GetCapturedStderr();
        ADD_FAILURE() << "fatal error; stderr: " << text;
        return text;
    }
    return testing::internal::GetCapturedStderr();
}

// Where an internal file's 9-byte header sits in a built help file.
long internal_header_offset(const hlptest::Bytes& help_file, const char* name);
