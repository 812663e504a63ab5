// Names derived from topic titles and keywords: passes, prefixes, word
// starts, suffixes, long texts, and the naming of a topic's context ids.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <span>
#include <string>

#include "context_fixture.h"
#include "project/context_hash_tables.h"

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
    // The text's own spelling in a later word comes before a prefix put in
    // front of an earlier word, and "idh_" before "helpid_" anywhere.
    EXPECT_EQ(derive("x IDH_X", hash_of("idh_x")), "IDH_X");
    EXPECT_EQ(derive("x y IDH_Y", hash_of("idh_y")), "IDH_Y");
    EXPECT_EQ(derive("IdH_x HELPID_X", hash_of("helpid_x")), "HELPID_X");
    EXPECT_EQ(derive("x z helpid_X", hash_of("helpid_x")), "helpid_X");
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

TEST(DeriveContextName, WinHelp4TriesTheTextFromItsStart) {
    EXPECT_EQ(derive("Printing Dialog", hash_of("PrintingDial"), true), "PrintingDial");
    // Only from the start of the text; later words use the other passes.
    EXPECT_EQ(derive("The Printing Dialog", hash_of("Printing"), true), "Printing");
    // A name a project file cannot hold ("Size=Large=MAIN" in [ALIAS],
    // "Open File 6" in [MAP]) is no candidate: the next one is taken.
    EXPECT_EQ(derive("Printing Dialog", hash_of("Printing Dialog"), true), "-");
    EXPECT_EQ(derive("Size=Large", hash_of("Size=Large"), true), "Size_Large");  // '=' hashes as '_'
    EXPECT_EQ(derive("Open File", hash_of("Open File"), true), "-");
    EXPECT_EQ(derive("Open File, Save; #2", hash_of("Open"), true), "Open");
}

