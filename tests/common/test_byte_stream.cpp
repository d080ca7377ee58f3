// ByteStream, over both kinds of memory: byte order, growth in multiples of 2048, the
// terminator behind the data, strict reads that throw with the exact text, texts,
// seeking, resizing, and loading, saving and appending files.
#include <gtest/gtest.h>
#include <windows.h>

#include <errno.h>
#include <string.h>

#include <string>

#include "byte_stream.h"
#include "exception.h"
#include "test_support.h"
#include "thrown.h"

using testing_support::ReadFileText;
using testing_support::TempFolder;
using testing_support::WriteFileText;

namespace {

std::string content(const ByteStream& stream) {
    return std::string(reinterpret_cast<const char*>(stream.data()), stream.size());
}

// Each test runs with global memory (the default) and with the runtime's heap.
class CommonByteStream : public ::testing::TestWithParam<int> {};

}  // namespace

TEST_P(CommonByteStream, WritesNumbersInItsByteOrder) {
    ByteStream little(0, GetParam());
    EXPECT_FALSE(little.big_endian());
    little.write_uint16(0x0102);
    little.write_uint32(0x03040506);
    little.write_uint64(0x0708090A0B0C0D0Eull);
    EXPECT_EQ(content(little), std::string("\x02\x01\x06\x05\x04\x03\x0E\x0D\x0C\x0B\x0A\x09\x08\x07", 14));

    ByteStream big(0, GetParam());
    big.set_big_endian(true);
    big.write_uint16(0x0102);
    big.write_uint32(0x03040506);
    big.write_uint64(0x0708090A0B0C0D0Eull);
    EXPECT_EQ(content(big), std::string("\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E", 14));

    ASSERT_EQ(big.seek(0, 0), 0);
    unsigned short word = 0;
    unsigned dword = 0;
    EXPECT_TRUE(big.read_uint16(word));
    EXPECT_EQ(word, 0x0102);
    EXPECT_TRUE(big.read_uint32(dword));
    EXPECT_EQ(dword, 0x03040506u);
    // Read in the other order, the same bytes give the swapped numbers.
    ASSERT_EQ(big.seek(0, 0), 0);
    big.set_big_endian(false);
    EXPECT_TRUE(big.read_uint16(word));
    EXPECT_EQ(word, 0x0201);
    EXPECT_EQ(big.seek(1, 2), 0);
    EXPECT_FALSE(big.read_uint16(word));   // one byte left: nothing read
    EXPECT_EQ(big.position(), 13u);
    EXPECT_FALSE(big.read_uint32(dword));
    EXPECT_EQ(big.read_byte(), 0x0E);
    EXPECT_EQ(big.read_byte(), -1);
}

TEST_P(CommonByteStream, GrowsInMultiplesOf2048WithATerminatorBehind) {
    ByteStream stream(0, GetParam());
    EXPECT_EQ(stream.capacity(), 0u);
    EXPECT_EQ(stream.data()[0], 0);
    stream.write_byte('a');
    EXPECT_EQ(stream.capacity(), 2048u);
    stream.write(std::string(2046, 'b').data(), 2046);
    EXPECT_EQ(stream.size(), 2047u);
    EXPECT_EQ(stream.capacity(), 2048u);   // 2047 bytes and the terminator fit
    stream.write_byte('c');
    EXPECT_EQ(stream.capacity(), 4096u);
    EXPECT_EQ(stream.data()[stream.size()], 0);
    stream.write(std::string(5000, 'd').data(), 5000);
    EXPECT_EQ(stream.capacity(), 8192u);
    EXPECT_EQ(stream.data()[0], 'a');
    EXPECT_EQ(stream.data()[2047], 'c');

    ByteStream empty(0, GetParam());
    empty.write("", 0);   // a write of nothing still makes room for the terminator
    EXPECT_EQ(empty.capacity(), 1024u);
    EXPECT_EQ(empty.size(), 0u);
    ByteStream sized(100, GetParam());
    EXPECT_EQ(sized.capacity(), 100u);
    EXPECT_EQ(sized.size(), 0u);

    // Overwriting in the middle keeps the size; writing from its own data survives growth.
    ASSERT_EQ(stream.seek(1, 0), 0);
    stream.write("XY", 2);
    EXPECT_EQ(stream.size(), 7048u);
    EXPECT_EQ(content(stream).substr(0, 4), "aXYb");
    ASSERT_EQ(stream.seek(0, 2), 0);
    stream.write(stream.data(), stream.size());
    EXPECT_EQ(stream.size(), 14096u);
    EXPECT_EQ(content(stream).substr(7048, 4), "aXYb");
    EXPECT_EQ(stream.data()[stream.size()], 0);
}

