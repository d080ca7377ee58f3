// The library's text helpers: wildcard matching with its options and unclosed classes,
// HTML to plain text with broken markup and out-of-range entities, finding tags, and
// the text hash.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "exception.h"
#include "markup.h"
#include "text_hash.h"
#include "thrown.h"
#include "wildcard.h"

namespace {

std::string text_of(const char* html) {
    cstring out("stale");
    html_to_text(html, out);
    return std::string(out.c_str(), out.length());
}

int closing(const char* tag, const char* text, int start) {
    return find_closing_tag(tag, text, int(strlen(text)), start);
}

int opening(const char* tag, const char* text, int limit) {
    return find_opening_tag(tag, text, int(strlen(text)), limit);
}

}  // namespace

TEST(CommonWildcard, MatchesStarsQuestionMarksAndClasses) {
    EXPECT_TRUE(wildcard_match("*.exe", "java.exe", 0));
    EXPECT_FALSE(wildcard_match("*.exe", "java.ex", 0));
    EXPECT_TRUE(wildcard_match("j?va*", "java.exe", 0));
    EXPECT_TRUE(wildcard_match("*", "", 0));
    EXPECT_FALSE(wildcard_match("?", "", 0));
    EXPECT_TRUE(wildcard_match("*a*b*c", "xxaxxbxxbc", 0));
    EXPECT_TRUE(wildcard_match("[jk]ava", "kava", 0));
    EXPECT_FALSE(wildcard_match("[!j]ava", "java", 0));
    EXPECT_TRUE(wildcard_match("[^j]ava", "lava", 0));
    EXPECT_TRUE(wildcard_match("jre[0-9]", "jre7", 0));
    EXPECT_FALSE(wildcard_match("jre[0-6]", "jre7", 0));
    EXPECT_TRUE(wildcard_match("[]]", "]", 0));
    EXPECT_TRUE(wildcard_match("[!]]", "a", 0));
    EXPECT_FALSE(wildcard_match("[!]]", "]", 0));
    EXPECT_TRUE(wildcard_match("[a-]", "-", 0));
    EXPECT_FALSE(wildcard_match(nullptr, "a", 0));
    EXPECT_FALSE(wildcard_match("a", nullptr, 0));

    // Many stars over a long text that never matches: one backtracking point at a time.
    std::string many(5000, 'a');
    EXPECT_FALSE(wildcard_match("*a*a*a*a*a*a*a*a*a*a*b", many.c_str(), 0));
    EXPECT_TRUE(wildcard_match("*a*a*a*a*a*a*a*a*a*a*", many.c_str(), 0));
}

TEST(CommonWildcard, HonoursItsOptions) {
    // Case: folded unless asked, ASCII only.
    EXPECT_TRUE(wildcard_match("JAVA*", "java.exe", 0));
    EXPECT_TRUE(wildcard_match("[A-C]x", "bX", 0));
    EXPECT_FALSE(wildcard_match("JAVA*", "java.exe", wildcard_case_sensitive));
    EXPECT_FALSE(wildcard_match("\xC9", "\xE9", 0));

    // Escapes, and a backslash as an ordinary character.
    EXPECT_TRUE(wildcard_match("\\*", "*", 0));
    EXPECT_FALSE(wildcard_match("\\*", "x", 0));
    EXPECT_TRUE(wildcard_match("[\\]]", "]", 0));
    EXPECT_TRUE(wildcard_match("C:\\*", "C:\\jre", wildcard_no_escape));
    EXPECT_FALSE(wildcard_match("C:\\*", "C:\\jre", 0));
    EXPECT_TRUE(wildcard_match("end\\", "end\\", 0));   // a trailing backslash stands for itself

    // Slashes.
    EXPECT_TRUE(wildcard_match("*.exe", "bin/java.exe", 0));
    EXPECT_FALSE(wildcard_match("*.exe", "bin/java.exe", wildcard_slash_aware));
    EXPECT_TRUE(wildcard_match("*/*.exe", "bin/java.exe", wildcard_slash_aware));
    EXPECT_FALSE(wildcard_match("a?b", "a/b", wildcard_slash_aware));
    EXPECT_FALSE(wildcard_match("a[/]b", "a/b", wildcard_slash_aware));
    EXPECT_TRUE(wildcard_match("a[/]b", "a/b", 0));

    // Leading periods.
    EXPECT_TRUE(wildcard_match("*", ".hidden", 0));
    EXPECT_FALSE(wildcard_match("*", ".hidden", wildcard_leading_period));
    EXPECT_FALSE(wildcard_match("?hidden", ".hidden", wildcard_leading_period));
    EXPECT_FALSE(wildcard_match("[.]hidden", ".hidden", wildcard_leading_period));
    EXPECT_TRUE(wildcard_match(".*", ".hidden", wildcard_leading_period));
    EXPECT_TRUE(wildcard_match("a*", "a.b", wildcard_leading_period));
    EXPECT_FALSE(wildcard_match("dir/*", "dir/.x", wildcard_leading_period | wildcard_slash_aware));
    EXPECT_TRUE(wildcard_match("dir/*", "dir/.x", wildcard_leading_period));
    // A period written in the pattern matches a leading one only with no star before it.
    EXPECT_FALSE(wildcard_match("*.txt", ".txt", wildcard_leading_period));
    EXPECT_FALSE(wildcard_match("**.txt", ".txt", wildcard_leading_period));
    EXPECT_FALSE(wildcard_match("*", ".", wildcard_leading_period));
    EXPECT_FALSE(wildcard_match("a/*.x", "a/.x", wildcard_leading_period | wildcard_slash_aware));
    EXPECT_FALSE(wildcard_match("*/*.x", "a/.x", wildcard_leading_period | wildcard_slash_aware));
    EXPECT_TRUE(wildcard_match("*/.x", "a/.x", wildcard_leading_period | wildcard_slash_aware));
    EXPECT_TRUE(wildcard_match("a/*.x", "a/.x", wildcard_leading_period));   // not leading without slash-aware
    EXPECT_TRUE(wildcard_match("*.txt", ".txt", 0));
    EXPECT_TRUE(wildcard_match(".*.txt", ".a.txt", wildcard_leading_period));
    EXPECT_TRUE(wildcard_match("\\.txt", ".txt", wildcard_leading_period));

    // Leading folders.
    EXPECT_FALSE(wildcard_match("bin", "bin/java.exe", 0));
    EXPECT_TRUE(wildcard_match("bin", "bin/java.exe", wildcard_leading_folder));
    EXPECT_TRUE(wildcard_match("b*", "bin/java.exe", wildcard_leading_folder | wildcard_slash_aware));
    EXPECT_FALSE(wildcard_match("bi", "bin/java.exe", wildcard_leading_folder));
}

