// Loading |Phrases and |PhrIndex/|PhrImage, and the phrase file.
#include <algorithm>
#include <cctype>
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

// ---- damage in the phrase tables: found as it loads, fatal without
// salvage, recovered around with it

// Words in the order help compilers list phrases: as bytes for |Phrases,
// without regard to case in runs of 128 and the rest for the packed tables.
std::vector<std::string> listed_words(size_t count, bool packed) {
    std::vector<std::string> words;
    for (uint32_t seed = 11; words.size() < count;) {
        std::string w;
        for (size_t n = 3 + words.size() % 7; n > 0; --n) {
            seed = seed * 1103515245 + 12345;
            w += static_cast<char>(((seed >> 16) % 3 == 0 ? 'A' : 'a') + (seed >> 8) % 26);
        }
        words.push_back(w);
    }
    auto key = [packed](std::string w) {
        for (char& c : w) c = packed ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : c;
        return w;
    };
    auto before = [&](const std::string& a, const std::string& b) { return key(a) < key(b); };
    std::sort(words.begin(), words.begin() + (packed ? 128 : long(count)), before);
    std::sort(words.begin() + (packed ? 128 : long(count)), words.end(), before);
    return words;
}

// What a phrase that cannot be trusted is written as.
std::string mark_of(size_t length) {
    std::string mark(length, '?');
    if (length >= 3) mark.front() = '[', mark.back() = ']';
    return mark;
}

struct Loaded {
    std::string err;
    std::vector<std::string> phrases;
};

Loaded load_salvaged(std::vector<hlptest::InternalFile> files, uint16_t minor) {
    OpenHelp help(std::move(files), minor, 4);
    help.ctx.salvage = true;
    std::string err = load_phrase_table(help.ctx, help.file);
    return {err, loaded(help.ctx)};
}

// Every phrase is as built, a mark (where a damaged length left its
// boundaries in doubt, of another length), or as built with '?' for the
// letters in doubt; returns how many are not as built.
size_t expect_sound_or_marked(const std::vector<std::string>& got, const std::vector<std::string>& built) {
    EXPECT_EQ(got.size(), built.size());
    size_t marks = 0;
    for (size_t i = 0; i < std::min(got.size(), built.size()); ++i) {
        if (got[i] == built[i]) continue;
        ++marks;
        if (got[i] == mark_of(got[i].size())) continue;
        bool in_place = got[i].size() == built[i].size();
        for (size_t k = 0; k < got[i].size() && in_place; ++k) in_place = got[i][k] == '?' || got[i][k] == built[i][k];
        EXPECT_TRUE(in_place) << "phrase " << i << " is \"" << got[i] << "\", should be \"" << built[i] << "\"";
    }
    return marks;
}

// The compressed texts of a built table, 16 bytes at 60 % of them set to
// 0xFF: a control byte of eight back references among them.
void garble_texts(Bytes& file, size_t texts_start, size_t fifths = 3) {
    const size_t at = texts_start + (file.size() - texts_start) * fifths / 5;
    for (size_t i = 0; i < 16; ++i) file[at + i] = 0xFF;
}

