// The topics of the sample: six topics whose paragraphs use the formatting,
// hotspots, tables and pictures that a topic file can hold, phrase-compressed
// and laid out in one LZ77-compressed topic block.
#include <algorithm>
#include <stdexcept>
#include <string_view>

#include "context_builder.h"
#include "paragraph_builder.h"
#include "phrase_builder.h"
#include "sample.h"

namespace sample {

using namespace hlptest;

const std::vector<ContextId> context_ids = {
    {"welcome", welcome, 10},        {"contents", welcome, 0},  {"idh_welcome", welcome, 0},
    {"formatting", formatting, 20},  {"tables", tables, 30},    {"pictures", pictures, 40},
    {"graphics", pictures, 0},       {"def_hotspot", hotspot_definition, 0},
    {"aside", aside, 0},
};

uint32_t hash_of(const std::string& context_id) { return context_string_hash(context_id); }

const std::vector<std::string>& phrases()
{
    static const std::vector<std::string> table = [] {
        std::vector<std::string> p = {"help file", "hlpunpack", "paragraph", "picture", "project file",
                                      "topic",     "window",    "the",       "hotspot", "compiler"};
        std::sort(p.begin(), p.end());
        return p;
    }();
    return table;
}

namespace {

// One paragraph: runs of text and the commands between them. It opens with
// a font change, as compiled paragraphs do.
class Para {
public:
    explicit Para(Font font, const ParagraphAttributes& attributes = {})
    {
        paragraph_.attributes = attributes;
        command(cmd_font(font));
    }
    Para& text(const std::string& t)
    {
        pending_ += t;
        return *this;
    }
    Para& command(Bytes c)
    {
        paragraph_.segments.push_back({pending_, std::move(c)});
        pending_.clear();
        return *this;
    }
    Para& in(Font font, const std::string& t, Font back = body)
    {
        return command(cmd_font(font)).text(t).command(cmd_font(back));
    }
    Para& jump(const std::string& id, const std::string& label) { return hotspot(cmd_link(0xE3, hash_of(id)), label); }
    Para& popup(const std::string& id, const std::string& label) { return hotspot(cmd_link(0xE2, hash_of(id)), label); }
    Para& macro(const std::string& m, const std::string& label) { return hotspot(cmd_macro(0xC8, m), label); }
    Para& jump_into(Window window, const std::string& id, const std::string& label)
    {
        ExtendedLink link;
        link.link_type = 1;
        link.hash = hash_of(id);
        link.window_number = window;
        return hotspot(cmd_extended_link(0xEB, link), label);
    }
    Para& line() { return command(cmd_line()); }
    Para& tab() { return command(cmd_tab()); }
    Para& picture(uint8_t code, Picture number) { return command(cmd_picture(code, 3, picture_reference(0, number))); }
    Para& column(int16_t c)
    {
        paragraph_.column = c;
        return *this;
    }
    Paragraph end()
    {
        command(cmd_par());
        command(cmd_end());
        return paragraph_;
    }

private:
    Para& hotspot(Bytes start, const std::string& label)
    {
        return command(std::move(start)).text(label).command(cmd_hotspot_end());
    }

