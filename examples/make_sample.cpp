// Writes examples/sample.hlp: a small WinHelp 4.0 help file (|SYSTEM minor
// 33, LZ77-compressed topics, packed phrases) that holds one of each thing
// hlpunpack writes back: project sections, topics with formatting, tables,
// hotspots and pictures, keywords in two indexes, a keyword macro, a browse
// sequence, a secondary window, the icon and a baggage file.
//
// Usage: make_sample OUTPUT.hlp
#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "context_builder.h"
#include "keyword_index_builder.h"
#include "phrase_builder.h"
#include "project_builder.h"
#include "sample.h"

using namespace hlptest;
using namespace sample;

namespace {

constexpr uint16_t minor_version = 33, compressed_topics = 4;

// B+ trees of 1 KB pages keep the sample small.
BTreeOptions small_pages(const char* structure)
{
    BTreeOptions options;
    options.page_size = 1024;
    options.structure = structure;
    return options;
}

Bytes system_file(uint32_t contents_offset)
{
    WinHelpWindow main;
    main.flags = 0x0002 | 0x0004 | 0x0008 | 0x0010 | 0x0020 | 0x0040 | 0x0100 | 0x0200;
    main.type = "main";
    main.name = "main";
    main.caption = "hlpunpack Sample";
    main.x = 102;
    main.y = 64;
    main.width = 512;
    main.height = 768;
    main.scroll_colour = {255, 255, 255};
    main.fixed_colour = {192, 220, 255};
    WinHelpWindow note = main;
    note.type = "secondary";
    note.name = "aside";
    note.caption = "Aside";
    note.x = 640;
    note.y = 128;
    note.width = 360;
    note.height = 400;
    note.scroll_colour = {255, 255, 224};
    note.fixed_colour = {255, 255, 192};

    return build_system_file(
        minor_version, compressed_topics,
        {system_string_record(system_title, "hlpunpack Sample"),
         system_string_record(system_copyright, "Free to copy and change."),
         contents_record(contents_offset),
         system_string_record(system_config, "BrowseButtons()"),
         system_string_record(system_config, "CreateButton(\"btn_readme\", \"&Readme\", "
                                             "\"ExecFile(`notepad.exe', `readme.txt')\")"),
         system_string_record(system_config, "RegisterRoutine(\"sample\", \"SampleAbout\", \"S\")"),
         {system_icon, icon()},
         winhelp_window_record(main),  // window 0, as enum Window says
         winhelp_window_record(note),
         system_string_record(system_citation, "From the hlpunpack sample help file."),
         lcid_record(0x409, 0, 0),
         system_string_record(system_cnt, "sample.cnt"),
         deffont_record(8, 0, "MS Sans Serif"),
         strings_record(system_dll_map, {"sample", "sample16.dll", "sample32.dll", "sample32.dll", "sample32.dll"})});
}

// |CONTEXT in hash order (signed, as compilers compare them), and |TopicId
// naming every id, in topic order.
std::vector<InternalFile> context_files(const Topics& t)
{
    std::vector<ContextPair> pairs;
    std::vector<BTreeEntry> names;
    for (const ContextId& id : context_ids) {
        const uint32_t offset = t.offsets[id.topic];
        pairs.push_back({hash_of(id.name), static_cast<int32_t>(offset)});
        names.push_back({ByteWriter().u32(offset).take(), ByteWriter().cstring(id.name).take()});
    }
    std::sort(pairs.begin(), pairs.end(), [](const ContextPair& a, const ContextPair& b) {
        return static_cast<int32_t>(a.hash) < static_cast<int32_t>(b.hash);
    });
    std::stable_sort(names.begin(), names.end(),
                     [](const BTreeEntry& a, const BTreeEntry& b) { return get_u32(a.key, 0) < get_u32(b.key, 0); });

    std::vector<MapPair> map;
    for (const ContextId& id : context_ids)
        if (id.map_number != 0)
            map.push_back({id.map_number, static_cast<int32_t>(t.offsets[id.topic])});

    return {{"|CONTEXT", build_context_tree(pairs, small_pages("L4"))},
            {"|TopicId", build_btree(names, small_pages("Lz"))},
            {"|CTXOMAP", build_context_map(map)}};
}

constexpr uint32_t keyword_macro = 0xFFFFFFFF;  // in a keyword's list: run its |Rose macro

// The K index (with one keyword that runs a macro), the A index of ALink
// names, and |Rose with the macro.
std::vector<InternalFile> keyword_files(const Topics& t)
{
    const auto& at = t.offsets;
    std::vector<KeywordSpec> k = {
        {"bitmaps", {at[pictures]}},
        {"borders", {at[formatting]}},
        {"fonts", {at[formatting]}},
        {"formatting", {at[formatting]}},
        {"hotspots", {at[welcome], at[pictures], at[hotspot_definition]}},
        {"pictures", {at[pictures]}},
        {"readme file", {keyword_macro}},
        {"sample", {at[welcome]}},
        {"tables", {at[tables]}},
        {"windows, secondary", {at[aside]}},
    };
    std::vector<KeywordSpec> a = {
        {"picture_types", {at[tables], at[pictures]}},
        {"text_layout", {at[formatting], at[tables]}},
    };
    std::vector<InternalFile> files = keyword_index_files('K', false, build_keyword_index(k, small_pages("z24")));
    for (auto& f : keyword_index_files('A', false, build_keyword_index(a, small_pages("z24"))))
        files.push_back(std::move(f));
    files.push_back({"|Rose", build_rose({{context_string_hash("readme file"),
                                           "ExecFile(\"notepad.exe\", \"readme.txt\")", "Read the readme file"}},
                                         small_pages("Lzz"))});
    return files;
}

Bytes readme()
{
    // The sample carries the version of the hlpunpack it came with.
    const std::string title = "hlpunpack " HLPUNPACK_VERSION " sample";
    return bytes_of(
        title + "\r\n" + std::string(title.size(), '=') + "\r\n"
        "\r\n"
        "This file travels inside sample.hlp as a baggage file. hlpunpack writes it\r\n"
        "back unchanged and lists it in the [BAGGAGE] section of the project file.\r\n");
}

std::vector<InternalFile> help_files()
{
    const Topics t = topics();
    std::vector<InternalFile> files = {{"|SYSTEM", system_file(t.offsets[welcome])},
                                       {"|FONT", font_file()},
                                       {"|TOPIC", t.file}};
    const PhraseIndexFiles phrase_index = build_phrase_index(phrases());
    files.push_back({"|PhrIndex", phrase_index.index});
    files.push_back({"|PhrImage", phrase_index.image});
    for (auto& f : context_files(t))
        files.push_back(std::move(f));
    for (auto& f : keyword_files(t))
        files.push_back(std::move(f));
    files.push_back({"|VIOLA", build_viola({{static_cast<int32_t>(t.offsets[aside]), aside_window}},
                                           small_pages("LL"))});
    for (auto& f : bitmap_files())
        files.push_back(std::move(f));
    files.push_back({"readme.txt", readme()});
    return files;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT.hlp\n");
        return 2;
    }
    try {
        HelpFileOptions options;
        options.directory_page_size = 1024;
        write_file(argv[1], build_help_file(help_files(), options));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
