#include <gtest/gtest.h>

#include "font_fixture.h"

#include "project/system_file.h"
#include "topics/fonts.h"

namespace {

std::string text_of(const MemoryFile* f) {
    std::string text;
    for (uint32_t i = 0; i < f->length; ++i) {
        if (f->buffer[i] == '\r' && i + 1 < f->length && f->buffer[i + 1] == '\n') continue;
        text += static_cast<char>(f->buffer[i]);
    }
    return text;
}

std::string name_of(const MemoryFile* f) {
    std::string name;
    for (const char16_t* p = f->name; *p; ++p) name += static_cast<char>(*p);
    return name;
}

}  // namespace

std::string HeaderRun::output(const std::string& name) {
    for (OutputNode* n = ctx().outputs.head; n; n = n->next) {
        if (name_of(n->file) == name) return text_of(n->file);
    }
    return "absent";
}

int HeaderRun::output_count() {
    int count = 0;
    for (OutputNode* n = ctx().outputs.head; n; n = n->next) ++count;
    return count;
}

std::unique_ptr<HeaderRun> write_header(const std::vector<hlptest::InternalFile>& files, bool with_project,
                                        bool salvage) {
    auto run = std::make_unique<HeaderRun>();
    run->ctx().salvage = salvage;
    OpenBytes help(hlptest::build_help_file(files));
    MemoryFile* topics = output_open("t.rtf", "wt");
    output_add(run->ctx().outputs, topics);
    MemoryFile* project = nullptr;
    if (with_project) {
        project = output_open("t.hpj", "wt");
        output_add(run->ctx().outputs, project);
    }
    testing::internal::CaptureStderr();
    // The language and the fonts' character sets come from |SYSTEM.
    for (const hlptest::InternalFile& file : files)
        if (file.name == "|SYSTEM") load_system_file(run->ctx(), help.file);
    rtf_header_write(run->ctx(), project, help.file, topics);
    run->progress = testing::internal::GetCapturedStderr();
    run->rtf = text_of(topics);
    if (project) run->project = text_of(project);
    return run;
}

std::unique_ptr<HeaderRun> write_header(const hlptest::FontFileSpec& font, bool with_project, bool salvage) {
    return write_header({{"|FONT", hlptest::build_font_file(font)}}, with_project, salvage);
}

std::string header_failure(const hlptest::Bytes& font, bool with_project) {
    ContextHolder holder;
    OpenBytes help(hlptest::build_help_file({{"|FONT", font}}));
    MemoryFile* topics = output_open("t.rtf", "wt");
    output_add(holder.ctx->outputs, topics);
    MemoryFile* project = nullptr;
    if (with_project) {
        project = output_open("t.hpj", "wt");
        output_add(holder.ctx->outputs, project);
    }
    return fatal_output([&] { rtf_header_write(*holder.ctx, project, help.file, topics); });
}

std::string font_table_of(const std::string& rtf) {
    size_t at = rtf.find("{\\fonttbl");
    if (at == std::string::npos) return "none";
    at += 9;
    return rtf.substr(at, rtf.find('\n', at) - at);
}

std::string stylesheet_of(const std::string& rtf) {
    size_t at = rtf.find("{\\stylesheet");
    size_t end = rtf.find("}\\pard\\plain\n");
    if (at == std::string::npos || end == std::string::npos) return "none";
    return rtf.substr(at, end - at);
}