TEST(CommonWildcard, TakesAnUnclosedBracketLiterally) {
    EXPECT_TRUE(wildcard_match("[abc", "[abc", 0));
    EXPECT_FALSE(wildcard_match("[abc", "a", 0));
    EXPECT_TRUE(wildcard_match("a[", "a[", 0));
    EXPECT_TRUE(wildcard_match("*[", "xx[", 0));
    EXPECT_TRUE(wildcard_match("[!", "[!", 0));
    EXPECT_TRUE(wildcard_match("[a-", "[a-", 0));
    EXPECT_TRUE(wildcard_match("[\\", "[\\", wildcard_no_escape));
    EXPECT_TRUE(wildcard_match("x[*", "x[yz", 0));
}

TEST(CommonMarkup, StripsTagsAndDecodesEntities) {
    EXPECT_EQ(text_of("<p>Hello, <b>World</b>!</p>"), "Hello, World!");
    EXPECT_EQ(text_of("a &lt; b &gt; c &amp; d&nbsp;e &quot;q&quot; &apos;s&apos;"), "a < b > c & d e \"q\" 's'");
    EXPECT_EQ(text_of("&LT;&Amp;"), "<&");   // entity names fold case
    EXPECT_EQ(text_of("&amp;lt;"), "&lt;");   // decoded once
    EXPECT_EQ(text_of("<a\nhref=\"x\">link</a>"), "link");
    EXPECT_EQ(text_of("&#65;&#66;&#233;"), "AB\xE9");
    EXPECT_EQ(text_of("&#;&#x41;&unknown;"), "&#;&#x41;&unknown;");
    EXPECT_EQ(text_of(""), "");
    EXPECT_EQ(text_of(nullptr), "");
}

TEST(CommonMarkup, SurvivesBrokenMarkup) {
    EXPECT_EQ(text_of("text <b unclosed"), "text <b unclosed");
    EXPECT_EQ(text_of("a <b> c <i"), "a  c <i");
    EXPECT_EQ(text_of("<<>>"), ">");
    // Numbers that no single byte stands for, and the zero byte, become "?".
    EXPECT_EQ(text_of("x&#256;y"), "x?y");
    EXPECT_EQ(text_of("&#8364;"), "?");
    EXPECT_EQ(text_of("&#99999999999999999999;"), "?");
    EXPECT_EQ(text_of("&#0;|&#00065;"), "?|A");
}

TEST(CommonMarkup, FindsMatchingClosingAndLastOpeningTags) {
    const char* nested = "<div><div>x</div></div>y";
    EXPECT_EQ(closing("div", nested, 5), 17);
    EXPECT_EQ(closing("div", nested, 10), 11);
    EXPECT_EQ(closing("div", nested, 0), -1);   // both closings are taken by the openings
    EXPECT_EQ(closing("div", "<div><divx></div>", 5), 11);   // another tag name
    EXPECT_EQ(closing("div", "<div class=\"a\">x</DIV>", 15), 16);
    EXPECT_EQ(closing("div", "<div>no end", 5), -1);
    EXPECT_EQ(closing("div", nested, 100), -1);

    const char* paragraphs = "<p>a<p x>b<p>";
    EXPECT_EQ(opening("p", paragraphs, 5), 4);
    EXPECT_EQ(opening("p", paragraphs, 4), 0);
    EXPECT_EQ(opening("p", paragraphs, 0), -1);
    EXPECT_EQ(opening("p", paragraphs, 100), 10);
    EXPECT_EQ(opening("p", "<pre><p\n>", 100), 5);
    EXPECT_EQ(opening("p", "<P x>", 100), 0);   // tag names fold case
    EXPECT_EQ(opening("p", "no tags", 100), -1);

    int code = 0;
    thrown_message([] { closing("a(", "<a(>", 0); }, &code);   // the name breaks the pattern
    EXPECT_EQ(code, 18391);
}

TEST(CommonTextHash, WeighsSignedBytesByPosition) {
    EXPECT_EQ(text_hash(""), 0);
    EXPECT_EQ(text_hash(nullptr), 0);
    EXPECT_EQ(text_hash("a"), -3104);     // ((1-2-0) ^ 31) * 97 = -32 * 97
    EXPECT_EQ(text_hash("ab"), -129);     // 31 * 97 - 32 * 98
    EXPECT_EQ(text_hash("\xE9"), 736);    // -32 * -23: bytes above 127 count negative
    EXPECT_NE(text_hash("ab"), text_hash("ba"));
}
