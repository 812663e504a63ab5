// Loading |Phrases and |PhrIndex/|PhrImage, and the phrase file.
#include <string>
#include <vector>

#include "helpfile/container.h"
#include "topics/phrases.h"
#include "topics_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::PhraseIndexOptions;
using hlptest::PhrasesOptions;

const std::vector<std::string> sample = {"the ", "Windows", "x", "help file compiler", "of"};

std::vector<std::string> loaded(const DecompileContext& ctx) {
    std::vector<std::string> phrases;
    for (uint32_t i = 0; i < ctx.phrase_count; ++i) {
        phrases.emplace_back(ctx.phrase_texts + ctx.phrase_offsets[i], ctx.phrase_texts + ctx.phrase_offsets[i + 1]);
    }
    return phrases;
}

OpenHelp with_phrases(const Bytes& phrases, uint16_t minor = 21) {
    return OpenHelp({{"|Phrases", phrases}}, minor, 4);
}

OpenHelp with_index(const hlptest::PhraseIndexFiles& files) {
    return OpenHelp({{"|PhrIndex", files.index}, {"|PhrImage", files.image}}, 33, 4);
}

TEST(PhrasesFile, LoadsEachLayout) {
    struct Case {
        const char* name;
        uint16_t minor;
        PhrasesOptions options;
    };
    for (const Case& c : {Case{"compressed", 21, {}}, Case{"old format, stored", 15, {false, false}},
                          Case{"MediaView", 21, {true, true}}}) {
        SCOPED_TRACE(c.name);
        OpenHelp help = with_phrases(hlptest::build_phrases_file(sample, c.options), c.minor);
        EXPECT_EQ(load_phrase_table(help.ctx, help.file), "5 phrases loaded\n");
        EXPECT_EQ(loaded(help.ctx), sample);
        EXPECT_FALSE(help.ctx.packed_phrases);
    }
}

TEST(PhrasesFile, CountZeroLoadsAndPrintsNothing) {
    OpenHelp help = with_phrases(hlptest::build_phrases_file({}));
    help.ctx.packed_phrases = true;
    EXPECT_EQ(load_phrase_table(help.ctx, help.file), "");
    EXPECT_EQ(help.ctx.phrase_count, 0u);
    EXPECT_FALSE(help.ctx.packed_phrases);
}

TEST(PhrasesFile, MalformedFilesAreFatal) {
    PhrasesOptions wrong_version;
    wrong_version.version = 0x0200;
    {
        OpenHelp help = with_phrases(hlptest::build_phrases_file(sample, wrong_version));
        EXPECT_EQ(fatal_output([&] { phrase_table_load(help.ctx, help.file); }), "\nUnknown |Phrases file structure");
    }
    {
        OpenHelp help = with_phrases(Bytes{5, 0});
        EXPECT_NE(fatal_output([&] { phrase_table_load(help.ctx, help.file); }).find("my_fread(2) at"),
                  std::string::npos);
    }
    // The offset table running past the file's end is a short read, even
    // when more bytes of other internal files follow.
    {
        Bytes cut = hlptest::build_phrases_file(sample, {false, false});
        cut.resize(hlptest::phrases_offset_table({false, false}) + 4);
        OpenHelp help({{"|Phrases", cut}, {"|SYSTEM", Bytes(64, 0)}}, 15, 0);
        EXPECT_NE(fatal_output([&] { phrase_table_load(help.ctx, help.file); }).find("my_fread(2)"),
                  std::string::npos);
    }
}

TEST(PhrasesFile, OffsetsOutsideTheTextsAreFatal) {
    const PhrasesOptions stored{false, false};
    const size_t table = hlptest::phrases_offset_table(stored);
    struct Damage {
        const char* name;
        size_t entry;
        int delta;
    };
    // Entry i is the offset of phrase i; the texts start at 12 bytes (six
    // entries) from the table's start.
    for (const Damage& d : {Damage{"decreasing", 2, -8}, Damage{"before the texts", 0, -2},
                            Damage{"past the texts", 5, 1}}) {
        SCOPED_TRACE(d.name);
        Bytes phrases = hlptest::build_phrases_file(sample, stored);
        size_t at = table + 2 * d.entry;
        hlptest::put_u16(phrases, at, static_cast<uint16_t>(hlptest::get_u16(phrases, at) + d.delta));
        OpenHelp help = with_phrases(phrases, 15);
        EXPECT_NE(fatal_output([&] { phrase_table_load(help.ctx, help.file); }).find("outside the phrase texts"),
                  std::string::npos);
    }
}

