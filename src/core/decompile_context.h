// The whole state of one decompile. The decompiler keeps no other mutable
// state: every routine receives the context it works for.
#pragma once

#include <cstdint>

#include "core/btree_walk.h"
#include "core/font_descriptor.h"
#include "core/internal_file.h"
#include "core/memory_file.h"
#include "core/tracked_allocator.h"

constexpr int lz77_window_size = 4096;
constexpr int context_scratch_size = 4096;

struct BrowseChain;
struct BrowseIndex;
struct BrowseStart;
struct ContextEntry;
struct ContextName;
struct ContextNameSlot;
struct GroupEntry;
struct KeywordOccurrence;
struct KeywordReference;
struct KeywordSource;
struct TopicOffsetAlias;

struct DecompileContext {
    // Front end and driver.
    char help_file_name[256];  // file name without folder, for the closing notes
    char base_name[256];      // help file name without folder and extension
    bool mediaview;           // a .mvb file: MediaView variants of the outputs
    bool had_problems;        // something could not be reproduced faithfully
    bool missing_bitmap;      // a referenced bitmap was not found
    bool map_undefined;       // a mapped context id names no topic
    bool guess_context_ids;   // context-id guessing allowed
    bool salvage;             // damage local to one part loses that part, not the decompile
    bool html;                // also write the browsable HTML edition
    bool htmlhelp;            // and an HTML Help project beside its pages
    uint64_t html_limit;      // bytes the edition's pages may hold; 0: 1 GiB
    char compiler_name[13];   // help compiler to rebuild with, empty if unknown
    int32_t window_state;     // per-topic window table: -1 unread, 0 none, 1 loaded
    // The author's contents file (NAME.cnt) found beside the help file, its
    // bytes as read; null when there is none.
    uint8_t* contents_file;  // tracked
    int32_t contents_file_size;

    // Format of the help file, from its |SYSTEM file.
    uint16_t system_minor;
    uint16_t system_flags;
    bool system_header_guessed;  // salvage: the header was damaged, minor and flags guessed
    bool old_format;
    bool topics_compressed;
    bool minor_above_21;
    bool minor_27;
    bool winhelp4;
    int32_t block_size;
    int32_t decompress_size;
    char help_title[81];
    char** window_names;  // tracked; an empty entry answers "main"
    int32_t window_count;
    bool keyword_file_letters[256];   // both |cWDATA and |cWBTREE exist
    bool keyword_index_letters[256];  // MediaView keyword indexes
    uint16_t language_id;             // LCID of the help file, 0 when not stated
    bool default_charset_known;       // the default font names a character set
    uint8_t default_charset;
    uint8_t* font_charsets;           // tracked; the character set of each font name
    int32_t font_charset_count;
    int32_t group_count;
    GroupEntry* groups;  // tracked, group_count entries
    char** fulltext_files;  // word-list files already extracted
    int32_t fulltext_count;

    // Context ids: the |CONTEXT table sorted by topic offset, or the old
    // format's topic map, and every context string learned so far.
    ContextEntry* contexts;  // tracked
    // Salvage: |TTLBTREE's topic offsets with a hash of each title, in
    // offset order, to find a topic's offset again after dropped records
    // (tracked; null when not loaded).
    struct TitleOffset {
        int32_t offset;
        uint32_t title_hash;
    };
    TitleOffset* title_offsets;
    int32_t title_offset_count;
    // The table cut into equal spans of topic offsets: bucket b starts at
    // entry context_topic_buckets[b] (see first_context_of_topic).
    int32_t* context_topic_buckets;  // tracked, bucket count + 1 entries; null: search the table
    int32_t context_topic_bucket_count;
    int32_t context_topic_shift;
    // 1 where the |CONTEXT entry's hash is known to have a name (names are
    // never taken back); made by the first derivation.
    uint8_t* context_named;  // tracked, context_count entries
    int32_t context_count;
    int32_t* topic_map;  // tracked
    int32_t topic_map_count;
    TopicOffsetAlias* topic_aliases;  // tracked; filled by the first pass
    int32_t topic_alias_count;
    ContextName* context_names;  // tracked, sorted by hash (signed)
    int32_t context_name_count;
    int32_t context_name_capacity;  // entries allocated
    // The names' texts, back to back in tracked chunks, so that the second
    // pass, which reads them in topic order, finds them close together.
    char* context_name_chunk;
    long context_name_chunk_left;
    int32_t derived_count;
    char synthetic_name[15];
    char topic_number_name[24];
    char scratch[context_scratch_size];

