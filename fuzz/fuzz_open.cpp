// The whole path a file manager takes: the input is the help file, opened,
// listed, every entry read back from memory, closed, opened again from the
// cache and closed. An input either opens or fails with E_EOPEN; anything
// else (a crash, a sanitizer report, a leak, a wrong result) is a finding.
//
// The input's size picks the file name: odd sizes are opened as .mvb
// (MediaView), even ones as .hlp. Built as fuzz_open_salvage, every open
// salvages what is intact instead of failing at the first damage; built as
// fuzz_open_html, it also writes the HTML edition, whose writer handles
// every string of the file.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "hlpunpack/wcx.h"
#include "plugin/archive_session.h"
#include "plugin/output_cache.h"

namespace {

std::string folder;
volatile unsigned long sink;  // keeps the reads of the entries' bytes

std::u16string widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

bool write_input(const std::string& path, const uint8_t* data, size_t size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    while (size > 0) {
        ssize_t n = write(fd, data, size);
        if (n <= 0) break;
        data += n;
        size -= static_cast<size_t>(n);
    }
    close(fd);
    return size == 0;
}

void require(bool condition) {
    if (!condition) std::abort();
}

// Entry names come from the help file; they must stay plain names (the
// HTML edition's in the one folder "html\").
void check_name(const char16_t* name) {
    if (std::u16string_view(name).substr(0, 5) == u"html\\") name += 5;
    size_t n = 0;
    while (n < memory_file_name_units && name[n]) {
        require(name[n] != u'/' && name[n] != u'\\');
        ++n;
    }
    require(n > 0 && n < memory_file_name_units);
    std::u16string text(name, n);
    require(text != u"." && text != u"..");
}

// Reads every byte so that AddressSanitizer checks the whole buffer. Left out
// of the coverage instrumentation: a traced compare per output byte would
// cost more than the decompile and tells the fuzzer nothing. Not inlined,
// or the loop would be instrumented as part of its caller.
__attribute__((no_sanitize("coverage"), noinline)) unsigned long checksum(const uint8_t* bytes, uint32_t length) {
    unsigned long sum = 0;
    for (uint32_t i = 0; i < length; ++i) sum = sum * 31 + bytes[i];
    return sum;
}

// Lists every entry, reading each one's bytes from the session's memory.
size_t list_and_read(WCX_HANDLE handle) {
    ArchiveSession* session = static_cast<ArchiveSession*>(handle);
    size_t entries = 0;
    tHeaderDataExW header;
    while (ReadHeaderExW(handle, &header) == 0) {
        check_name(header.FileName);
        const MemoryFile* file = session->context.outputs.cursor->file;
        require(header.UnpSize == file->length);
        sink = checksum(file->buffer, file->length);
        require(ProcessFileW(handle, PK_TEST, nullptr, nullptr) == 0);
        ++entries;
    }
    return entries;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/hlpfuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    folder = pattern;
    std::atexit([] { rmdir(folder.c_str()); });
#if defined(HLP_FUZZ_HTML)
    SetHlpunpackOptions(HLPUNPACK_SALVAGE | HLPUNPACK_HTMLHELP);
#elif defined(HLP_FUZZ_SALVAGE)
    SetHlpunpackOptions(HLPUNPACK_SALVAGE);
#endif
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // A new name for every input, so that the cache never answers for an
    // earlier input with the same time stamp.
    static unsigned long serial = 0;
    std::string path = folder + "/input" + std::to_string(serial++) + (size % 2 ? ".mvb" : ".hlp");
    if (!write_input(path, data, size)) std::abort();
    std::u16string wide = widen(path);

    tOpenArchiveDataW open_data{};
    open_data.ArcName = wide.data();
    open_data.OpenMode = PK_OM_EXTRACT;
    WCX_HANDLE handle = OpenArchiveW(&open_data);
    if (handle == nullptr) {
        require(open_data.OpenResult == E_EOPEN);
    } else {
        size_t entries = list_and_read(handle);
        require(CloseArchive(handle) == 0);
        // The parked session comes back and lists the same entries again.
        open_data.OpenResult = 0;
        handle = OpenArchiveW(&open_data);
        require(handle != nullptr);
        require(list_and_read(handle) == entries);
        require(CloseArchive(handle) == 0);
    }
    // Unload and load: the parked sessions are freed now, so that whatever
    // this input allocated is accounted for before the next one.
    cache_shutdown();
    cache_startup();
    unlink(path.c_str());
    return 0;
}
