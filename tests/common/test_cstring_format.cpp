// cstring formatting: plain formats, agreement with the runtime's printf, reserve sizes
// taken from the length estimate, output longer than the estimate (long %f, conversions
// the estimate does not know, widths from "*", 1 MB texts) and arguments that point
// into the string being formatted.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

#include "cstring.h"
#include "exception.h"

namespace {

std::string str(const cstring& s) {
    return std::string(s.c_str(), s.length());
}

template <class... Args>
std::string printed(const char* format, Args... args) {
    int n = snprintf(nullptr, 0, format, args...);
    std::string out(size_t(n) + 1, '\0');
    snprintf(&out[0], out.size(), format, args...);
    out.resize(size_t(n));
    return out;
}

}  // namespace

TEST(CommonStringFormat, PlainFormatIsTakenAsItStands) {
    cstring s;
    s.format("no conversion here");
    EXPECT_EQ(str(s), "no conversion here");
    std::string big(1 << 20, 'x');
    s.format(big.c_str());
    EXPECT_EQ(s.length(), big.size());
    cstring t("head ");
    t.append_format("tail");
    EXPECT_EQ(str(t), "head tail");
    cstring made(cstring::formatted, "%s-%03d", "id", 7);
    EXPECT_EQ(str(made), "id-007");
}

TEST(CommonStringFormat, AgreesWithTheRuntime) {
    cstring s;
    EXPECT_EQ(str(s.format("%s=%d", "memory", -512)), "memory=-512");
    EXPECT_EQ(str(s.format("%5.2f|%-6s|%08x|%c|%%", 3.14159, "ab", 0xBEEFu, 'z')),
              printed("%5.2f|%-6s|%08x|%c|%%", 3.14159, "ab", 0xBEEFu, 'z'));
    EXPECT_EQ(str(s.format("%lld %zu %s", -(1LL << 40), size_t(77), "after")), "-1099511627776 77 after");
    EXPECT_EQ(str(s.format("%S and %ls", L"wide", L"more")), "wide and more");
    EXPECT_EQ(str(s.format("%s", static_cast<const char*>(nullptr))), printed("%s", static_cast<const char*>(nullptr)));
    EXPECT_EQ(str(s.format("a%cb", 0)), "a");   // the length is taken from the terminator
}

TEST(CommonStringFormat, ReservesTheEstimateByTheGrowthPolicy) {
    cstring small("");
    small.format("%d", 7);   // 3 bytes of format and 30 for the conversion
    EXPECT_EQ(small.capacity(), 64u);
    std::string hundred(100, 'a');
    cstring text("");
    text.format("%s", hundred.c_str());   // 133 bytes estimated
    EXPECT_EQ(text.capacity(), 192u);
    cstring wide("");
    wide.format("%*d", 200, 5);   // 234 bytes estimated
    EXPECT_EQ(wide.capacity(), 256u);
    EXPECT_EQ(wide.length(), 200u);
}

TEST(CommonStringFormat, OutputBeyondTheEstimateIsNeverOverrun) {
    cstring s("");
    // Hundreds of digits against 30 estimated bytes.
    s.format("%f", 1e300);
    EXPECT_EQ(str(s), printed("%f", 1e300));
    EXPECT_LT(s.length(), s.capacity());

    // %F and %a are not estimated conversions; the text after them is still found.
    cstring t("");
    t.format("%F|%a|%s", 1e300, 1.0, "tail");
    EXPECT_EQ(str(t), printed("%F|%a|%s", 1e300, 1.0, "tail"));
    EXPECT_LT(t.length(), t.capacity());

    cstring star("");
    star.format("[%*d][%.*f]", -3000, 42, 400, 1.0 / 3);
    EXPECT_EQ(str(star), printed("[%*d][%.*f]", -3000, 42, 400, 1.0 / 3));
    EXPECT_EQ(star.length(), 3000u + 402u + 4u);

    // No 1024-byte limit: a 1 MB text is formatted whole, also when appended.
    std::string big(1 << 20, 'q');
    cstring whole("");
    whole.format("<%s>", big.c_str());
    EXPECT_EQ(str(whole), "<" + big + ">");
    cstring appended("head:");
    appended.append_format("%s|%*d", big.c_str(), 1 << 20, 5);
    ASSERT_EQ(appended.length(), 5u + big.size() + 1u + (1u << 20));
    EXPECT_EQ(std::string(appended.c_str(), 6), "head:q");
    EXPECT_EQ(appended.last_char(), '5');
    EXPECT_LT(appended.length(), appended.capacity());
}

