// project_builder: |SYSTEM records beyond plain strings, and the internal
// files the project sections name (groups, |GMACROS, |CFn, word lists).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "help_builder.h"

namespace hlptest {

enum ProjectRecordType : uint16_t {
    system_citation = 8,
    system_lcid = 9,
    system_cnt = 10,
    system_deffont = 12,   // full-text index in MediaView files
    system_group = 13,
    system_index_separators = 14,  // keyword index in MediaView files
    system_language = 18,
    system_dll_map = 19,
};

using Rgb = std::array<uint8_t, 3>;

// The 90-byte window record of WinHelp files.
struct WinHelpWindow {
    uint16_t flags = 0;
    std::string type{};     // at most 9 characters
    std::string name{};     // at most 8 characters
    std::string caption{};  // at most 50 characters
    int16_t x = 0, y = 0, width = 0, height = 0;
    int16_t maximize = 0;
    Rgb scroll_colour{};
    Rgb fixed_colour{};
};
SystemRecordSpec winhelp_window_record(const WinHelpWindow& window);

// The MediaView window record, laid out on `length` bytes (fields that do not
// fit are cut off, short records keep only what fits).
struct MediaViewWindow {
    std::string name{};
    std::string caption{};
    std::array<int16_t, 5> position{};   // at 73, 75, 77, 79, 81
    std::array<Rgb, 3> colours{};        // at 83, 116, 112
    std::array<int16_t, 4> region{};     // at 120, 122, 124, 126
    std::array<int16_t, 2> extra{};      // at 128, 130
    size_t length = 132;
};
SystemRecordSpec mediaview_window_record(const MediaViewWindow& window);

SystemRecordSpec contents_record(uint32_t topic_offset);
// The three words at data offsets 8, 0 and 2 of a 10-byte record.
SystemRecordSpec lcid_record(int16_t at8, int16_t at0, int16_t at2);
SystemRecordSpec deffont_record(uint8_t size, uint8_t charset, const std::string& face);
// Each string with its NUL, back to back.
SystemRecordSpec strings_record(uint16_t type, const std::vector<std::string>& strings);
// Index letter at 1, title at 30 (the title is NUL-terminated).
SystemRecordSpec keyword_index_record(char letter, const std::string& title);
SystemRecordSpec raw_record(uint16_t type, const Bytes& data);

// A group file: 40-byte header (bitmap size at 4, last topic at 8, first
// topic at 12, group type at 24), then the bitmap. bitmap_size overrides
// the size stored in the header.
Bytes group_file(uint32_t type, uint32_t first, uint32_t last, const Bytes& bitmap,
                 std::optional<int32_t> bitmap_size = std::nullopt);

// |GMACROS: 4-byte header, then records of length, exit offset, entry text
// and exit text. exit_offset overrides the computed one (8 + entry size, or
// 0 when there is no exit text); length overrides the record length.
struct GroupMacro {
    std::string entry{};
    std::string exit{};
    std::optional<int32_t> exit_offset{};
    std::optional<int32_t> length{};
};
Bytes group_macros_file(const std::vector<GroupMacro>& records);

// |CFn: NUL-terminated macros back to back.
Bytes config_macros_file(const std::vector<std::string>& macros);

// A word-list file: 40-byte header whose u16 at 4 is the total entry size
// (or `total`), then each word as a length byte and its characters.
Bytes word_list_file(const std::vector<std::string>& words, std::optional<uint16_t> total = std::nullopt);

}  // namespace hlptest
