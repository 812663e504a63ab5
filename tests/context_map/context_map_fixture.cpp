#include "context_map_fixture.h"

#include "helpfile/container.h"

Decompile::Decompile(std::vector<hlptest::InternalFile> files)
    : help(std::make_unique<OpenBytes>(hlptest::build_help_file(std::move(files)))),
      project(output_open("test.hpj", "wt")) {
    output_add(ctx().outputs, project);
}

std::string Decompile::project_text() const {
    std::string text;
    for (uint32_t i = 0; i < project->length; ++i) {
        if (project->buffer[i] != '\r') text += static_cast<char>(project->buffer[i]);
    }
    return text;
}

long internal_header_offset(const hlptest::Bytes& help_file, const char* name) {
    OpenBytes f(help_file);
    long length = 0;
    if (!find_internal_file(f.file, &length, name)) return -1;
    return std::ftell(f.file) - 9;
}
