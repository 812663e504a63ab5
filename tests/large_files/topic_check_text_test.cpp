// The first pass checks the text parts it does not look at without keeping
// them: the same bytes consumed, the same place in |TOPIC afterwards and the
// same fatal errors as reading them.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "helpfile_fixture.h"
#include "phrase_builder.h"
#include "topics/topic_reader.h"

namespace {

using hlptest::Bytes;

const std::vector<std::string> phrases = {"the ", "window", "help", "file"};

// A context with the phrase table above and |TOPIC open at its start.
struct Topic {
    ContextHolder holder;
    OpenBytes bytes;
    explicit Topic(const Bytes& topic)
        : bytes(hlptest::build_help_file({{"|TOPIC", topic}})) {
        DecompileContext& ctx = *holder.ctx;
        ctx.block_size = 4096;
        ctx.decompress_size = 16384;
        ctx.topics_compressed = true;
        ctx.packed_phrases = true;
        ctx.phrase_count = static_cast<uint32_t>(phrases.size());
        ctx.phrase_offsets = tracked_new_array<uint32_t>(ctx, 5);
        std::string all;
        for (size_t i = 0; i < phrases.size(); ++i) {
            ctx.phrase_offsets[i] = static_cast<uint32_t>(all.size());
            all += phrases[i];
        }
        ctx.phrase_offsets[4] = static_cast<uint32_t>(all.size());
        ctx.phrase_texts = tracked_new_array<char>(ctx, static_cast<long>(all.size()) + 1);
        std::memcpy(ctx.phrase_texts, all.c_str(), all.size() + 1);
        TopicWalk walk{};
        topic_walk_start(ctx, bytes.file, walk);
        uint8_t header[21];
        topic_read(ctx, bytes.file, 12, header, 21);  // to the first record's text
    }
};

TEST(TopicCheckText, ConsumesAndFailsAsReadingDoes) {
    struct Case {
        Bytes stored;
        long expanded;
    };
    const Bytes packed = hlptest::phrase_compress("the window of the help file", phrases, hlptest::PhraseScheme::packed);
    const std::vector<Case> cases = {
        {packed, 27},                            // phrase-compressed
        {hlptest::bytes_of("plain text here"), 15},  // stored as it is
        {hlptest::bytes_of("longer than said"), 6},  // surplus dropped
        {packed, static_cast<long>(packed.size()) + 1},  // expands past its length: fatal
        {Bytes{0x0E, 0x05}, 40},                 // phrase 7 does not exist: fatal
    };
    for (const Case& c : cases) {
        hlptest::TopicRecord record;
        record.type = 0x20;
        record.text = c.stored;
        record.text_length = static_cast<int32_t>(c.expanded);
        const Bytes topic = hlptest::build_topic_file({record}, {}).data;
        Topic read(topic), checked(topic);
        const long stored = static_cast<long>(c.stored.size());
        std::string read_error, checked_error;
        long read_count = -1, checked_count = -1;
        std::vector<char> buffer(static_cast<size_t>(c.expanded) + 1);
        testing::internal::CaptureStderr();
        try {
            read_count = topic_read_text(*read.holder.ctx, read.bytes.file, buffer.data(), c.expanded, stored);
        } catch (const FatalError&) {
        }
        read_error = testing::internal::GetCapturedStderr();
        testing::internal::CaptureStderr();
        try {
            checked_count = topic_check_text(*checked.holder.ctx, checked.bytes.file, c.expanded, stored);
        } catch (const FatalError&) {
        }
        checked_error = testing::internal::GetCapturedStderr();
        EXPECT_EQ(checked_count, read_count) << c.expanded;
        EXPECT_EQ(checked_error, read_error) << c.expanded;
        EXPECT_EQ(checked.holder.ctx->next_position, read.holder.ctx->next_position) << c.expanded;
        EXPECT_EQ(read_error.find("Phrase") != std::string::npos, c.expanded == static_cast<long>(packed.size()) + 1 || c.expanded == 40) << read_error;
    }
}

}  // namespace
