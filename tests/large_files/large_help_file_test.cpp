// The generated large help files: the same options give the same bytes, and
// the decompiler reads back what went into them, with no warning.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "driver/decompile.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "helpfile_fixture.h"
#include "large_help_file.h"
#include "topics/topic_reader.h"

namespace {

using hlptest::LargeHelpFile;
using hlptest::LargeHelpFileOptions;

struct Decompiled {
    std::map<std::string, std::string> files;  // entry name -> bytes
    std::string messages;                      // stderr and stdout
    bool ok = false;
};

Decompiled decompile(const hlptest::Bytes& help_file, uint64_t* topic_file_room = nullptr) {
    Decompiled d;
    ContextHolder h;
    OpenBytes bytes(help_file);
    std::snprintf(h.ctx->base_name, sizeof h.ctx->base_name, "large");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    try {
        d.ok = decompile_help_file(*h.ctx, bytes.file);
    } catch (const FatalError&) {
    }
    d.messages = testing::internal::GetCapturedStdout() + testing::internal::GetCapturedStderr();
    for (OutputNode* n = h.ctx->outputs.head; n; n = n->next) {
        std::string name;
        for (const char16_t* c = n->file->name; *c; ++c) name += static_cast<char>(*c);
        d.files[name] = std::string(reinterpret_cast<const char*>(n->file->buffer), n->file->length);
        if (topic_file_room && name.size() > 4 && name.substr(name.size() - 4) == ".rtf")
            *topic_file_room = n->file->capacity;
    }
    return d;
}

size_t count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size())) ++n;
    return n;
}

// The keywords of every footnote with the given mark, separators counted.
size_t footnote_keywords(const std::string& rtf, char mark) {
    const std::string opening = std::string("{\\up ") + mark + "}{\\footnote\\pard\\plain{\\up " + mark + "} ";
    size_t n = 0;
    for (size_t at = rtf.find(opening); at != std::string::npos; at = rtf.find(opening, at + 1)) {
        const size_t end = rtf.find("}\r\n", at + opening.size());
        n += 1 + count(rtf.substr(at + opening.size(), end - at - opening.size()), ";");
    }
    return n;
}

TEST(LargeHelpFile, SameOptionsSameBytes) {
    LargeHelpFileOptions options;
    const LargeHelpFile a = hlptest::build_large_help_file(options);
    const LargeHelpFile b = hlptest::build_large_help_file(options);
    EXPECT_EQ(a.data, b.data);
    options.seed = 2;
    EXPECT_NE(hlptest::build_large_help_file(options).data, a.data);
    options.seed = 1;
    options.scale = 2;
    const LargeHelpFile twice = hlptest::build_large_help_file(options);
    EXPECT_EQ(twice.contents.topics, 2 * a.contents.topics);
    EXPECT_GT(twice.data.size(), 19 * a.data.size() / 10);
    EXPECT_LT(twice.data.size(), 21 * a.data.size() / 10);
}

// Scale 4 holds more keyword references than the footnote window, so the
// keywords come out through several refills.
TEST(LargeHelpFile, DecompilesToWhatWentIn) {
    for (auto scheme : {hlptest::PhraseScheme::packed, hlptest::PhraseScheme::phrases}) {
        LargeHelpFileOptions options;
        options.phrases = scheme;
        options.scale = scheme == hlptest::PhraseScheme::packed ? 4 : 1;
        const LargeHelpFile file = hlptest::build_large_help_file(options);
        const auto& c = file.contents;
        SCOPED_TRACE(options.scale);
        Decompiled d = decompile(file.data);
        ASSERT_TRUE(d.ok) << d.messages.substr(0, 2000);
        for (const char* warning : {"Can not", "Unresolved", "not found", "Warning", "cut short", "Browse"})
            EXPECT_EQ(count(d.messages, warning), 0u) << warning;
        const std::string& rtf = d.files.at("large.rtf");
        EXPECT_EQ(count(rtf, "\\page\r\n") + 1, c.topics);
        EXPECT_EQ(count(rtf, "{\\up #}{\\footnote"), c.topics);  // ids sharing a topic: the first only
        EXPECT_EQ(footnote_keywords(rtf, 'K') + footnote_keywords(rtf, 'A'), c.keyword_references);
        EXPECT_GT(count(d.messages, "Collecting keywords..."), options.scale == 4 ? 1u : 0u);
        EXPECT_EQ(count(d.messages, std::to_string(c.phrases) + " phrases loaded"), 1u);
        EXPECT_EQ(count(d.messages, std::to_string(c.context_ids) + " topic offsets and hash values loaded"), 1u);
        // Derived names: every id that spells its title, less the three that
        // the hotspot picture names first (a name read from the file is not
        // a derived one).
        const size_t found = d.messages.find(" context ids found");
        ASSERT_NE(found, std::string::npos);
        const size_t start = d.messages.find_last_not_of("0123456789", found - 1) + 1;
        EXPECT_GE(std::stoul(d.messages.substr(start, found - start)) + 3, c.derivable_ids);
        std::set<std::string> sequences;
        for (size_t at = rtf.find("BROWSE"); at != std::string::npos; at = rtf.find("BROWSE", at + 1))
            sequences.insert(rtf.substr(at + 6, 4));
        EXPECT_EQ(sequences.size(), c.browse_sequences);
        size_t pictures = 0;
        for (const auto& [name, bytes] : d.files) pictures += name.rfind("bm", 0) == 0;
        EXPECT_EQ(pictures, c.bm_pictures + c.embedded_pictures);
    }
}

