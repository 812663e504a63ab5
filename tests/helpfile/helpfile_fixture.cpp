#include <gtest/gtest.h>

#include "helpfile_fixture.h"

OpenBytes::OpenBytes(const hlptest::Bytes& bytes) : file(std::tmpfile()) {
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
}
