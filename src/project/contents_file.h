// The author's contents file (NAME.cnt, WinHelp 4): read as the tree it
// describes, and copied into the sources beside the project file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct DecompileContext;
struct MemoryFile;

// One line of the tree: a heading ("2 Printing") or a topic
// ("3 Printing a file=print_file@other.hlp>proc"). Lines of commands the
// tree does not follow (":Include", ":Link") are kept as headings without
// children, their text as written.
struct ContentsEntry {
    int level;           // 1 to contents_deepest_level
    bool heading;
    std::string text;    // in the help file's code page
    std::string context; // topics: the context id
    std::string file;    // the help file after '@', if any
    std::string window;  // the window after '>', if any
};

struct ContentsTree {
    std::string title;  // :Title
    std::string base;   // :Base
    std::vector<ContentsEntry> entries;
};

// Levels are single digits in the files the help workshop writes.
constexpr int contents_deepest_level = 9;
// A line longer than this is cut there; more lines than this are dropped.
constexpr size_t contents_longest_line = 1024;
constexpr size_t contents_most_entries = 100000;

// The tree of the file's bytes; whatever is not a line of the format
// (binary junk, a level out of range) is skipped.
ContentsTree read_contents_tree(const uint8_t* bytes, size_t size);

// Writes ctx.contents_file, unchanged, as the output NAME.cnt.
void write_contents_copy(DecompileContext& ctx);
// The name the copy is written under, "NAME.cnt".
std::string contents_copy_name(const DecompileContext& ctx);
