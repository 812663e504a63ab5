// |SYSTEM: the format flags every later step relies on, and the walk over
// its records.
#include "project/system_file.h"

#include <cstring>

#include "core/damage.h"
#include "core/decompile_context.h"
#include "helpfile/byte_stream.h"
#include "helpfile/container.h"
#include "project/project_sections.h"

namespace {

constexpr long old_title_limit = 33;  // at most 32 characters
constexpr uint16_t window_has_name = 0x0002;

void clear_window_names(DecompileContext& ctx) {
    for (int32_t i = 0; i < ctx.window_count; ++i) tracked_free(ctx, ctx.window_names[i]);
    tracked_free(ctx, ctx.window_names);
    ctx.window_names = nullptr;
    ctx.window_count = 0;
}

// Capacity doubles at every power of two, so it follows from the count.
void append_window_name(DecompileContext& ctx, const char* name) {
    int32_t n = ctx.window_count;
    if ((n & (n - 1)) == 0) {
        long capacity = n ? 2L * n : 1;
        ctx.window_names = static_cast<char**>(tracked_realloc(ctx, ctx.window_names, capacity * long(sizeof(char*))));
    }
    ctx.window_names[n] = name ? tracked_strdup(ctx, name) : nullptr;
    ctx.window_count = n + 1;
}

void free_record(DecompileContext& ctx, SystemRecord* record) {
    tracked_free(ctx, record->data);
    tracked_free(ctx, record);
}

void set_format_fields(DecompileContext& ctx, const SystemHeader& header) {
    ctx.system_minor = header.minor;
    ctx.system_flags = header.flags;
    ctx.old_format = header.minor < 16;
    ctx.minor_above_21 = header.minor > 21;
    ctx.minor_27 = header.minor == 27;
    ctx.topics_compressed = header.minor >= 16 && (header.flags == 4 || header.flags == 8);
    ctx.winhelp4 = header.minor == 33 && !ctx.mediaview;
}

// One byte per font name: the character set the topic text in that font
// is written in.
void keep_font_charsets(DecompileContext& ctx, const SystemRecord* r) {
    if (ctx.font_charsets) tracked_free(ctx, ctx.font_charsets);
    ctx.font_charsets = nullptr;
    ctx.font_charset_count = r->length;
    if (r->length == 0) return;
    ctx.font_charsets = static_cast<uint8_t*>(tracked_malloc(ctx, r->length));
    std::memcpy(ctx.font_charsets, r->data, r->length);
}

void read_records(DecompileContext& ctx, std::FILE* file) {
    ctx.language_id = 0;
    ctx.default_charset_known = false;
    for (SystemRecord* r = system_record_first(ctx, file); r; r = system_record_next(ctx, r)) {
        switch (r->type) {
        case 1:
            bounded_copy(sizeof ctx.help_title, system_record_text(r), ctx.help_title);
            break;
        case 6:
            append_window_name(ctx, (record_byte(r, 0) & window_has_name) ? record_string(r, 12) : nullptr);
            break;
        case 9:
            if (!ctx.mediaview) ctx.language_id = static_cast<uint16_t>(record_short(r, 8));
            break;
        case 11:
            keep_font_charsets(ctx, r);
            break;
        case 12:
            if (!ctx.mediaview && r->length >= 2) {
                ctx.default_charset = record_byte(r, 1);
                ctx.default_charset_known = true;
            }
            break;
        case 14:
            ctx.keyword_index_letters[record_byte(r, 1)] = true;
            break;
        default:
            break;
        }
    }
}

void find_keyword_files(DecompileContext& ctx, std::FILE* file) {
    for (int c = 0x41; c <= 0x7A; ++c) {
        char data_name[16], tree_name[16];
        std::snprintf(data_name, sizeof data_name, "|%cWDATA", c);
        std::snprintf(tree_name, sizeof tree_name, "|%cWBTREE", c);
        if (find_internal_file(ctx, file, nullptr, data_name) && find_internal_file(ctx, file, nullptr, tree_name)) {
            ctx.keyword_file_letters[c] = true;
        }
    }
}

// The first record of |TOPIC follows its first block's 12-byte header.
// Stored as it is, its link to the record before it reads -1 at its byte 8;
// compressed, a control byte comes first and the link lies a byte later.
uint16_t guess_topic_compression(DecompileContext& ctx, std::FILE* file) {
    constexpr long block_header = 12, link_at = 8;
    long length = 0;
    uint8_t raw[block_header + link_at + 4];
    if (!find_internal_file(ctx, file, &length, "|TOPIC") || length < long(sizeof raw)) return 4;
    my_fread(sizeof raw, file, raw);
    return get_le32(raw + block_header + link_at) == 0xFFFFFFFFu ? 0 : 4;  // most files are compressed
}

// A |SYSTEM whose header is damaged names neither the version nor the
// compression. The version follows from internal files only some versions
// write (3.0 its |TOMAP; 4.0 its phrase index, |Petra, |TopicId, |VIOLA;
// 3.1 mostly |Phrases, where 4.0 mostly has no phrases or the index).
void guess_system_header(DecompileContext& ctx, std::FILE* file, SystemHeader& header) {
    const long at = std::ftell(file);
    auto has = [&](const char* name) { return find_internal_file(ctx, file, nullptr, name); };
    if (has("|TOMAP")) header.minor = 15;
    else if (has("|PhrIndex") || has("|Petra") || has("|TopicId") || has("|VIOLA") || !has("|Phrases"))
        header.minor = 33;
    else header.minor = 21;
    header.major = 1;
    header.flags = header.minor > 16 ? guess_topic_compression(ctx, file) : 0;
    ctx.system_minor = header.minor;
    ctx.system_flags = header.flags;
    ctx.system_header_guessed = true;
    std::fseek(file, at, SEEK_SET);
}

}  // namespace