// With salvage an offset past the texts costs the phrases it bounds, which
// are written as a mark of their length; a table that cannot be read at all
// leaves the help file as one without phrases. Either way the loss is noted.
TEST(PhrasesFile, SalvageKeepsTheSoundPhrases) {
    const PhrasesOptions stored{false, false};
    Bytes phrases = hlptest::build_phrases_file(sample, stored);
    const size_t at = hlptest::phrases_offset_table(stored) + 2 * 5;
    hlptest::put_u16(phrases, at, static_cast<uint16_t>(hlptest::get_u16(phrases, at) + 1));
    OpenHelp help = with_phrases(phrases, 15);
    help.ctx.salvage = true;
    std::string err = load_phrase_table(help.ctx, help.file);
    EXPECT_NE(err.find("Salvage: |Phrases: Phrase 4 lies outside the phrase texts"), std::string::npos) << err;
    EXPECT_NE(err.find("Salvage: |Phrases: phrases 4 to 4 (1 of 5) cannot be trusted"), std::string::npos) << err;
    EXPECT_EQ(loaded(help.ctx), (std::vector<std::string>{"the ", "Windows", "x", "help file compiler", "??"}));
    EXPECT_TRUE(help.ctx.had_problems);

    PhrasesOptions wrong_version = stored;
    wrong_version.version = 0x0200;
    OpenHelp unreadable = with_phrases(hlptest::build_phrases_file(sample, wrong_version), 15);
    unreadable.ctx.salvage = true;
    err = load_phrase_table(unreadable.ctx, unreadable.file);
    EXPECT_NE(err.find("Salvage: |Phrases: phrase table damaged; topics read without phrases"), std::string::npos)
        << err;
    EXPECT_EQ(unreadable.ctx.phrase_count, 0u);
    EXPECT_EQ(unreadable.ctx.phrase_texts, nullptr);
    EXPECT_FALSE(unreadable.ctx.packed_phrases);
    // A whole table is loaded as ever (this help file has no |SYSTEM, which
    // salvage notes as a damaged directory).
    OpenHelp whole = with_phrases(hlptest::build_phrases_file(sample, stored), 15);
    whole.ctx.salvage = true;
    EXPECT_NE(load_phrase_table(whole.ctx, whole.file).find("\n5 phrases loaded\n"), std::string::npos);
    EXPECT_EQ(loaded(whole.ctx), sample);
}

TEST(PhrasesFile, ExpandedSizeBeyondWhatLz77CanProduceIsFatal) {
    Bytes phrases = hlptest::build_phrases_file(sample);
    hlptest::put_u32(phrases, 4, 0x7FFFFFF0);
    OpenHelp help = with_phrases(phrases);
    EXPECT_NE(fatal_output([&] { phrase_table_load(help.ctx, help.file); }).find("cannot come from"),
              std::string::npos);
}

TEST(PhraseIndex, LoadsPackedTablesForEachBitCount) {
    // Lengths that need runs of the 2^b bit and every remainder bit.
    std::vector<std::string> phrases = {"a", std::string(17, 'b'), std::string(40, 'c'), "dd", std::string(31, 'e')};
    for (unsigned b : {0u, 1u, 2u, 3u, 4u, 5u}) {
        for (bool compressed : {true, false}) {
            SCOPED_TRACE("b = " + std::to_string(b) + (compressed ? ", compressed" : ", stored"));
            PhraseIndexOptions options;
            options.length_bits = b;
            options.compress_image = compressed;
            OpenHelp help = with_index(hlptest::build_phrase_index(phrases, options));
            EXPECT_EQ(load_phrase_table(help.ctx, help.file), "5 phrases loaded\n");
            EXPECT_TRUE(help.ctx.packed_phrases);
            EXPECT_EQ(loaded(help.ctx), phrases);
        }
    }
}

TEST(PhraseIndex, LengthBitsWithFourBits) {
    // Length 1: no run bit, then four clear remainder bits; 17: one run bit.
    EXPECT_EQ(hlptest::phrase_length_bits(1, 4), (std::vector<bool>{false, false, false, false, false}));
    EXPECT_EQ(hlptest::phrase_length_bits(17, 4), (std::vector<bool>{true, false, false, false, false, false}));
    // 40 phrases of 1 byte need 200 bits: the table spans seven words.
    std::vector<std::string> ones(40, "z");
    ones[39] = std::string(17, 'y');
    OpenHelp help = with_index(hlptest::build_phrase_index(ones));
    load_phrase_table(help.ctx, help.file);
    ASSERT_EQ(help.ctx.phrase_count, 40u);
    EXPECT_EQ(help.ctx.phrase_offsets[39], 39u);
    EXPECT_EQ(help.ctx.phrase_offsets[40], 56u);
}

TEST(PhraseIndex, PreferredOverPhrasesAndReportsSizeMismatch) {
    PhraseIndexOptions options;
    auto files = hlptest::build_phrase_index(sample, options);
    options.recorded_image_size = static_cast<uint32_t>(files.image.size() + 3);
    files = hlptest::build_phrase_index(sample, options);
    OpenHelp help({{"|PhrIndex", files.index},
                   {"|PhrImage", files.image},
                   {"|Phrases", hlptest::build_phrases_file({"other"})}},
                  33, 4);
    std::string printed = load_phrase_table(help.ctx, help.file);
    EXPECT_EQ(printed, "PhrImage FileSize " + std::to_string(files.image.size() + 3) + ", in PhrIndex.FileHdr " +
                           std::to_string(files.image.size()) + "\n5 phrases loaded\n");
    EXPECT_EQ(loaded(help.ctx), sample);
}

