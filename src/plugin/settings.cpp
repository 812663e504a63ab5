#include "plugin/settings.h"

#include <cctype>
#include <cstdio>
#include <cstring>

#include "hlpunpack/wcx.h"
#include "platform/platform.h"

namespace {

struct SettingsState {
    platform::Mutex* mutex;
    bool loaded;
    PluginSettings value;
};

SettingsState state;

bool same_word(const char* a, size_t n, const char* word) {
    if (std::strlen(word) != n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != word[i]) return false;
    return true;
}

void trim(const char*& begin, const char*& end) {
    while (begin < end && std::isspace(static_cast<unsigned char>(*begin))) ++begin;
    while (end > begin && std::isspace(static_cast<unsigned char>(end[-1]))) --end;
}

// hlpunpack.ini beside the module; all off when there is none.
PluginSettings read_settings_file() {
    PluginSettings settings{};
    char16_t path[1024];
    if (!platform::module_path(path, sizeof path / sizeof path[0])) return settings;
    size_t folder_end = 0;
    for (size_t i = 0; path[i]; ++i)
        if (path[i] == u'/' || path[i] == u'\\') folder_end = i + 1;
    static const char16_t name[] = u"hlpunpack.ini";
    if (folder_end + sizeof name / sizeof name[0] > sizeof path / sizeof path[0]) return settings;
    for (size_t i = 0; i < sizeof name / sizeof name[0]; ++i) path[folder_end + i] = name[i];
    std::FILE* file = platform::open_for_reading(path);
    if (file == nullptr) return settings;
    // A settings file is a few lines; more is not ours to read.
    char text[8192];
    size_t length = std::fread(text, 1, sizeof text, file);
    std::fclose(file);
    return parse_settings(text, length);
}

}  // namespace

PluginSettings parse_settings(const char* text, size_t length) {
    PluginSettings settings{};
    bool in_section = false;
    const char* end = text + length;
    for (const char* line = text; line < end;) {
        const char* line_end = static_cast<const char*>(std::memchr(line, '\n', static_cast<size_t>(end - line)));
        if (line_end == nullptr) line_end = end;
        const char* b = line;
        const char* e = line_end;
        trim(b, e);
        if (b < e && *b == '[') {
            const char* close = static_cast<const char*>(std::memchr(b, ']', static_cast<size_t>(e - b)));
            in_section = close != nullptr && same_word(b + 1, static_cast<size_t>(close - b - 1), "hlpunpack");
        } else if (in_section && b < e && *b != ';' && *b != '#') {
            const char* equals = static_cast<const char*>(std::memchr(b, '=', static_cast<size_t>(e - b)));
            if (equals != nullptr) {
                const char* key_end = equals;
                const char* value = equals + 1;
                const char* key = b;
                trim(key, key_end);
                trim(value, e);
                const bool on = e - value == 1 && *value == '1';
                if (same_word(key, static_cast<size_t>(key_end - key), "salvage")) settings.salvage = on;
                else if (same_word(key, static_cast<size_t>(key_end - key), "html")) settings.html = on;
                else if (same_word(key, static_cast<size_t>(key_end - key), "htmlhelp")) settings.htmlhelp = on;
            }
        }
        line = line_end + 1;
    }
    return settings;
}

int settings_flags(PluginSettings settings) {
    return (settings.salvage ? HLPUNPACK_SALVAGE : 0) | (settings.html ? HLPUNPACK_HTML : 0) |
           (settings.htmlhelp ? HLPUNPACK_HTMLHELP : 0);
}

void settings_startup() {
    state.mutex = platform::mutex_create();
    state.loaded = false;
    state.value = PluginSettings{};
}

void settings_shutdown() {
    if (state.mutex) platform::mutex_close(state.mutex);
    state.mutex = nullptr;
}

PluginSettings plugin_settings() {
    if (state.mutex) platform::mutex_wait(state.mutex);
    if (!state.loaded) {
        state.value = read_settings_file();
        state.loaded = true;
    }
    PluginSettings settings = state.value;
    if (state.mutex) platform::mutex_release(state.mutex);
    return settings;
}

void plugin_settings_override(PluginSettings settings) {
    if (state.mutex) platform::mutex_wait(state.mutex);
    state.value = settings;
    state.loaded = true;
    if (state.mutex) platform::mutex_release(state.mutex);
}
