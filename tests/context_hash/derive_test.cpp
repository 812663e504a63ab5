// Names derived from topic titles and keywords: passes, prefixes, word
// starts, suffixes, long texts, and the naming of a topic's context ids.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "context_fixture.h"

namespace {

// The derived name, or "-" when none was found.
std::string derive(const std::string& text, uint32_t target, bool winhelp4 = false) {
    ContextHolder h;
    h.ctx->winhelp4 = winhelp4;
    std::memset(h.ctx->scratch, 'X', sizeof h.ctx->scratch);
    if (!derive_context_name(*h.ctx, text.c_str(), target, h.ctx->scratch)) return "-";
    EXPECT_EQ(context_hash(h.ctx->scratch), target) << h.ctx->scratch;
    return h.ctx->scratch;
}

uint32_t hash_of(const std::string& name) { return context_hash(name.c_str()); }

TEST(DeriveContextName, TextAsItStands) {
    EXPECT_EQ(derive("Introduction", hash_of("Introduction")), "Introduction");
    EXPECT_EQ(derive("Introduction", hash_of("INTRODUCTION")), "Introduction");
    EXPECT_EQ(derive("Introduction to it", hash_of("Introduction")), "Introduction");
}

TEST(DeriveContextName, PrefixesInOrder) {
    EXPECT_EQ(derive("Printing", hash_of("idh_printing")), "idh_Printing");
    EXPECT_EQ(derive("Printing", hash_of("HELPID_PRINTING")), "helpid_Printing");
    EXPECT_EQ(derive("Open a file", hash_of("idh_file")), "idh_file");
}

TEST(DeriveContextName, WordStartsAndLeftOutCharacters) {
    EXPECT_EQ(derive("The Printing Dialog", hash_of("Printing")), "Printing");
    EXPECT_EQ(derive("The Printing Dialog", hash_of("PrintingDialog")), "PrintingDialog");
    EXPECT_EQ(derive("What's new?", hash_of("Whatsnew")), "Whatsnew");
    // Pass 2 writes '_' for each character that cannot be in a name.
    EXPECT_EQ(derive("Printing Dialog", hash_of("Printing_Dialog")), "Printing_Dialog");
    // A made-up two-character suffix one position earlier comes first.
    EXPECT_EQ(derive("What's new?", hash_of("What_s_new_")), "What_s_neW_");
    EXPECT_EQ(derive("a, b", hash_of("b")), "b");
}

TEST(DeriveContextName, WinHelp4TriesTheTextWithAllItsCharacters) {
    EXPECT_EQ(derive("Printing Dialog", hash_of("Printing Dialog"), true), "Printing Dialog");
    EXPECT_EQ(derive("Printing Dialog", hash_of("Printing Dialog"), false), "-");
    // Only from the start of the text; later words use the other passes.
    EXPECT_EQ(derive("The Printing Dialog", hash_of("Printing"), true), "Printing");
}

TEST(DeriveContextName, ShortSuffixesAreMadeUp) {
    EXPECT_EQ(derive("Intro", hash_of("IntroX9")), "IntroX9");
    // The first position where a suffix fits wins, spelled in capitals.
    EXPECT_EQ(derive("Intro", hash_of("Intro_")), "IntrO_");
    EXPECT_EQ(derive("Intro", hash_of("IntroQ")), "IntrOQ");
    // A suffix found in the text takes the text's spelling.
    EXPECT_EQ(derive("Intro", hash_of("IntroIN")), "IntroIn");
    EXPECT_EQ(derive("Intro", hash_of("Intr")), "Intr");
}

TEST(DeriveContextName, LongSuffixesMustOccurInTheText) {
    EXPECT_EQ(derive("Intro", hash_of("IntroXYZ")), "-");
    EXPECT_EQ(derive("Intro", hash_of("IntroABCDE")), "-");
    EXPECT_EQ(derive("intro", hash_of("introINTRO")), "introintro");
    EXPECT_EQ(derive("Setup topic", hash_of("SetupTOP")), "Setuptop");
    // Values are compared, so punctuation sharing one matches too.
    EXPECT_EQ(derive("Intro (a:b)", hash_of("IntroA0B")), "Introa:b");
}

TEST(DeriveContextName, NoCandidateWithoutTextCharacters) {
    EXPECT_EQ(derive("", hash_of("A")), "-");
    EXPECT_EQ(derive("", hash_of("idh_A")), "-");
    // Pass 1 takes nothing from these, pass 2 only underscores.
    EXPECT_EQ(derive("!?!", hash_of("A")), "-");
    EXPECT_EQ(derive("!?!", hash_of("___")), "___");
    EXPECT_EQ(derive("!?!", hash_of("__Z")), "__Z");
    EXPECT_EQ(derive("!?!", hash_of("idh__")), "idh__");
}

TEST(DeriveContextName, LongTextsAreCutAndNeverOverflow) {
    std::string text;
    for (int i = 0; text.size() < 600; ++i) text += "Word" + std::to_string(i) + " ";
    std::string first = text.substr(0, 255);
    std::string name;
    for (char c : first) name += c == ' ' ? '_' : c;
    EXPECT_EQ(derive(text, hash_of(name)), name);
    // The whole text is beyond the part considered.
    std::string whole;
    for (char c : text) whole += c == ' ' ? '_' : c;
    EXPECT_EQ(derive(text, hash_of(whole)), "-");

    std::mt19937 random(43);
    for (int i = 0; i < 20; ++i) {
        std::string noise(4000, ' ');
        for (char& c : noise) c = static_cast<char>(1 + random() % 255);
        std::string result = derive(noise, random(), i % 2 == 0);
        EXPECT_LT(result.size(), 300u);
    }
}

TEST(DeriveContextName, RandomTitlesAndTargets) {
    std::mt19937 random(13);
    const char* words[] = {"File", "Open", "the", "Dialog", "Box", "of", "Help", "Print", "Setup", "3D"};
    int found = 0;
    for (int i = 0; i < 300; ++i) {
        std::string text;
        for (int w = 0; w < 4; ++w) text += std::string(words[random() % 10]) + (w < 3 ? " " : "");
        // A target the text can give, and one it most likely cannot.
        size_t space = text.find(' ', random() % text.size());
        std::string tail = space == std::string::npos ? text : text.substr(space + 1);
        std::string word = tail.substr(0, tail.find(' '));
        std::string derived = derive(text, hash_of(word));
        EXPECT_EQ(hash_of(derived), hash_of(word)) << text;
        found += derive(text, random()) != "-";
    }
    EXPECT_LT(found, 300);  // random hashes mostly have no name in the text
}

TEST(DeriveContextNames, NamesEveryUnnamedIdOfTheTopic) {
    ContextHolder h;
    uint32_t setup = hash_of("Setup"), idh = hash_of("idh_setup"), named = hash_of("SetupTopic");
    uint32_t other = hash_of("Other");
    set_context_table(*h.ctx, {{other, 0x10}, {named, 0x80}, {setup, 0x80}, {idh, 0x80}, {hash_of("Setup2"), 0x100}});
    add_context_name(*h.ctx, "SetupTopic", false);

    derive_context_names(*h.ctx, "Setup", 0x80);
    EXPECT_STREQ(unhash(*h.ctx, setup), "Setup");
    EXPECT_STREQ(unhash(*h.ctx, idh), "idh_Setup");
    EXPECT_STREQ(unhash(*h.ctx, named), "SetupTopic");
    EXPECT_EQ(known_context_name(*h.ctx, other), nullptr);
    EXPECT_EQ(h.ctx->derived_count, 2);

    // Offsets without ids, and ids already named, add nothing.
    derive_context_names(*h.ctx, "Other", 0x40);
    derive_context_names(*h.ctx, "Setup", 0x80);
    EXPECT_EQ(h.ctx->derived_count, 2);
    EXPECT_EQ(h.ctx->context_name_count, 3);

    // A name read later from the help file takes over a derived one.
    add_context_name(*h.ctx, "IDH_SETUP", false);
    EXPECT_STREQ(unhash(*h.ctx, idh), "idh_Setup");
    EXPECT_EQ(h.ctx->derived_count, 1);
}

}  // namespace
