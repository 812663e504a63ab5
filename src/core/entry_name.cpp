#include "core/entry_name.h"

#include <cstring>

void make_safe_entry_name(char* name) {
    for (char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') *p = '_';
    }
    // An empty name would list an entry without a name, which hosts and
    // the command-line tool cannot write.
    if (name[0] == '\0') std::strcpy(name, "_");
    if (std::strcmp(name, ".") == 0) name[0] = '_';
    if (std::strcmp(name, "..") == 0) name[0] = name[1] = '_';
}