TEST(DeriveContextName, GeneratedIdsComeBeforeSyntheticNames) {
    // Every character but letters and digits written '_', '.' too.
    EXPECT_EQ(derive("TAbArchiveItem.IsEncrypted", hash_of("TAbArchiveItem_IsEncrypted")),
              "TAbArchiveItem_IsEncrypted");
    EXPECT_EQ(derive("TAbArchiveItem.IsEncrypted", hash_of("TAbArchiveItem_IsEncrypted"), true),
              "TAbArchiveItem_IsEncrypted");
    // The prefixes of generated help ids, after the usual ones.
    EXPECT_EQ(derive("File Open", hash_of("HIDD_FILE_OPEN")), "HIDD_File_Open");
    EXPECT_EQ(derive("The Edit menu", hash_of("HID_EDIT")), "HID_Edit");
    EXPECT_EQ(derive("Options", hash_of("IDD_OPTIONS")), "IDD_Options");
    EXPECT_EQ(derive("Paste", hash_of("IDM_PASTE")), "IDM_Paste");
    EXPECT_EQ(derive("Paste", hash_of("idh_paste")), "idh_Paste");
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
    // Values are compared, but a run holding a character that no name
    // holds (':' hashes as '0') is no suffix: a later candidate wins.
    EXPECT_EQ(derive("Intro (a:b)", hash_of("IntroA0B")), "Introa0B");
    EXPECT_EQ(derive("Intro (a:b) a0b", hash_of("IntroA0B")), "Introa0b");
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

// The derivation as its rules read, one candidate after the other: passes,
// then prefixes, then word starts, then characters, then suffix lengths.
std::string derive_by_the_rules(const std::string& whole, uint32_t target, bool winhelp4) {
    using namespace context_tables;
    const std::string text = whole.substr(0, std::min<size_t>(whole.size(), 255));
    auto name_value = [](char c) { return context_characters[static_cast<uint8_t>(c)]; };
    auto hash_value = [](char c) { return hash_values[static_cast<uint8_t>(c)]; };
    bool unusable = false;
    for (char c : text) unusable |= name_value(c) == 0;
    // Pass 3, the generated-id pass, keeps letters and digits only.
    auto id_character = [&](char c) { return name_value(c) != 0 && c != '.' && c != '_'; };
    for (int pass = winhelp4 ? 0 : 1; pass <= 3; ++pass) {
        if (pass == 2 && !unusable) continue;
        const auto prefixes = pass == 3 ? std::span<const ContextPrefix>(generated_id_prefixes)
                                        : std::span<const ContextPrefix>(context_prefixes);
        for (const auto& prefix : prefixes) {
            for (size_t start = 0; start < text.size(); ++start) {
                if (start > 0) {
                    const bool word_start = pass == 3 ? id_character(text[start]) && !id_character(text[start - 1])
                                                      : name_value(text[start]) != 0 && name_value(text[start - 1]) == 0;
                    if (pass == 0 || !word_start) continue;
                }
                std::string name(prefix.text);
                uint32_t h = prefix.hash;
                for (size_t i = start; i < text.size(); ++i) {
                    if (pass == 0 && name_value(text[i]) == 0) break;
                    int value = pass == 0 ? hash_value(text[i]) : name_value(text[i]);
                    char written = text[i];
                    if (pass == 3 && !id_character(text[i])) value = 0;
                    if (pass >= 2 && value == 0) value = name_value('_'), written = '_';
                    if (value == 0) continue;
                    name += written;
                    h = h * hash_base + static_cast<uint32_t>(value);
                    uint32_t power = 1;
                    for (int k = 0; k <= 5; power *= hash_base, ++k) {
                        uint32_t e = target - h * power;
                        if (e >= power) continue;
                        std::string digits(static_cast<size_t>(k), ' ');
                        for (int j = k - 1; j >= 0; --j, e /= hash_base) digits[static_cast<size_t>(j)] = digit_characters[e % hash_base];
                        if (digits.find('\0') != std::string::npos) continue;
                        std::string suffix;
                        for (size_t r = 0; k > 0 && suffix.empty() && r + k <= text.size(); ++r) {
                            bool same = true;
                            for (int j = 0; j < k; ++j)
                                same &= name_value(text[r + j]) != 0 &&
                                        hash_value(text[r + j]) == hash_value(digits[static_cast<size_t>(j)]);
                            if (same) suffix = text.substr(r, static_cast<size_t>(k));
                        }
                        if (suffix.empty() && k >= 3) continue;
                        return name + (suffix.empty() ? digits : suffix);
                    }
                }
            }
        }
    }
    return "-";
}

TEST(DeriveContextName, SameNameAsTryingCandidateByCandidate) {
    // Texts of words, punctuation and digits; targets of names made from
    // pieces of them behind any prefix, so that names behind later prefixes
    // and in later words compete with earlier ones.
    std::mt19937 random(21);
    const char* pieces[] = {"Print", "set", "UP", "3d", " ", " ", "-", "'s", "_", ".", "!", "42", "x", "IDH_", "HelpID_"};
    const char* prefixes[] = {"", "", "idh_", "helpid_", "IDH_"};
    for (int round = 0; round < 3000; ++round) {
        std::string text;
        for (int n = random() % 7; n > 0; --n) text += pieces[random() % 15];
        std::string name = prefixes[random() % 5];
        const size_t from = text.empty() ? 0 : random() % text.size();
        for (size_t i = from; i < text.size() && random() % 6; ++i) {
            if (context_tables::context_characters[static_cast<uint8_t>(text[i])] != 0) name += text[i];
            else if (random() % 2) name += '_';
        }
        for (int n = random() % 3; n > 0; --n) name += "AZ19_."[random() % 6];
        const uint32_t target = round % 4 == 0 ? static_cast<uint32_t>(random()) : hash_of(name);
        const bool winhelp4 = round % 3 == 0;
        ASSERT_EQ(derive(text, target, winhelp4), derive_by_the_rules(text, target, winhelp4))
            << "text [" << text << "] name [" << name << "]";
    }
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
