#include "system_fixture.h"

#include "project/system_file.h"

ProjectRun::ProjectRun(std::vector<hlptest::InternalFile> files, bool mediaview)
    : help(std::make_unique<OpenBytes>(hlptest::build_help_file(std::move(files)))),
      project(output_open("test.hpj", "wt")) {
    output_add(ctx().outputs, project);
    ctx().mediaview = mediaview;
}

std::string ProjectRun::options() {
    load_system_file(ctx(), file());
    write_project_options(ctx(), file(), project, "test.ico");
    return text();
}

std::string ProjectRun::text() const {
    std::string text;
    for (uint32_t i = 0; i < project->length; ++i) {
        if (project->buffer[i] != '\r') text += static_cast<char>(project->buffer[i]);
    }
    return text;
}

std::vector<const MemoryFile*> ProjectRun::outputs_named(const std::string& name) const {
    std::vector<const MemoryFile*> found;
    for (OutputNode* node = holder.ctx->outputs.head; node; node = node->next) {
        std::string entry;
        for (const char16_t* p = node->file->name; *p; ++p) entry += static_cast<char>(*p);
        if (entry == name) found.push_back(node->file);
    }
    return found;
}

std::string ProjectRun::output_bytes(const std::string& name) const {
    auto found = outputs_named(name);
    EXPECT_EQ(found.size(), 1u) << name;
    if (found.size() != 1) return "";
    return std::string(reinterpret_cast<const char*>(found[0]->buffer), found[0]->length);
}

std::vector<hlptest::InternalFile> help_files(uint16_t minor, uint16_t flags,
                                              const std::vector<hlptest::SystemRecordSpec>& records,
                                              std::vector<hlptest::InternalFile> others) {
    others.insert(others.begin(), {"|SYSTEM", hlptest::build_system_file(minor, flags, records)});
    return others;
}

std::string section(const std::string& text, const std::string& header) {
    size_t start = text.rfind(header + "\n", 0) == 0 ? 0 : text.find("\n" + header + "\n");
    if (start == std::string::npos) return "";
    if (start != 0) ++start;
    size_t end = text.find("\n[", start);
    return text.substr(start, end == std::string::npos ? std::string::npos : end + 1 - start);
}

std::vector<std::string> section_headers(const std::string& text) {
    std::vector<std::string> headers;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        if (text[at] == '[') headers.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return headers;
}