    // Phrase compression; the phrase count is non-zero when a table was loaded.
    uint32_t phrase_count;
    bool packed_phrases;
    uint32_t* phrase_offsets;  // tracked, phrase_count + 1 entries
    char* phrase_texts;        // tracked, all phrases back to back
    uint32_t phrase_text_room; // bytes allocated for them (0: no slack known)
    // For the packed scheme, what each first byte of a code adds to the text
    // and how many bytes follow it (see phrase_expanded_length).
    bool packed_code_table;
    int64_t packed_code_adds[256];
    uint8_t packed_code_skips[256];
    // The text of a one-byte code that expansion may copy as one fixed-size
    // move (null: take the code the long way).
    const char* packed_code_texts[256];
    uint32_t phrase_bit_mask;  // reader of the packed length table
    uint32_t phrase_bit_word;
    // Salvage: one flag a phrase, set where damage left the phrase's text
    // untrustworthy (the texts hold a mark instead); null when all are sound.
    uint8_t* phrase_untrusted;
    int64_t untrusted_phrase_records;  // topic records that used such a phrase

    // The |TOPIC reader: one expanded block cached.
    int32_t topic_file_size;
    long topic_data_start;  // 0 until the first read
    int32_t cached_block;
    int32_t block_valid;
    uint32_t next_position;
    uint8_t block_buffer[16384];
    // The cached block's bytes: block_buffer, or a kept expansion read in
    // place (block_valid bytes either way).
    const uint8_t* block_data;
    // Stored (phrase-compressed) text parts are read here before expansion;
    // tracked, only grows, so records do not each allocate.
    uint8_t* packed_text;
    long packed_text_capacity;
    // Compressed blocks as the first pass expanded them, so the second pass
    // copies instead of expanding again (see load_block).
    struct KeptBlock {
        uint8_t* bytes;  // tracked; null until kept
        int32_t length;
        long file_position;  // where the expansion left the file
        // After a mend: 1 for each byte that copies garbled ones (tracked;
        // null when none does).
        uint8_t* doubt;
    };
    KeptBlock* kept_blocks;  // tracked, kept_block_count entries
    int32_t kept_block_count;

    // Fonts and colours of the topic file.
    FontDescriptor* fonts;  // tracked
    int32_t font_count;
    char* font_faces;  // tracked; the |FONT face names, font_face_size bytes each
    int32_t font_face_count;
    uint8_t default_font;
    // Titles and keywords are in the text's code page, but a footnote's
    // \plain gives the default font, whose character set readers take for
    // them: where that set is another, footnotes name a font of the text's.
    bool footnotes_name_font;
    uint8_t footnote_font;
    int32_t scale_multiplier;  // measurements are v * multiplier - subtrahend twips
    int32_t scale_subtrahend;
    uint8_t colours[256][3];
    int32_t colour_count;
    bool colour_table_overflow;  // warned that colours were merged
    bool double_byte_text;       // the topic text's code page has two-byte characters
    CharacterAttributes attributes;  // character formatting in effect

    // Browse sequences: open chains, the start records of the first pass,
    // and the number of sequences (next_browse_number - 1 after it).
    BrowseChain* browse_chains;  // tracked
    int32_t browse_chain_count;
    BrowseStart* browse_starts;  // tracked
    int32_t browse_start_count;
    int32_t next_browse_number;
    int32_t browse_count;
    BrowseIndex* browse_index;  // tracked; finds open chains and free slots

