// The service host's string class: growth, formatting with its 1024-byte limit, the
// search and trim rules it has of its own, and the line reader.
#include <gtest/gtest.h>

#include <string>

#include "cstring.h"

TEST(HalvorinString, AppendsAcrossGrowthSteps) {
    cstring s;
    std::string expected;
    for (int i = 0; i < 300; i++) {   // crosses the 24-byte start and many 64-byte steps
        s.append_char(char('a' + i % 26));
        expected.push_back(char('a' + i % 26));
    }
    EXPECT_EQ(std::string(s.c_str()), expected);
    s.append("bcd", 2);
    EXPECT_EQ(s.length(), 302u);
    // set_length within the capacity cuts, beyond it changes nothing
    EXPECT_EQ(s.set_length(3), 3u);
    EXPECT_STREQ(s.c_str(), "abc");
    EXPECT_EQ(s.set_length(100000), 3u);
}

// Appending a string's own text, or part of it, across the growth of its buffer: the
// buffer may move, so the text must be read from where it is after growing.
TEST(HalvorinString, AppendsItsOwnTextWhileGrowing) {
    cstring s("0123456789abcdefghij");   // 20 bytes of the 24-byte start
    s.append(s.c_str());
    EXPECT_STREQ(s.c_str(), "0123456789abcdefghij0123456789abcdefghij");
    for (int round = 0; round < 5; round++) s.append(s.c_str() + 10, 30);
    EXPECT_EQ(s.length(), 190u);
    EXPECT_STREQ(s.c_str() + 160, "abcdefghij0123456789abcdefghij");
}

TEST(HalvorinString, ConstructsFromCountsAndNulls) {
    cstring a("abcdef", 3);
    EXPECT_STREQ(a.c_str(), "abc");
    cstring b(nullptr);
    EXPECT_EQ(b.length(), 0u);
    EXPECT_STREQ(b.c_str(), "");
    EXPECT_EQ(b.data_or_null(), nullptr);
    cstring c(a);
    c.append("!");
    EXPECT_STREQ(a.c_str(), "abc");
    EXPECT_STREQ(c.c_str(), "abc!");
    c = c;   // self-assignment keeps the text
    EXPECT_STREQ(c.c_str(), "abc!");
    c.assign(c.c_str() + 1);   // assigning from its own tail
    EXPECT_STREQ(c.c_str(), "bc!");
}

TEST(HalvorinString, FormatsAndCutsAt1024Bytes) {
    cstring s;
    s.format("%s=%d", "memory", 512);
    EXPECT_STREQ(s.c_str(), "memory=512");
    s.format("100 percent, no conversion");
    EXPECT_STREQ(s.c_str(), "100 percent, no conversion");

    // Without a "%" the format is stored as it stands, whatever its length.
    std::string big(1 << 20, 'x');
    s.format(big.c_str());
    EXPECT_EQ(s.length(), big.size());

    // Formatted output longer than wvsprintfA's limit is cut, never overflowed.
    s.format("%s", big.c_str());
    EXPECT_GT(s.length(), 1000u);
    EXPECT_LE(s.length(), 1024u);
    EXPECT_EQ(std::string(s.c_str()), std::string(s.length(), 'x'));

    cstring t("head:");
    t.append_format("%s", big.c_str());
    EXPECT_TRUE(t.starts_with("head:x", true));
    EXPECT_LE(t.length(), 5u + 1024u);
}

TEST(HalvorinString, ComparesAndSearches) {
    cstring s("xxAB");
    EXPECT_TRUE(s.contains("ab", false));
    EXPECT_FALSE(s.contains("ab", true));
    EXPECT_TRUE(s.contains("AB", true));
    EXPECT_FALSE(s.contains("xxABy", false));   // longer than the string
    EXPECT_FALSE(cstring("abc").starts_with("AB", true));
    EXPECT_TRUE(cstring("abc").starts_with("AB", false));
    EXPECT_FALSE(cstring("ab").ends_with("xab", false));
    EXPECT_TRUE(cstring("C:\\jre\\bin\\JVM.DLL").ends_with(".dll", false));
    EXPECT_EQ(s.find("AB"), 2);
    EXPECT_EQ(s.find("AB", 3), -1);
    EXPECT_EQ(s.find("x", 99), -1);
    EXPECT_EQ(s.find_char('B', -5), 3);
    EXPECT_EQ(cstring("").find("a"), -1);
    EXPECT_TRUE(s.equals_nocase("XXab"));

    // Bytes above 0x7F are ordinary bytes, matched exactly.
    cstring high("\xC9t\xE9-\xFFI");
    EXPECT_TRUE(high.contains("-\xFFi", false));
    EXPECT_FALSE(high.contains("-i", false));
}

TEST(HalvorinString, TrimsWithTheRuntimeWhitespaceSet) {
    cstring blanks(" \t\r\n  ");
    blanks.trim_right();
    EXPECT_EQ(blanks.length(), 0u);
    cstring vt("\vvalue\v");
    vt.trim();   // vertical tab counts as whitespace here
    EXPECT_STREQ(vt.c_str(), "value");

    cstring path("C:\\jre\\\\//");
    path.trim_right_chars("\\/");
    EXPECT_STREQ(path.c_str(), "C:\\jre");
    cstring root("\\\\\\");
    root.trim_right_chars("\\/");   // stops with one byte left
    EXPECT_STREQ(root.c_str(), "\\");

    cstring prefix("abc");
    EXPECT_TRUE(prefix.remove_prefix("ABC", false));
    EXPECT_EQ(prefix.length(), 0u);
    EXPECT_FALSE(prefix.remove_prefix("a", true));
}

TEST(HalvorinString, ReadsLines) {
    cstring text("one\r\n  two\nthree\rrest");
    char* cursor = nullptr;
    EXPECT_STREQ(text.next_line(&cursor, false), "one\r");   // the CR before a LF stays
    EXPECT_STREQ(text.next_line(&cursor, true), "two");
    // A last line without a line feed ends at its first carriage return.
    EXPECT_STREQ(text.next_line(&cursor, false), "three");
    EXPECT_EQ(text.next_line(&cursor, false), nullptr);

    cstring empty("");
    cursor = nullptr;
    EXPECT_EQ(empty.next_line(&cursor, false), nullptr);
}
