// cstring's readers: quoted tokens and their escapes, the pattern scanner, splitting into
// an array, name <address> pairs, the line reader, URL encoding and hex digits.
#include <gtest/gtest.h>

#include <string>

#include "cstring.h"
#include "cstring_array.h"

namespace {

std::string str(const cstring& s) {
    return std::string(s.c_str(), s.length());
}

}  // namespace

TEST(CommonStringParse, ReadsQuotedAndPlainTokens) {
    cstring token;
    const char* input = "\"C:\\\\Program Files\\\"x\\\"\\t\"rest";
    const char* stop = token.parse_token(input, 0, true);
    EXPECT_EQ(str(token), "C:\\Program Files\"x\"\t");   // blanks kept inside quotes
    EXPECT_STREQ(stop, "rest");

    const char* plain = "key=value more";
    stop = token.parse_token(plain, '=', true);
    EXPECT_EQ(str(token), "key");
    EXPECT_STREQ(stop, "=value more");
    stop = token.parse_token(stop + 1, 0, true);
    EXPECT_EQ(str(token), "value");
    EXPECT_STREQ(stop, " more");
    stop = token.parse_token("a b;c", ';', false);
    EXPECT_EQ(str(token), "a b");

    // An open quote reads to the end; a backslash there has nothing to escape.
    stop = token.parse_token("\"open\\", 0, true);
    EXPECT_EQ(str(token), "open\\");
    EXPECT_EQ(*stop, 0);
    stop = token.parse_token("\"a,b\"", ',', false);   // the delimiter ends a quoted token too
    EXPECT_EQ(str(token), "a");
    EXPECT_STREQ(stop, ",b\"");
    EXPECT_EQ(token.parse_token(nullptr, 0, true), nullptr);
    EXPECT_EQ(token.length(), 0u);

    stop = token.parse_token_in_set("one;two,three", ",;", false);
    EXPECT_EQ(str(token), "one");
    EXPECT_STREQ(stop, ";two,three");

    cstring self("first second");
    stop = self.parse_token(self.c_str(), 0, true);   // reading its own text
    EXPECT_EQ(str(self), "first");
    EXPECT_EQ(stop - self.c_str(), 5);
}

TEST(CommonStringParse, ScansByPattern) {
    cstring name, value;
    EXPECT_EQ(cstring("name = value").scan("s=*", &name, &value), 3);
    EXPECT_EQ(str(name), "name");
    EXPECT_EQ(str(value), "value");

    int width = 0, height = 0;
    EXPECT_EQ(cstring("size = 640 , 480").scan("s=i,i", &name, &width, &height), 5);
    EXPECT_EQ(width, 640);
    EXPECT_EQ(height, 480);

    // Scanning stops at the first separator that does not match.
    name = "untouched";
    value = "untouched";
    EXPECT_EQ(cstring("left : right").scan("s=s", &name, &value), 1);
    EXPECT_EQ(str(name), "left");
    EXPECT_EQ(str(value), "untouched");
    EXPECT_EQ(cstring("a:b").scan("s:s", &name, &value), 3);
    EXPECT_EQ(str(value), "b");

    // An empty or blank text matches nothing and leaves the outputs alone.
    EXPECT_EQ(cstring("").scan("s=*", &name, &value), 0);
    EXPECT_EQ(cstring(" \t ").scan("i", &width), 0);
    EXPECT_EQ(cstring::scan_text(nullptr, "s", &name), 0);
    EXPECT_EQ(str(name), "a");
    EXPECT_EQ(width, 640);

    // "S" reads blanks up to the delimiter; a null output is consumed but not counted.
    EXPECT_EQ(cstring::scan_text("Java Home : C:\\jre  ", "S:*", nullptr, &value), 2);
    EXPECT_EQ(str(value), "C:\\jre");

    cstring line("key = the rest");
    EXPECT_EQ(line.scan("s=*", &name, &line), 3);   // the output may be the scanned string
    EXPECT_EQ(str(line), "the rest");
}

