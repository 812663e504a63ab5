// The packer plug-in exports. Only the wide-character set does work; the
// ANSI entry points answer that they are not supported.
#include <sys/stat.h>

#if defined(_WIN32) && defined(HLPUNPACK_DLL)
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#endif

#include <cstring>
#include <initializer_list>
#include <new>

#include "core/tracked_allocator.h"
#include "driver/decompile.h"
#include "hlpunpack/wcx.h"
#include "platform/platform.h"
#include "plugin/archive_session.h"
#include "plugin/contents_beside.h"
#include "plugin/output_cache.h"
#include "plugin/settings.h"

namespace {

size_t wide_length(const char16_t* text) {
    size_t n = 0;
    while (text[n]) ++n;
    return n;
}

// True when the run completed; every failure (a fatal error, an allocation
// failure or anything else thrown) counts as a failed run.
// The open's result: a damaged file, or a limit of ours (memory, output
// size), which is no fault of the file and is not reported as one.
int run_decompile(ArchiveSession* session) {
    try {
        load_contents_beside(session->context, session->path);
        return decompile_help_file(session->context, session->help_file) ? 0 : E_EOPEN;
    } catch (const FatalError& error) {
        return error.code == fatal_memory ? E_NO_MEMORY : error.code == fatal_too_large ? E_SMALL_BUF : E_EOPEN;
    } catch (const std::bad_alloc&) {
        return E_NO_MEMORY;
    } catch (...) {
        return E_EOPEN;
    }
}

bool is_host_placeholder(WCX_HANDLE handle) {
    return handle == nullptr || handle == reinterpret_cast<WCX_HANDLE>(static_cast<intptr_t>(-1));
}

}  // namespace