    Paragraph paragraph_;
    std::string pending_;
};

constexpr uint8_t centred = 0x86, left = 0x87, right = 0x88;

TextRecordSpec paragraph(Paragraph p)
{
    TextRecordSpec recipe;
    recipe.paragraphs = {std::move(p)};
    return recipe;
}

ParagraphAttributes spaced(int16_t before, int16_t after)
{
    ParagraphAttributes a;
    a.space_before = before;
    a.space_after = after;
    return a;
}

Paragraph body_text(const std::string& text) { return Para(body, spaced(0, 120)).text(text).end(); }

struct TopicText {
    TopicHeaderSpec header;
    bool non_scrolling = true;  // the first record is the non-scrolling region
    std::vector<TextRecordSpec> records;
};

TopicText topic(const std::string& title, std::vector<TextRecordSpec> records)
{
    TopicText t;
    t.header.title = title;
    // The heading repeats the title in the non-scrolling region.
    t.records.push_back(paragraph(Para(heading, spaced(60, 60)).text(title).end()));
    for (auto& r : records)
        t.records.push_back(std::move(r));
    return t;
}

TopicText welcome_topic()
{
    ParagraphAttributes button_line = spaced(120, 0);
    button_line.centre = true;
    return topic(
        "Welcome",
        {paragraph(body_text("This help file was written by make_sample, a program that comes with hlpunpack. "
                             "It is small, but it holds every kind of thing that the decompiler writes back: the "
                             "project file, the topic file, the phrase file, the icon, a baggage file and the "
                             "pictures.")),
         paragraph(Para(body, spaced(0, 120))
                       .text("Read about ")
                       .jump("formatting", "formatting text")
                       .text(", ")
                       .jump("tables", "tables")
                       .text(" and ")
                       .jump("pictures", "pictures")
                       .text(". Every underlined ")
                       .popup("def_hotspot", "hotspot")
                       .text(" leads somewhere.")
                       .end()),
         paragraph(Para(body, spaced(0, 120))
                       .text("A hotspot can also ")
                       .macro("ExecFile(\"notepad.exe\", \"readme.txt\")", "open the readme file")
                       .text(" that this help file carries, or show ")
                       .jump_into(aside_window, "aside", "a topic in a secondary window")
                       .text(".")
                       .end()),
         paragraph(Para(body, button_line)
                       .command(cmd_picture(centred, 5, embedded_window_data("!Contents,Contents()")))
                       .end())});
}

TopicText formatting_topic()
{
    ParagraphAttributes indented = spaced(120, 120);
    indented.left_indent = 720;
    indented.right_indent = 720;
    ParagraphAttributes centre_line;
    centre_line.centre = true;
    ParagraphAttributes right_line = spaced(0, 120);
    right_line.right = true;
    ParagraphAttributes hanging = spaced(0, 60);
    hanging.left_indent = 360;
    hanging.first_indent = -360;
    hanging.tabs = std::vector<TabStop>{{360, {}}};
    ParagraphAttributes boxed = spaced(120, 120);
    boxed.border = 0x01;
    ParagraphAttributes columns = spaced(120, 0);
    columns.tabs = std::vector<TabStop>{{2880, 2}, {5040, 1}};

    return topic(
        "Formatting text",
        {paragraph(Para(body, spaced(0, 120))
                       .text("Text can be ")
                       .in(bold, "bold")
                       .text(", ")
                       .in(italic, "italic")
                       .text(", set in ")
                       .in(code, "Courier New")
                       .text(", in ")
                       .in(serif, "a coloured serif face")
                       .text(" or ")
                       .in(highlight, "highlighted")
                       .text(".")
                       .end()),
         paragraph(Para(body, indented)
                       .text("This paragraph is indented on both sides and has space before and after it.")
                       .end()),
         paragraph(Para(body, centre_line).text("This one is centred,").end()),
         paragraph(Para(body, right_line).text("and this one is aligned to the right.").end()),
         paragraph(Para(body, hanging)
                       .text("1.")
                       .tab()
                       .text("A numbered paragraph with a hanging indent: the number sits in the indent, and a tab "
                             "takes the text to the margin.")
                       .end()),
         paragraph(Para(body, hanging).text("2.").tab().text("A second numbered paragraph.").end()),
         paragraph(Para(body, boxed).text("A paragraph in a box.").end()),
         paragraph(Para(body, columns)
                       .in(bold, "Name")
                       .tab()
                       .in(bold, "Kind")
                       .tab()
                       .in(bold, "Size")
                       .line()
                       .text("sample.hlp")
                       .tab()
                       .text("help file")
                       .tab()
                       .text("tens of KB")
                       .line()
                       .text("sample.ph")
                       .tab()
                       .text("phrase file")
                       .tab()
                       .text("one line a phrase")
                       .end())});
}

TextRecordSpec table_row(const std::vector<std::string>& cells, Font font)
{
    TextRecordSpec recipe;
    recipe.type = 0x23;
    recipe.row.table_type = 0;
    recipe.row.columns = {{1800, 1}, {1600, 108}, {3000, 108}};
    for (size_t c = 0; c < cells.size(); ++c)
        recipe.paragraphs.push_back(Para(font).column(static_cast<int16_t>(c)).text(cells[c]).end());
    return recipe;
}

TopicText tables_topic()
{
    return topic("Tables",
                 {paragraph(body_text("A table is stored one row at a time; each cell is a paragraph of its own.")),
                  table_row({"Picture", "File", "Kind"}, bold),
                  table_row({"Bitmap", "bm0.bmp", "device-independent bitmap"}, body),
                  table_row({"Drawing", "bm1.wmf", "placeable metafile"}, body),
                  table_row({"Buttons", "bm2.shg", "picture with hotspots"}, body),
                  table_row({"Emblem", "bm3.mrb", "two resolutions"}, body),
                  paragraph(Para(body, spaced(120, 0)).text("The text goes on after the table.").end())});
}

TopicText pictures_topic()
{
    TextRecordSpec with_hotspots = paragraph(Para(body, spaced(0, 120))
                                                 .text("Click the buttons of this picture:")
                                                 .line()
                                                 .command(cmd_picture_with_hotspots(centred, button_hotspots,
                                                                                    picture_reference(0, buttons)))
                                                 .end());
    // Each hotspot of the picture counts as one character of the topic.
    with_hotspots.character_count = static_cast<uint16_t>(text_record_text(with_hotspots).size() + button_hotspots);

    Bytes stored = picture_reference(1);
    const Bytes picture = embedded_picture();
    stored.insert(stored.end(), picture.begin(), picture.end());

    return topic(
        "Pictures",
        {paragraph(body_text("Pictures are kept in files of their own inside the help file, or in the topic text.")),
         paragraph(Para(body).picture(centred, landscape).end()),
         paragraph(Para(body, spaced(0, 120))
                       .picture(left, drawing)
                       .text("A metafile drawing sits on the left of this paragraph, and an emblem with two "
                             "resolutions on the right.")
                       .picture(right, resolutions)
                       .end()),
         with_hotspots,
         paragraph(Para(body, spaced(120, 0))
                       .text("This picture is stored in the topic text itself: ")
                       .command(cmd_picture(left, 3, stored))
                       .end())});
}

TopicText hotspot_topic()
{
    TopicText t;
    t.header.title = "Hotspot";
    t.non_scrolling = false;  // a popup has no non-scrolling region
    t.records = {paragraph(Para(bold)
                               .text("hotspot")
                               .command(cmd_font(body))
                               .text(": a word or picture that jumps to another topic, opens a popup like this one, "
                                     "or runs a macro when it is clicked.")
                               .end())};
    return t;
}

TopicText aside_topic()
{
    TopicText t = topic("A secondary window",
                        {paragraph(body_text("This topic opens in the secondary window aside, which the project "
                                             "file describes in [WINDOWS] with its caption, position and colours. "
                                             "Its entry macro places the window on the screen."))});
    t.header.macros = {"PositionWindow(600, 100, 400, 400, 1, \"aside\")"};
    return t;
}

uint32_t character_count(const TextRecordSpec& recipe)
{
    return recipe.character_count.value_or(static_cast<uint16_t>(text_record_text(recipe).size()));
}

// The text part as stored: phrase-compressed when that makes it shorter.
TopicRecord compressed_record(const TextRecordSpec& recipe)
{
    TopicRecord r = text_record(recipe);
    const std::string_view plain(reinterpret_cast<const char*>(r.text.data()), r.text.size());
    Bytes packed = phrase_compress(plain, phrases(), PhraseScheme::packed);
    if (packed.size() < r.text.size()) {
        r.text_length = static_cast<int32_t>(r.text.size());
        r.text = std::move(packed);
    }
    return r;
}

}  // namespace

Topics topics()
{
    std::vector<TopicText> text = {welcome_topic(),  formatting_topic(), tables_topic(),
                                   pictures_topic(), hotspot_topic(),    aside_topic()};

    // All topics share one block, so a topic offset is the number of
    // characters before the topic.
    Topics out;
    uint32_t characters = 0;
    for (size_t t = 0; t < topic_count; ++t) {
        out.offsets[t] = characters;
        for (const auto& r : text[t].records)
            characters += character_count(r);
    }

    // The browse sequence: welcome, formatting, tables.
    const Topic browse[] = {welcome, formatting, tables};
    for (size_t i = 0; i < std::size(browse); ++i) {
        TopicHeaderSpec& h = text[browse[i]].header;
        h.browse_previous = i == 0 ? -1 : static_cast<int32_t>(out.offsets[browse[i - 1]]);
        h.browse_next = i + 1 == std::size(browse) ? -1 : static_cast<int32_t>(out.offsets[browse[i + 1]]);
    }

    constexpr size_t non_scroll = 16, scroll_start = 20;
    std::vector<TopicRecord> records;
    std::vector<size_t> non_scrolling_headers;
    for (size_t t = 0; t < topic_count; ++t) {
        text[t].header.topic_number = static_cast<uint32_t>(t);
        if (text[t].non_scrolling)
            non_scrolling_headers.push_back(records.size());
        records.push_back(topic_header(text[t].header));
        for (const auto& r : text[t].records)
            records.push_back(compressed_record(r));
    }
    link_topic_headers(records);
    // The non-scrolling region is the first record; scrolling starts after it.
    for (size_t h : non_scrolling_headers) {
        records[h].position_refs.push_back({non_scroll, h + 1});
        for (auto& ref : records[h].position_refs)
            if (ref.head_offset == scroll_start)
                ref.record = h + 2;
    }

    TopicFile file = build_topic_file(records, topic_layout_for(33, 4));
    if (file.block_count != 1)
        throw std::runtime_error("the sample's topics no longer fit one topic block");
    out.file = std::move(file.data);
    return out;
}

}  // namespace sample