TEST(PhraseIndex, WithoutImageSetsThePackedSchemeOnly) {
    OpenHelp help({{"|PhrIndex", hlptest::build_phrase_index(sample).index}}, 33, 4);
    EXPECT_EQ(load_phrase_table(help.ctx, help.file), "0 phrases loaded\n");
    EXPECT_TRUE(help.ctx.packed_phrases);
    EXPECT_EQ(help.ctx.phrase_count, 0u);
}

TEST(PhraseIndex, SizesTheFileCannotHoldAreFatal) {
    struct Case {
        const char* name;
        PhraseIndexOptions options;
        const char* message;
    };
    PhraseIndexOptions huge_size, huge_count, short_texts, stored_short;
    huge_size.expanded_size = 0x7FFFFFF0;
    huge_count.count = 0x40000000;
    short_texts.expanded_size = 30;
    stored_short.compress_image = false;
    stored_short.expanded_size = stored_short.recorded_image_size = 200;
    for (const Case& c : {Case{"expanded size", huge_size, "cannot come from"},
                          Case{"count", huge_count, "does not fit |PhrIndex"},
                          Case{"lengths past the texts", short_texts, "outside the phrase texts"},
                          Case{"stored texts past the image", stored_short, "cannot come from"}}) {
        SCOPED_TRACE(c.name);
        OpenHelp help = with_index(hlptest::build_phrase_index(sample, c.options));
        EXPECT_NE(fatal_output([&] { phrase_table_load(help.ctx, help.file); }).find(c.message), std::string::npos);
    }
}

// Phrase files whose stated length the help file does not hold fail as short
// reads before the texts are sized from that length (an image claiming
// gigabytes once sized the texts at nine times that and expanded for
// seconds at the end of the file).
TEST(PhraseFiles, StatedLengthsBeyondTheHelpFileAreShortReads) {
    auto claim_huge = [](Bytes help, const char* name) {
        OpenBytes f(help);
        long length = 0;
        EXPECT_TRUE(find_internal_file(f.file, &length, name));
        hlptest::put_u32(help, static_cast<size_t>(std::ftell(f.file)) - 9 + 4, 0x7FFFFFF0);
        return help;
    };
    auto files = hlptest::build_phrase_index(sample);
    Bytes index_help = claim_huge(hlptest::build_help_file({{"|PhrIndex", files.index}, {"|PhrImage", files.image}}),
                                  "|PhrImage");
    Bytes phrases_help = claim_huge(hlptest::build_help_file({{"|Phrases", hlptest::build_phrases_file(sample)}}),
                                    "|Phrases");
    for (const Bytes& help : {index_help, phrases_help}) {
        ContextHolder holder;
        set_topic_format(*holder.ctx, 33, 4);
        OpenBytes f(help);
        std::string message = fatal_output([&] { phrase_table_load(*holder.ctx, f.file); });
        EXPECT_EQ(message.rfind("\nmy_fread(", 0), 0u) << message;
        EXPECT_EQ(holder.ctx->phrase_texts, nullptr);
    }
}

TEST(PhraseIndex, LengthTableCutShortIsFatal) {
    // Sixteen 1-byte phrases take 80 bits; one word of the table is left.
    std::vector<std::string> letters;
    for (char c = 'a'; c <= 'p'; ++c) letters.emplace_back(1, c);
    auto files = hlptest::build_phrase_index(letters);
    files.index.resize(28 + 4);
    OpenHelp help({{"|PhrIndex", files.index}, {"|PhrImage", files.image}, {"|SYSTEM", Bytes(64, 0)}}, 33, 4);
    EXPECT_NE(fatal_output([&] { phrase_table_load(help.ctx, help.file); }).find("my_fread(4)"), std::string::npos);
}

TEST(PhraseFile, OnePhraseALine) {
    OpenHelp help = with_phrases(hlptest::build_phrases_file(sample));
    load_phrase_table(help.ctx, help.file);
    phrase_file_write(help.ctx, "manual.ph");
    ASSERT_NE(help.ctx.outputs.head, nullptr);
    const MemoryFile* file = help.ctx.outputs.head->file;
    EXPECT_EQ(std::u16string(file->name), u"manual.ph");
    EXPECT_EQ(std::string(file->buffer, file->buffer + file->length),
              "the \r\nWindows\r\nx\r\nhelp file compiler\r\nof\r\n");

    OpenHelp none = with_phrases(hlptest::build_phrases_file({}));
    load_phrase_table(none.ctx, none.file);
    phrase_file_write(none.ctx, "manual.ph");
    EXPECT_EQ(none.ctx.outputs.head, nullptr);
}

}  // namespace