extern "C" {

WCX_HANDLE WCX_API OpenArchiveW(tOpenArchiveDataW* data) {
    if (data == nullptr) return nullptr;
    const char16_t* path = data->ArcName;
    // Paths that do not fit the session's buffer cannot be opened.
    if (path == nullptr || wide_length(path) >= session_path_units) {
        data->OpenResult = E_EOPEN;
        return nullptr;
    }
    int64_t unix_time = 0;
    uint32_t key = session_time_key(path, &unix_time);
    const PluginSettings settings = plugin_settings();
    const int options = settings_flags(settings);
    if (ArchiveSession* parked = cache_take(path, key, options)) return parked;

    ArchiveSession* session = session_create();
    if (session == nullptr) {
        data->OpenResult = E_NO_MEMORY;
        return nullptr;
    }
    session->help_file = platform::open_for_reading(path);
    if (session->help_file == nullptr) {
        session_free(session);
        data->OpenResult = E_EOPEN;
        return nullptr;
    }
    std::memcpy(session->path, path, (wide_length(path) + 1) * sizeof(char16_t));
    session->dos_date_time = key;
    session->options = options;
    session->unix_time = unix_time;
    session->open_mode = data->OpenMode;
    session->process_data_proc = nullptr;
    DecompileContext& ctx = session->context;
    ctx.mediaview = path_is_mediaview(path);
    ctx.salvage = settings.salvage;
    ctx.html = settings.html || settings.htmlhelp;
    ctx.htmlhelp = settings.htmlhelp;
    path_file_name(path, ctx.help_file_name, sizeof ctx.help_file_name);
    path_base_name(path, ctx.base_name, sizeof ctx.base_name);

    const int result = run_decompile(session);
    std::fclose(session->help_file);
    session->help_file = nullptr;
    if (result != 0) {
        session_free(session);
        data->OpenResult = result;
        return nullptr;
    }
    return session;
}

int WCX_API ReadHeaderExW(WCX_HANDLE handle, tHeaderDataExW* header) {
    ArchiveSession* session = static_cast<ArchiveSession*>(handle);
    if (session == nullptr || header == nullptr) return E_END_ARCHIVE;
    // Hosts lay the record out differently after FileAttr; clearing our own
    // sizeof would write past a smaller host record.
    std::memset(header, 0, sizeof(void*) == 4 ? WCX_HEADER_EX_SIZE_32 : WCX_HEADER_EX_COMMON_SIZE);
    std::memcpy(header->ArcName, session->path, sizeof session->path);
#if defined(_WIN32)
    header->FileTime = static_cast<int>(session->dos_date_time);
#else
    // Linux hosts read FileTime as Unix seconds.
    header->FileTime = static_cast<int>(session->unix_time);
#endif
    OutputNode* node = session->context.outputs.cursor;
    if (node == nullptr || node->file == nullptr) return E_END_ARCHIVE;
    const MemoryFile* file = node->file;
    size_t units = 0;
    while (file->name[units]) ++units;
    std::memcpy(header->FileName, file->name, (units + 1) * sizeof(char16_t));
    header->PackSize = file->length;
    header->UnpSize = file->length;
#if defined(_WIN32)
    header->FileAttr = 32;
#else
    header->FileAttr = S_IFREG | 0644;
#endif
    return 0;
}

int WCX_API ProcessFileW(WCX_HANDLE handle, int operation, WCX_WCHAR* dest_path, WCX_WCHAR* dest_name) {
    ArchiveSession* session = static_cast<ArchiveSession*>(handle);
    if (session == nullptr) return E_END_ARCHIVE;
    OutputNode* node = session->context.outputs.cursor;
    if (node == nullptr || node->file == nullptr) return E_END_ARCHIVE;
    session->context.outputs.cursor = node->next;
    if (operation < PK_SKIP || operation > PK_EXTRACT) return E_NOT_SUPPORTED;
    if (operation != PK_EXTRACT) return 0;

    char16_t target[session_path_units];
    size_t used = 0;
    for (const char16_t* part : {static_cast<const char16_t*>(dest_path), static_cast<const char16_t*>(dest_name)}) {
        if (part == nullptr) continue;
        size_t n = wide_length(part);
        if (used + n >= session_path_units) return E_ECREATE;
        std::memcpy(target + used, part, n * sizeof(char16_t));
        used += n;
    }
    target[used] = 0;
    platform::WriteHandle* out = platform::create_file(target);
    if (out == nullptr) return E_ECREATE;
    int result = 0;
    const MemoryFile* file = node->file;
    if (file->buffer != nullptr) {
        size_t written = 0;
        if (!platform::write_file(out, file->buffer, file->length, &written) || written != file->length) {
            result = E_EWRITE;
        }
    }
    platform::close_file(out);
    return result;
}

int WCX_API CloseArchive(WCX_HANDLE handle) {
    if (handle != nullptr) cache_park(static_cast<ArchiveSession*>(handle));
    return 0;
}

void WCX_API SetProcessDataProcW(WCX_HANDLE handle, tProcessDataProcW callback) {
    // Hosts pass -1 when no archive is open; there is nothing to store then.
    if (is_host_placeholder(handle)) return;
    static_cast<ArchiveSession*>(handle)->process_data_proc = callback;
}

void WCX_API SetProcessDataProc(WCX_HANDLE, tProcessDataProc) {}
void WCX_API SetChangeVolProc(WCX_HANDLE, tChangeVolProc) {}
void WCX_API SetChangeVolProcW(WCX_HANDLE, tChangeVolProcW) {}

WCX_HANDLE WCX_API OpenArchive(tOpenArchiveData* data) {
    if (data != nullptr) data->OpenResult = E_NOT_SUPPORTED;
    return nullptr;
}

int WCX_API ReadHeader(WCX_HANDLE, tHeaderData*) { return E_NOT_SUPPORTED; }
int WCX_API ProcessFile(WCX_HANDLE, int, char*, char*) { return E_NOT_SUPPORTED; }

int WCX_API GetPackerCaps(void) { return PK_CAPS_MULTIPLE | PK_CAPS_SEARCHTEXT | PK_CAPS_HIDE; }
int WCX_API GetBackgroundFlags(void) { return BACKGROUND_UNPACK; }

void WCX_API SetHlpunpackOptions(int flags) {
    plugin_settings_override(PluginSettings{(flags & HLPUNPACK_SALVAGE) != 0, (flags & HLPUNPACK_HTML) != 0,
                                            (flags & HLPUNPACK_HTMLHELP) != 0});
    cache_set_enabled((flags & HLPUNPACK_NO_CACHE) == 0);
}

}  // extern "C"

#if defined(_WIN32) && defined(HLPUNPACK_DLL)
// The DLL's load and unload: the output cache, nothing else.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        cache_startup();
        settings_startup();
    } else if (reason == DLL_PROCESS_DETACH && reserved == nullptr) {
        // Only on FreeLibrary: at process exit the other threads are gone,
        // possibly holding the heap lock, and the system reclaims it all.
        cache_shutdown();
        settings_shutdown();
    }
    return TRUE;
}
#else
// Library load and unload, and the same for programs that link the
// exports statically (the command-line tool and the tests).
__attribute__((constructor)) static void library_load() {
    cache_startup();
    settings_startup();
}
__attribute__((destructor)) static void library_unload() {
    cache_shutdown();
    settings_shutdown();
}
#endif
