#include "plugin_loader.h"

#if defined(_WIN32)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <dlfcn.h>
#endif

#include "host_support.h"

namespace wcxhost {

namespace {

void* find_export(void* library, const char* name) {
#if defined(_WIN32)
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
#else
    return dlsym(library, name);
#endif
}

template <class Function>
void resolve(void* library, const char* name, Function& function, std::string& missing) {
    function = reinterpret_cast<Function>(find_export(library, name));
    if (function == nullptr) missing += std::string(missing.empty() ? "" : ", ") + name;
}

}  // namespace

void* library_open(const std::u16string& path) {
#if defined(_WIN32)
    std::wstring wide(path.begin(), path.end());
    return static_cast<void*>(LoadLibraryW(wide.c_str()));
#else
    return dlopen(to_utf8(path).c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
}

void library_close(void* library) {
#if defined(_WIN32)
    FreeLibrary(static_cast<HMODULE>(library));
#else
    dlclose(library);
#endif
}

bool plugin_load(Plugin& plugin, const std::u16string& path, std::string& error) {
    plugin = Plugin{};
    plugin.library = library_open(path);
    if (plugin.library == nullptr) {
#if defined(_WIN32)
        error = "LoadLibraryW failed with error " + std::to_string(GetLastError());
#else
        error = dlerror();
#endif
        return false;
    }
    std::string missing;
    void* lib = plugin.library;
    resolve(lib, "OpenArchiveW", plugin.open_archive_w, missing);
    resolve(lib, "ReadHeaderExW", plugin.read_header_ex_w, missing);
    resolve(lib, "ProcessFileW", plugin.process_file_w, missing);
    resolve(lib, "CloseArchive", plugin.close_archive, missing);
    resolve(lib, "SetProcessDataProcW", plugin.set_process_data_proc_w, missing);
    resolve(lib, "SetProcessDataProc", plugin.set_process_data_proc, missing);
    resolve(lib, "SetChangeVolProc", plugin.set_change_vol_proc, missing);
    resolve(lib, "SetChangeVolProcW", plugin.set_change_vol_proc_w, missing);
    resolve(lib, "OpenArchive", plugin.open_archive, missing);
    resolve(lib, "ReadHeader", plugin.read_header, missing);
    resolve(lib, "ProcessFile", plugin.process_file, missing);
    resolve(lib, "GetPackerCaps", plugin.get_packer_caps, missing);
    resolve(lib, "GetBackgroundFlags", plugin.get_background_flags, missing);
    if (!missing.empty()) {
        error = "exports not found: " + missing;
        plugin_unload(plugin);
        return false;
    }
    return true;
}

void plugin_unload(Plugin& plugin) {
    if (plugin.library != nullptr) library_close(plugin.library);
    plugin = Plugin{};
}

}  // namespace wcxhost
