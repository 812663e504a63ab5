#include "topics_fixture.h"

#include "helpfile/container.h"
#include "topics/phrases.h"

void set_topic_format(DecompileContext& ctx, uint16_t minor, uint16_t flags) {
    ctx.system_minor = minor;
    ctx.system_flags = flags;
    ctx.old_format = minor < 16;
    ctx.topics_compressed = !ctx.old_format && (flags == 4 || flags == 8);
    ctx.block_size = ctx.old_format || flags == 8 ? 2048 : 4096;
    ctx.decompress_size = ctx.old_format ? 2048 : 16384;
}

OpenHelp::OpenHelp(std::vector<hlptest::InternalFile> files, uint16_t minor, uint16_t flags)
    : ctx(*holder.ctx), bytes(hlptest::build_help_file(std::move(files))), file(bytes.file) {
    set_topic_format(ctx, minor, flags);
}

std::string load_phrase_table(DecompileContext& ctx, std::FILE* file) {
    testing::internal::CaptureStderr();
    try {
        phrase_table_load(ctx, file);
    } catch (...) {
        testing::internal::GetCapturedStderr();
        throw;
    }
    return testing::internal::GetCapturedStderr();
}

void open_topic(DecompileContext& ctx, std::FILE* file) {
    long length = 0;
    ASSERT_TRUE(find_internal_file(file, &length, "|TOPIC"));
    ctx.topic_file_size = static_cast<int32_t>(length);
}

hlptest::Bytes read_at(DecompileContext& ctx, std::FILE* file, uint32_t position, long count) {
    hlptest::Bytes out(static_cast<size_t>(count) + 1, 0xEE);
    long got = topic_read(ctx, file, position, out.data(), count);
    EXPECT_LE(got, count);
    EXPECT_EQ(out[static_cast<size_t>(count)], 0xEE) << "wrote past the count";
    out.resize(static_cast<size_t>(got < 0 ? 0 : got));
    return out;
}

std::vector<WalkedRecord> walk_all(DecompileContext& ctx, std::FILE* file) {
    std::vector<WalkedRecord> records;
    TopicWalk walk;
    if (!topic_walk_start(ctx, file, walk)) return records;
    while (topic_walk_next(ctx, file, walk)) {
        WalkedRecord r{walk.position, walk.link, walk.next_position, {}, walk.text != nullptr, {}};
        if (walk.head) r.head.assign(walk.head, walk.head + walk.head_size);
        EXPECT_EQ(walk.head_size, walk.head ? walk.link.head_length - 21 : 0);
        if (walk.text) {
            EXPECT_EQ(walk.text[walk.text_size], '\0') << "text not terminated";
            r.text.assign(walk.text, static_cast<size_t>(walk.text_size));
        }
        records.push_back(std::move(r));
    }
    EXPECT_FALSE(topic_walk_next(ctx, file, walk)) << "a finished walk stays finished";
    topic_walk_end(ctx, walk);
    return records;
}
