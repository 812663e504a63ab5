// Help files with topic text and phrase tables, opened for the readers.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "helpfile_fixture.h"
#include "phrase_builder.h"
#include "topics/topic_reader.h"

// The format fields that a |SYSTEM header of this minor version and flags
// word sets.
void set_topic_format(DecompileContext& ctx, uint16_t minor, uint16_t flags);

// A context and an open help file made of the given internal files.
struct OpenHelp {
    ContextHolder holder;
    DecompileContext& ctx;
    OpenBytes bytes;
    std::FILE* file;
    OpenHelp(std::vector<hlptest::InternalFile> files, uint16_t minor, uint16_t flags);
};

// Loads the phrase table and answers what it printed to stderr.
std::string load_phrase_table(DecompileContext& ctx, std::FILE* file);

// Positions the stream at |TOPIC and notes its size, as a walk does before
// its first read.
void open_topic(DecompileContext& ctx, std::FILE* file);

// Reads count bytes at a topic position.
hlptest::Bytes read_at(DecompileContext& ctx, std::FILE* file, uint32_t position, long count);

struct WalkedRecord {
    uint32_t position;
    TopicLink link;
    uint32_t next_position;
    hlptest::Bytes head;
    bool has_text;
    std::string text;  // text_size bytes, the terminating NUL checked
};

// Every record the walk delivers, in order.
std::vector<WalkedRecord> walk_all(DecompileContext& ctx, std::FILE* file);
