// A decompile context and temporary help files for the readers' tests.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "core/decompile_context.h"
#include "help_builder.h"

struct ContextHolder {
    std::unique_ptr<DecompileContext> ctx = std::make_unique<DecompileContext>();
    ContextHolder() { context_init(*ctx); }
    ~ContextHolder() { context_release(*ctx); }
};

// The bytes as an open read-only stream over an unlinked temporary file.
struct OpenBytes {
    std::FILE* file;
    explicit OpenBytes(const hlptest::Bytes& bytes);
    ~OpenBytes() { std::fclose(file); }
};

// Runs f, expecting FatalError, and returns what it wrote to stderr.
template <typename F>
std::string fatal_output(F f) {
    testing::internal::CaptureStderr();
    bool thrown = false;
    try {
        f();
    } catch (const FatalError&) {
        thrown = true;
    }
    std::string text = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(thrown) << "no fatal error; stderr: " << text;
    return text;
}
