// Writes seed inputs for every fuzz target, made with the test builder:
//   make_fuzz_seeds FOLDER
// creates FOLDER/open, lz77, phrases, picture, macro and btree. The seeds
// only have to reach deep: what they decompile to is not checked here.
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "context_builder.h"
#include "help_builder.h"
#include "html_attack_files.h"
#include "keyword_index_builder.h"
#include "paragraph_builder.h"
#include "phrase_builder.h"
#include "picture_builder.h"
#include "project_builder.h"
#include "seed_fonts.h"

using namespace hlptest;
namespace fs = std::filesystem;

namespace {

fs::path root;

void seed(const std::string& target, const std::string& name, const Bytes& data) {
    fs::create_directories(root / target);
    write_file((root / target / name).string(), data);
}

Bytes text_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// ---------------------------------------------------------------- pictures

Bytes checker_rows(uint32_t width, uint32_t height, unsigned bits, unsigned alignment) {
    return bitmap_rows(width, height, bits, alignment, [](uint32_t x, uint32_t y) { return (x + y) & 1; });
}

PictureSpec dib_picture(uint8_t packing, bool hotspots) {
    PictureSpec p;
    p.type = dib_bitmap;
    p.packing = packing;
    p.bits_per_pixel = 4;
    p.width = 12;
    p.height = 5;
    p.colours_used = 16;
    p.colour_table = grey_colour_table(16);
    p.data = checker_rows(12, 5, 4, 4);
    if (hotspots) {
        HotspotBlock block;
        block.hotspots = {HotspotSpec{0xE3, 4, 0, 1, 2, 3, 4, "go", "target_topic"},
                          HotspotSpec{0xC8, 4, 0, 5, 6, 7, 8, "run", "About()"}};
        p.hotspots = block;
    }
    return p;
}

PictureSpec ddb_picture(uint8_t packing) {
    PictureSpec p;
    p.type = device_bitmap;
    p.packing = packing;
    p.bits_per_pixel = 1;
    p.width = 16;
    p.height = 3;
    p.data = checker_rows(16, 3, 1, 2);
    return p;
}

PictureSpec metafile_picture_recipe(uint8_t packing) {
    PictureSpec p;
    p.type = metafile_picture;
    p.packing = packing;
    p.metafile_width = 100;
    p.metafile_height = 50;
    ByteWriter records;  // a header-less record list: one empty record, then the end
    records.u32(3).u16(0x001E);
    records.u32(3).u16(0);
    p.data = records.take();
    return p;
}

std::vector<Bytes> picture_files() {
    std::vector<Bytes> out;
    for (uint8_t packing = 0; packing < 4; ++packing) out.push_back(build_picture_file({dib_picture(packing, false)}).data);
    out.push_back(build_picture_file({dib_picture(3, true)}).data);
    out.push_back(build_picture_file({ddb_picture(0), ddb_picture(1)}).data);
    out.push_back(build_picture_file({metafile_picture_recipe(0)}).data);
    out.push_back(build_picture_file({metafile_picture_recipe(2), dib_picture(1, true)}, 0x706C).data);
    return out;
}

// ---------------------------------------------------------------- topics

const std::vector<std::string> phrases = {"the help file", "decompiler", "topic", "window"};

TopicRecord paragraph(std::vector<Segment> segments, ParagraphAttributes attributes = {}) {
    TextRecordSpec recipe;
    Paragraph p;
    p.attributes = attributes;
    p.segments = std::move(segments);
    recipe.paragraphs = {p};
    return text_record(recipe);
}

TopicRecord table_row() {
    TextRecordSpec recipe;
    recipe.type = 0x23;
    recipe.row.columns = {{100, 10}, {200, 10}};
    Paragraph left;
    left.column = 0;
    left.segments = {{"left cell", cmd_end()}};
    Paragraph right;
    right.column = 1;
    right.segments = {{"right cell", cmd_end()}};
    recipe.paragraphs = {left, right};
    return text_record(recipe);
}

std::vector<TopicRecord> rich_topics(bool with_pictures) {
    std::vector<TopicRecord> records;
    TopicHeaderSpec first;
    first.title = "Contents";
    first.macros = {"BrowseButtons()", "CB(`btn', `&Next', `JI(`', `second_topic')')"};
    first.browse_next = 1;
    records.push_back(topic_header(first));
    ParagraphAttributes attributes;
    attributes.space_before = 12;
    attributes.left_indent = 360;
    attributes.tabs = std::vector<TabStop>{{720, std::nullopt}, {1440, 1}};
    attributes.border = 0x81;
    Bytes link = cmd_link(0xE3, context_string_hash("second_topic"));
    records.push_back(paragraph({{"See ", cmd_font(1)},
                                 {"bold text", cmd_font(0)},
                                 {"and a ", link},
                                 {"jump", cmd_hotspot_end()},
                                 {" or ", cmd_macro(0xC8, "JumpId(`other.hlp', `x')")},
                                 {"macro", cmd_hotspot_end()},
                                 {"tab", cmd_tab()},
                                 {"end", cmd_end()}},
                                attributes));
    if (with_pictures) {
        records.push_back(paragraph({{"Picture ", cmd_picture(0x86, 3, picture_reference(0, 0))},
                                     {"inline ", cmd_picture(0x87, 0x22, build_picture_file({ddb_picture(0)}).data)},
                                     {"", cmd_end()}}));
    }
    records.push_back(table_row());
    TopicHeaderSpec second;
    second.title = "Second topic";
    second.browse_previous = 0;
    second.topic_number = 1;
    records.push_back(topic_header(second));
    ExtendedLink external;
    external.link_type = 4;
    external.hash = context_string_hash("elsewhere");
    external.file = "other.hlp";
    records.push_back(paragraph({{"Back ", cmd_extended_link(0xEA, external)},
                                 {"there", cmd_hotspot_end()},
                                 {"", cmd_line()},
                                 {"no break", cmd_nonbreaking_space()},
                                 {"", cmd_end()}}));
    link_topic_headers(records);
    return records;
}

std::vector<TopicRecord> old_topics() {
    std::vector<TopicRecord> records;
    records.push_back(old_topic_header("First", -1, 1));
    TextRecordSpec recipe;
    recipe.type = 1;
    Paragraph p;
    p.segments = {{"Old style text", cmd_par()}, {"more", cmd_end()}};
    recipe.paragraphs = {p};
    records.push_back(text_record(recipe));
    records.push_back(old_topic_header("Second", 0, -1));
    records.push_back(text_record(recipe));
    return records;
}

// Small pages keep the seeds small: most of a page is padding.
HelpFileOptions small_directory() {
    HelpFileOptions options;
    options.directory_page_size = 1024;
    return options;
}

BTreeOptions small_pages() {
    BTreeOptions options;
    options.page_size = 512;
    return options;
}

// A WinHelp 4.0 file with most internal files the decompiler reads.
Bytes winhelp4_file(uint16_t flags, bool packed_phrases) {
    std::vector<TopicRecord> records = rich_topics(true);
    std::vector<InternalFile> files;
    std::vector<SystemRecordSpec> system = {system_string_record(system_title, "Fuzz seed"),
                                            system_string_record(system_copyright, "Nobody"),
                                            contents_record(0),
                                            strings_record(system_config, {"BrowseButtons()"})};
    WinHelpWindow main;
    main.flags = 0x3F;
    main.type = "main";
    main.name = "main";
    main.caption = "Seed";
    system.push_back(winhelp_window_record(main));
    system.push_back(lcid_record(0x409, 0, 0));
    files.push_back({"|SYSTEM", build_system_file(33, flags, system)});
    if (packed_phrases) {
        PhraseIndexFiles index = build_phrase_index(phrases);
        files.push_back({"|PhrIndex", index.index});
        files.push_back({"|PhrImage", index.image});
        records.push_back(phrase_compressed_record(0x20, text_record_head(TextRecordSpec{}),
                                                   "the help file has a decompiler", phrases, PhraseScheme::packed));
    } else {
        files.push_back({"|Phrases", build_phrases_file(phrases)});
    }
    files.push_back({"|TOPIC", build_topic_file(records, topic_layout_for(33, flags)).data});
    files.push_back({"|FONT", seed_font_file(SeedFontLayout::new_layout)});
    files.push_back({"|CONTEXT", build_context_tree({{context_string_hash("contents"), 0},
                                                     {context_string_hash("second_topic"), 0x4000}},
                                                    small_pages())});
    files.push_back({"|CTXOMAP", build_context_map({{1, 0}, {2, 0x4000}})});
    KeywordIndex keywords = build_keyword_index({{"alpha", {0}}, {"beta", {0, 0x4000}}}, small_pages());
    for (InternalFile& f : keyword_index_files('K', false, keywords)) files.push_back(f);
    files.push_back({"|VIOLA", build_viola({{0, 0}, {0x4000, 0}}, small_pages())});
    files.push_back({"|Rose", build_rose({{context_string_hash("alpha"), "About()", "Alpha"}}, small_pages())});
    files.push_back(picture_internal_file(0, build_picture_file({dib_picture(3, true)}).data));
    files.push_back(picture_internal_file(1, build_picture_file({metafile_picture_recipe(1)}).data));
    files.push_back({"|GMACROS", group_macros_file({{"Entry()", "Exit()"}})});
    files.push_back({"|CF1", config_macros_file({"About()"})});
    files.push_back({"|Petra", Bytes(4, 0)});
    files.push_back({"BAGGAGE.TXT", text_bytes("baggage")});
    return build_help_file(files, small_directory());
}

Bytes winhelp31_file() {
    std::vector<InternalFile> files;
    files.push_back({"|SYSTEM", build_system_file(21, 0, {system_string_record(system_title, "Three one")})});
    files.push_back({"|Phrases", build_phrases_file(phrases)});
    std::vector<TopicRecord> records = rich_topics(false);
    files.push_back({"|TOPIC", build_topic_file(records, topic_layout_for(21, 0)).data});
    files.push_back({"|FONT", seed_font_file(SeedFontLayout::old_layout)});
    files.push_back({"|CONTEXT", build_context_tree({{context_string_hash("contents"), 0}}, small_pages())});
    return build_help_file(files, small_directory());
}

Bytes old_format_file() {
    std::vector<InternalFile> files;
    files.push_back({"|SYSTEM", build_old_system_file("Old help")});
    files.push_back({"|TOPIC", build_topic_file(old_topics(), topic_layout_for(15, 0)).data});
    files.push_back({"|FONT", seed_font_file(SeedFontLayout::old_layout)});
    files.push_back({"|TOMAP", build_topic_map({0x10, 0x40})});
    files.push_back({"|Phrases", build_phrases_file(phrases, PhrasesOptions{false})});
    files.push_back(picture_internal_file(0, build_picture_file({ddb_picture(1)}).data, true));
    return build_help_file(files, small_directory());
}

Bytes mediaview_file() {
    std::vector<InternalFile> files;
    std::vector<SystemRecordSpec> system = {system_string_record(system_title, "MediaView seed")};
    MediaViewWindow window;
    window.name = "main";
    window.caption = "Viewer";
    system.push_back(mediaview_window_record(window));
    system.push_back(keyword_index_record('K', "Index"));
    files.push_back({"|SYSTEM", build_system_file(33, 4, system)});
    files.push_back({"|TOPIC", build_topic_file(rich_topics(false), topic_layout_for(33, 4)).data});
    files.push_back({"|FONT", seed_font_file(SeedFontLayout::mediaview)});
    files.push_back({"|MVCHARTAB,0", seed_charmap_file()});
    Bytes out = build_help_file(files, small_directory());
    // The fuzz target opens odd-sized inputs as .mvb files.
    if (out.size() % 2 == 0) out.push_back(0);
    return out;
}

Bytes even(Bytes data) {
    if (data.size() % 2) data.push_back(0);
    return data;
}

void open_seeds() {
    seed("open", "winhelp4_lz77.hlp", even(winhelp4_file(4, false)));
    seed("open", "winhelp4_small_blocks.hlp", even(winhelp4_file(8, true)));
    seed("open", "winhelp4_stored.hlp", even(winhelp4_file(0, true)));
    seed("open", "winhelp31.hlp", even(winhelp31_file()));
    seed("open", "old_format.hlp", even(old_format_file()));
    seed("open", "mediaview.mvb", mediaview_file());
    seed("open", "system_only.hlp",
         even(build_help_file({{"|SYSTEM", build_system_file(33, 4, {system_string_record(1, "Minimal")})}},
                                         small_directory())));
    // Small files built to make the HTML edition huge, in sizes the
    // fuzzer's input limit takes.
    seed("open", "attack_popups.hlp", even(popup_bomb_file(20, 16, 4000)));
    seed("open", "attack_keyword.hlp", even(keyword_bomb_file(2000, 300, 30)));
    seed("open", "attack_image_map.hlp", even(image_map_bomb_file(200, 5, 3)));
    seed("open", "attack_browse.hlp", even(backward_browse_file(200)));
    seed("open", "attack_names.hlp", even(colliding_names_file(200)));
}

// ---------------------------------------------------------------- parts

Bytes with_header(std::initializer_list<uint8_t> head, const Bytes& data) {
    Bytes out(head);
    out.insert(out.end(), data.begin(), data.end());
    return out;
}

void lz77_seeds() {
    Bytes text = text_bytes("abcabcabcabc the quick brown fox jumps over the lazy dog, abcabcabc "
                            "the quick brown fox again and again and again");
    Bytes runs = runlength_encode(Bytes{1, 1, 1, 1, 1, 1, 2, 3, 4, 5, 0, 0, 0, 0, 0, 0, 0, 0, 9});
    seed("lz77", "stored", with_header({0, 0, 1}, text));
    seed("lz77", "lz77", with_header({2, 0, 1}, lz77_compress_greedy(text)));
    seed("lz77", "lz77_output", with_header({6, 0, 0}, lz77_compress_greedy(text)));
    seed("lz77", "runlength", with_header({1, 0, 1}, runs));
    seed("lz77", "both", with_header({3, 0, 1}, lz77_compress_greedy(runs)));
    seed("lz77", "both_output", with_header({7, 0, 0}, lz77_compress_literal(runs)));
}

Bytes phrase_input(uint8_t options, uint16_t capacity, const Bytes& first, const Bytes& second, const Bytes& text) {
    ByteWriter w;
    w.u8(options).u16(capacity).u16(static_cast<uint16_t>(first.size())).bytes(first);
    w.u16(static_cast<uint16_t>(second.size())).bytes(second).bytes(text);
    return w.take();
}

void phrase_seeds() {
    const std::string text = "the help file of the decompiler shows a topic in a window";
    uint16_t capacity = static_cast<uint16_t>(text.size());
    seed("phrases", "phrases_compressed",
         phrase_input(0, capacity, build_phrases_file(phrases), {},
                      phrase_compress(text, phrases, PhraseScheme::phrases)));
    seed("phrases", "phrases_old",
         phrase_input(2, capacity, build_phrases_file(phrases, PhrasesOptions{false}), {},
                      phrase_compress(text, phrases, PhraseScheme::phrases)));
    PhrasesOptions mediaview;
    mediaview.mediaview = true;
    seed("phrases", "phrases_mediaview",
         phrase_input(0, capacity, build_phrases_file(phrases, mediaview), {},
                      phrase_compress(text, phrases, PhraseScheme::phrases)));
    for (unsigned bits : {1u, 4u}) {
        PhraseIndexOptions options;
        options.length_bits = bits;
        options.compress_image = bits == 4;
        PhraseIndexFiles index = build_phrase_index(phrases, options);
        seed("phrases", "phrindex_" + std::to_string(bits),
             phrase_input(1, capacity, index.index, index.image, phrase_compress(text, phrases, PhraseScheme::packed)));
    }
}

void picture_seeds() {
    int n = 0;
    for (const Bytes& picture : picture_files()) {
        seed("picture", "picture" + std::to_string(n), with_header({static_cast<uint8_t>(n & 1)}, picture));
        seed("picture", "picture" + std::to_string(n) + "_output",
             with_header({static_cast<uint8_t>(2 | (n & 1))}, picture));
        ++n;
    }
}

void macro_seeds() {
    const char* macros[] = {
        "JumpId(`other.hlp', `topic_one')",
        "IfThenElse(IsMark(`m'), `JI(`', `a')', `PopupId(`b.hlp>win', `c')')",
        "CB(`btn', `&Go', `JumpContext(42)'):AL(`x;y', 1, `target', `win')",
        "ExtInsertItem(\"mnu\", \"item\", \"Name\", `JH(`f.hlp', 0x1234)', 0, 0)",
        "KL(`a;b', 0, `z', `'); SE(`a', `b', `c', `d', `e', `ctx_name')",
        "UpdateWindow(`f.hlp>w', `w_ctx'); Not(`IsBook()'); JC(`x.hlp', 5)",
    };
    int n = 0;
    for (const char* macro : macros) seed("macro", "macro" + std::to_string(n++), text_bytes(macro));
}

void btree_seeds() {
    seed("btree", "directory", with_header({0}, winhelp4_file(4, false)));
    HelpFileOptions deep;
    deep.directory_page_size = 64;
    deep.directory_max_leaf_entries = 2;
    deep.directory_max_index_entries = 2;
    std::vector<InternalFile> files;
    for (int i = 0; i < 12; ++i) files.push_back({"|file" + std::to_string(i), Bytes(3, static_cast<uint8_t>(i))});
    seed("btree", "directory_three_levels", with_header({0}, build_help_file(files, deep)));
    std::vector<ContextPair> pairs;
    for (uint32_t i = 0; i < 40; ++i) pairs.push_back({i * 977, static_cast<int32_t>(i * 16)});
    BTreeOptions small;
    small.page_size = 64;
    seed("btree", "context_tree", with_header({1}, build_context_tree(pairs, small)));
    small.max_leaf_entries = 3;
    small.max_index_entries = 2;
    seed("btree", "context_tree_deep", with_header({1}, build_context_tree(pairs, small)));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: make_fuzz_seeds FOLDER\n";
        return 2;
    }
    root = argv[1];
    try {
        open_seeds();
        lz77_seeds();
        phrase_seeds();
        picture_seeds();
        macro_seeds();
        btree_seeds();
    } catch (const std::exception& e) {
        std::cerr << "make_fuzz_seeds: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
