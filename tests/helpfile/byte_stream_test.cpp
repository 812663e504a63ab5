// The checked reads: every short read or over-long string ends the
// decompile, and reads past a memory buffer never leave it.
#include <gtest/gtest.h>

#include <cstring>

#include "helpfile/byte_stream.h"
#include "helpfile_fixture.h"

namespace {

using hlptest::Bytes;

TEST(ByteStream, BufferStreamsStayInsideTheirBuffer) {
    ContextHolder h;
    uint8_t data[3] = {1, 2, 3};
    ByteStream* s = stream_open_buffer(*h.ctx, data, 3);
    EXPECT_EQ(s->get_byte(s), 1);
    EXPECT_EQ(s->tell(s), 1);
    EXPECT_EQ(s->get_byte(s), 2);
    EXPECT_EQ(s->get_byte(s), 3);
    EXPECT_EQ(s->get_byte(s), -1);
    EXPECT_EQ(s->put_byte(s, 9), 0);
    s->seek(s, 0);
    uint8_t out[4];
    EXPECT_EQ(fatal_output([&] { s->read_block(s, out, 4); }), "\nread(4) failed");
    EXPECT_EQ(s->read_block(s, out, 3), 3);
    s->seek(s, 1000);  // outside: nothing left to read
    EXPECT_EQ(s->get_byte(s), -1);
    s->seek(s, 1);
    EXPECT_EQ(s->put_byte(s, 7), 1);
    EXPECT_EQ(data[1], 7);
    EXPECT_EQ(data[2], 3);
    tracked_free(*h.ctx, s);
}

TEST(ByteStream, OutputStreamsReadWhatWasWritten) {
    ContextHolder h;
    MemoryFile* file = output_open("f", "wb");
    output_add(h.ctx->outputs, file);
    ByteStream* s = stream_open_output(*h.ctx, file);
    for (int c : {0x02, 0x00, 0x01, 0x00, 0x01, 0x00}) s->put_byte(s, c);
    s->seek(s, 0);
    EXPECT_EQ(stream_read_compressed_long(s), 1u);
    EXPECT_EQ(stream_read_compressed_long(s), 32768u);
    EXPECT_EQ(s->get_byte(s), -1);
    tracked_free(*h.ctx, s);
}

TEST(ByteStream, IntegerReadsAreLittleEndianAndPadWithFF) {
    OpenBytes f(Bytes{0x04, 0x03, 0x02, 0x01, 0x34, 0x12, 0x78});
    EXPECT_EQ(read_dword(f.file), 0x01020304u);
    EXPECT_EQ(read_word(f.file), 0x1234u);
    EXPECT_EQ(read_dword(f.file), 0xFFFFFF78u);
}

TEST(ByteStream, ExactReadsAreFatalWhenShort) {
    OpenBytes f(Bytes(10, 0));
    char buffer[16];
    EXPECT_EQ(fatal_output([&] { my_fread(16, f.file, buffer); }), "\nmy_fread(16) at 10 failed");
    EXPECT_EQ(my_fread(0, f.file, buffer), 0);  // even at the end
    EXPECT_EQ(fatal_output([&] { my_fread(-1, f.file, buffer); }), "\nmy_fread(-1) at 10 failed");
}

TEST(ByteStream, StringsAreBoundedByTheirDestination) {
    Bytes text = hlptest::bytes_of("abcdefghijklmnopqr");  // 18 characters
    text.push_back(0);
    Bytes longer = hlptest::bytes_of("abcdefghijklmnopqrs");
    longer.push_back(0);
    char name[19];
    OpenBytes ok(text);
    EXPECT_EQ(read_cstring(name, ok.file, 19), 18);
    EXPECT_STREQ(name, "abcdefghijklmnopqr");
    OpenBytes bad(longer);
    EXPECT_EQ(fatal_output([&] { read_cstring(name, bad.file, 19); }), "String length exceeds decompiler limit.\n");
    OpenBytes unterminated(hlptest::bytes_of("xyz"));
    EXPECT_EQ(read_cstring(name, unterminated.file, 19), 3);
    EXPECT_STREQ(name, "xyz");

    ContextHolder h;
    ByteStream* s = stream_open_buffer(*h.ctx, longer.data(), static_cast<long>(longer.size()));
    EXPECT_EQ(fatal_output([&] { stream_read_cstring(name, s, 19); }), "String length exceeds decompiler limit.\n");
    tracked_free(*h.ctx, s);
}

TEST(ByteStream, BoundedCopyTruncatesAndTerminates) {
    std::string source(300, 'q');
    char destination[256];
    EXPECT_EQ(bounded_copy(sizeof destination, source.c_str(), destination), 255u);
    EXPECT_EQ(std::strlen(destination), 255u);
    EXPECT_EQ(bounded_copy(sizeof destination, nullptr, destination), 0u);
    EXPECT_STREQ(destination, "");
    EXPECT_EQ(bounded_copy(4, "abc", nullptr), 0u);
}

}  // namespace
