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

// What one report logs when all five attempts fail with "invalid handle" (Wine's text).
const char kFailedAttempts[] =
    "Error 6 in SetServiceStatus(): retrying (4 attempts left)...\n"
    "Error 6 in SetServiceStatus(): retrying (3 attempts left)...\n"
    "Error 6 in SetServiceStatus(): retrying (2 attempts left)...\n"
    "Error 6 in SetServiceStatus(): retrying (1 attempts left)...\n"
    "Error 6 in SetServiceStatus(): retrying (0 attempts left)...\n"
    "Error 6 in SetServiceStatus(0x00000000): Invalid handle. (0x6)\n";

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

// Every state but RUNNING and STOPPED is pending: it takes the next check point and logs
// its name; each report tries five times. No state repeats in a row here, so no wait
// hint grows.
TEST_F(ServiceStatus, PendingStatesCarryCheckPointsAndRetries) {
    const struct {
        DWORD state;
        const char* logged;   // the name in the status line; null: no status line
        DWORD controls;
    } reports[] = {
        {SERVICE_START_PENDING, "START_PENDING", 0},   // no stop while starting
        {SERVICE_RUNNING, nullptr, SERVICE_ACCEPT_STOP},
        {SERVICE_STOP_PENDING, "STOP_PENDING", SERVICE_ACCEPT_STOP},
        {SERVICE_CONTINUE_PENDING, "CONTINUE_PENDING", SERVICE_ACCEPT_STOP},
        {SERVICE_PAUSE_PENDING, "PAUSE_PENDING", SERVICE_ACCEPT_STOP},
        {SERVICE_PAUSED, "PAUSED", SERVICE_ACCEPT_STOP},
        {SERVICE_STOPPED, nullptr, SERVICE_ACCEPT_STOP},
        {0, "Unknown", SERVICE_ACCEPT_STOP},
        {8, "Unknown", SERVICE_ACCEPT_STOP},
    };
    ReportServiceStatus(SERVICE_START_PENDING, 0, 1);
    DWORD checkPoint = ssStatus.dwCheckPoint;   // the counter runs on from earlier tests
    EXPECT_GE(checkPoint, 1u);
    log = LogWatch();
    for (const auto& r : reports) {
        SCOPED_TRACE(r.state);
        DWORD waitHint = 5000 + r.state;
        ReportServiceStatus(r.state, 0, waitHint);
        EXPECT_EQ(ssStatus.dwCurrentState, r.state);
        EXPECT_EQ(ssStatus.dwControlsAccepted, r.controls);
        EXPECT_EQ(ssStatus.dwWaitHint, waitHint);
        EXPECT_EQ(ssStatus.dwWin32ExitCode, 0u);
        EXPECT_EQ(ssStatus.dwCheckPoint, r.logged ? ++checkPoint : 0u);
        std::string expected = kFailedAttempts;
        if (r.logged)
            expected = "SetServiceStatus(" + std::string(r.logged) + "): WaitHint=" + std::to_string(waitHint) +
                       " checkPoint=" + std::to_string(checkPoint) + "\n" + expected;
        EXPECT_EQ(withoutStamps(log.NewText()), expected);
        log = LogWatch();
    }

    // A non-zero exit code is service-specific.
    ReportServiceStatus(SERVICE_RUNNING, 1234, 0);
    EXPECT_EQ(ssStatus.dwWin32ExitCode, DWORD(ERROR_SERVICE_SPECIFIC_ERROR));
    EXPECT_EQ(ssStatus.dwServiceSpecificExitCode, 1234u);
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
    controlHandler(SERVICE_CONTROL_SHUTDOWN);   // stops too: adds its 10000 ms, signals again, posts again
    EXPECT_EQ(ssStatus.dwWaitHint, 20000u);
    EXPECT_EQ(ssStatus.dwCheckPoint, first + 1);
    controlHandler(200);   // unknown: re-reported with 1000 more
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
                                 "SERVICE_CONTROL_SHUTDOWN received...\n",
                                 hint + "20000 checkPoint=" + std::to_string(first + 1) + "\n",
                                 "signalling hStopRequestEvent(0x", "passing JS_SERVICE_STOPPED request...\n",
                                 "controlHandler(200)\n",
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

TEST(ServiceMain, AProgramWithoutAVersionBlockReadsAsVersionZero) {
    int parts[4] = {9, 9, 9, 9};
    EXPECT_FALSE(GetModuleVersion(&parts[0], &parts[1], &parts[2], &parts[3]));
    EXPECT_EQ(std::vector<int>(parts, parts + 4), (std::vector<int>{0, 0, 0, 0}));
}

}  // namespace