TEST(CommonStringParse, SplitsIntoAnArray) {
    cstring_array parts;
    parts.add("stale");
    EXPECT_EQ(cstring("  one \"two three\"\tfour  ").split_into(parts, nullptr), 3);
    ASSERT_EQ(parts.count(), 3);
    EXPECT_EQ(str(*parts.at(1)), "two three");
    EXPECT_EQ(str(*parts.at(2)), "four");
    EXPECT_EQ(cstring("a,,b;c;").split_into(parts, ",;"), 3);
    EXPECT_EQ(str(*parts.at(0)), "a");
    EXPECT_EQ(str(*parts.at(2)), "c");
    EXPECT_EQ(cstring(" \t").split_into(parts, nullptr), 0);
    EXPECT_EQ(parts.count(), 0);
}

TEST(CommonStringParse, SplitsNameAndAddress) {
    cstring name("x"), address("y");
    EXPECT_TRUE(cstring("  \"Doe, John\" <john@example.org> ").split_name_address(name, address));
    EXPECT_EQ(str(name), "Doe, John");
    EXPECT_EQ(str(address), "john@example.org");
    cstring("John Doe <jd@example.org>").split_name_address(name, address);
    EXPECT_EQ(str(name), "John Doe");
    EXPECT_EQ(str(address), "jd@example.org");
    cstring("Jane jane@example.org").split_name_address(name, address);
    EXPECT_EQ(str(name), "Jane");
    EXPECT_EQ(str(address), "jane@example.org");
    cstring("solo@example.org").split_name_address(name, address);
    EXPECT_EQ(name.length(), 0u);
    EXPECT_EQ(str(address), "solo@example.org");
    cstring("<a@b> trailing>").split_name_address(name, address);   // up to the last ">"
    EXPECT_EQ(str(address), "a@b> trailing");
}

TEST(CommonStringParse, ReadsLines) {
    cstring text("one\r\n  two\n\n\tthree\rrest");
    char* cursor = nullptr;
    EXPECT_STREQ(text.next_line(&cursor, false), "one\r");   // the CR before a LF stays
    EXPECT_STREQ(text.next_line(&cursor, true), "two");
    EXPECT_STREQ(text.next_line(&cursor, true), "");   // skipping stops at the line's end
    EXPECT_STREQ(text.next_line(&cursor, true), "three\rrest");
    EXPECT_EQ(text.next_line(&cursor, false), nullptr);
    EXPECT_EQ(text.next_line(&cursor, false), nullptr);

    char elsewhere[] = "x";
    cursor = elsewhere;
    EXPECT_EQ(text.next_line(&cursor, false), nullptr);
    cstring empty("");
    cursor = nullptr;
    EXPECT_EQ(empty.next_line(&cursor, false), nullptr);
}

TEST(CommonStringParse, EncodesAndDecodesUrls) {
    cstring out("old");
    cstring("a b/c").url_encode(out);
    EXPECT_EQ(str(out), "a+b%2fc");
    cstring("x.y_z,\xE9~").url_encode(out);
    EXPECT_EQ(str(out), "x.y_z,%e9%7e");

    cstring("a%4").url_decode(out);
    EXPECT_EQ(str(out), "a");   // an escape cut short is dropped
    cstring("%41+b").url_decode(out);
    EXPECT_EQ(str(out), "A b");
    cstring("%").url_decode(out);
    EXPECT_EQ(out.length(), 0u);
    cstring("100%zz%4G%e9").url_decode(out);
    EXPECT_EQ(str(out), "100%zz%4G\xE9");   // not an escape: the "%" stays

    std::string all;
    for (int c = 0; c < 256; c++) all.push_back(char(c));
    cstring bytes(all.c_str(), int(all.size()));
    cstring encoded, decoded;
    bytes.url_encode(encoded);
    EXPECT_EQ(encoded.find_char('\0'), -1);
    encoded.url_decode(decoded);
    EXPECT_EQ(str(decoded), all);

    cstring self("a b");
    self.url_encode(self);
    EXPECT_EQ(str(self), "a+b");
}

TEST(CommonStringParse, ReadsHexDigits) {
    EXPECT_EQ(cstring::hex_value('0'), 0);
    EXPECT_EQ(cstring::hex_value('a'), 10);
    EXPECT_EQ(cstring::hex_value('F'), 15);
    EXPECT_EQ(cstring::hex_value('g'), -1);
    EXPECT_EQ(cstring::hex_value('\0'), -1);
    EXPECT_EQ(cstring::hex_value('\xC1'), -1);
}
