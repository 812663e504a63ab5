// Phrase codes of both schemes, expanded against tables loaded from files.
#include <random>
#include <string>
#include <vector>

#include "topics/phrases.h"
#include "topics_fixture.h"

namespace {

using hlptest::Bytes;
using hlptest::PhraseScheme;

std::vector<std::string> numbered(int count) {
    std::vector<std::string> phrases;
    for (int i = 0; i < count; ++i) phrases.push_back("<" + std::to_string(i) + ">");
    return phrases;
}

const std::vector<std::string> table = numbered(200);

std::vector<hlptest::InternalFile> table_files(PhraseScheme scheme) {
    if (scheme == PhraseScheme::phrases) return {{"|Phrases", hlptest::build_phrases_file(table)}};
    auto index = hlptest::build_phrase_index(table);
    return {{"|PhrIndex", index.index}, {"|PhrImage", index.image}};
}

// A help file with the phrase table of the scheme, loaded.
struct LoadedTable : OpenHelp {
    explicit LoadedTable(PhraseScheme scheme) : OpenHelp(table_files(scheme), 33, 4) {
        load_phrase_table(ctx, file);
    }
};

constexpr size_t guard = 8;

// Expands into a buffer of `capacity` bytes followed by guard bytes that
// must stay untouched.
std::string expand(DecompileContext& ctx, const Bytes& source, long capacity = 4000) {
    std::vector<char> out(static_cast<size_t>(capacity) + guard, '#');
    char* end = phrase_expand(ctx, out.data(), capacity, source.data(), static_cast<long>(source.size()));
    EXPECT_EQ(std::string(out.end() - guard, out.end()), std::string(guard, '#')) << "wrote past the capacity";
    return std::string(out.data(), end);
}

TEST(PhrasesScheme, CodesAndLiterals) {
    LoadedTable help(PhraseScheme::phrases);
    DecompileContext& ctx = help.ctx;
    EXPECT_EQ(expand(ctx, {0x01, 0x03}), "<1> ");
    EXPECT_EQ(expand(ctx, {0x01, 0x02}), "<1>");
    EXPECT_EQ(expand(ctx, {0x02, 0x00}), "<128>");
    EXPECT_EQ(expand(ctx, {0x01, 0x00}), "<0>");
    EXPECT_EQ(expand(ctx, {'a', 0x00, 0x10, 0xFF}), std::string("a\0\x10\xFF", 4));
    EXPECT_EQ(fatal_output([&] { expand(ctx, {0x02, 0x90}); }), "\nPhrase 200 does not exist");
}

TEST(PackedScheme, CodesRunsAndLiterals) {
    LoadedTable help(PhraseScheme::packed);
    DecompileContext& ctx = help.ctx;
    EXPECT_EQ(expand(ctx, {0x00}), "<0>");
    EXPECT_EQ(expand(ctx, {0xFE}), "<127>");
    EXPECT_EQ(expand(ctx, {0x01, 0x05}), "<133>");
    EXPECT_EQ(expand(ctx, {0x03, 'q'}), "q");
    Bytes run{0xFB};
    for (int i = 0; i < 32; ++i) run.push_back(static_cast<uint8_t>('A' + i));
    EXPECT_EQ(expand(ctx, run), std::string(run.begin() + 1, run.end()));
    EXPECT_EQ(expand(ctx, {0x07}), " ");
    EXPECT_EQ(expand(ctx, {0xF7}), std::string(16, ' '));
    EXPECT_EQ(expand(ctx, {0x0F}), std::string(1, '\0'));
    EXPECT_EQ(expand(ctx, {0xFF}), std::string(16, '\0'));
    EXPECT_EQ(fatal_output([&] { expand(ctx, {0x01, 200 - 128}); }), "\nPhrase 200 does not exist");
}

TEST(PackedScheme, NoTableMakesEveryPhraseMissing) {
    OpenHelp help({{"|PhrIndex", hlptest::build_phrase_index(table).index}}, 33, 4);
    load_phrase_table(help.ctx, help.file);
    EXPECT_EQ(expand(help.ctx, {0x0B, 'o', 'k'}), "ok");
    EXPECT_EQ(fatal_output([&] { expand(help.ctx, {0x00}); }), "\nPhrase 0 does not exist");
}

TEST(PhraseExpansion, BuilderTextRoundTripsInBothSchemes) {
    const std::string text = std::string("<3> and <150><7>  x") + '\0' + '\0' + "<199> " +
                             std::string(40, 'L') + std::string(20, ' ') + "<0> end";
    for (PhraseScheme scheme : {PhraseScheme::phrases, PhraseScheme::packed}) {
        LoadedTable help(scheme);
        Bytes packed = hlptest::phrase_compress(text, table, scheme);
        EXPECT_LT(packed.size(), text.size());
        EXPECT_EQ(expand(help.ctx, packed, static_cast<long>(text.size())), text);
    }
}

TEST(PhraseExpansion, StopsAtTheCapacityWithTheLengthError) {
    for (PhraseScheme scheme : {PhraseScheme::phrases, PhraseScheme::packed}) {
        LoadedTable help(scheme);
        Bytes packed = hlptest::phrase_compress("ab<10><11>", table, scheme);
        // "ab<10>" fits in 7 bytes; "<11>" would make 10.
        EXPECT_EQ(fatal_output([&] { expand(help.ctx, packed, 7); }),
                  "\nPhrase replacement delivers 10 bytes instead of 7");
        // The packed scheme stores "ab" as one literal run of two.
        EXPECT_EQ(fatal_output([&] { expand(help.ctx, packed, 0); }),
                  scheme == PhraseScheme::phrases ? "\nPhrase replacement delivers 1 bytes instead of 0"
                                                  : "\nPhrase replacement delivers 2 bytes instead of 0");
    }
    // Runs of spaces and NULs are checked before they are written.
    LoadedTable help(PhraseScheme::packed);
    EXPECT_EQ(fatal_output([&] { expand(help.ctx, {0x03, 'a', 0xF7}, 10); }),
              "\nPhrase replacement delivers 17 bytes instead of 10");
}

// What a call returned, or "fatal", followed by what it printed.
template <typename F>
std::string outcome(F f) {
    testing::internal::CaptureStderr();
    std::string result;
    try {
        result = f();
    } catch (const FatalError&) {
        result = "fatal";
    }
    return result + testing::internal::GetCapturedStderr();
}

TEST(PhraseExpansion, TableAndCheckAgreeWithPlainExpansionOnRandomCodes) {
    for (PhraseScheme scheme : {PhraseScheme::phrases, PhraseScheme::packed}) {
        LoadedTable help(scheme);
        std::mt19937 random(5);
        for (int round = 0; round < 1500; ++round) {
            // Mostly small bytes (phrases that exist, short runs), some of
            // any value (missing phrases, long runs cut short by the end);
            // long sources reach the fixed-size moves of the table.
            const bool long_source = round % 3 == 0;
            Bytes source(random() % (long_source ? 160 : 24));
            for (auto& b : source) b = static_cast<uint8_t>(random() % 4 ? random() % 48 : random());
            const long capacity = static_cast<long>(random() % (long_source ? 900 : 160));
            const long n = static_cast<long>(source.size());
            const std::string counted = outcome(
                [&] { return std::to_string(phrase_expanded_length(help.ctx, capacity, source.data(), n)); });
            // The expansion, through the code table and without it.
            std::string texts[2];
            for (bool table : {true, false}) {
                const bool loaded = help.ctx.packed_code_table;
                help.ctx.packed_code_table = loaded && table;
                texts[table] = outcome([&] {
                    std::vector<char> out(static_cast<size_t>(capacity) + 1);
                    char* end = phrase_expand(help.ctx, out.data(), capacity, source.data(), n);
                    return std::to_string(end - out.data()) + ":" + std::string(out.data(), end);
                });
                help.ctx.packed_code_table = loaded;
            }
            ASSERT_EQ(texts[true], texts[false]) << "round " << round;
            ASSERT_EQ(counted, texts[true].substr(0, texts[true].find(':'))) << "round " << round;
        }
    }
}

TEST(PhraseExpansion, SourceEndingInsideACodeStops) {
    {
        LoadedTable help(PhraseScheme::phrases);
        EXPECT_EQ(expand(help.ctx, {'a', 0x01}), "a");
    }
    LoadedTable help(PhraseScheme::packed);
    EXPECT_EQ(expand(help.ctx, {0x00, 0x01}), "<0>");
    // A literal run of 32 with two bytes left copies just those.
    EXPECT_EQ(expand(help.ctx, {0xFB, 'x', 'y'}), "xy");
    // The source is read through a view of its exact length.
    std::vector<uint8_t> heap{0x13};
    std::vector<char> out(16);
    char* end = phrase_expand(help.ctx, out.data(), 16, heap.data(), 1);
    EXPECT_EQ(end, out.data());
}

}  // namespace

