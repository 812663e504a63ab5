// Writes examples/sample.hlp: a small WinHelp 4.0 file with three topics of
// plain text in LZ77-compressed blocks, for trying the tool and the plug-in.
//
// Usage: make_sample OUTPUT.hlp
#include "help_builder.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

using namespace hlptest;

namespace {

// |FONT with the short 8-byte header: one name and one descriptor of 11 bytes.
Bytes font_file()
{
    constexpr size_t name_field = 20;
    ByteWriter out;
    out.u16(1).u16(1).u16(8).u16(static_cast<uint16_t>(8 + name_field));
    Bytes name(name_field, 0);
    const std::string arial = "Arial";
    std::copy(arial.begin(), arial.end(), name.begin());
    out.bytes(name);
    out.u8(0)      // no bold, italic or other attribute
        .u8(20)    // 10 points, in half points
        .u8(3)     // swiss
        .u16(0)    // font name number
        .u8(0).u8(0).u8(0)            // black text
        .u8(255).u8(255).u8(255);     // on white
    return out.take();
}

// A text paragraph without formatting: one string, then the end command.
TopicRecord paragraph(const std::string& text)
{
    TopicRecord r;
    r.type = 0x20;
    ByteWriter t;
    t.cstring(text);
    r.text = t.take();
    ByteWriter head;
    head.u16(0x8000)  // topic size, a compressed long read only to be skipped
        .bytes(compressed_ushort(static_cast<uint16_t>(r.text.size())))  // characters, NUL included
        .u8(0).u8(0x80).u8(0).u8(0)  // not used by readers
        .u16(0)                      // paragraph flags: none
        .u8(0xFF);                   // end of paragraph
    r.head = head.take();
    return r;
}

std::vector<TopicRecord> topics()
{
    std::vector<TopicRecord> r;
    r.push_back(topic_header_record("Welcome", 0));
    r.push_back(paragraph("This help file was written by make_sample, a program that comes with hlpunpack."));
    r.push_back(paragraph("It holds three short topics of plain text and nothing else."));
    r.push_back(topic_header_record("Opening a help file", 1));
    r.push_back(paragraph("Open a help file in the file manager as if it were an archive: the entries are "
                          "the project file, the topic file and the pictures it was built from."));
    r.push_back(topic_header_record("Compression", 2));
    r.push_back(paragraph("The topic text of this file is compressed. Compressed text repeats itself, "
                          "and text that repeats itself is compressed: the more it repeats, the smaller "
                          "it gets."));
    link_topic_headers(r);
    return r;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_sample OUTPUT.hlp\n");
        return 2;
    }
    try {
        constexpr uint16_t minor = 33, flags = 4;
        ByteWriter contents;
        contents.u32(0);  // the first topic
        Bytes system = build_system_file(minor, flags,
                                         {system_string_record(system_title, "hlpunpack sample"),
                                          system_string_record(system_copyright, "Free to copy and change."),
                                          {system_contents, contents.take()}});
        Bytes topic = build_topic_file(topics(), topic_layout_for(minor, flags)).data;
        HelpFileOptions options;
        options.directory_page_size = 1024;
        write_file(argv[1], build_help_file({{"|SYSTEM", system}, {"|FONT", font_file()}, {"|TOPIC", topic}},
                                            options));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_sample: %s\n", e.what());
        return 1;
    }
    return 0;
}