TEST(PhraseDamage, FailsTheFileWithoutSalvage) {
    const auto words = listed_words(300, false);
    const PhrasesOptions compressed;
    const size_t texts = hlptest::phrases_offset_table(compressed) + 2 * 301;
    Bytes garbled_texts = hlptest::build_phrases_file(words);
    garble_texts(garbled_texts, texts);
    Bytes short_last = hlptest::build_phrases_file(words);
    const size_t last = hlptest::phrases_offset_table(compressed) + 2 * 300;
    hlptest::put_u16(short_last, last, static_cast<uint16_t>(hlptest::get_u16(short_last, last) - 1));
    const auto packed_words = listed_words(300, true);
    auto garbled_image = hlptest::build_phrase_index(packed_words);
    garble_texts(garbled_image.image, 0);
    // Phrase 200's length bit worth 1, flipped: the lengths no longer add up.
    // (A phrase's bits: a run bit per 16 bytes past the first, a clear bit,
    // then the remainder's bits 1, 2, 4, 8.)
    auto flipped = hlptest::build_phrase_index(packed_words);
    size_t bit = 0;
    for (size_t i = 0; i < 200; ++i) bit += hlptest::phrase_length_bits(packed_words[i].size(), 4).size();
    bit += (packed_words[200].size() - 1) / 16 + 1;
    flipped.index[28 + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
    // Stored texts with a zeroed stretch: nothing but the zeros tells.
    hlptest::PhraseIndexOptions stored;
    stored.compress_image = false;
    auto zeroed = hlptest::build_phrase_index(packed_words, stored);
    std::fill_n(zeroed.image.begin() + long(zeroed.image.size() / 2), 40, 0);
    struct Case {
        const char* name;
        std::vector<hlptest::InternalFile> files;
        const char* message;
    };
    for (const Case& c : {Case{"garbled |Phrases texts", {{"|Phrases", garbled_texts}}, "the phrase texts expand to"},
                          Case{"|Phrases offsets short of the end", {{"|Phrases", short_last}}, "phrase offsets span"},
                          Case{"garbled |PhrImage", {{"|PhrIndex", garbled_image.index}, {"|PhrImage", garbled_image.image}},
                               "the phrase texts expand to"},
                          Case{"a length bit flipped", {{"|PhrIndex", flipped.index}, {"|PhrImage", flipped.image}},
                               "the phrase lengths add up to"},
                          Case{"zeroed stored |PhrImage", {{"|PhrIndex", zeroed.index}, {"|PhrImage", zeroed.image}},
                               "phrases hold control characters"}}) {
        SCOPED_TRACE(c.name);
        OpenHelp help(c.files, 33, 4);
        EXPECT_NE(fatal_output([&] { phrase_table_load(help.ctx, help.file); }).find(c.message), std::string::npos);
        // With salvage the same table loads, the damage noted.
        const Loaded salvaged = load_salvaged(c.files, 33);
        EXPECT_NE(salvaged.err.find(std::string("Salvage: ") + c.files.front().name), std::string::npos);
        EXPECT_NE(salvaged.err.find(c.message), std::string::npos) << salvaged.err;
        EXPECT_GT(expect_sound_or_marked(salvaged.phrases, c.files.size() == 1 ? words : packed_words), 0u);
    }
}

TEST(PhraseDamage, GarbledTextsCostThePhrasesAroundTheDamageOnly) {
    // Where the texts are garbled, in fifths of them: each spot makes the
    // bytes after it come out longer, so the stretch between two spots is
    // placed by its phrases' order, the last one by the texts' end. Nine in
    // ten phrases of each range come out whole (the others are letters
    // copied from a garbled stretch, written as '?').
    struct Case {
        const char* name;
        std::vector<size_t> spots;
        std::vector<std::pair<size_t, size_t>> whole;
        size_t most_marks;
    };
    for (const Case& c : {Case{"one spot", {3}, {{0, 300}, {580, 600}}, 60},
                          Case{"two spots", {1, 4}, {{0, 100}, {160, 440}}, 120}})
        for (const bool packed : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (packed ? ", |PhrImage" : ", |Phrases"));
            const auto words = listed_words(600, packed);
            std::vector<hlptest::InternalFile> files;
            if (packed) {
                auto index = hlptest::build_phrase_index(words);
                for (size_t spot : c.spots) garble_texts(index.image, 0, spot);
                files = {{"|PhrIndex", index.index}, {"|PhrImage", index.image}};
            } else {
                Bytes phrases = hlptest::build_phrases_file(words);
                for (size_t spot : c.spots) garble_texts(phrases, hlptest::phrases_offset_table({}) + 2 * 601, spot);
                files = {{"|Phrases", phrases}};
            }
            const Loaded salvaged = load_salvaged(files, 33);
            const size_t marks = expect_sound_or_marked(salvaged.phrases, words);
            EXPECT_GT(marks, 0u);
            EXPECT_LT(marks, c.most_marks) << salvaged.err;
            for (const auto& [from, to] : c.whole) {
                size_t as_built = 0;
                for (size_t i = from; i < to; ++i) as_built += salvaged.phrases[i] == words[i];
                EXPECT_GE(as_built * 10, (to - from) * 9) << from << " to " << to;
            }
            EXPECT_NE(salvaged.err.find("cannot be trusted and are written as [?]"), std::string::npos) << salvaged.err;
        }
}

