// The utility library's string: growth policy, the shared read-only empty text,
// access at and beyond the length, assigning from itself, comparisons (bytes above 0x7F
// included) and in-place editing.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "cstring.h"

namespace {

std::string str(const cstring& s) {
    return std::string(s.c_str(), s.length());
}

bool in_read_only_memory(const void* p) {
    MEMORY_BASIC_INFORMATION info;
    if (!VirtualQuery(p, &info, sizeof info)) return false;
    return info.Protect == PAGE_READONLY || info.Protect == PAGE_EXECUTE_READ;
}

}  // namespace

TEST(CommonString, GrowsInSteps) {
    cstring fresh;
    EXPECT_EQ(fresh.capacity(), 24u);
    cstring a, b;
    a.reserve(64);
    EXPECT_EQ(a.capacity(), 128u);   // a request of exactly one step gets two
    b.reserve(63);
    EXPECT_EQ(b.capacity(), 64u);
    b.reserve(10);
    EXPECT_EQ(b.capacity(), 64u);   // within the capacity nothing changes

    cstring counted("abcdef", 3);
    EXPECT_EQ(counted.capacity(), 4u);
    EXPECT_EQ(str(counted), "abc");
    cstring measured("abcdef");
    EXPECT_EQ(measured.capacity(), 64u);
    cstring copy(measured);
    EXPECT_EQ(copy.capacity(), 7u);

    cstring stepped;
    stepped.set_growth_step(1000);
    stepped.reserve(1500);
    EXPECT_EQ(stepped.capacity(), 2000u);

    std::string expected;
    cstring grown;
    for (int i = 0; i < 1000; i++) {
        grown.append_char(char('a' + i % 26));
        expected.push_back(char('a' + i % 26));
        ASSERT_LT(grown.length(), grown.capacity());
    }
    EXPECT_EQ(str(grown), expected);
    EXPECT_EQ(grown.capacity() % 64, 0u);
}

TEST(CommonString, SharedEmptyTextIsNeverWritten) {
    cstring fromEmpty(""), fromNull(nullptr), fromZeroCount("abc", 0);
    const char* shared = fromEmpty.c_str();
    EXPECT_EQ(fromNull.c_str(), shared);
    EXPECT_EQ(fromZeroCount.c_str(), shared);
    EXPECT_EQ(fromEmpty.capacity(), 0u);
    // A write into it would fault rather than pass unnoticed.
    EXPECT_TRUE(in_read_only_memory(shared));

    cstring s("");
    char* cursor = nullptr;
    s.clear();
    s.set_length(0);
    s.set_char_at(0, 'x');
    s.set_char_at(0, 0);
    s.remove_last();
    s.trim();
    s.trim_right_chars(" ");
    s.to_upper();
    EXPECT_EQ(s.to_crlf(), 1);
    EXPECT_EQ(s.replace_char(0, 'x'), 0);
    EXPECT_EQ(s.translate("a", ""), 0);
    EXPECT_EQ(s.replace_all("a", "b"), 0);
    EXPECT_TRUE(s.remove_prefix("", true));
    EXPECT_TRUE(s.insert(0, ""));
    EXPECT_EQ(s.next_line(&cursor, true), nullptr);
    s.assign("");
    s.append("", 0);
    EXPECT_EQ(s.c_str(), shared);
    EXPECT_EQ(s.capacity(), 0u);
    EXPECT_EQ(s.data_or_null(), nullptr);

    s.append("x");   // the first growth takes a private buffer
    EXPECT_NE(s.c_str(), shared);
    EXPECT_EQ(str(s), "x");
    EXPECT_STREQ(shared, "");
    EXPECT_EQ(cstring("").c_str(), shared);
}