TEST(PhraseExpansion, CodesOfBytesInDoubtShowAsMarks) {
    // What a byte copying garbled ones stands for is a '?' (a code's phrase
    // one mark), a NUL stays; only a code of sound bytes naming no phrase
    // makes the text unreadable (-1).
    struct Case {
        PhraseScheme scheme;
        Bytes source, doubt;
        std::string text;  // "-1": unreadable
        long capacity = 100;
    };
    const Case cases[] = {
        {PhraseScheme::phrases, {'a', 0x01, 0x03, 'b'}, {0, 0, 0, 0}, "a<1> b"},
        {PhraseScheme::phrases, {'a', 'b'}, {1, 0}, "?b"},
        {PhraseScheme::phrases, {0x01, 0x03, 'c'}, {0, 1, 0}, "?c"},
        {PhraseScheme::phrases, {0x00, 'x'}, {1, 0}, std::string("\0x", 2)},
        {PhraseScheme::phrases, {0x02, 0x90, 'y'}, {1, 0, 0}, "?y"},
        {PhraseScheme::phrases, {0x02, 0x90, 'y'}, {0, 0, 1}, "-1"},
        {PhraseScheme::phrases, {0x01, 0x03, 'b'}, {0, 0, 0}, "<1", 2},
        {PhraseScheme::packed, {0x00, 0x03, 'q'}, {1, 0, 0}, "?q"},
        {PhraseScheme::packed, {0x0B, 'o', 'k', 0x02}, {1, 0, 0, 0}, "??" "<1>"},
        {PhraseScheme::packed, {0x0B, 'o', 'k'}, {0, 0, 1}, "o?"},
        {PhraseScheme::packed, {0xF7, 0x07}, {1, 0}, "? "},
        {PhraseScheme::packed, {0x01, 200 - 128}, {0, 1}, "?"},
        {PhraseScheme::packed, {0x01, 200 - 128}, {0, 0}, "-1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.source) + " in doubt " + testing::PrintToString(c.doubt));
        LoadedTable help(c.scheme);
        std::vector<char> out(static_cast<size_t>(c.capacity) + guard, '#');
        const long produced = phrase_expand_doubtful(help.ctx, out.data(), c.capacity, c.source.data(), c.doubt.data(),
                                                     static_cast<long>(c.source.size()));
        EXPECT_EQ(produced < 0 ? "-1" : std::string(out.data(), static_cast<size_t>(produced)), c.text);
        EXPECT_EQ(std::string(out.end() - guard, out.end()), std::string(guard, '#'));
        EXPECT_EQ(phrase_expand_doubtful(help.ctx, nullptr, c.capacity, c.source.data(), c.doubt.data(),
                                         static_cast<long>(c.source.size())),
                  produced) << "counting alone";
    }
}
