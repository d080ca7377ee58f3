// The service's end in process: the final STOPPED report against a late stop control,
// the stop-request event that a late stop signals, events that cannot be made, and the
// stack dump's files in the shared temporary folder. Failures of system calls are made
// by pointing this program's own imports at stand-ins.
//
// This program lives in a folder of its own, so that ServiceStart's JVM thread finds no
// VM (no VM file beside it, no Java in the registry) and ends at once.
#include <gtest/gtest.h>

#include <io.h>
#include <process.h>
#include <string.h>

#include <string>
#include <vector>

#include "jvm_host.h"
#include "service_host.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// Points this program's import of `function` at `replacement` while it lives. The host's
// core is linked into this program, so its calls go through these imports too.
class ImportPatch {
public:
    ImportPatch(const char* dll, const char* function, void* replacement) {
        auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(nullptr));
        auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + reinterpret_cast<IMAGE_DOS_HEADER*>(base)->e_lfanew);
        DWORD imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
        for (auto* entry = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports); entry->Name && !slot_; entry++) {
            if (_stricmp(reinterpret_cast<char*>(base + entry->Name), dll)) continue;
            auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->OriginalFirstThunk);
            auto* address = reinterpret_cast<IMAGE_THUNK_DATA*>(base + entry->FirstThunk);
            for (; name->u1.AddressOfData && !slot_; name++, address++)
                if (!IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal) &&
                    !strcmp(reinterpret_cast<char*>(
                                reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + name->u1.AddressOfData)->Name),
                            function))
                    slot_ = &address->u1.Function;
        }
        if (slot_) original_ = swap(reinterpret_cast<ULONG_PTR>(replacement));
    }
    ~ImportPatch() {
        if (slot_) swap(original_);
    }
    bool applied() const { return slot_ != nullptr; }

private:
    ULONG_PTR swap(ULONG_PTR target) {
        DWORD protection;
        VirtualProtect(slot_, sizeof *slot_, PAGE_READWRITE, &protection);
        ULONG_PTR previous = *slot_;
        *slot_ = target;
        VirtualProtect(slot_, sizeof *slot_, protection, &protection);
        return previous;
    }
    ULONG_PTR* slot_ = nullptr;
    ULONG_PTR original_ = 0;
};

bool waitForLogText(const LogWatch& log, const std::string& text) {
    for (int i = 0; i < 400; i++) {
        if (log.NewText().find(text) != std::string::npos) return true;
        Sleep(25);
    }
    return false;
}

unsigned __stdcall reportStopPending(void*) {
    ReportServiceStatus(SERVICE_STOP_PENDING, 0, 10000);
    return 0;
}

// Outside a service the status handle is 0: each report fails with "invalid handle" and
// takes five attempts, 200 ms apart. One test, since the final
// report is the last of the process.
TEST(FinalStatus, WaitsForAReportInProgressAndNothingFollowsIt) {
    bConsoleMode = 0;
    LogWatch log;
    HANDLE reporter = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, reportStopPending, nullptr, 0, nullptr));
    ASSERT_TRUE(waitForLogText(log, "SetServiceStatus(STOP_PENDING): WaitHint=10000"));
    char name[] = "Halvorin";
    char* argv[] = {name};
    serviceMain(1, argv);   // no handler can be registered here: straight to the final report
    EXPECT_EQ(WaitForSingleObject(reporter, 30000), WAIT_OBJECT_0);
    CloseHandle(reporter);

    std::string text = log.NewText();
    size_t lastAttempt = text.find("Error 6 in SetServiceStatus(0x00000000): ");
    size_t final = text.find("reporting SERVICE_STOPPED status\n");
    ASSERT_NE(lastAttempt, std::string::npos) << text;
    ASSERT_NE(final, std::string::npos) << text;
    EXPECT_LT(lastAttempt, final) << text;
    EXPECT_NE(text.find("EVENTLOG:> Cannot set final service status: OS Error 6: ", final), std::string::npos);
    EXPECT_EQ(ssStatus.dwCurrentState, DWORD(SERVICE_STOPPED));

    // Controls that come after it are logged, but no report follows STOPPED.
    LogWatch late;
    controlHandler(SERVICE_CONTROL_STOP);
    controlHandler(SERVICE_CONTROL_INTERROGATE);
    EXPECT_EQ(ssStatus.dwCurrentState, DWORD(SERVICE_STOPPED));
    EXPECT_EQ(ssStatus.dwWaitHint, 0u);
    std::string lateText = late.NewText();
    EXPECT_NE(lateText.find("SERVICE_CONTROL_STOP received...\n"), std::string::npos);
    EXPECT_NE(lateText.find("SERVICE_CONTROL_INTERROGATE received...\n"), std::string::npos);
    EXPECT_EQ(lateText.find("SetServiceStatus("), std::string::npos) << lateText;
}

