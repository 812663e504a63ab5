// Loads a packer plug-in the way a file manager does: the library by its
// path (LoadLibraryW on Windows, dlopen elsewhere) and each export by name.
#pragma once

#include <string>

#include "hlpunpack/wcx.h"

namespace wcxhost {

struct Plugin {
    void* library = nullptr;
    WCX_HANDLE(WCX_API* open_archive_w)(tOpenArchiveDataW*) = nullptr;
    int(WCX_API* read_header_ex_w)(WCX_HANDLE, tHeaderDataExW*) = nullptr;
    int(WCX_API* process_file_w)(WCX_HANDLE, int, WCX_WCHAR*, WCX_WCHAR*) = nullptr;
    int(WCX_API* close_archive)(WCX_HANDLE) = nullptr;
    void(WCX_API* set_process_data_proc_w)(WCX_HANDLE, tProcessDataProcW) = nullptr;
    void(WCX_API* set_process_data_proc)(WCX_HANDLE, tProcessDataProc) = nullptr;
    void(WCX_API* set_change_vol_proc)(WCX_HANDLE, tChangeVolProc) = nullptr;
    void(WCX_API* set_change_vol_proc_w)(WCX_HANDLE, tChangeVolProcW) = nullptr;
    WCX_HANDLE(WCX_API* open_archive)(tOpenArchiveData*) = nullptr;
    int(WCX_API* read_header)(WCX_HANDLE, tHeaderData*) = nullptr;
    int(WCX_API* process_file)(WCX_HANDLE, int, char*, char*) = nullptr;
    int(WCX_API* get_packer_caps)() = nullptr;
    int(WCX_API* get_background_flags)() = nullptr;
};

// Loads the library and resolves all thirteen exports; on failure the
// library is unloaded again and `error` says what was missing.
bool plugin_load(Plugin& plugin, const std::u16string& path, std::string& error);
void plugin_unload(Plugin& plugin);

// The bare library calls, for libraries other than the plug-in.
void* library_open(const std::u16string& path);
void library_close(void* library);

}  // namespace wcxhost