TEST_P(CommonByteStream, StrictReadsThrowTheExactText) {
    ByteStream stream(0, GetParam());
    stream.write("abcde", 5);
    ASSERT_EQ(stream.seek(2, 0), 0);
    char buffer[16];
    EXPECT_EQ(thrown_message([&] { stream.read_exact(buffer, 10); }),
              "Error 18019: Stream read error: expected 10 bytes at offset 2, only 3 are available");
    EXPECT_EQ(stream.position(), 2u);
    stream.read_exact(buffer, 3);
    EXPECT_EQ(std::string(buffer, 3), "cde");
    stream.read_exact(buffer, 0);

    // 16-bit prefix: too short for the prefix itself, then for the text it announces.
    ByteStream texts(0, GetParam());
    texts.write_byte(7);
    ASSERT_EQ(texts.seek(0, 0), 0);
    cstring text;
    EXPECT_EQ(thrown_message([&] { texts.read_text16(text); }),
              "Error 18021: Stream read error: expected 2 bytes at offset 0, only 1 are available");
    ASSERT_EQ(texts.seek(0, 2), 0);
    texts.write("\0xyz", 4);   // prefix 7 (little-endian), then only three bytes
    ASSERT_EQ(texts.seek(0, 0), 0);
    EXPECT_EQ(thrown_message([&] { texts.read_text16(text); }),
              "Error 18021: Stream read error: expected 7 bytes at offset 2, only 3 are available");
    EXPECT_EQ(texts.position(), 0u);

    ByteStream wide(0, GetParam());
    wide.set_big_endian(true);
    wide.write_uint32(300);
    wide.write("short", 5);
    ASSERT_EQ(wide.seek(0, 0), 0);
    EXPECT_EQ(thrown_message([&] { wide.read_text32(text); }),
              "Error 18022: Stream read error: expected 300 bytes at offset 4, only 5 are available");
    ASSERT_EQ(wide.seek(6, 0), 0);
    EXPECT_EQ(thrown_message([&] { wide.read_text32(text); }),
              "Error 18022: Stream read error: expected 4 bytes at offset 6, only 3 are available");
}

TEST_P(CommonByteStream, WritesAndReadsTexts) {
    ByteStream stream(0, GetParam());
    EXPECT_TRUE(stream.write_text16("JavaExe"));
    stream.write_text32("");
    stream.write_text("plain");
    stream.write_line(" line");
    stream.write_format("%s=%d;", "Memory", 512);
    stream.write_format("no conversions 100%%");
    const char expected[] = "\x08\x00JavaExe\x00\x01\x00\x00\x00\x00plain line\nMemory=512;no conversions 100%";
    EXPECT_EQ(content(stream), std::string(expected, sizeof expected - 1));
    ASSERT_EQ(stream.seek(0, 0), 0);
    cstring text("stale");
    stream.read_text16(text);
    EXPECT_STREQ(text.c_str(), "JavaExe");
    stream.read_text32(text);
    EXPECT_STREQ(text.c_str(), "");
    EXPECT_EQ(stream.position(), 15u);
    char buffer[8] = {};
    EXPECT_EQ(stream.read(buffer, 5), 5u);
    EXPECT_EQ(std::string(buffer, 5), "plain");

    // A text too long for a 16-bit prefix is refused rather than written with a wrong one.
    std::string tooLong(65535, 't');
    EXPECT_FALSE(stream.write_text16(tooLong.c_str()));
    tooLong.pop_back();
    ASSERT_EQ(stream.seek(0, 2), 0);
    unsigned before = stream.size();
    EXPECT_TRUE(stream.write_text16(tooLong.c_str()));   // 65534 and the terminator
    EXPECT_EQ(stream.size(), before + 2 + 65535);

    ByteStream escaped(0, GetParam());
    EXPECT_EQ(escaped.write_escaped("a\tb\nc\rd\"e\\f\x01\x7F\xE9~"), 29);
    EXPECT_EQ(content(escaped), "a\\tb\\nc\\rd\\\"e\\\\f\\x01\\x7F\\xE9~");
    EXPECT_EQ(escaped.write_escaped(nullptr), 0);
}