    // Keyword references of the topics in [lower, upper) topic offsets,
    // and the window map of |VIOLA (window_state above).
    KeywordReference* keyword_window;  // tracked, 16384 entries once allocated
    int32_t keyword_count;
    int32_t keyword_cursor;
    int32_t keyword_upper_bound;
    int32_t misplaced_references;  // salvage: index references to places where no text starts
    BTreeWalk viola_walk;
    uint8_t* viola_entries;  // tracked, one leaf page of 8-byte entries
    int32_t viola_count;
    int32_t viola_cursor;

    // Picture kind flags by picture number (0: none exported).
    uint8_t* picture_table;  // tracked
    int32_t picture_table_size;
    char picture_name[32];

    // Jump checks: the |CONTEXT table's hashes in ascending order, built on
    // the first check, so each one is a binary search.
    // The context ids' hashes as a set: open addressing over a power of two
    // of slots, 0 marking a free slot (a hash of 0 is noted apart).
    uint32_t* jump_target_hashes;  // tracked, jump_target_capacity slots
    int32_t jump_target_capacity;
    bool jump_target_zero;

    // Keyword window: references at the next collection's lower bound that
    // earlier windows wrote already, when one topic has more references than
    // a window holds (0 otherwise).
    int64_t keyword_resume_skip;

    // Scaling with the size of the help file: the structures that keep the
    // work per topic, keyword and picture constant.
    // - Every reference of the keyword indexes, read once at the first
    //   collection, and the keywords they name (all tracked); while a
    //   collection runs, the window is a heap of occurrences, each packed
    //   with its topic offset (keyword_arrival, as many entries as the
    //   window).
    bool keyword_table_loaded;
    KeywordOccurrence* keyword_occurrences;
    int64_t keyword_occurrence_count;
    int64_t keyword_occurrence_capacity;
    KeywordSource* keyword_sources;
    int64_t keyword_source_count;
    int64_t keyword_source_capacity;
    char* keyword_texts;
    int64_t keyword_text_size;
    int64_t keyword_text_capacity;
    uint64_t* keyword_arrival;
    //   From the second collection on, every occurrence packed the same
    //   way, in ascending order (tracked, keyword_occurrence_count entries).
    uint64_t* keyword_sorted;
    // - The context name table during a pass that adds many names: entries
    //   from context_names_sorted on are not in order yet and are found
    //   through this index of their hashes and positions (tracked, position
    //   -1 for a free slot).
    int32_t context_names_sorted;
    ContextNameSlot* context_batch_index;
    int32_t context_batch_capacity;
    // - An index of the sorted entries' positions by hash for lookups
    //   (tracked; made by a batch, dropped by an insertion outside one).
    ContextNameSlot* context_lookup_index;
    int32_t context_lookup_capacity;
    // - Every picture number below this one is taken (set by the first pass).
    int32_t picture_free_hint;
    // - The browse start records' indexes sorted by start topic, for the
    //   second pass (tracked, browse_start_order_count entries: the records
    //   there were when it was made).
    int32_t* browse_start_order;
    int32_t browse_start_order_count;

    // Salvage: the losses noted so far (one text file, never listed) and the
    // topic counts of the report's summary line.
    OutputList damage_log;
    int32_t topics_total;
    int32_t topics_whole;
    // The internal files in name order, read on the first lookup with
    // salvage on (directory_state: 0 unread, 1 read, 2 rebuilt in part or
    // whole from the internal-file headers).
    InternalFileEntry* internal_files;  // tracked
    int32_t internal_file_count;
    int32_t directory_state;
    int32_t renumbered_pictures;  // pictures found without their names

    uint8_t lz77_window[lz77_window_size];
    OutputList outputs;
    TrackedAllocator allocations;
};

// Sets every field to its initial value.
void context_init(DecompileContext& ctx);
// Frees every tracked block and every output file.
void context_release(DecompileContext& ctx);
