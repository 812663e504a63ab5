#include "picture_checks.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <sstream>

#include "external_tool.h"

namespace e2e {

namespace {

uint32_t u16_at(const std::string& b, size_t at) {
    return at + 2 > b.size() ? 0 : uint8_t(b[at]) | uint32_t(uint8_t(b[at + 1])) << 8;
}
uint32_t u32_at(const std::string& b, size_t at) { return u16_at(b, at) | u16_at(b, at + 2) << 16; }

std::vector<std::string> section_lines(const std::string& project, const std::string& header) {
    std::vector<std::string> lines;
    std::istringstream in(project);
    bool inside = false;
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == header) inside = true;
        else if (inside && line.empty()) break;
        else if (inside) lines.push_back(line);
    }
    return lines;
}

}  // namespace

PictureSize bmp_header_size(const std::string& bmp) {
    if (bmp.size() < 26) return {};
    if (u32_at(bmp, 14) == 12) return {long(u16_at(bmp, 18)), long(u16_at(bmp, 20))};
    const int32_t height = static_cast<int32_t>(u32_at(bmp, 22));
    return {long(static_cast<int32_t>(u32_at(bmp, 18))), long(height < 0 ? -int64_t(height) : height)};
}

std::map<std::string, PictureSize> expect_bitmaps_decode(const Decompiled& d) {
    std::map<std::string, PictureSize> sizes;
    std::vector<std::string> names = d.names_ending(".bmp");
    if (names.empty()) return sizes;
    // One run for all: starting ImageMagick per picture costs more than decoding.
    std::vector<std::string> argv{"identify", "-regard-warnings", "-format", "%f %w %h\\n"};
    for (const std::string& name : names) argv.push_back(d.path(name));
    const ToolRun run = run_tool(argv, d.folder.path.string());
    EXPECT_EQ(run.status, 0) << run.err.substr(0, 2000);
    std::istringstream lines(run.out);
    for (std::string name; lines >> name;) lines >> sizes[name].width >> sizes[name].height;
    for (const std::string& name : names) {
        if (!sizes.count(name)) {
            ADD_FAILURE() << name << " not decoded: " << run.err.substr(0, 500);
            continue;
        }
        EXPECT_EQ(sizes[name], bmp_header_size(d.contents(name))) << name;
    }
    return sizes;
}

std::map<std::string, PictureSize> expect_metafiles_convert(const Decompiled& d) {
    std::map<std::string, PictureSize> sizes;
    const std::string svg = d.folder.file(".drawing.svg");
    for (const std::string& name : d.names_ending(".wmf")) {
        const ToolRun run = run_tool({"wmf2svg", "-o", svg, d.path(name)}, d.folder.path.string());
        EXPECT_EQ(run.status, 0) << name << ": " << run.err;
        const std::string text = read_file(svg);
        PictureSize& size = sizes[name];
        const size_t at = text.find("<svg ");
        if (at == std::string::npos ||
            std::sscanf(text.c_str() + at, "<svg width=\"%ld\" height=\"%ld\"", &size.width, &size.height) != 2)
            ADD_FAILURE() << name << ": no drawing from libwmf: " << run.err;
        std::remove(svg.c_str());
    }
    return sizes;
}

void expect_picture_files_consistent(const Decompiled& d) {
    std::vector<std::string> names = d.names_ending(".shg");
    for (const std::string& name : d.names_ending(".mrb")) names.push_back(name);
    for (const std::string& name : names) {
        const std::string file = d.contents(name);
        ASSERT_GE(file.size(), 8u) << name;
        const uint32_t magic = u16_at(file, 0), count = u16_at(file, 2);
        EXPECT_TRUE(magic == 0x506C || magic == 0x706C) << name;
        EXPECT_EQ(count > 1, name.ends_with(".mrb")) << name << " holds " << count;
        ASSERT_GE(count, 1u) << name;
        const size_t table_end = 4 + 4 * size_t(count);
        ASSERT_LE(table_end, file.size()) << name;
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t offset = u32_at(file, 4 + 4 * i);
            ASSERT_TRUE(offset >= table_end && offset < file.size()) << name << " picture " << i;
            const uint8_t type = static_cast<uint8_t>(file[offset]);
            EXPECT_TRUE(type == 5 || type == 6 || type == 8) << name << " picture " << i << " type " << int(type);
        }
    }
}

void expect_named_pictures_extracted(const Decompiled& d, const RtfScan& scan) {
    std::vector<std::string> names = scan.picture_names;
    for (const std::string& line : section_lines(d.contents(d.project_name), "[BITMAPS]")) names.push_back(line);
    const bool missing_noted = d.out.find("File 'missing.bmp' not found") != std::string::npos;
    for (const std::string& name : names) {
        if (name == "missing.bmp" && missing_noted) continue;
        EXPECT_TRUE(d.listed(name)) << name << " is named but not extracted";
    }
}

std::string pixel_rgb(const Decompiled& d, const std::string& name, int x, int y) {
    char format[160];
    std::snprintf(format, sizeof format,
                  "%%[fx:round(255*p{%d,%d}.r)],%%[fx:round(255*p{%d,%d}.g)],%%[fx:round(255*p{%d,%d}.b)]", x, y,
                  x, y, x, y);
    const ToolRun run = run_tool({"identify", "-format", format, d.path(name)}, d.folder.path.string());
    EXPECT_EQ(run.status, 0) << run.err;
    return run.out;
}

}  // namespace e2e
