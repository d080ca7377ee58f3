// cstring's UTF-16 conversions: round trips through the ANSI code page, the shared empty
// wide text, and the two length limits with their exact messages.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "cstring.h"
#include "exception.h"

TEST(CommonStringWide, ConvertsThroughTheAnsiCodePage) {
    cstring s("C:\\Programme\\Gr\xFC\xDF" "e");
    const wchar_t* wide = s.to_wide();
    ASSERT_NE(wide, nullptr);
    if (GetACP() == 1252) {
        EXPECT_STREQ(wide, L"C:\\Programme\\Gr\u00fc\u00dfe");
    }
    cstring back("old");
    back.assign_wide(wide);
    EXPECT_STREQ(back.c_str(), s.c_str());
    EXPECT_EQ(back.length(), s.length());

    back.assign_wide(L"abcdef", 3);
    EXPECT_STREQ(back.c_str(), "abc");
    back.assign_wide(nullptr);
    EXPECT_EQ(back.length(), 0u);

    // An empty string answers one static empty text and keeps nothing of its own.
    cstring empty("");
    const wchar_t* none = empty.to_wide();
    EXPECT_EQ(empty.to_wide(), none);
    EXPECT_EQ(cstring().to_wide(), none);
    EXPECT_STREQ(none, L"");
}

TEST(CommonStringWide, RefusesAnsiTextBeyondItsLimit) {
    // 0x20000000 bytes need a wide copy of 0x80000002 bytes: one past the limit. The
    // text's pages are reserved but never touched.
    cstring huge;
    ASSERT_NE(huge.get_buffer(0x20000000u), nullptr);
    ASSERT_EQ(huge.set_length(0x20000000u), 0x20000000u);
    try {
        huge.to_wide();
        FAIL() << "no exception";
    } catch (CVelmorException* e) {
        EXPECT_EQ(e->code(), 18011);
        EXPECT_STREQ(e->message(),
                     "Error 18011: Can't convert ANSI string of 536870912 characters to Unicode string. "
                     "Maximum supported length is 1073741822");
        delete e;
    }
}

TEST(CommonStringWide, RefusesUnicodeTextBeyondItsLimit) {
    cstring s("kept");
    try {
        // The limit is checked on the length before a unit is read.
        s.assign_wide(L"x", size_t(0x80000000u));
        FAIL() << "no exception";
    } catch (CVelmorException* e) {
        EXPECT_EQ(e->code(), 18010);
        EXPECT_STREQ(e->message(),
                     "Error 18010: Can't convert Unicode string of 2147483648 characters to ANSI string. "
                     "Maximum supported length is 2147483647");
        delete e;
    }
    EXPECT_STREQ(s.c_str(), "kept");
}
