// Status reporting and the control handler, in process: check points, growing stop
// wait hints, the retry of SetServiceStatus, and console mode's silence. Outside a
// service the status handle is 0, so every SetServiceStatus here fails with "invalid
// handle" and goes through its retries.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jvm_host.h"
#include "service_host.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// What one report logs when all five attempts fail with "invalid handle".
std::string failedAttempts() {
    char text[512];
    SetLastError(ERROR_INVALID_HANDLE);
    std::string lines;
    for (int left = 4; left >= 0; left--)
        lines += "Error 6 in SetServiceStatus(): retrying (" + std::to_string(left) + " attempts left)...\n";
    return lines + "Error 6 in SetServiceStatus(0x00000000): " + LastErrorText(text, sizeof text) + "\n";
}

std::string withoutStamps(const std::string& text) {
    std::string joined;
    for (const std::string& record : LogRecords(text)) joined += record;
    return joined;
}

class ServiceStatus : public ::testing::Test {
protected:
    void SetUp() override {
        bConsoleMode = 0;
        sshStatusHandle = nullptr;
        memset(&jvmHost, 0, sizeof jvmHost);
    }
    LogWatch log;
};

TEST_F(ServiceStatus, PendingStatesCarryCheckPointsAndRetries) {
    ReportServiceStatus(SERVICE_START_PENDING, 0, 5000);
    EXPECT_EQ(ssStatus.dwCurrentState, DWORD(SERVICE_START_PENDING));
    EXPECT_EQ(ssStatus.dwControlsAccepted, 0u);   // no stop while starting
    EXPECT_EQ(ssStatus.dwWaitHint, 5000u);
    DWORD first = ssStatus.dwCheckPoint;
    EXPECT_GE(first, 1u);

    ReportServiceStatus(SERVICE_RUNNING, 1234, 0);
    EXPECT_EQ(ssStatus.dwCheckPoint, 0u);
    EXPECT_EQ(ssStatus.dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP));
    EXPECT_EQ(ssStatus.dwWin32ExitCode, DWORD(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(ssStatus.dwServiceSpecificExitCode, 1234u);

    // RUNNING has no status line of its own; each report tries five times.
    EXPECT_EQ(withoutStamps(log.NewText()),
              "SetServiceStatus(START_PENDING): WaitHint=5000 checkPoint=" + std::to_string(first) + "\n" +
                  failedAttempts() + failedAttempts());
}

TEST_F(ServiceStatus, RepeatedStopsLengthenTheWait) {
    ReportServiceStatus(SERVICE_RUNNING, 0, 0);
    controlHandler(SERVICE_CONTROL_INTERROGATE);
    EXPECT_EQ(ssStatus.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(ssStatus.dwWaitHint, 1000u);
    EXPECT_EQ(ssStatus.dwCheckPoint, 0u);

    jvmHost.hStopRequestEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    controlHandler(SERVICE_CONTROL_STOP);
    DWORD first = ssStatus.dwCheckPoint;
    EXPECT_EQ(ssStatus.dwWaitHint, 10000u);
    controlHandler(SERVICE_CONTROL_STOP);   // adds its 10000 ms, signals again, posts again
    EXPECT_EQ(ssStatus.dwWaitHint, 20000u);
    EXPECT_EQ(ssStatus.dwCheckPoint, first + 1);
    controlHandler(200);                    // unknown: re-reported with 1000 more
    EXPECT_EQ(ssStatus.dwWaitHint, 21000u);
    EXPECT_EQ(WaitForSingleObject(jvmHost.hStopRequestEvent, 0), WAIT_OBJECT_0);
    CloseHandle(jvmHost.hStopRequestEvent);

    std::string text = log.NewText();
    std::string missing;
    std::string hint = "SetServiceStatus(STOP_PENDING): WaitHint=";
    EXPECT_TRUE(ContainsInOrder(text,
                                {"SERVICE_CONTROL_INTERROGATE received...\n", "SERVICE_CONTROL_STOP received...\n",
                                 hint + "10000 checkPoint=" + std::to_string(first) + "\n",
                                 "signalling hStopRequestEvent(0x", "STOP_PENDING status reported; requesting JVM stop...\n",
                                 "passing JS_SERVICE_STOPPED request...\n",
                                 "JS_SERVICE_STOPPED request has been passed (asynchronously)...\n",
                                 "SERVICE_CONTROL_STOP received...\n",
                                 hint + "20000 checkPoint=" + std::to_string(first + 1) + "\n", "controlHandler(200)\n",
                                 hint + "21000 checkPoint=" + std::to_string(first + 2) + "\n"},
                                &missing))
        << missing << "\n" << text;
}

TEST_F(ServiceStatus, ConsoleModeReportsNothing) {
    ReportServiceStatus(SERVICE_STOPPED, 0, 0);
    SERVICE_STATUS before = ssStatus;
    LogWatch quiet;
    bConsoleMode = 1;
    EXPECT_EQ(ReportServiceStatus(SERVICE_STOP_PENDING, 0, 10000), 1);
    bConsoleMode = 0;
    EXPECT_EQ(memcmp(&before, &ssStatus, sizeof before), 0);
    EXPECT_EQ(quiet.NewText(), "");
}

TEST(ServiceNames, StatusNamesAndModuleVersion) {
    EXPECT_STREQ(StatusName(SERVICE_STOPPED), "STOPPED");
    EXPECT_STREQ(StatusName(SERVICE_START_PENDING), "START_PENDING");
    EXPECT_STREQ(StatusName(SERVICE_STOP_PENDING), "STOP_PENDING");
    EXPECT_STREQ(StatusName(SERVICE_RUNNING), "RUNNING");
    EXPECT_STREQ(StatusName(SERVICE_CONTINUE_PENDING), "CONTINUE_PENDING");
    EXPECT_STREQ(StatusName(SERVICE_PAUSE_PENDING), "PAUSE_PENDING");
    EXPECT_STREQ(StatusName(SERVICE_PAUSED), "PAUSED");
    EXPECT_STREQ(StatusName(0), "Unknown");
    EXPECT_STREQ(StatusName(8), "Unknown");

    // This test program carries no version block: all four parts read as 0.
    int parts[4] = {9, 9, 9, 9};
    EXPECT_FALSE(GetModuleVersion(&parts[0], &parts[1], &parts[2], &parts[3]));
    EXPECT_EQ(parts[0] + parts[1] + parts[2] + parts[3], 0);
}

}  // namespace
