// Runs the rich-text header writer on a built help file and keeps what it
// wrote: the topic file's head, the project lines and the standard error.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "font_builder.h"
#include "helpfile_fixture.h"

struct HeaderRun {
    ContextHolder holder;
    std::string rtf;      // line feeds as written (the stored CR LF undone)
    std::string project;  // empty without a project file
    std::string progress; // standard error
    DecompileContext& ctx() { return *holder.ctx; }
    // The text of the output listed under name; "absent" when there is none.
    std::string output(const std::string& name);
    int output_count();
};

// The help file holding these internal files, through rtf_header_write.
std::unique_ptr<HeaderRun> write_header(const std::vector<hlptest::InternalFile>& files, bool with_project = true,
                                        bool salvage = false);
// The same with |FONT as the only internal file.
std::unique_ptr<HeaderRun> write_header(const hlptest::FontFileSpec& font, bool with_project = true,
                                        bool salvage = false);
// The message of the fatal error that writing the header for |FONT raises.
std::string header_failure(const hlptest::Bytes& font, bool with_project = false);

// The text between "{\fonttbl" and the end of that line.
std::string font_table_of(const std::string& rtf);
// The stylesheet lines, from "{\stylesheet" to "}\pard\plain".
std::string stylesheet_of(const std::string& rtf);