bool read_system_header(DecompileContext& ctx, std::FILE* file, SystemHeader& header) {
    if (!find_internal_file(ctx, file, &header.length, "|SYSTEM")) return false;
    if (header.length < system_header_size) {
        fatal_error("my_fread(%ld) at %ld failed", system_header_size, std::ftell(file));
    }
    uint8_t raw[system_header_size];
    my_fread(system_header_size, file, raw);
    header.minor = get_le16(raw + 2);
    header.major = get_le16(raw + 4);
    header.flags = get_le16(raw + 10);
    header.damaged = get_le16(raw) != system_magic || header.major != 1;
    if (header.damaged && ctx.system_header_guessed) {
        header.minor = ctx.system_minor;
        header.major = 1;
        header.flags = ctx.system_flags;
    }
    return true;
}

void read_old_title(std::FILE* file, const SystemHeader& header, char* title, long size) {
    long available = header.length - system_header_size;
    long n = available < old_title_limit ? available : old_title_limit;
    char raw[old_title_limit];
    my_fread(n, file, raw);
    long length = 0;
    while (length < n && raw[length]) ++length;
    // The end of |SYSTEM ends an unterminated title.
    if (length == old_title_limit) fatal_message("String length exceeds decompiler limit.\n");
    raw[length] = '\0';
    bounded_copy(static_cast<size_t>(size), raw, title);
}

uint8_t record_byte(const SystemRecord* record, long offset) {
    return offset >= 0 && offset < record->length ? record->data[offset] : 0;
}

int16_t record_short(const SystemRecord* record, long offset) {
    return static_cast<int16_t>(record_byte(record, offset) | (record_byte(record, offset + 1) << 8));
}

uint32_t record_dword(const SystemRecord* record, long offset) {
    uint32_t value = 0;
    for (int i = 0; i < 4; ++i) value |= uint32_t(record_byte(record, offset + i)) << (8 * i);
    return value;
}

const char* record_string(const SystemRecord* record, long offset) {
    // The data always ends with a NUL past its length, which bounds the string.
    return offset >= 0 && offset < record->length ? system_record_text(record) + offset : "";
}

void load_system_file(DecompileContext& ctx, std::FILE* file) {
    SystemHeader header;
    if (!read_system_header(ctx, file, header)) fatal_message("Internal |SYSTEM file not found. Can't continue.\n");
    if (header.damaged) {
        damage_found(ctx, "|SYSTEM", 0, "its header is damaged: the version and the compression are guessed from the other internal files");
        guess_system_header(ctx, file, header);
    }
    set_format_fields(ctx, header);
    clear_window_names(ctx);
    if (ctx.old_format) {
        ctx.block_size = 2048;
        ctx.decompress_size = 2048;
        read_old_title(file, header, ctx.help_title, sizeof ctx.help_title);
    } else {
        ctx.decompress_size = 16384;
        ctx.block_size = header.flags == 8 ? 2048 : 4096;
        // Records read before a damaged one keep what they set.
        salvage_step(ctx, "|SYSTEM", "records from a damaged one on", [&] { read_records(ctx, file); });
    }
    salvage_step(ctx, "directory", "keyword index files", [&] { find_keyword_files(ctx, file); });
}

SystemRecord* system_record_first(DecompileContext& ctx, std::FILE* file) {
    SystemHeader header;
    if (!read_system_header(ctx, file, header)) return nullptr;
    if (header.major != 1 || header.minor < 16) return nullptr;
    SystemRecord* record = static_cast<SystemRecord*>(tracked_malloc(ctx, sizeof(SystemRecord)));
    std::memset(record, 0, sizeof *record);
    record->file = file;
    record->next_position = std::ftell(file);
    record->bytes_left = header.length - system_header_size;
    return system_record_next(ctx, record);
}

SystemRecord* system_record_next(DecompileContext& ctx, SystemRecord* record) {
    if (record->bytes_left < 4) {
        free_record(ctx, record);
        return nullptr;
    }
    std::fseek(record->file, record->next_position, SEEK_SET);
    uint8_t raw[4];
    my_fread(4, record->file, raw);
    record->bytes_left -= 4;
    uint16_t length = get_le16(raw + 2);
    // A record running past |SYSTEM ends the walk; those before it count.
    if (length > record->bytes_left) {
        free_record(ctx, record);
        return nullptr;
    }
    if (record->capacity < length + 1L) {
        record->data = static_cast<uint8_t*>(tracked_realloc(ctx, record->data, length + 1L));
        record->capacity = length + 1L;
    }
    record->type = get_le16(raw);
    record->length = length;
    my_fread(length, record->file, record->data);
    record->data[length] = 0;
    record->bytes_left -= length;
    record->next_position = std::ftell(record->file);
    return record;
}

const char* window_name(const DecompileContext& ctx, int number) {
    if (number < 0 || number >= ctx.window_count) return "main";
    const char* name = ctx.window_names[number];
    return name && *name ? name : "main";
}

long read_string_inside(std::FILE* file, long end, char* destination, long size) {
    long n = 0;
    for (long position = std::ftell(file); position < end; ++position) {
        int c = std::getc(file);
        if (c <= 0) break;
        if (n >= size - 1) fatal_message("String length exceeds decompiler limit.\n");
        destination[n++] = static_cast<char>(c);
    }
    if (size > 0) destination[n] = '\0';
    return n;
}