// The topic file on its own: the decompiler's walk meets every record at
// the position the generator gave it, and the text comes back expanded.
// Room for the topic file is made up front from the size of |TOPIC; a
// directory claiming far more than the help file holds must not size it.
TEST(LargeHelpFile, TopicFileRoomFollowsWhatTheFileHolds) {
    hlptest::Bytes help_file = hlptest::build_large_help_file(LargeHelpFileOptions{}).data;
    uint64_t room = 0;
    const Decompiled plain = decompile(help_file, &room);
    ASSERT_TRUE(plain.ok);
    EXPECT_GE(room, plain.files.at("large.rtf").size());
    long length = 0;
    {
        OpenBytes bytes(help_file);
        ASSERT_TRUE(find_internal_file(bytes.file, &length, "|TOPIC"));
        // The used space of the internal file's header, just before its data.
        hlptest::put_u32(help_file, static_cast<size_t>(std::ftell(bytes.file)) - 5, 0x7FFFFFF0);
    }
    uint64_t claimed_room = 0;
    decompile(help_file, &claimed_room);
    EXPECT_LE(claimed_room, 4 * help_file.size());
}

TEST(LargeHelpFile, TopicFilePositionsAreWhereTheWalkFindsThem) {
    std::vector<hlptest::LargeTopicRecord> records;
    for (uint32_t t = 0; t < 400; ++t) {
        hlptest::LargeTopicRecord header{hlptest::topic_header_record("Topic " + std::to_string(t), t)};
        if (t % 10 != 0) header.browse_previous = static_cast<int64_t>(records.size()) - 2;
        records.push_back(header);
        hlptest::TopicRecord text;
        text.type = 0x20;
        text.head = {0x00, 0x80, 0x02, 0, 0x80, 0, 0, 0, 0, 0xFF};
        std::string words;
        for (uint32_t k = 0; k < 40 + t % 7 * 30; ++k) words += "word" + std::to_string((k * 7 + t) % 50) + " ";
        text.text.assign(words.begin(), words.end());
        text.text.push_back(0);
        records.push_back({text});
    }
    const hlptest::LargeTopicFile topic = hlptest::build_large_topic_file(records);
    ASSERT_GT(topic.data.size(), 3 * 4096u);  // several blocks
    ContextHolder h;
    DecompileContext& ctx = *h.ctx;
    ctx.block_size = 4096;
    ctx.decompress_size = 16384;
    ctx.topics_compressed = true;
    OpenBytes bytes(hlptest::build_help_file({{"|TOPIC", topic.data}}));
    TopicWalk walk{};
    ASSERT_TRUE(topic_walk_start(ctx, bytes.file, walk));
    size_t n = 0;
    while (topic_walk_next(ctx, bytes.file, walk)) {
        ASSERT_LT(n, topic.positions.size());
        EXPECT_EQ(walk.position, topic.positions[n]) << n;
        if (n < records.size()) {
            EXPECT_EQ(std::string(walk.text, static_cast<size_t>(walk.text_size)),
                      std::string(records[n].record.text.begin(), records[n].record.text.end()));
            if (records[n].browse_previous >= 0) {
                EXPECT_EQ(static_cast<int32_t>(get_le32(walk.head + 4)),
                          topic.topic_offsets[static_cast<size_t>(records[n].browse_previous)]);
            }
        }
        ++n;
    }
    EXPECT_EQ(n, records.size());  // the end marker closes the chain unread
}

}  // namespace