TEST(PhraseDamage, AStretchWhoseFirstPhrasesAllCopyLostLettersIsPlacedByTheRest) {
    // Over a thousand phrases share a beginning that each copies from the
    // one before; the first one's texts are garbled, so every one of them
    // copies lost letters, and only the phrases after them, up to a second
    // garbled spot, tell by their order where the stretch between the spots
    // lies. Placed, the shared phrases keep their own letters and show '?'
    // for the copied ones. When the phrases after them all begin alike too,
    // a few bytes off read in order as well: unplaced, the stretch's phrases
    // must not show as sound.
    for (const bool placeable : {true, false}) {
        SCOPED_TRACE(placeable ? "placeable" : "not placeable");
        std::vector<std::string> words = listed_words(4000, false);
        std::sort(words.begin(), words.end());
        const auto lower = std::find_if(words.begin(), words.end(), [](const std::string& w) { return w[0] >= 'a'; });
        const size_t shared = size_t(lower - words.begin());
        ASSERT_GT(shared, 1100u);
        for (size_t i = 0; i < words.size(); ++i) words[i] = (i < shared ? "Qqqq" : placeable ? "" : "zzzz") + words[i];
        Bytes phrases = hlptest::build_phrases_file(words);
        const size_t texts = hlptest::phrases_offset_table({}) + 2 * (words.size() + 1);
        for (const size_t at : {texts + 2, texts + (phrases.size() - texts) * 19 / 20})
            for (size_t i = 0; i < 16; ++i) phrases[at + i] = 0xFF;
        const Loaded salvaged = load_salvaged({{"|Phrases", phrases}}, 33);
        expect_sound_or_marked(salvaged.phrases, words);
        if (!placeable) continue;
        size_t in_place = 0, whole_after = 0;
        for (size_t i = 1; i < shared; ++i)
            in_place += salvaged.phrases[i] != words[i] && salvaged.phrases[i] != mark_of(words[i].size());
        for (size_t i = shared; i < shared + 200; ++i) whole_after += salvaged.phrases[i] == words[i];
        EXPECT_GE(in_place * 10, shared * 8) << salvaged.err;
        EXPECT_GE(whole_after, 180u) << salvaged.err;
    }
}

TEST(PhraseDamage, OneWrongLengthCostsThatPhraseAlone) {
    const auto words = listed_words(600, true);
    // A phrase's length bit worth 2, flipped: one from 400 on whose bit is
    // clear (the length grows, and the lengths run past the texts' end) or
    // set; alone, or with the texts garbled before it, which hides it until
    // they are read again.
    for (const bool longer : {false, true})
        for (const bool garbled : {false, true}) {
            SCOPED_TRACE(std::string(longer ? "longer" : "shorter") + (garbled ? ", texts garbled before it" : ""));
            size_t wrong = 400;
            while (((words[wrong].size() - 1) % 16 & 2) != (longer ? 0u : 2u)) ++wrong;
            auto index = hlptest::build_phrase_index(words);
            size_t bit = 0;
            for (size_t i = 0; i < wrong; ++i) bit += hlptest::phrase_length_bits(words[i].size(), 4).size();
            bit += (words[wrong].size() - 1) / 16 + 2;
            index.index[28 + bit / 8] ^= static_cast<uint8_t>(1u << (bit % 8));
            if (garbled) garble_texts(index.image, 0, 2);
            const Loaded salvaged = load_salvaged({{"|PhrIndex", index.index}, {"|PhrImage", index.image}}, 33);
            // Which of the phrases next to it was the wrong one the texts
            // cannot always tell: a few around it are marks, every other
            // phrase is whole (but those around the garbled texts).
            EXPECT_LE(expect_sound_or_marked(salvaged.phrases, words), garbled ? 68u : 8u) << salvaged.err;
            EXPECT_EQ(salvaged.phrases[wrong], mark_of(salvaged.phrases[wrong].size()));
            EXPECT_NE(salvaged.err.find("cannot be trusted and are written as [?]"), std::string::npos) << salvaged.err;
        }

    // Without |PhrImage the lengths are still known: every phrase is a mark.
    const Loaded bare = load_salvaged({{"|PhrIndex", hlptest::build_phrase_index(words).index}}, 33);
    EXPECT_EQ(expect_sound_or_marked(bare.phrases, words), 600u);
    EXPECT_NE(bare.err.find("|PhrImage: missing"), std::string::npos) << bare.err;
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
