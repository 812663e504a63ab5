#include "project/contents_file.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "core/decompile_context.h"
#include "core/memory_file.h"

namespace {

bool starts_with_command(std::string_view line, const char* command) {
    const size_t n = std::strlen(command);
    if (line.size() < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(line[i])) != command[i]) return false;
    return line.size() == n || line[n] == ' ' || line[n] == '\t';
}

std::string trimmed(std::string_view text) {
    size_t start = 0, end = text.size();
    while (start < end && (text[start] == ' ' || text[start] == '\t')) ++start;
    while (end > start && (text[end - 1] == ' ' || text[end - 1] == '\t')) --end;
    return std::string(text.substr(start, end - start));
}

// "context@file>window" into its parts; the file and window may come in
// either order, each running to the other's mark or the end.
void split_target(const std::string& target, ContentsEntry& entry) {
    const size_t file = target.find('@'), window = target.find('>');
    auto part = [&](size_t mark, size_t other) {
        if (mark == std::string::npos) return std::string();
        const size_t end = other != std::string::npos && other > mark ? other : target.size();
        return trimmed(std::string_view(target).substr(mark + 1, end - mark - 1));
    };
    entry.file = part(file, window);
    entry.window = part(window, file);
    entry.context = trimmed(std::string_view(target).substr(0, std::min(file, window)));
}

// "N text" or "N text=target"; false for anything else.
bool read_entry(std::string_view line, ContentsEntry& entry) {
    size_t at = 0;
    int level = 0;
    while (at < line.size() && at < 3 && std::isdigit(static_cast<unsigned char>(line[at])))
        level = level * 10 + (line[at++] - '0');
    if (at == 0 || level < 1 || (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at]))))
        return false;
    entry.level = level > contents_deepest_level ? contents_deepest_level : level;
    const std::string_view rest = line.substr(at);
    const size_t equals = rest.rfind('=');
    entry.heading = equals == std::string_view::npos;
    entry.text = trimmed(entry.heading ? rest : rest.substr(0, equals));
    if (!entry.heading) split_target(std::string(rest.substr(equals + 1)), entry);
    return !entry.text.empty() || !entry.heading;
}

// The commands the tree does not follow, shown as text where they stand.
bool read_shown_command(std::string_view line, int level, ContentsEntry& entry) {
    if (!starts_with_command(line, ":include") && !starts_with_command(line, ":link")) return false;
    entry = ContentsEntry{level, false, trimmed(line), {}, {}, {}};
    return true;
}

void read_line(std::string_view line, ContentsTree& tree) {
    if (starts_with_command(line, ":base")) {
        tree.base = trimmed(line.substr(5));
        return;
    }
    if (starts_with_command(line, ":title")) {
        tree.title = trimmed(line.substr(6));
        return;
    }
    // Where a shown command stands: under the last heading.
    int level = 1;
    if (!tree.entries.empty()) {
        const ContentsEntry& last = tree.entries.back();
        level = last.heading && last.level < contents_deepest_level ? last.level + 1 : last.level;
    }
    ContentsEntry entry{};
    if (read_shown_command(line, level, entry) || read_entry(line, entry)) tree.entries.push_back(std::move(entry));
}

}  // namespace

ContentsTree read_contents_tree(const uint8_t* bytes, size_t size) {
    ContentsTree tree;
    std::string line;
    for (size_t at = 0; at <= size && tree.entries.size() < contents_most_entries; ++at) {
        const char c = at < size ? static_cast<char>(bytes[at]) : '\n';
        if (c == '\n') {
            read_line(line, tree);
            line.clear();
        } else if (static_cast<unsigned char>(c) >= 0x20 || c == '\t') {
            // Control bytes are no part of a line's text.
            if (line.size() < contents_longest_line) line += c;
        }
    }
    return tree;
}

std::string contents_copy_name(const DecompileContext& ctx) { return std::string(ctx.base_name) + ".cnt"; }

void write_contents_copy(DecompileContext& ctx) {
    if (ctx.contents_file == nullptr || ctx.mediaview) return;
    MemoryFile* copy = output_open(contents_copy_name(ctx).c_str(), "wb");
    output_add(ctx.outputs, copy);
    output_write(ctx.contents_file, 1, static_cast<size_t>(ctx.contents_file_size), copy);
}
