// The character tables of the context-string hash. All of them are computed
// by the compiler, so they need no start-up code and every thread reads the
// same constant data.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace context_tables {

// The value each character adds to the hash. Lower-case letters count as
// upper-case ones; a few punctuation marks share the values of '0', '.'
// and '_'.
constexpr std::array<int8_t, 256> make_hash_values() {
    std::array<int8_t, 256> values{};
    for (int ch = 0; ch < 256; ++ch) values[ch] = static_cast<int8_t>(static_cast<uint8_t>(ch - 48));
    values[0x00] = 0;
    values['!'] = 11;
    values['.'] = 12;
    values['0'] = 10;
    values['['] = 11;
    values['\\'] = 12;
    values[']'] = 13;
    values['^'] = 14;
    values['_'] = 13;
    values['`'] = 16;
    for (int ch = 0x61; ch <= 0x7F; ++ch) values[ch] = static_cast<int8_t>(ch - 80);
    values[0xB4] = 11;
    return values;
}
inline constexpr std::array<int8_t, 256> hash_values = make_hash_values();

// The characters a derived name may use, with their values; 0 for the rest.
constexpr std::array<int8_t, 256> make_context_characters() {
    std::array<int8_t, 256> values{};
    for (int ch = '1'; ch <= '9'; ++ch) values[ch] = static_cast<int8_t>(ch - '0');
    values['0'] = 10;
    values['.'] = 12;
    values['_'] = 13;
    for (int ch = 'A'; ch <= 'Z'; ++ch) values[ch] = static_cast<int8_t>(ch - 'A' + 17);
    for (int ch = 'a'; ch <= 'z'; ++ch) values[ch] = static_cast<int8_t>(ch - 'a' + 17);
    return values;
}
inline constexpr std::array<int8_t, 256> context_characters = make_context_characters();

constexpr int hash_base = 43;

// The character written for each base-43 digit; 0 where no context
// character has that value.
constexpr std::array<char, hash_base> make_digit_characters() {
    std::array<char, hash_base> digits{};
    for (int ch = 0; ch < 256; ++ch) {
        bool lower = ch >= 'a' && ch <= 'z';
        if (context_characters[ch] != 0 && !lower) digits[context_characters[ch]] = static_cast<char>(ch);
    }
    return digits;
}
inline constexpr std::array<char, hash_base> digit_characters = make_digit_characters();

// The running hash over the characters, without the special value of the
// empty string.
constexpr uint32_t running_hash(uint32_t h, std::string_view text) {
    for (char c : text) h = h * hash_base + static_cast<uint32_t>(hash_values[static_cast<uint8_t>(c)]);
    return h;
}

// Prefixes that help authors put before context strings, tried in this order.
struct ContextPrefix {
    std::string_view text;
    uint32_t hash;
};
inline constexpr std::array<ContextPrefix, 3> context_prefixes = {{
    {"", 0},
    {"idh_", running_hash(0, "idh_")},
    {"helpid_", running_hash(0, "helpid_")},
}};

// Prefixes of the help ids that resource editors and class wizards
// generate (dialogs, commands, menus), tried after the ones above.
inline constexpr std::array<ContextPrefix, 7> generated_id_prefixes = {{
    {"", 0},
    {"idh_", running_hash(0, "idh_")},
    {"helpid_", running_hash(0, "helpid_")},
    {"HIDD_", running_hash(0, "HIDD_")},
    {"HID_", running_hash(0, "HID_")},
    {"IDD_", running_hash(0, "IDD_")},
    {"IDM_", running_hash(0, "IDM_")},
}};

static_assert(running_hash(0, "idh_") == 0x1EE8E4);
static_assert(running_hash(0, "21KSYK4") == 0xFFFFFFFF);

}  // namespace context_tables