class ServiceRun : public ::testing::Test {
protected:
    void SetUp() override { bConsoleMode = 1; }   // no Service Control Manager in process
    void TearDown() override { bConsoleMode = 0; }

    void runServiceStart() {
        char empty[] = "";
        char* argv[] = {empty};
        ServiceStart(0, argv);
    }
};

TEST_F(ServiceRun, TheStopRequestEventStaysOpenForALateStop) {
    runServiceStart();
    HANDLE stopRequest = jvmHost.hStopRequestEvent;
    ASSERT_NE(stopRequest, nullptr);
    EXPECT_EQ(WaitForSingleObject(stopRequest, 0), DWORD(WAIT_TIMEOUT));   // open, and not signalled
    ServiceStop();   // after the run: signals that same event
    EXPECT_EQ(WaitForSingleObject(stopRequest, 0), WAIT_OBJECT_0);

    runServiceStart();   // a new run starts with no stop requested
    EXPECT_EQ(jvmHost.hStopRequestEvent, stopRequest);
    EXPECT_EQ(WaitForSingleObject(stopRequest, 0), DWORD(WAIT_TIMEOUT));
}

int failingCreateEventCall;   // counted from 1; 0: none fails
int createEventCalls;

HANDLE WINAPI createEventFailing(SECURITY_ATTRIBUTES* security, BOOL manual, BOOL initial, const char* name) {
    if (++createEventCalls == failingCreateEventCall) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    return CreateEventW(security, manual, initial, nullptr);   // only unnamed events are made here
}

TEST_F(ServiceRun, AnEventThatCannotBeMadeEndsTheStart) {
    const struct {
        int failingCall;
        const char* reported;
    } cases[] = {
        {1, "EVENTLOG:> Cannot create hServerStopEvent: OS Error 8: "},
        {2, "EVENTLOG:> Cannot create hStopRequestEvent: OS Error 8: "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.reported);
        jvmHost.hStopRequestEvent = nullptr;   // as in a fresh process: both events are made
        LogWatch log;
        {
            ImportPatch patch("kernel32.dll", "CreateEventA", reinterpret_cast<void*>(createEventFailing));
            ASSERT_TRUE(patch.applied());
            createEventCalls = 0;
            failingCreateEventCall = c.failingCall;
            runServiceStart();
        }
        std::string text = log.NewText();
        std::string missing;
        EXPECT_TRUE(ContainsInOrder(text, {"ServiceStart(0 args)\n", c.reported, "ServiceStart() finished\n"}, &missing))
            << missing << "\n" << text;
        EXPECT_EQ(text.find("created thread."), std::string::npos) << text;
        EXPECT_EQ(jvmHost.hServerStopEvent, nullptr);
    }
}

const char kDump[] = "Full thread dump (test)\n\"main\" #1 prio=5\n";

// Prints like a VM: to descriptor 1 and, where it differs, to the Win32 standard output.
void JNICALL printDump(JNIEnv*, jclass) {
    _write(1, kDump, sizeof kDump - 1);
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out && out != INVALID_HANDLE_VALUE && out != reinterpret_cast<HANDLE>(_get_osfhandle(1))) {
        DWORD written;
        WriteFile(out, kDump, sizeof kDump - 1, &written, nullptr);
    }
}

std::string plantVictim;               // the file planted links point at
std::vector<std::string> plantedNames;

