// The stop tool as a black box: its 64-bit test build run against the stop event and
// a ProcessID value that each test sets up, with a waiting helper process standing in
// for the server. Exit code, silence, the event's state and the helper's fate.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <string>

#include "test_support.h"

using namespace testing_support;

namespace {

// The shipped xstop.exe is 32-bit and reads the 32-bit registry view (Wow6432Node) on
// 64-bit Windows. The test build is 64-bit and reads the 64-bit view, which is also
// the view these tests write through the helpers of test_support.
const char kServerKey[] = "Software\\Quorvane\\Halvorin6";
const char kStopEvent[] = "Halvorin.XSTOP";
const DWORD kTerminatedExitCode = 0xFFFFFFFF;

std::string XstopPath() { return BuildFile("xstop\\xstop64_test.exe"); }
std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

bool ServerKeyExists() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServerKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

// A child process of the test, ended by the test itself if it is still running at the
// end: the waiting helper that xstop is to end, or a suspended xstop.
class ChildProcess {
public:
    explicit ChildProcess(std::string commandLine, DWORD flags = 0) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup, &info_);
    }
    ~ChildProcess() {
        if (!info_.hProcess) return;
        if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(info_.hProcess, 0);
        CloseHandle(info_.hThread);
        CloseHandle(info_.hProcess);
    }
    bool started() const { return info_.hProcess != nullptr; }
    DWORD id() const { return info_.dwProcessId; }
    void Resume() const { ResumeThread(info_.hThread); }
    // Still running after a short grace: a termination by xstop would have landed by then.
    bool StillRunning() const { return WaitForSingleObject(info_.hProcess, 300) == WAIT_TIMEOUT; }
    // The exit code once it has ended within the time limit; STILL_ACTIVE otherwise.
    DWORD ExitCodeWithin(DWORD timeoutMs) const {
        DWORD code = STILL_ACTIVE;
        if (WaitForSingleObject(info_.hProcess, timeoutMs) == WAIT_OBJECT_0) GetExitCodeProcess(info_.hProcess, &code);
        return code;
    }

private:
    PROCESS_INFORMATION info_ = {};
};

// Only waits, then leaves with exit code 0: 0xFFFFFFFF can only come from a termination.
class Waiter : public ChildProcess {
public:
    Waiter() : ChildProcess(Quoted(BuildFile("tests\\xstop\\xstop_waiter.exe"))) {}
};

class XstopRun : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(DeleteRegTree(HKEY_LOCAL_MACHINE, kServerKey));
        // The event exists only while a test holds a StopEvent.
        ASSERT_EQ(OpenEventA(SYNCHRONIZE, FALSE, kStopEvent), nullptr);
    }
    void TearDown() override { DeleteRegTree(HKEY_LOCAL_MACHINE, kServerKey); }

    // Runs xstop and checks what every run must show: a clean exit with code 0 and
    // nothing written. Returns the run's duration in milliseconds.
    ULONGLONG RunXstopSilently(const std::string& arguments = "") {
        ULONGLONG start = GetTickCount64();
        ProcessResult run = RunProcess(Quoted(XstopPath()) + arguments);
        ULONGLONG elapsed = GetTickCount64() - start;
        EXPECT_TRUE(run.started);
        EXPECT_FALSE(run.timedOut);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.out, "");
        EXPECT_EQ(run.err, "");
        return elapsed;
    }

    void WriteProcessId(DWORD type, const void* data, DWORD size) {
        ASSERT_TRUE(WriteRegValue(HKEY_LOCAL_MACHINE, kServerKey, "ProcessID", type, data, size));
    }
};

// The stop event as the server holds it: manual reset, so its state can be read after
// the run.
class StopEvent {
public:
    StopEvent() : handle_(CreateEventA(nullptr, TRUE, FALSE, kStopEvent)) {}
    ~StopEvent() {
        if (handle_) CloseHandle(handle_);
    }
    bool created() const { return handle_ != nullptr; }
    bool Signalled() const { return WaitForSingleObject(handle_, 0) == WAIT_OBJECT_0; }

private:
    HANDLE handle_;
};

}  // namespace

TEST_F(XstopRun, WithoutServerOrKeyEndsSilentlyWithZero) {
    RunXstopSilently();
    RunXstopSilently(" -h /x \"any thing\"");   // arguments are ignored
    EXPECT_FALSE(ServerKeyExists()) << "xstop must only open the key, never create it";
}

