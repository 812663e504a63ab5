// The |SYSTEM file: format flags every later step relies on, the record
// iteration, and the [OPTIONS] section with the sections that follow it.
#pragma once

#include <cstdint>
#include <cstdio>

struct DecompileContext;
struct MemoryFile;

// One record of |SYSTEM; the same object is reused (and grown) from record
// to record. data holds length bytes and one NUL, so string records can be
// used in place.
struct SystemRecord {
    std::FILE* file;
    long next_position;  // stream position of the next record
    long bytes_left;     // bytes of |SYSTEM not yet consumed
    uint16_t type;
    uint16_t length;
    long capacity;       // bytes allocated for data
    uint8_t* data;
};

// A MediaView group: its 40-byte header (group type 0 when its internal
// file is missing), its name, and for group type 2 its membership bitmap.
struct GroupEntry {
    uint8_t header[40];
    char* name;       // tracked
    uint8_t* bitmap;  // tracked, or null
};

inline const char* system_record_text(const SystemRecord* record) {
    return reinterpret_cast<const char*>(record->data);
}

// Reads the header and the records that set the format fields of the
// context. Fatal when there is no |SYSTEM.
void load_system_file(DecompileContext& ctx, std::FILE* file);

// The first record, or null (old format, no records, a record cut short).
SystemRecord* system_record_first(DecompileContext& ctx, std::FILE* file);
// The next record in the same object, or null at the end (the object is freed).
SystemRecord* system_record_next(DecompileContext& ctx, SystemRecord* record);

// The window's name by number, or "main" for none.
const char* window_name(const DecompileContext& ctx, int number);

// Sets compiler_name, writes [OPTIONS] and the record-driven sections, and
// extracts the icon.
void write_project_options(DecompileContext& ctx, std::FILE* file, MemoryFile* project, const char* icon_name);
// [BAGGAGE] with every user file extracted.
void write_baggage(DecompileContext& ctx, std::FILE* file, MemoryFile* project);