TEST(CommonStringFormat, ArgumentsMayPointIntoTheString) {
    cstring s("0123456789");
    s.format("%s/%s/%s/%s/%s/%s/%s", s.c_str(), s.c_str(), s.c_str(), s.c_str(), s.c_str(), s.c_str(),
             s.c_str() + 5);
    EXPECT_EQ(str(s), "0123456789/0123456789/0123456789/0123456789/0123456789/0123456789/56789");
    cstring a("abc");
    a.append_format("%s%s", a.c_str(), a.c_str());
    EXPECT_EQ(str(a), "abcabcabc");
}

// These formats are wrong on purpose.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat"
#pragma GCC diagnostic ignored "-Wformat-extra-args"

// Texts with a "%" that starts no conversion this library knows, as batch files, paths
// and registry names hold them. The runtime prints such a conversion as it stands and
// takes no argument for it, except for the "'" flag (grouping), for which it takes an int.
TEST(CommonStringFormat, UnknownConversionsAreLeftToTheRuntime) {
    cstring s;
    EXPECT_EQ(str(s.format("Progress 100%!")), "Progress 100%!");
    EXPECT_EQ(str(s.format("cd /d %~dp0")), "cd /d %~dp0");
    EXPECT_EQ(str(s.format("%1$s and %2$s")), "%1$s and %2$s");
    EXPECT_EQ(str(s.format("%qs|%qd")), "%qs|%qd");   // "q" is no size to the runtime
    EXPECT_EQ(str(s.format("%'d|%s", 1234567, "after")), "1234567|after");
    EXPECT_EQ(str(s.format("%y %d", 7)), "%y 7");
    cstring empty("");   // the shared empty text
    EXPECT_EQ(str(empty.format("ends in %")), "ends in ");
    cstring batch("@echo off\r\n");
    batch.append_format("set JAVA=%JAVA_HOME%\\bin\\java.exe");
    EXPECT_EQ(str(batch), "@echo off\r\nset JAVA=%JAVA_HOME%\\bin\\java.exe");

    // After an unknown conversion the arguments cannot be told apart: one that points
    // into the string is still read before the string is written.
    cstring self("abc");
    self.format("%'d %s", 5, self.c_str());
    EXPECT_EQ(str(self), "5 abc");
    cstring appended("xyz");
    appended.append_format("%y%s", appended.c_str());
    EXPECT_EQ(str(appended), "xyz%yxyz");

    CVelmorException error(7, "Progress 100%!");
    EXPECT_STREQ(error.message(), "Error 7: Progress 100%!");
}

#pragma GCC diagnostic pop

// A format taken from the string's own text: the output must not overwrite it, and a
// buffer that grows must not leave it behind in freed memory.
TEST(CommonStringFormat, FormatMayLieInTheString) {
    cstring s("value=%d and more");
    s.format(s.c_str(), 12345);
    EXPECT_EQ(str(s), "value=12345 and more");
    cstring u("n=%d;");
    u.append_format(u.c_str(), 42);
    EXPECT_EQ(str(u), "n=%d;n=42;");
    cstring tail("head %s!");
    tail.format(tail.c_str() + 5, "tail");
    EXPECT_EQ(str(tail), "tail!");
    cstring exact("<%s>", 4);   // capacity 5: the append must move the buffer
    ASSERT_EQ(exact.capacity(), 5u);
    exact.append_format(exact.c_str(), "a text longer than the buffer");
    EXPECT_EQ(str(exact), "<%s><a text longer than the buffer>");
    cstring unknown("%y=%d;");
    unknown.append_format(unknown.c_str(), 3);
    EXPECT_EQ(str(unknown), "%y=%d;%y=3;");
}