TEST_F(XstopRun, ZeroProcessIdOnlySignalsTheStopEvent) {
    StopEvent event;
    ASSERT_TRUE(event.created());
    Waiter bystander;
    ASSERT_TRUE(bystander.started());
    DWORD zero = 0;
    WriteProcessId(REG_DWORD, &zero, sizeof zero);

    ULONGLONG elapsed = RunXstopSilently();
    EXPECT_TRUE(event.Signalled());
    EXPECT_GE(elapsed, 450u) << "the server is given half a second after the request";
    EXPECT_TRUE(bystander.StillRunning());
}

TEST_F(XstopRun, StaleProcessIdIsEndedWithoutAStopRequest) {
    Waiter server;
    ASSERT_TRUE(server.started());
    DWORD id = server.id();
    WriteProcessId(REG_DWORD, &id, sizeof id);

    RunXstopSilently();
    EXPECT_EQ(server.ExitCodeWithin(10000), kTerminatedExitCode);
}

TEST_F(XstopRun, RunningServerIsAskedFirstThenEnded) {
    StopEvent event;
    ASSERT_TRUE(event.created());
    Waiter server;
    ASSERT_TRUE(server.started());
    DWORD id = server.id();
    WriteProcessId(REG_DWORD, &id, sizeof id);

    ULONGLONG elapsed = RunXstopSilently();
    EXPECT_TRUE(event.Signalled());
    EXPECT_GE(elapsed, 450u);
    EXPECT_EQ(server.ExitCodeWithin(10000), kTerminatedExitCode);
}

// Each value is made so that its bytes, read unchecked into a zeroed four-byte number,
// give the identifier of a live helper (the decimal text gives some other number).
// A fresh helper per value, so that every value is tried against a live process.
TEST_F(XstopRun, ProcessIdOfAnotherTypeOrSizeEndsNothing) {
    struct Case {
        const char* what;
        DWORD type;
        DWORD size;   // of the identifier's bytes; 0: its decimal text
    };
    const Case cases[] = {
        {"REG_SZ holding the identifier's bytes", REG_SZ, 4},
        {"REG_SZ holding the identifier in decimal", REG_SZ, 0},
        {"two-byte REG_BINARY", REG_BINARY, 2},
        {"four-byte REG_BINARY", REG_BINARY, 4},
        {"two-byte REG_DWORD", REG_DWORD, 2},
        {"REG_QWORD", REG_QWORD, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Waiter bystander;
        ASSERT_TRUE(bystander.started());
        ULONGLONG id = bystander.id();
        // Wine hands out small identifiers, so the low two bytes alone name the helper.
        ASSERT_LT(id, 0x10000u);
        std::string decimal = std::to_string(id);
        if (c.size)
            WriteProcessId(c.type, &id, c.size);
        else
            WriteProcessId(c.type, decimal.c_str(), DWORD(decimal.size() + 1));
        RunXstopSilently();
        EXPECT_TRUE(bystander.StillRunning());
    }
}

// A stale identifier may meanwhile belong to xstop itself: it must still end with 0.
TEST_F(XstopRun, ProcessIdOfTheToolItselfIsLeftAlone) {
    ChildProcess xstop(Quoted(XstopPath()), CREATE_SUSPENDED);
    ASSERT_TRUE(xstop.started());
    DWORD id = xstop.id();
    WriteProcessId(REG_DWORD, &id, sizeof id);
    xstop.Resume();
    EXPECT_EQ(xstop.ExitCodeWithin(30000), 0u);
}

// Windows XP and Server 2003 refuse the Vista-era PROCESS_ALL_ACCESS (0x1FFFFF); the
// tool asks for PROCESS_TERMINATE (1) alone. Wine grants any mask, so the request is
// read from Wine's relay trace of the run: "Call KERNEL32.OpenProcess(access,inherit,id)".
TEST_F(XstopRun, AsksOnlyForTheRightToTerminate) {
    Waiter server;
    ASSERT_TRUE(server.started());
    DWORD id = server.id();
    WriteProcessId(REG_DWORD, &id, sizeof id);

    StderrWatch trace;
    ProcessOptions options;
    options.environment.push_back("WINEDEBUG=-all,+relay");
    ProcessResult run = RunProcess(Quoted(XstopPath()), options);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(server.ExitCodeWithin(10000), kTerminatedExitCode);
    // The trace goes to the unix standard error that the child was given.
    std::string text = run.err + trace.NewText();
    char expected[96];
    snprintf(expected, sizeof expected, "Call KERNEL32.OpenProcess(00000001,00000000,%08lx)", id);
    const char call[] = "Call KERNEL32.OpenProcess(";
    size_t at = text.find(call);
    ASSERT_NE(at, std::string::npos) << "no OpenProcess in the trace";
    EXPECT_EQ(text.substr(at, strlen(expected)), expected);
    EXPECT_EQ(text.find(call, at + 1), std::string::npos) << "one request only";
}
