// CVelmorException: message building with and without a code and an OS error, the
// factories for the last errors, state bits, copies and the truncated copy-out.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <windows.h>

#include <string>

#include "exception.h"

namespace {

// What FormatMessageA gives for an OS error, or "" (the wording differs between Wine
// and Windows).
std::string system_text(DWORD error) {
    char buffer[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, buffer,
                             sizeof buffer, nullptr);
    return std::string(buffer, n);
}

}  // namespace

TEST(CommonException, BuildsTheMessage) {
    CVelmorException coded(18001, "Cannot open file \"%s\": %s", "a.txt", "gone");
    EXPECT_EQ(coded.code(), 18001);
    EXPECT_STREQ(coded.message(), "Error 18001: Cannot open file \"a.txt\": gone");
    CVelmorException plain(0, "%d%%", 50);
    EXPECT_STREQ(plain.message(), "50%");
    CVelmorException none;
    EXPECT_EQ(none.code(), 0);
    EXPECT_STREQ(none.message(), "");

    std::string big(100000, 'm');   // no fixed-size buffer on the way
    CVelmorException large(3, "%s", big.c_str());
    EXPECT_EQ(std::string(large.message()), "Error 3: " + big);
}

TEST(CommonException, AddsTheOsError) {
    ASSERT_FALSE(system_text(ERROR_FILE_NOT_FOUND).empty());
    CVelmorException* e = CVelmorException::for_os_error(7, ERROR_FILE_NOT_FOUND, "open %s", "x.cfg");
    EXPECT_EQ(std::string(e->message()), "Error 7: open x.cfg\nOS Error 2: " + system_text(ERROR_FILE_NOT_FOUND));
    delete e;

    e = CVelmorException::for_os_error(0, 0x2FFFFFFF, "odd");   // a code without a system text
    EXPECT_EQ(std::string(e->message()), "odd\nOS Error 805306367: ");
    delete e;
    e = CVelmorException::for_os_error(9, 0, "fine");
    EXPECT_STREQ(e->message(), "Error 9: fine");
    delete e;

    SetLastError(ERROR_ACCESS_DENIED);
    e = CVelmorException::for_last_error(12, "write %d", 1);
    EXPECT_EQ(std::string(e->message()), "Error 12: write 1\nOS Error 5: " + system_text(ERROR_ACCESS_DENIED));
    delete e;
    WSASetLastError(WSAECONNRESET);
    e = CVelmorException::for_socket_error(13, "recv");
    EXPECT_EQ(std::string(e->message()), "Error 13: recv\nOS Error 10054: " + system_text(WSAECONNRESET));
    delete e;
}

TEST(CommonException, KeepsStateBitsUntilTheMessageChanges) {
    CVelmorException e(1, "first");
    EXPECT_FALSE(e.has_state(CVelmorException::kLogged | CVelmorException::kShown));
    e.set_state(CVelmorException::kLogged);
    e.set_state(0x100);
    EXPECT_TRUE(e.has_state(CVelmorException::kShown | CVelmorException::kLogged));
    EXPECT_FALSE(e.has_state(CVelmorException::kShown));
    EXPECT_EQ(e.state(), 0x101u);

    CVelmorException copy(e);
    EXPECT_EQ(copy.state(), 0x101u);
    EXPECT_STREQ(copy.message(), "Error 1: first");
    e.set_message(2, "second %s", "text");
    EXPECT_EQ(e.state(), 0u);
    EXPECT_EQ(e.code(), 2);
    EXPECT_STREQ(e.message(), "Error 2: second text");
    EXPECT_STREQ(copy.message(), "Error 1: first");   // the copy has its own message
    copy = e;
    EXPECT_STREQ(copy.message(), "Error 2: second text");
}

TEST(CommonException, CopiesTheMessageOut) {
    CVelmorException e(4, "abcdef");   // "Error 4: abcdef"
    char buffer[8];
    memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(e.copy_message(buffer, 6), 5);
    EXPECT_STREQ(buffer, "Error");
    EXPECT_EQ(buffer[6], '#');
    EXPECT_EQ(e.copy_message(buffer, 1), 0);
    EXPECT_STREQ(buffer, "");
    buffer[0] = '#';
    EXPECT_EQ(e.copy_message(buffer, 0), 0);
    EXPECT_EQ(buffer[0], '#');
    char whole[64];
    EXPECT_EQ(e.copy_message(whole, sizeof whole), 15);
    EXPECT_STREQ(whole, "Error 4: abcdef");
}

TEST(CommonException, IsThrownAndCaughtAsAPointer) {
    try {
        throw new CVelmorException(94001, "requested %lu bytes", 5ul);
    } catch (CVelmorException* e) {
        EXPECT_EQ(e->code(), 94001);
        EXPECT_STREQ(e->message(), "Error 94001: requested 5 bytes");
        delete e;
    }
}