// Another user takes each name of the dump's temporary file, as a link to a file of
// theirs, just before the host makes it.
HANDLE WINAPI createFilePlanting(const char* name, DWORD access, DWORD share, SECURITY_ATTRIBUTES* security,
                                 DWORD disposition, DWORD flags, HANDLE templateFile) {
    const char* base = strrchr(name, '\\');
    if (base && !strncmp(base, "\\hvd", 4) && CreateHardLinkA(name, plantVictim.c_str(), nullptr))
        plantedNames.push_back(name);
    auto real = reinterpret_cast<decltype(&CreateFileA)>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "CreateFileA"));
    return real(name, access, share, security, disposition, flags, templateFile);
}

// "stack.txt" and the dump's temporary file lie in the temporary folder that every
// account shares; whatever another user planted under those names is never written
// through.
class StackDumpFiles : public ::testing::Test {
protected:
    void SetUp() override {
        jvmHost.JVM_Dump = printDump;
        DeleteFileA(stackPath.c_str());
        ASSERT_TRUE(WriteFileText(victim, "victim\n"));
    }
    void TearDown() override {
        jvmHost.JVM_Dump = nullptr;
        DeleteFileA(stackPath.c_str());
    }

    std::string capture() {
        char* dump = captureStackDump(nullptr);
        std::string text = dump ? dump : "(none)";
        free(dump);
        return text;
    }

    std::string stackPath = std::string(GetTempFolder()) + "\\stack.txt";
    TempFolder folder{"dumpfiles"};
    std::string victim = folder.file("victim.txt");
    LogWatch log;
};

TEST_F(StackDumpFiles, APlantedLinkIsReplacedNotFollowed) {
    ASSERT_TRUE(CreateHardLinkA(stackPath.c_str(), victim.c_str(), nullptr)) << GetLastError();
    EXPECT_EQ(capture(), kDump);
    EXPECT_EQ(ReadFileText(victim), "victim\n");
    EXPECT_EQ(ReadFileText(stackPath), kDump);
    EXPECT_EQ(log.NewText().find("cannot create"), std::string::npos);
}

// A stack.txt held open without delete sharing cannot be removed. A plain file that the
// holder shares for writing is rewritten in place; one it does not share, or a second name
// of another file, is left alone and the dump reaches the log only.
TEST_F(StackDumpFiles, AStackFileHeldOpenIsRewrittenOnlyWhenPlain) {
    const struct {
        const char* name;
        bool plantedLink;
        DWORD holderSharing;
        std::string expected;   // stack.txt afterwards
    } cases[] = {
        {"plain, shared for writing", false, FILE_SHARE_READ | FILE_SHARE_WRITE, kDump},
        {"plain, shared for reading", false, FILE_SHARE_READ, "an older and longer dump\n"},
        {"a link to another file", true, FILE_SHARE_READ | FILE_SHARE_WRITE, "victim\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(stackPath.c_str());
        if (c.plantedLink)
            ASSERT_TRUE(CreateHardLinkA(stackPath.c_str(), victim.c_str(), nullptr)) << GetLastError();
        else
            ASSERT_TRUE(WriteFileText(stackPath, "an older and longer dump\n"));
        HANDLE held = CreateFileA(stackPath.c_str(), GENERIC_READ, c.holderSharing, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(held, INVALID_HANDLE_VALUE);
        EXPECT_EQ(capture(), kDump);   // the dump reaches the log in any case
        CloseHandle(held);
        EXPECT_EQ(ReadFileText(stackPath), c.expected);
        EXPECT_EQ(ReadFileText(victim), "victim\n");
        bool skipped = c.expected != kDump;
        EXPECT_EQ(log.NewText().find("cannot create " + stackPath + " anew (") != std::string::npos, skipped);
    }
}

TEST_F(StackDumpFiles, ATemporaryNameTakenMeanwhileIsNotOpened) {
    plantVictim = victim;
    plantedNames.clear();
    {
        ImportPatch patch("kernel32.dll", "CreateFileA", reinterpret_cast<void*>(createFilePlanting));
        ASSERT_TRUE(patch.applied());
        EXPECT_EQ(capture(), "(none)");   // every name it tries is taken
    }
    EXPECT_EQ(ReadFileText(victim), "victim\n");
    EXPECT_EQ(plantedNames.size(), 3u);
    for (const std::string& name : plantedNames) {
        EXPECT_EQ(ReadFileText(name), "victim\n");
        DeleteFileA(name.c_str());
    }
}

}  // namespace
