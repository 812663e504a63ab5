// A decompile context set up as the driver leaves it before the second pass,
// and the conversion of builder-made |TOPIC files into rich text.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/decompile_context.h"
#include "helpfile_fixture.h"
#include "paragraph_builder.h"

struct RtfRun {
    ContextHolder holder;
    DecompileContext& ctx = *holder.ctx;
    hlptest::TopicLayout layout;
    std::vector<hlptest::InternalFile> extra_files;
    bool run_first_pass = false;  // browse chains and embedded pictures as the driver has them
    bool load_titles = false;     // |TTLBTREE's offsets, as the driver loads them with salvage
    std::string out;  // standard output of the last conversion
    std::string err;  // standard error of the last conversion

    RtfRun();  // minor version 33, stored 4096-byte blocks, scale (1, 0)
    void use_old_format();  // minor version 15: 2048-byte blocks, scale (10, 5)

    void set_fonts(const std::vector<FontDescriptor>& fonts, uint8_t default_font = 0);
    // |CONTEXT entries with known names; give them sorted by topic offset.
    void set_contexts(const std::vector<std::pair<std::string, int32_t>>& entries);
    void set_pictures(const std::vector<uint8_t>& kinds);
    void set_windows(const std::vector<std::string>& names);

    // The whole rich text written for the records.
    std::string convert(const std::vector<hlptest::TopicRecord>& records);
    // The same without capturing the standard streams (for fatal errors).
    std::string convert_uncaptured(const std::vector<hlptest::TopicRecord>& records);
    // One topic without title, followed by the records: its body.
    std::string body(const std::vector<hlptest::TopicRecord>& records);
};

// A 0x20 record of one paragraph.
hlptest::TopicRecord paragraph_record(const hlptest::Paragraph& paragraph);
// A 0x20 record of one paragraph made of the segments.
hlptest::TopicRecord segments_record(const std::vector<hlptest::Segment>& segments);
// A font descriptor of the given half-point size and nothing else.
FontDescriptor plain_font(uint8_t size = 20);
// The text of a MemoryFile.
std::string file_text(const MemoryFile* file);
