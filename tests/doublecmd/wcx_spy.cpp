// wcx_spy.wcx: a packer plug-in that passes every call on to the real one
// and writes each call, its arguments, its result and the calling thread
// to a log. Registered in a file manager instead of hlpunpack.wcx, it shows
// what that host really does with the plug-in.
//
//   HLP_SPY_PLUGIN  the plug-in to pass the calls to
//   HLP_SPY_LOG     the log file (appended to)
#include <dlfcn.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "hlpunpack/wcx.h"

#define SPY_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

std::mutex log_lock;

std::string utf8(const WCX_WCHAR* text) {
    if (text == nullptr) return "(null)";
    std::string out = "\"";
    for (; *text; ++text) {
        uint32_t c = *text;
        if (c >= 0xD800 && c <= 0xDBFF && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out + "\"";
}

// One line per call: thread, call, details.
void log_line(const std::string& line) {
    std::lock_guard<std::mutex> hold(log_lock);
    const char* name = std::getenv("HLP_SPY_LOG");
    FILE* log = std::fopen(name ? name : "/dev/stderr", "a");
    if (log == nullptr) return;
    std::fprintf(log, "thread=%ld %s\n", static_cast<long>(syscall(SYS_gettid)), line.c_str());
    std::fclose(log);
}

std::string hex(const void* p) {
    char text[32];
    std::snprintf(text, sizeof text, "%p", p);
    return text;
}

void* real_plugin() {
    static void* library = [] {
        const char* path = std::getenv("HLP_SPY_PLUGIN");
        void* lib = path ? dlopen(path, RTLD_NOW | RTLD_LOCAL) : nullptr;
        log_line(std::string("load ") + (path ? path : "(HLP_SPY_PLUGIN unset)") + (lib ? " ok" : " failed"));
        return lib;
    }();
    return library;
}

template <class Function>
Function real(const char* name) {
    void* library = real_plugin();
    return library ? reinterpret_cast<Function>(dlsym(library, name)) : nullptr;
}

}  // namespace

SPY_EXPORT WCX_HANDLE OpenArchiveW(tOpenArchiveDataW* data) {
    auto f = real<WCX_HANDLE (*)(tOpenArchiveDataW*)>("OpenArchiveW");
    WCX_HANDLE handle = f ? f(data) : nullptr;
    log_line("OpenArchiveW name=" + utf8(data->ArcName) + " mode=" + std::to_string(data->OpenMode) +
             " handle=" + hex(handle) + " result=" + std::to_string(data->OpenResult));
    return handle;
}

SPY_EXPORT int ReadHeaderExW(WCX_HANDLE handle, tHeaderDataExW* header) {
    auto f = real<int (*)(WCX_HANDLE, tHeaderDataExW*)>("ReadHeaderExW");
    int result = f ? f(handle, header) : E_NOT_SUPPORTED;
    std::string line = "ReadHeaderExW handle=" + hex(handle) + " result=" + std::to_string(result);
    if (result == 0)
        line += " name=" + utf8(header->FileName) + " size=" + std::to_string(header->UnpSize) +
                " time=" + std::to_string(header->FileTime) + " attr=" + std::to_string(header->FileAttr);
    log_line(line);
    return result;
}

SPY_EXPORT int ProcessFileW(WCX_HANDLE handle, int operation, WCX_WCHAR* path, WCX_WCHAR* name) {
    auto f = real<int (*)(WCX_HANDLE, int, WCX_WCHAR*, WCX_WCHAR*)>("ProcessFileW");
    int result = f ? f(handle, operation, path, name) : E_NOT_SUPPORTED;
    log_line("ProcessFileW handle=" + hex(handle) + " operation=" + std::to_string(operation) +
             " path=" + utf8(path) + " name=" + utf8(name) + " result=" + std::to_string(result));
    return result;
}

SPY_EXPORT int CloseArchive(WCX_HANDLE handle) {
    auto f = real<int (*)(WCX_HANDLE)>("CloseArchive");
    int result = f ? f(handle) : 0;
    log_line("CloseArchive handle=" + hex(handle) + " result=" + std::to_string(result));
    return result;
}

SPY_EXPORT void SetProcessDataProcW(WCX_HANDLE handle, tProcessDataProcW callback) {
    if (auto f = real<void (*)(WCX_HANDLE, tProcessDataProcW)>("SetProcessDataProcW")) f(handle, callback);
    log_line("SetProcessDataProcW handle=" + hex(handle));
}

SPY_EXPORT void SetProcessDataProc(WCX_HANDLE handle, tProcessDataProc callback) {
    if (auto f = real<void (*)(WCX_HANDLE, tProcessDataProc)>("SetProcessDataProc")) f(handle, callback);
    log_line("SetProcessDataProc handle=" + hex(handle));
}

SPY_EXPORT void SetChangeVolProc(WCX_HANDLE handle, tChangeVolProc callback) {
    if (auto f = real<void (*)(WCX_HANDLE, tChangeVolProc)>("SetChangeVolProc")) f(handle, callback);
    log_line("SetChangeVolProc handle=" + hex(handle));
}

SPY_EXPORT void SetChangeVolProcW(WCX_HANDLE handle, tChangeVolProcW callback) {
    if (auto f = real<void (*)(WCX_HANDLE, tChangeVolProcW)>("SetChangeVolProcW")) f(handle, callback);
    log_line("SetChangeVolProcW handle=" + hex(handle));
}

SPY_EXPORT WCX_HANDLE OpenArchive(tOpenArchiveData* data) {
    auto f = real<WCX_HANDLE (*)(tOpenArchiveData*)>("OpenArchive");
    WCX_HANDLE handle = f ? f(data) : nullptr;
    log_line("OpenArchive result=" + std::to_string(data ? data->OpenResult : -1));
    return handle;
}

SPY_EXPORT int ReadHeader(WCX_HANDLE handle, tHeaderData* header) {
    auto f = real<int (*)(WCX_HANDLE, tHeaderData*)>("ReadHeader");
    int result = f ? f(handle, header) : E_NOT_SUPPORTED;
    log_line("ReadHeader result=" + std::to_string(result));
    return result;
}

SPY_EXPORT int ProcessFile(WCX_HANDLE handle, int operation, char* path, char* name) {
    auto f = real<int (*)(WCX_HANDLE, int, char*, char*)>("ProcessFile");
    int result = f ? f(handle, operation, path, name) : E_NOT_SUPPORTED;
    log_line("ProcessFile result=" + std::to_string(result));
    return result;
}

SPY_EXPORT int GetPackerCaps() {
    auto f = real<int (*)()>("GetPackerCaps");
    int caps = f ? f() : 0;
    log_line("GetPackerCaps result=" + std::to_string(caps));
    return caps;
}

SPY_EXPORT int GetBackgroundFlags() {
    auto f = real<int (*)()>("GetBackgroundFlags");
    int flags = f ? f() : 0;
    log_line("GetBackgroundFlags result=" + std::to_string(flags));
    return flags;
}
