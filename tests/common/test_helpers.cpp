// The library's small free functions: max and min of both signs, text tests and the
// truncating copy, the runtime's stat of a file, and waiting on a loopback socket.
#include <gtest/gtest.h>
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include "file_status.h"
#include "socket_wait.h"
#include "test_support.h"
#include "text_utils.h"

using testing_support::TempFolder;
using testing_support::WriteFileText;

TEST(CommonHelpers, MaxAndMinKeepTheirSign) {
    EXPECT_EQ((max)(-1, 1), 1);
    EXPECT_EQ((min)(-1, 1), -1);
    // Unsigned: 0xFFFFFFFF is the largest, not -1.
    EXPECT_EQ((max)(0u, 0xFFFFFFFFu), 0xFFFFFFFFu);
    EXPECT_EQ((min)(1u, 0xFFFFFFFFu), 1u);
}

TEST(CommonHelpers, TestsAndCopiesText) {
    EXPECT_TRUE(is_empty(nullptr));
    EXPECT_TRUE(is_empty(""));
    EXPECT_FALSE(is_empty(" "));

    char buffer[6];
    EXPECT_EQ(copy_truncated("abcdefgh", buffer, sizeof buffer), 5);
    EXPECT_STREQ(buffer, "abcde");
    EXPECT_EQ(copy_truncated("abc", buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(copy_truncated(nullptr, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    buffer[0] = 'k';
    EXPECT_EQ(copy_truncated("abc", buffer, 0), 0);
    EXPECT_EQ(buffer[0], 'k');

    EXPECT_TRUE(is_absolute_path("C:\\jre"));
    EXPECT_TRUE(is_absolute_path("\\\\server\\share"));
    EXPECT_FALSE(is_absolute_path("\\windows"));
    EXPECT_FALSE(is_absolute_path("bin\\java.exe"));
    EXPECT_FALSE(is_absolute_path(nullptr));
}

TEST(CommonHelpers, StatsFiles) {
    TempFolder folder("common_helpers");
    ASSERT_TRUE(WriteFileText(folder.file("data.bin"), std::string(1234, 'd')));
    struct _stat64 record;
    ASSERT_TRUE(file_status(folder.file("data.bin").c_str(), &record));
    EXPECT_EQ(record.st_size, 1234);
    EXPECT_TRUE(record.st_mode & _S_IFREG);
    ASSERT_TRUE(file_status(folder.path().c_str(), &record));
    EXPECT_TRUE(record.st_mode & _S_IFDIR);
    EXPECT_FALSE(file_status(folder.file("missing").c_str(), &record));
    EXPECT_FALSE(file_status(nullptr, &record));
}

TEST(CommonHelpers, WaitsForALoopbackSocket) {
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size), 0);
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    ASSERT_EQ(connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_TRUE(wait_socket_readable(listener, 5000));   // the pending connection
    SOCKET server = accept(listener, nullptr, nullptr);
    ASSERT_NE(server, INVALID_SOCKET);

    EXPECT_TRUE(wait_socket_writable(client, 5000));
    EXPECT_FALSE(wait_socket_readable(server, 1200));   // nothing sent: the time-out
    ASSERT_EQ(send(client, "ping", 4, 0), 4);
    EXPECT_TRUE(wait_socket_readable(server, 5000));
    EXPECT_FALSE(wait_socket_readable(INVALID_SOCKET, 10));   // select fails

    closesocket(server);
    closesocket(client);
    closesocket(listener);
    WSACleanup();
}
