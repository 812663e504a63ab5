#include "decompiled.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

namespace e2e {

Decompiled::Decompiled(const std::string& help_path) {
    const std::filesystem::path help(help_path);
    const std::string extension = help.extension().string();
    const bool mediaview = extension.size() == 4 && (extension[1] | 0x20) == 'm';
    project_name = help.stem().string() + (mediaview ? ".mvp" : ".hpj");
    topic_name = help.stem().string() + ".rtf";

    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    WCX_HANDLE handle = open_archive(help_path, &open_result);
    opened = handle != nullptr;
    if (opened) {
        tHeaderDataExW header;
        const std::u16string target = to_u16(folder.path.string() + "/");
        while (ReadHeaderExW(handle, &header) == 0) {
            entries.push_back({to_utf8(header.FileName), header.UnpSize, header.FileTime, header.FileAttr});
            const std::u16string name(header.FileName);
            extract_results.push_back(ProcessFileW(handle, PK_EXTRACT, const_cast<char16_t*>(target.c_str()),
                                                   const_cast<char16_t*>(name.c_str())));
        }
        CloseArchive(handle);
    }
    err = testing::internal::GetCapturedStderr();
    out = testing::internal::GetCapturedStdout();
}

bool Decompiled::listed(const std::string& name) const {
    return std::any_of(entries.begin(), entries.end(), [&](const Entry& e) { return e.name == name; });
}

std::vector<std::string> Decompiled::names_ending(const std::string& extension) const {
    std::vector<std::string> names;
    for (const Entry& e : entries)
        if (e.name.ends_with(extension)) names.push_back(e.name);
    return names;
}

}  // namespace e2e
