// Writes the help files built as attacks on the HTML edition into a
// folder, each at a base size (NAME-1x.hlp) and at four times it
// (NAME-4x.hlp), so that the tool can be run on the same files under each
// system. Sizes keep a run well under a second natively and the page-heavy
// shapes at a few thousand pages, which Wine creates slowly.
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>

#include "html_attack_files.h"

namespace {

struct Shape {
    const char* name;
    std::function<hlptest::Bytes(size_t scale)> build;
};

const Shape shapes[] = {
    // Pages each opening one 40 KB popup through 64 ids.
    {"popups", [](size_t k) { return hlptest::popup_bomb_file(100 * k, 64, 40000); }},
    // A 20,000-character title listed over and over under one keyword.
    {"keywords", [](size_t k) { return hlptest::keyword_bomb_file(20000, 1500 * k, 750 * k); }},
    // A picture of 1,000 hotspots shown 20 times a topic.
    {"imagemap", [](size_t k) { return hlptest::image_map_bomb_file(1000, 20, 3 * k); }},
    {"browse", [](size_t k) { return hlptest::backward_browse_file(600 * k); }},
    {"names", [](size_t k) { return hlptest::colliding_names_file(600 * k); }},
    {"devices", [](size_t k) { return hlptest::device_names_file(2 * k); }},
    {"baggage", [](size_t k) { return hlptest::baggage_like_pictures_file(k); }},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_attack_files FOLDER\n");
        return 2;
    }
    const std::filesystem::path folder = argv[1];
    std::filesystem::create_directories(folder);
    for (const Shape& shape : shapes)
        for (size_t scale : {1, 4})
            hlptest::write_file((folder / (std::string(shape.name) + "-" + std::to_string(scale) + "x.hlp")).string(),
                                shape.build(scale));
    return 0;
}
