// The first pass over all topics: context names, macro checks, browse
// chains, topic offset aliases and the pictures embedded in topic text.
#pragma once

#include <cstdio>

struct DecompileContext;
struct TopicWalk;

void first_pass(DecompileContext& ctx, std::FILE* file);
// Salvage's check of a text record's head part, the same in both passes:
// false when reading it would meet a fatal code (a damaged record).
bool topic_record_sound(DecompileContext& ctx, const TopicWalk& walk);
