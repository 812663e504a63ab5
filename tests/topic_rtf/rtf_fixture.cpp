#include "rtf_fixture.h"

#include "topics/title_offsets.h"

#include "firstpass/first_pass.h"
#include "project/context_hash.h"
#include "project/context_map.h"
#include "render/render_topics.h"

using namespace hlptest;

RtfRun::RtfRun() {
    ctx.system_minor = 33;
    ctx.minor_above_21 = true;
    ctx.winhelp4 = true;
    ctx.block_size = 4096;
    ctx.decompress_size = 16384;
    ctx.scale_multiplier = 1;
    ctx.scale_subtrahend = 0;
    layout.block_size = 4096;
    layout.decompress_size = 16384;
    layout.compression = BlockCompression::stored;
}

void RtfRun::use_old_format() {
    ctx.system_minor = 15;
    ctx.old_format = true;
    ctx.minor_above_21 = false;
    ctx.winhelp4 = false;
    ctx.block_size = 2048;
    ctx.decompress_size = 2048;
    ctx.scale_multiplier = 10;
    ctx.scale_subtrahend = 5;
    layout = topic_layout_for(15, 0);
}

void RtfRun::set_fonts(const std::vector<FontDescriptor>& fonts, uint8_t default_font) {
    ctx.fonts = tracked_new_array<FontDescriptor>(ctx, static_cast<long>(fonts.size()) + 1);
    for (size_t i = 0; i < fonts.size(); ++i) ctx.fonts[i] = fonts[i];
    ctx.font_count = static_cast<int32_t>(fonts.size());
    ctx.default_font = default_font;
    ctx.attributes = CharacterAttributes{};
    ctx.attributes.font_name = default_font;
}

void RtfRun::set_contexts(const std::vector<std::pair<std::string, int32_t>>& entries) {
    ctx.contexts = tracked_new_array<ContextEntry>(ctx, static_cast<long>(entries.size()) + 1);
    for (size_t i = 0; i < entries.size(); ++i) {
        add_context_name(ctx, entries[i].first.c_str(), false);
        ctx.contexts[i] = ContextEntry{context_hash(entries[i].first.c_str()), entries[i].second};
    }
    ctx.context_count = static_cast<int32_t>(entries.size());
}

void RtfRun::set_pictures(const std::vector<uint8_t>& kinds) {
    ctx.picture_table = static_cast<uint8_t*>(tracked_malloc(ctx, static_cast<long>(kinds.size()) + 1));
    for (size_t i = 0; i < kinds.size(); ++i) ctx.picture_table[i] = kinds[i];
    ctx.picture_table_size = static_cast<int32_t>(kinds.size());
}

void RtfRun::set_windows(const std::vector<std::string>& names) {
    ctx.window_names = tracked_new_array<char*>(ctx, static_cast<long>(names.size()) + 1);
    for (size_t i = 0; i < names.size(); ++i) ctx.window_names[i] = tracked_strdup(ctx, names[i].c_str());
    ctx.window_count = static_cast<int32_t>(names.size());
}

std::string RtfRun::convert_uncaptured(const std::vector<TopicRecord>& records) {
    std::vector<InternalFile> files = extra_files;
    files.push_back({"|TOPIC", build_topic_file(records, layout).data});
    OpenBytes help(build_help_file(files));
    if (load_titles) load_title_offsets(ctx, help.file);
    if (run_first_pass) first_pass(ctx, help.file);
    MemoryFile* rtf = output_open("test.rtf", "wb");
    output_add(ctx.outputs, rtf);
    EXPECT_EQ(topic_to_rtf(ctx, help.file, rtf), rtf);
    return file_text(rtf);
}

std::string RtfRun::convert(const std::vector<TopicRecord>& records) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    std::string text;
    try {
        text = convert_uncaptured(records);
    } catch (...) {
        out = testing::internal::GetCapturedStdout();
        err = testing::internal::GetCapturedStderr();
        throw;
    }
    out = testing::internal::GetCapturedStdout();
    err = testing::internal::GetCapturedStderr();
    return text;
}

std::string RtfRun::body(const std::vector<TopicRecord>& records) {
    std::vector<TopicRecord> all{topic_header_record("", 0)};
    all.insert(all.end(), records.begin(), records.end());
    return convert(all);
}

TopicRecord paragraph_record(const Paragraph& paragraph) {
    TextRecordSpec recipe;
    recipe.paragraphs = {paragraph};
    return text_record(recipe);
}

TopicRecord segments_record(const std::vector<Segment>& segments) {
    Paragraph p;
    p.segments = segments;
    return paragraph_record(p);
}

FontDescriptor plain_font(uint8_t size) {
    FontDescriptor f{};
    f.size = size;
    return f;
}

std::string file_text(const MemoryFile* file) {
    if (file->length == 0) return {};
    return std::string(reinterpret_cast<const char*>(file->buffer), file->length);
}
