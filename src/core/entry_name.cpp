#include "core/entry_name.h"

#include <cstring>

#include "platform/device_names.h"

void make_safe_entry_name(char* name, size_t capacity) {
    for (char* p = name; *p; ++p) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c < 0x20 || c == 0x7F || c == '/' || c == '\\' || c == ':') *p = '_';
    }
    // An empty name would list an entry without a name, which hosts and
    // the command-line tool cannot write.
    if (name[0] == '\0') std::strcpy(name, "_");
    if (std::strcmp(name, ".") == 0) name[0] = '_';
    if (std::strcmp(name, "..") == 0) name[0] = name[1] = '_';
    if (!platform::is_device_name(name)) return;
    const size_t length = std::strlen(name);
    if (length + 2 > capacity) {
        name[0] = '_';
        return;
    }
    std::memmove(name + 1, name, length + 1);
    name[0] = '_';
}
