// The configurator log: where it lies, the forms of its three writers, the stamp, and
// whole records when two threads log at once.
#include <gtest/gtest.h>

#include <string>

#include "config_test_support.h"
#include "krlxconfig.h"
#include "test_support.h"

using namespace config_testing;
using namespace testing_support;

namespace {

DWORD WINAPI logRecords(void* param) {
    int writer = int(reinterpret_cast<INT_PTR>(param));
    for (int i = 0; i < 300; i++)
        LogPrint("writer %d record %03d: the quick brown fox jumps over the lazy dog\nsecond line %d\n", writer, i,
                 writer);
    return 0;
}

// Month, day, hour, minute and second of a stamp or a time, as one comparable number.
long long stampValue(int month, int day, int hour, int minute, int second) {
    return (((month * 100LL + day) * 100 + hour) * 100 + minute) * 100 + second;
}

}  // namespace

// Wine's temporary folder of the test user (Windows has it under AppData\Local), which
// GetTempPathA gives with a backslash at its end: one backslash before the name.
TEST(ConfigLog, LiesInTheTemporaryFolder) {
    char user[256] = "";
    DWORD size = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &size));
    EXPECT_STRCASEEQ(LogFilePath(), ("C:\\users\\" + std::string(user) + "\\Temp\\krlxconfig.log").c_str());
}

TEST(ConfigLog, WritersKeepTheTextAsFormattedAfterOneStamp) {
    LogWatch watch(ConfigLogPath());
    SYSTEMTIME before, after;
    GetLocalTime(&before);
    LogPrint("plain %s %d", "text", 42);
    LogPrint("two lines\nsecond\n");
    LogLine("a line of %s", "its own");
    SetLastError(ERROR_ACCESS_DENIED);
    LogOsError("CreateFile(%s) failed", "C:\\x");
    SetLastError(0);
    LogOsError("nothing failed");
    GetLocalTime(&after);

    std::string text = watch.NewText();
    std::vector<std::string> stamps;
    std::vector<std::string> records = ConfigLogRecords(text, &stamps);
    ASSERT_EQ(records.size(), 5u) << text;
    EXPECT_EQ(records[0], "plain text 42");
    EXPECT_EQ(records[1], "two lines\nsecond\n");
    EXPECT_EQ(records[2], "a line of its own\r\n");
    // The system's wording differs between Windows and Wine: compare the frame only.
    EXPECT_EQ(records[3].rfind("CreateFile(C:\\x) failed\r\nOS Error 5: ", 0), 0u) << records[3];
    EXPECT_GT(records[3].size(), std::string("CreateFile(C:\\x) failed\r\nOS Error 5: \r\n").size());
    EXPECT_EQ(records[3].substr(records[3].size() - 2), "\r\n");
    EXPECT_EQ(records[4].rfind("nothing failed\r\nOS Error 0: ", 0), 0u) << records[4];

    // "MM/DD hh:mm:ss " of local time, no year, taken while the records were written.
    for (const std::string& stamp : stamps) {
        int month, day, hour, minute, second;
        ASSERT_EQ(sscanf(stamp.c_str(), "%2d/%2d %2d:%2d:%2d ", &month, &day, &hour, &minute, &second), 5) << stamp;
        long long value = stampValue(month, day, hour, minute, second);
        long long first = stampValue(before.wMonth, before.wDay, before.wHour, before.wMinute, before.wSecond);
        long long last = stampValue(after.wMonth, after.wDay, after.wHour, after.wMinute, after.wSecond);
        // Across New Year the range wraps.
        EXPECT_TRUE(first <= last ? value >= first && value <= last : value >= first || value <= last) << stamp;
    }
}

TEST(ConfigLog, TwoThreadsLeaveWholeRecords) {
    LogWatch watch(ConfigLogPath());
    HANDLE threads[2];
    for (int i = 0; i < 2; i++)
        threads[i] = CreateThread(nullptr, 0, logRecords, reinterpret_cast<void*>(INT_PTR(i + 1)), 0, nullptr);
    WaitForMultipleObjects(2, threads, TRUE, 60000);
    for (HANDLE thread : threads) CloseHandle(thread);

    std::vector<std::string> records = ConfigLogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 600u);
    int next[3] = {0, 0, 0};
    for (const std::string& record : records) {
        int writer = 0, number = -1;
        ASSERT_EQ(sscanf(record.c_str(), "writer %d record %d:", &writer, &number), 2) << record;
        ASSERT_TRUE(writer == 1 || writer == 2) << record;
        char expected[160];
        snprintf(expected, sizeof expected,
                 "writer %d record %03d: the quick brown fox jumps over the lazy dog\nsecond line %d\n", writer,
                 next[writer], writer);
        ASSERT_EQ(record, expected);
        next[writer]++;
    }
    EXPECT_EQ(next[1], 300);
    EXPECT_EQ(next[2], 300);
}