TEST(CommonString, AccessStaysWithinTheText) {
    cstring s("abc");
    EXPECT_EQ(s.char_at(2), 'c');
    EXPECT_EQ(s.char_at(3), 0);
    EXPECT_EQ(s.char_at(4000), 0);
    s.set_char_at(1, 'B');
    s.set_char_at(3, 'x');   // would remove the terminator
    s.set_char_at(99, 'x');
    EXPECT_EQ(str(s), "aBc");
    EXPECT_EQ(s.first_char(), 'a');
    EXPECT_EQ(s.last_char(), 'c');
    EXPECT_STREQ(s.remove_last(), "aB");
    EXPECT_EQ(cstring("").last_char(), 0);

    char* buffer = s.get_buffer(100);
    ASSERT_NE(buffer, nullptr);
    EXPECT_GE(s.capacity(), 101u);
    EXPECT_EQ(s.length(), 2u);   // get_buffer leaves the length alone
    memset(buffer, 'z', 100);
    EXPECT_EQ(s.set_length(100), 100u);
    EXPECT_EQ(str(s), std::string(100, 'z'));
    EXPECT_EQ(s.set_length(s.capacity()), 100u);   // not below the capacity: unchanged
    EXPECT_EQ(s.set_length(1), 1u);
    EXPECT_EQ(str(s), "z");
}

TEST(CommonString, AssignsAndAppendsFromItself) {
    cstring s("hello world");
    s.assign(s.c_str() + 6);
    EXPECT_EQ(str(s), "world");
    s.assign_range("0123456789", 2, 5);
    EXPECT_EQ(str(s), "234");
    s.assign(nullptr);
    EXPECT_EQ(s.length(), 0u);
    EXPECT_STREQ(s.assign("abcdef", 2), "ab");

    // Appending its own text while the buffer moves to grow.
    cstring twice("0123456789");
    for (int i = 0; i < 8; i++) twice.append(twice.c_str(), int(twice.length()));
    EXPECT_EQ(twice.length(), 2560u);
    EXPECT_EQ(std::string(twice.c_str(), 20), "01234567890123456789");
    EXPECT_EQ(strlen(twice.c_str()), 2560u);
    twice = twice;
    EXPECT_EQ(twice.length(), 2560u);
    cstring tail("abc");
    tail.append(nullptr);
    tail.append("defgh", 2);
    EXPECT_EQ(str(tail), "abcde");
}

TEST(CommonString, ComparesBytesAboveAsciiUnsigned) {
    cstring s("\xC9t\xE9");   // "Été" in code page 1252
    EXPECT_TRUE(s.equals("\xC9t\xE9"));
    EXPECT_TRUE(s.not_equals("\xC9T\xE9"));
    EXPECT_TRUE(s.equals_nocase("\xC9T\xE9"));
    EXPECT_TRUE(cstring().equals(nullptr));
    // Above 0x7F sorts after ASCII, with or without regard to case.
    EXPECT_EQ(cstring("\xE9").compare("z"), 1);
    EXPECT_EQ(cstring("\xE9").compare_nocase("Z"), 1);
    EXPECT_EQ(cstring("Z").compare_nocase("\xE9"), -1);
    EXPECT_EQ(cstring("abc").compare(cstring("abd")), -1);
    EXPECT_EQ(cstring("abc").compare("ab"), 1);
    EXPECT_EQ(cstring("ABC").compare_nocase("abc"), 0);
    // Case-insensitive order folds to lower case: "_" sorts before the letters.
    EXPECT_EQ(cstring("_").compare_nocase("A"), -1);
}

TEST(CommonString, SearchesWithAndWithoutCase) {
    cstring s("xxAB");
    EXPECT_TRUE(s.contains("ab", false));
    EXPECT_FALSE(s.contains("ab", true));
    EXPECT_FALSE(s.contains("xxABx", false));
    EXPECT_TRUE(s.contains("", true));
    EXPECT_FALSE(cstring("abc").starts_with("AB", true));
    EXPECT_TRUE(cstring("abc").starts_with("AB", false));
    EXPECT_FALSE(cstring("ab").starts_with("abc", false));
    EXPECT_TRUE(cstring("C:\\JRE\\BIN\\JAVA.EXE").ends_with("java.exe", false));
    EXPECT_FALSE(cstring("a.exe").ends_with("xa.exe", false));
    EXPECT_TRUE(cstring("caf\xC9").contains("F\xC9", false));
    EXPECT_FALSE(cstring("caf\xC9").contains("f\xE9", true));

    EXPECT_TRUE(s.contains_any_of("qB"));
    EXPECT_FALSE(s.contains_any_of(""));
    EXPECT_FALSE(s.contains_any_of("yz"));

    EXPECT_EQ(s.find_char('A', -7), 2);
    EXPECT_EQ(s.find_char('x', 1), 1);
    EXPECT_EQ(s.find_char('x', 2), -1);
    EXPECT_EQ(s.find("AB", 2), 2);
    EXPECT_EQ(s.find("AB", 3), -1);
    EXPECT_EQ(s.find("", 99), 4);   // from is clamped to the length
    EXPECT_EQ(cstring("").find(""), -1);

    const char list[] = "alpha\0Beta\0gamma\0";
    EXPECT_EQ(cstring("beta").index_in_list(list, -5, false), 1);
    EXPECT_EQ(cstring("beta").index_in_list(list, -5, true), -5);
    EXPECT_EQ(cstring("alpha").index_in_list("", 7, true), 7);
    EXPECT_EQ(cstring("").index_in_list("", 7, true), 7);
}