TEST_P(CommonByteStream, SeeksResizesAndClears) {
    ByteStream stream(0, GetParam());
    stream.write("0123456789", 10);
    EXPECT_EQ(stream.seek(3, 0), 0);
    EXPECT_EQ(stream.position(), 3u);
    EXPECT_EQ(stream.seek(2, 1), 0);
    EXPECT_EQ(stream.position(), 5u);
    EXPECT_EQ(stream.seek(-5, 1), 0);
    EXPECT_EQ(stream.position(), 0u);
    EXPECT_EQ(stream.seek(4, 2), 0);   // backwards from the end
    EXPECT_EQ(stream.position(), 6u);
    EXPECT_EQ(stream.seek(10, 0), 0);
    EXPECT_EQ(stream.seek(11, 0), -1);
    EXPECT_EQ(stream.seek(-1, 0), -1);
    EXPECT_EQ(stream.seek(11, 2), -1);
    EXPECT_EQ(stream.seek(-1, 2), -1);
    EXPECT_EQ(stream.seek(0, 3), -1);
    EXPECT_EQ(stream.position(), 10u);   // failed seeks leave it

    char buffer[16];
    ASSERT_EQ(stream.seek(7, 0), 0);
    EXPECT_EQ(stream.read(buffer, 16), 3u);
    EXPECT_EQ(std::string(buffer, 3), "789");
    EXPECT_EQ(stream.read(buffer, 16), 0u);

    // Shrinking drops bytes for good: growing again gives zeros, not the old data.
    stream.set_size(4);
    EXPECT_EQ(stream.position(), 4u);
    EXPECT_EQ(content(stream), "0123");
    stream.set_size(6);
    EXPECT_EQ(content(stream), std::string("0123\0\0", 6));
    EXPECT_EQ(stream.data()[6], 0);

    stream.clear();
    EXPECT_EQ(stream.size(), 0u);
    EXPECT_EQ(stream.position(), 0u);
    EXPECT_EQ(stream.capacity(), 2048u);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(stream.data()), 10), std::string(10, '\0'));
}

TEST_P(CommonByteStream, RefusesToGrowBeyond2Gigabytes) {
    ByteStream stream(0, GetParam());
    stream.write("abc", 3);
    EXPECT_EQ(thrown_message([&] { stream.set_size(0x7FFFFFFF); }),
              "Error 8010: Could not allocate 2147485696 bytes of memory");
    EXPECT_EQ(content(stream), "abc");   // unchanged
    ASSERT_EQ(stream.seek(0, 2), 0);
    EXPECT_EQ(thrown_message([&] { stream.write(stream.data(), 0xFFFFFFFFu); }),
              "Error 8010: Could not allocate 4294969344 bytes of memory");
    EXPECT_EQ(stream.size(), 3u);
}

TEST_P(CommonByteStream, LoadsSavesAndAppendsFiles) {
    TempFolder folder("common_byte_stream");
    std::string path = folder.file("Corvalis.bat");
    const char raw[] = "@echo off\r\n\"C:\\jre\\bin\\java.exe\" -jar c.jar\r\n\0tail";
    std::string script(raw, sizeof raw - 1);
    ASSERT_TRUE(WriteFileText(path, script));

    ByteStream stream(0, GetParam());
    stream.write("previous content", 16);
    EXPECT_EQ(stream.load_file(path.c_str()), 0);
    EXPECT_EQ(content(stream), script);
    EXPECT_EQ(stream.position(), 0u);
    EXPECT_EQ(stream.data()[stream.size()], 0);

    std::string copy = folder.file("copy.bat");
    EXPECT_EQ(stream.save_file(copy.c_str()), 0);
    EXPECT_EQ(ReadFileText(copy), script);

    ByteStream line(0, GetParam());
    line.write_text("entry");
    std::string log = folder.file("log.txt");
    EXPECT_EQ(line.append_file(log.c_str(), true), 0);   // created; empty, so no separator
    EXPECT_EQ(line.append_file(log.c_str(), true), 0);
    EXPECT_EQ(line.append_file(log.c_str(), false), 0);
    EXPECT_EQ(ReadFileText(log), "entry\n\nentryentry");

    std::string missing = folder.file("missing.bat");
    EXPECT_EQ(thrown_message([&] { stream.load_file(missing.c_str()); }),
              "Error 18006: Cannot open file \"" + missing + "\": " + strerror(ENOENT));
    EXPECT_EQ(line.save_file(folder.file("no\\such\\folder.txt").c_str()), ENOENT);
    EXPECT_EQ(line.append_file(folder.file("no\\such\\folder.txt").c_str(), true), ENOENT);

    ByteStream empty(0, GetParam());
    ASSERT_TRUE(WriteFileText(folder.file("empty.txt"), ""));
    EXPECT_EQ(empty.load_file(folder.file("empty.txt").c_str()), 0);
    EXPECT_EQ(empty.size(), 0u);
    EXPECT_EQ(empty.data()[0], 0);
}

INSTANTIATE_TEST_SUITE_P(Memory, CommonByteStream, ::testing::Values(-1, 0), [](const auto& info) {
    return std::string(info.param ? "Global" : "RuntimeHeap");
});
