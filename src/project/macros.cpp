// Macro strings: checked for well-formedness, and mined for the context
// strings that the arguments of known macros name.
#include "project/macros.h"

#include <cstdio>
#include <cstring>

#include "core/decompile_context.h"
#include "project/context_hash.h"

namespace {

// Name, '(' and one letter per argument: s string, m macro string,
// c context string, t context string with an optional "@file", f help file
// with an optional ">window", x context number, h context hash. Where a
// name has two entries the shorter comes first.
constexpr const char* macro_table[] = {
    "AddAccelerator(ssm", "AA(ssm",         "AppendItem(sssm",   "AI(sssm",
    "AL(ssts",            "ChangeButtonBinding(sm", "CBB(sm",    "CB(ssm",
    "CE(sm",              "ChangeItemBinding(sm",   "CIB(sm",    "ExtInsertItem(sssmss",
    "IfThen(mm",          "IT(mm",          "IfThenElse(mmm",    "IE(mmm",
    "ExecFile(sssm",      "EF(sssm",        "InsertItem(sssms",  "II(sssms",
    "JumpContext(x",      "JC(x",           "JumpContext(fx",    "JC(fx",
    "JumpHash(h",         "JH(h",           "JumpHash(fh",       "JH(fh",
    "JumpId(c",           "JI(c",           "JumpId(fc",         "JI(fc",
    "KL(ssts",            "MPrintID(c",     "Not(m",             "PopupId(c",
    "PI(c",               "PopupId(fc",     "PI(fc",             "PopupContext(x",
    "PC(x",               "PopupContext(fx", "PC(fx",            "PopupHash(h",
    "PopupHash(fh",       "SetContents(fx", "SE(sssssc",         "SH(sssst",
    "UpdateWindow(fc",    "UW(fc",
};
static_assert(sizeof macro_table / sizeof macro_table[0] == 50);

constexpr int argument_limit = 16;
// Macro strings inside macro strings are checked this deep; deeper ones are
// taken as they stand, so a hostile nesting cannot exhaust the stack.
constexpr int nesting_limit = 32;
// Quotes and brackets nested deeper than this count as never closed.
constexpr int quote_nesting_limit = 256;

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_name_character(char c) { return is_letter(c) || (c >= '0' && c <= '9') || c == '_'; }

char* skip_spaces(char* p) {
    while (*p == ' ') ++p;
    return p;
}

char closing_of(char c) {
    switch (c) {
    case '"': return '"';
    case '(': return ')';
    case '`': return '\'';
    default: return '\0';
    }
}

bool same_name(const char* a, const char* b, size_t length) {
    auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    for (size_t i = 0; i < length; ++i)
        if (fold(a[i]) != fold(b[i])) return false;
    return true;
}

// The argument letters of the first entry that fits the call, or null.
const char* find_macro(const char* name, size_t length, int argument_count) {
    for (const char* entry : macro_table) {
        const char* open = std::strchr(entry, '(');
        if (static_cast<size_t>(open - entry) != length || !same_name(entry, name, length)) continue;
        if (std::strlen(open + 1) >= static_cast<size_t>(argument_count)) return open + 1;
    }
    return nullptr;
}

void remove_escapes(char* text) {
    char* out = text;
    for (const char* in = text; *in; ++in) {
        if (*in == '\\' && in[1] != '\0') ++in;
        *out++ = *in;
    }
    *out = '\0';
}

char* trim_spaces(char* text) {
    text = skip_spaces(text);
    size_t length = std::strlen(text);
    while (length > 0 && text[length - 1] == ' ') text[--length] = '\0';
    return text;
}

void register_name(DecompileContext& ctx, const char* name) {
    // An empty argument names nothing; recorded, it would answer "" for the
    // hash 1 that real names such as "1" have.
    if (*name != '\0') add_context_name(ctx, name, false);
}

bool scan_at_depth(DecompileContext& ctx, char* p, int depth);

void examine_arguments(DecompileContext& ctx, const char* letters, char** arguments, int count, int depth) {
    for (int i = 0; i < count; ++i) remove_escapes(arguments[i]);
    for (int i = 0; i < count; ++i) {
        switch (letters[i]) {
        case 'm':
            if (depth < nesting_limit) scan_at_depth(ctx, arguments[i], depth + 1);
            break;
        case 'c':
            register_name(ctx, trim_spaces(arguments[i]));
            break;
        case 't':
            if (std::strchr(arguments[i], '@') == nullptr) register_name(ctx, arguments[i]);
            break;
        case 'f': {
            // A window name means another help file: its context argument
            // is not one of ours.
            char next = letters[i + 1];
            bool takes_next = next == 'c' || next == 'x' || next == 'h';
            if (std::strchr(arguments[i], '>') != nullptr && takes_next && i + 1 < count) ++i;
            break;
        }
        default:
            break;
        }
    }
}

// Reads one argument list after its '('; false when it is badly formed.
// Arguments beyond the limit are counted but not kept.
bool scan_arguments(char*& p, char** arguments, int& count) {
    count = 0;
    for (;;) {
        p = skip_spaces(p);
        char* argument = nullptr;
        if (*p == '"' || *p == '`') {
            char* close = skip_quoted(p);
            if (*close == '\0') return false;
            *close = '\0';
            argument = p + 1;
            p = close + 1;
            while (*p == ' ' || *p == '\t') ++p;
        } else if (*p != ')' && *p != '\0') {
            argument = p;
            while (*p != '\0' && *p != ',' && *p != ')') {
                if (*p == '(' || *p == '"' || *p == '`') {
                    p = skip_quoted(p);
                    if (*p == '\0') return false;
                }
                ++p;
            }
        }
        if (argument != nullptr) {
            if (count < argument_limit) arguments[count] = argument;
            ++count;
        }
        if (*p == ',') {
            *p++ = '\0';
        } else if (*p == ')') {
            *p++ = '\0';
            return true;
        } else {
            return false;
        }
    }
}

bool scan_at_depth(DecompileContext& ctx, char* p, int depth) {
    for (;;) {
        p = skip_spaces(p);
        if (*p == '\0') return true;
        if (!is_letter(*p)) return false;
        const char* name = p;
        while (is_name_character(*p)) ++p;
        size_t name_length = static_cast<size_t>(p - name);
        p = skip_spaces(p);
        if (*p != '(') return false;
        ++p;
        char* arguments[argument_limit];
        int count = 0;
        if (!scan_arguments(p, arguments, count)) return false;
        // No entry has more letters than the limit, so a longer call is unknown.
        const char* letters = count <= argument_limit ? find_macro(name, name_length, count) : nullptr;
        if (letters != nullptr) examine_arguments(ctx, letters, arguments, count, depth);
        p = skip_spaces(p);
        if (*p != ':' && *p != ';') return true;
        ++p;
    }
}

}  // namespace

char* skip_quoted(char* p) {
    char closing[quote_nesting_limit];
    int depth = 0;
    closing[depth] = closing_of(*p);
    if (closing[depth] == '\0') return p;
    ++depth;
    for (++p; *p != '\0'; ++p) {
        if (*p == '\\' && p[1] != '\0') {
            ++p;
        } else if (*p == closing[depth - 1]) {
            if (--depth == 0) return p;
        } else if (char nested = closing_of(*p)) {
            if (depth == quote_nesting_limit) return p + std::strlen(p);
            closing[depth++] = nested;
        }
    }
    return p;
}

bool scan_macro(DecompileContext& ctx, char* macro) { return scan_at_depth(ctx, macro, 0); }

void check_macro(DecompileContext& ctx, const char* macro) {
    if (ctx.minor_27) return;
    char* copy = tracked_strdup(ctx, macro);
    if (!scan_macro(ctx, copy)) std::fprintf(stderr, "Bad macro: %s\n", macro);
    tracked_free(ctx, copy);
}