TEST(CommonString, EditsInPlace) {
    cstring s("abc");
    EXPECT_TRUE(s.remove_prefix("ABC", false));
    EXPECT_EQ(s.length(), 0u);
    s = "Program Files";
    EXPECT_FALSE(s.remove_prefix("program", true));
    EXPECT_TRUE(s.replace_range(0, 7, "Common"));
    EXPECT_EQ(str(s), "Common Files");
    EXPECT_FALSE(s.replace_range(7, 6, "x"));   // runs past the end
    EXPECT_FALSE(s.replace_range(13, 0, "x"));
    EXPECT_TRUE(s.insert(12, "!"));
    EXPECT_TRUE(s.replace_range(0, 6, s.c_str() + 7));   // a replacement from its own text
    EXPECT_EQ(str(s), "Files! Files!");

    cstring r("xa");
    EXPECT_EQ(r.replace_all("a", "ba"), 1);   // the replacement is not searched again
    EXPECT_EQ(str(r), "xba");
    cstring path("a\\b\\\\c");
    EXPECT_EQ(path.replace_all("\\", "\\\\"), 3);
    EXPECT_EQ(str(path), "a\\\\b\\\\\\\\c");
    EXPECT_EQ(path.replace_all("", "x"), 0);   // an empty text to find matches nothing
    EXPECT_EQ(path.replace_all("zz", "x"), 0);
    EXPECT_EQ(path.replace_char('\\', '/'), 6);

    cstring t("a-b_c-d");
    EXPECT_EQ(t.translate("-_", "+"), 1);   // "_" has no partner and is deleted
    EXPECT_EQ(str(t), "a+bc+d");
}

TEST(CommonString, TrimsAndConvertsCase) {
    cstring blanks(" \t\r\n\f ");
    blanks.trim_right();
    EXPECT_EQ(blanks.length(), 0u);
    cstring vt("\v value \v");
    vt.trim();   // vertical tab is not whitespace here
    EXPECT_EQ(str(vt), "\v value \v");
    cstring padded("  x y  ");
    padded.trim();
    EXPECT_EQ(str(padded), "x y");
    cstring slashes("\\\\//");
    slashes.trim_right_chars("\\/");
    EXPECT_EQ(slashes.length(), 0u);

    cstring mixed("Mixed \xC9t\xE9 CASE");
    mixed.to_lower();
    EXPECT_EQ(str(mixed), "mixed \xC9t\xE9 case");   // the C locale changes ASCII only
    mixed.to_upper();
    EXPECT_EQ(str(mixed), "MIXED \xC9T\xE9 CASE");
}

TEST(CommonString, NormalisesLineEnds) {
    cstring s("a\r\r\nb\nc");
    EXPECT_EQ(s.to_crlf(), 3);
    EXPECT_EQ(str(s), "a\r\nb\r\nc");
    cstring trailing("x\n\n");
    EXPECT_EQ(trailing.to_crlf(), 3);
    EXPECT_EQ(str(trailing), "x\r\n\r\n");
    cstring lone("no feed\r");
    EXPECT_EQ(lone.to_crlf(), 1);
    EXPECT_EQ(str(lone), "no feed\r");
}
