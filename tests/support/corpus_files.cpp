#include "corpus_files.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace hlptest {

namespace fs = std::filesystem;

std::vector<std::string> corpus_files(const std::string& folder) {
    std::vector<std::string> files;
    std::error_code error;
    if (!fs::is_directory(folder, error)) return files;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        std::string ext = entry.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
        if (entry.is_regular_file() && (ext == ".hlp" || ext == ".mvb")) files.push_back(entry.path().string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<std::string> corpus_cases(const std::string& folder) {
    std::vector<std::string> files = corpus_files(folder);
    if (files.empty()) files.push_back("");
    return files;
}

bool corpus_copy_damaged(const std::string& path) {
    return fs::path(path).filename() == "watcom__PENAPIWH.HLP";
}

std::string corpus_case_name(const std::string& path, size_t index) {
    if (path.empty()) return "absent";
    std::string name = fs::path(path).stem().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name + "_" + std::to_string(index);
}

long ExpectedRow::count(const std::string& column) const {
    auto at = counts.find(column);
    return at == counts.end() ? -1 : at->second;
}

std::vector<ExpectedRow> expected_rows(const std::string& folder) {
    auto split = [](const std::string& line) {
        std::vector<std::string> cells;
        std::istringstream in(line);
        for (std::string cell; std::getline(in, cell, '\t');) cells.push_back(cell);
        return cells;
    };
    std::vector<ExpectedRow> rows;
    std::ifstream in(fs::path(folder) / "EXPECTED.tsv");
    std::string line;
    if (!std::getline(in, line)) return rows;
    const std::vector<std::string> header = split(line);
    while (std::getline(in, line)) {
        const std::vector<std::string> cells = split(line);
        if (cells.empty()) continue;
        ExpectedRow row{cells[0], {}};
        for (size_t i = 1; i < cells.size() && i < header.size(); ++i) {
            char* end = nullptr;
            const long value = std::strtol(cells[i].c_str(), &end, 10);
            if (!cells[i].empty() && *end == '\0') row.counts[header[i]] = value;
        }
        rows.push_back(row);
    }
    return rows;
}

long expected_count(const std::string& folder, const std::string& file, const std::string& column) {
    for (const ExpectedRow& row : expected_rows(folder))
        if (row.file == file) return row.count(column);
    return -1;
}

}  // namespace hlptest
