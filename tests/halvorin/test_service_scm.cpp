// The service end to end under Wine's Service Control Manager: halvorin64.exe of a
// temporary product folder registered as "Halvorin", with halvorin.vm naming the
// stand-in Java VM. Start, run, interrogate and stop it, and watch the states it
// reports, the Java server's journal and halvorin.log.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "product_layout.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kProductKey[] = "Software\\Quorvane\\Halvorin";
const char kParametersKey[] = "SYSTEM\\CurrentControlSet\\Services\\Halvorin\\Parameters";

int indexOf(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
    for (size_t i = size_t(from); i < lines.size(); i++)
        if (lines[i].rfind(prefix, 0) == 0) return int(i);
    return -1;
}

DWORD processIdValue() {
    DWORD value = 0xFFFFFFFF;
    ReadRegDword(HKEY_LOCAL_MACHINE, kProductKey, "ProcessID", &value);
    return value;
}

std::string tempFolder() {
    char path[MAX_PATH] = "";
    GetTempPathA(sizeof path, path);
    return path;
}

// Services write their event-log trace into the Wine session's log.
std::string sessionLogPath() { return BuildFile("wine\\session.log"); }

class HalvorinService : public ::testing::Test {
protected:
    void SetUp() override {
        layout.writeServiceSpec(layout.programFolder());
        manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        ASSERT_NE(manager, nullptr);
        RemoveServiceIfPresent(manager, "Halvorin");   // left behind by an interrupted run
        std::string image = "\"" + layout.hostPath() + "\"";
        service = CreateServiceA(manager, "Halvorin", "QZV Halvorin Server", SERVICE_ALL_ACCESS,
                                 SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(),
                                 nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(service, nullptr) << GetLastError();
    }

    void TearDown() override {
        if (service) {
            SERVICE_STATUS status;
            if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
                ControlService(service, SERVICE_CONTROL_STOP, &status);
                waitFor(SERVICE_STOPPED, 30000);
            }
            DeleteService(service);
            CloseServiceHandle(service);
        }
        DeleteRegTree(HKEY_LOCAL_MACHINE, kParametersKey);
        if (manager) CloseServiceHandle(manager);
    }


    bool start(const std::vector<std::string>& args = {}) {
        std::vector<const char*> argv;
        for (const std::string& a : args) argv.push_back(a.c_str());
        // Wine's driver hosts may hold the start lock for a while after the session began.
        // And Wine's Service Control Manager answers ERROR_INTERNAL_ERROR when the new
        // service process dies during Wine's own start-up of it, before halvorin runs
        // (seen once in some 250 starts on a loaded machine); such a start is tried again.
        DWORD error = 0;
        for (int attempt = 0; attempt < 10; attempt++) {
            if (StartServiceA(service, DWORD(argv.size()), argv.empty() ? nullptr : argv.data())) return true;
            error = GetLastError();
            if (error != ERROR_SERVICE_DATABASE_LOCKED && error != ERROR_INTERNAL_ERROR) break;
        }
        ADD_FAILURE() << "StartService failed with " << error;
        return false;
    }

    // Polls until the state is reached; the pending states passed on the way are kept.
    SERVICE_STATUS waitFor(DWORD state, DWORD timeoutMs, std::vector<SERVICE_STATUS>* seen = nullptr) {
        SERVICE_STATUS status = {};
        DWORD start = GetTickCount();
        while (QueryServiceStatus(service, &status) && status.dwCurrentState != state &&
               GetTickCount() - start < timeoutMs) {
            if (seen && (seen->empty() || seen->back().dwCheckPoint != status.dwCheckPoint ||
                         seen->back().dwWaitHint != status.dwWaitHint))
                seen->push_back(status);
            Sleep(20);
        }
        return status;
    }

    bool waitForJournal(const std::string& prefix, DWORD timeoutMs = 10000, DWORD pollMs = 50) {
        for (DWORD start = GetTickCount(); GetTickCount() - start < timeoutMs; Sleep(pollMs))
            if (indexOf(layout.journal(), prefix) >= 0) return true;
        return false;
    }

    ProductLayout layout{"service", true};
    LogWatch log;
    SC_HANDLE manager = nullptr;
    SC_HANDLE service = nullptr;
};

// The server's main ends 4 seconds after the stop: the host asks for the stack dump while
// the VM still runs. (A main that returned at once could beat the dump request, which
// then rightly logs that there is no dump.)
TEST_F(HalvorinService, RunsTheJavaServerAndStopsOnRequest) {
    layout.writeScript("main = until-stop\nmain.stop_delay = 4000\n");
    std::string work = layout.root() + "\\work";
    CreateDirectoryA(work.c_str(), nullptr);
    std::string stackFile = tempFolder() + "stack.txt";
    DeleteFileA(stackFile.c_str());

    ASSERT_TRUE(start({"-Dx=1", "-Xmx300m", "wrkdir=" + work}));
    SERVICE_STATUS running = waitFor(SERVICE_RUNNING, 15000);
    ASSERT_EQ(running.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(running.dwCheckPoint, 0u);
    EXPECT_EQ(running.dwControlsAccepted, DWORD(SERVICE_ACCEPT_STOP));
    ASSERT_TRUE(waitForJournal("main argc="));

    std::vector<std::string> journal = layout.journal();
    int create = indexOf(journal, "JNI_CreateJavaVM version=0x00010002 ignoreUnrecognized=1 nOptions=3");
    ASSERT_GE(create, 0);
    EXPECT_EQ(journal[create + 1], "option 0 -Dx=1");
    EXPECT_EQ(journal[create + 2], "option 1 -Xmx300m");
    EXPECT_EQ(journal[create + 3].rfind("option 2 -Djava.class.path=" + layout.programFolder() + ";", 0), 0u);
    int main = indexOf(journal, "main argc=3");
    ASSERT_GE(main, 0);
    EXPECT_EQ(journal[main + 1], "arg 0 wrkdir=" + work);
    EXPECT_EQ(journal[main + 2], "arg 1 -root");
    EXPECT_EQ(journal[main + 3], "arg 2 " + layout.root());

    SERVICE_STATUS_PROCESS process;
    DWORD needed;
    ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&process),
                                     sizeof process, &needed));
    EXPECT_EQ(processIdValue(), process.dwProcessId);

    // INTERROGATE re-reports RUNNING with a wait hint of 1000.
    SERVICE_STATUS status;
    EXPECT_TRUE(ControlService(service, SERVICE_CONTROL_INTERROGATE, &status));
    for (DWORD waited = 0; QueryServiceStatus(service, &status) && status.dwWaitHint != 1000 && waited < 10000;
         waited += 20)
        Sleep(20);
    EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_RUNNING));
    EXPECT_EQ(status.dwWaitHint, 1000u);
    EXPECT_EQ(status.dwCheckPoint, 0u);

    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(waitFor(SERVICE_STOPPED, 15000).dwCurrentState, DWORD(SERVICE_STOPPED));

    std::string text = log.NewText();
    // The start arguments follow the count, without the service name in front.
    std::vector<std::string> records = LogRecords(text);
    int count = indexOf(records, "serviceMain(): argc = 4\n");
    ASSERT_GE(count, 0) << text;
    ASSERT_GT(records.size(), size_t(count) + 4);
    EXPECT_EQ(records[count + 1], "argv[1] = \"-Dx=1\"\n");
    EXPECT_EQ(records[count + 2], "argv[2] = \"-Xmx300m\"\n");
    EXPECT_EQ(records[count + 3], "argv[3] = \"wrkdir=" + work + "\"\n");
    EXPECT_EQ(records[count + 4].rfind("RegisterServiceCtrlHandler(): sshStatusHandle = 0x", 0), 0u)
        << records[count + 4];
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(text,
                                {"SetServiceStatus(START_PENDING): WaitHint=5000 checkPoint=1\n",
                                 "ServiceStart(3 args)\n",
                                 "SetServiceStatus(START_PENDING): WaitHint=10000 checkPoint=2\n",
                                 "created thread. waiting for hServerStop/hStopRequest events...\n",
                                 "SERVICE_CONTROL_INTERROGATE received...\n", "SERVICE_CONTROL_STOP received...\n",
                                 "SetServiceStatus(STOP_PENDING): WaitHint=10000 checkPoint=3\n",
                                 "hStopRequest Event received; waiting for JVM thread to finish (JVM_Dump=0x",
                                 "stack dump:\nFull thread dump",
                                 "SetServiceStatus(STOP_PENDING): WaitHint=18000 checkPoint=4\n",
                                 "JVM thread finished\n", "ServiceStart() finished\n",
                                 "reporting SERVICE_STOPPED status\n"},
                                &missing))
        << missing << "\n" << text;
    EXPECT_NE(text.find("***\n           QZV Halvorin Server 9.0.0.0 started\n"), std::string::npos);

    // JS_SERVICE_STOPPED went to the server on a thread attached for that call.
    std::vector<unsigned long> threads;
    journal = layout.journal(&threads);
    int dispatch = indexOf(journal, "dispatchSCMEvent 1");
    ASSERT_GE(dispatch, 0);
    std::vector<std::string> poster;
    for (size_t i = 0; i < journal.size(); i++)
        if (threads[i] == threads[dispatch] &&
            (journal[i].rfind("AttachCurrentThread", 0) == 0 || journal[i].rfind("DetachCurrentThread", 0) == 0 ||
             journal[i].rfind("dispatchSCMEvent", 0) == 0))
            poster.push_back(journal[i]);
    EXPECT_EQ(poster, (std::vector<std::string>{"AttachCurrentThread -> 0", "dispatchSCMEvent 1",
                                                "DetachCurrentThread -> 0"}));
    EXPECT_GE(indexOf(journal, "JVM_DumpAllStacks -> "), 0);
    EXPECT_GT(indexOf(journal, "DestroyJavaVM -> 0"), dispatch);
    EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());

    EXPECT_EQ(ReadFileText(stackFile).rfind("Full thread dump", 0), 0u);   // left in the temporary folder
    EXPECT_EQ(processIdValue(), 0u);
}

// A server that needs 12 seconds after the stop event: every 5-second period adds 8000
// ms to the wait hint, and the check points go on from where the start ended.
TEST_F(HalvorinService, ASlowServerGetsGrowingWaitHints) {
    layout.writeScript("main = until-stop\nmain.stop_delay = 12000\n");
    ASSERT_TRUE(start());
    ASSERT_EQ(waitFor(SERVICE_RUNNING, 15000).dwCurrentState, DWORD(SERVICE_RUNNING));
    ASSERT_TRUE(waitForJournal("main argc="));
    SERVICE_STATUS status;
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    std::vector<SERVICE_STATUS> seen;
    EXPECT_EQ(waitFor(SERVICE_STOPPED, 30000, &seen).dwCurrentState, DWORD(SERVICE_STOPPED));

    std::set<DWORD> hints;
    DWORD lastCheckPoint = 0;
    for (const SERVICE_STATUS& s : seen) {
        if (s.dwCurrentState != SERVICE_STOP_PENDING) continue;
        hints.insert(s.dwWaitHint);
        EXPECT_GE(s.dwCheckPoint, lastCheckPoint);
        lastCheckPoint = s.dwCheckPoint;
    }
    EXPECT_TRUE(hints.count(18000)) << "wait hints seen: " << hints.size();
    EXPECT_TRUE(hints.count(26000));
    EXPECT_GE(lastCheckPoint, 5u);

    std::string text = log.NewText();
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(text,
                                {"SetServiceStatus(STOP_PENDING): WaitHint=10000 checkPoint=3\n", "stack dump:\n",
                                 "SetServiceStatus(STOP_PENDING): WaitHint=18000 checkPoint=4\n",
                                 "JVM thread is still running...\n",
                                 "SetServiceStatus(STOP_PENDING): WaitHint=26000 checkPoint=5\n",
                                 "JVM thread is still running...\n",
                                 "SetServiceStatus(STOP_PENDING): WaitHint=34000 checkPoint=6\n",
                                 "JVM thread finished\n", "reporting SERVICE_STOPPED status\n"},
                                &missing))
        << missing << "\n" << text;
}

// A stop that comes as main ends by itself meets the final STOPPED report: the control
// handler runs while the service thread reports STOPPED. In every order the process must
// end at once, nothing may follow STOPPED, and the service must be deletable at once.
// The stops are sent from 10 ms before main's end to 19 ms after it, twice over.
TEST_F(HalvorinService, AStopAsMainEndsNeverHoldsTheProcess) {
    const int kMainMs = 100;
    layout.writeScript("main = sleep 100\n");
    int handled = 0;
    for (int cycle = 0; cycle < 60; cycle++) {
        int offset = cycle % 30 - 10;
        SCOPED_TRACE("stop sent " + std::to_string(offset) + " ms after main's end");
        DeleteFileA(layout.journalPath().c_str());
        ASSERT_TRUE(start());
        ASSERT_EQ(waitFor(SERVICE_RUNNING, 15000).dwCurrentState, DWORD(SERVICE_RUNNING));
        SERVICE_STATUS_PROCESS running;
        DWORD needed;
        ASSERT_TRUE(QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&running),
                                         sizeof running, &needed));
        HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, running.dwProcessId);
        ASSERT_NE(process, nullptr);
        ASSERT_TRUE(waitForJournal("main argc=", 10000, 1));
        Sleep(DWORD(kMainMs + offset));
        SERVICE_STATUS status;
        handled += ControlService(service, SERVICE_CONTROL_STOP, &status) ? 1 : 0;
        EXPECT_EQ(waitFor(SERVICE_STOPPED, 15000).dwCurrentState, DWORD(SERVICE_STOPPED));
        DWORD exited = WaitForSingleObject(process, 5000);
        CloseHandle(process);
        ASSERT_EQ(exited, WAIT_OBJECT_0) << "the service process is still alive 5 s after STOPPED";
        ASSERT_TRUE(QueryServiceStatus(service, &status));
        EXPECT_EQ(status.dwCurrentState, DWORD(SERVICE_STOPPED));
    }
    printf("[ stops ] %d of 60 reached the handler before STOPPED\n", handled);
    ASSERT_TRUE(DeleteService(service));
    CloseServiceHandle(service);
    service = nullptr;
    HKEY key;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\Halvorin", 0, KEY_READ, &key),
              ERROR_FILE_NOT_FOUND);
}

struct StartFailure {
    const char* name;
    const char* script;
    const char* reported;   // the start of the reported text
};

// Every failure of the JVM thread ends the service: it reaches STOPPED and the reason is
// in the log and the event log. (An empty argument array cannot occur here: a service
// always passes "-root" and the product folder to main.)
TEST_F(HalvorinService, AFailingJavaStartStopsTheService) {
    const StartFailure failures[] = {
        {"rejected option", "option.reject = -Dbad\n", "Cannot create Java VM."},
        {"no launcher", "class.launcher = missing\n", "JNI error finding main class (launcher). JVM="},
        {"no main", "method.main = missing\n", "JNI error finding main(String[]) method."},
        {"no array", "fail.NewObjectArray = null\n", "JNI error instantiating argument array."},
        {"no string", "fail.NewStringUTF = throw java/lang/OutOfMemoryError\n", "JNI error instantiating argument."},
        {"no store", "fail.SetObjectArrayElement = throw java/lang/ArrayStoreException\n",
         "JNI error assigning argument."},
        {"broken library", nullptr, "Error loading JVM Library: path='"},
        {"no JNI exports", nullptr, "Cannot find JNI functions (JNI_CreateJavaVM and/or JNI_GetDefaultJavaVMInitArgs)"},
        {"no VM at all", nullptr, "Halvorin could not find usable 64-bit Java VM in Windows registry."},
    };
    for (const StartFailure& failure : failures) {
        SCOPED_TRACE(failure.name);
        std::string name = failure.name;
        if (failure.script) {
            layout.writeScript(std::string("main = until-stop\n") + failure.script);
        } else if (name == "broken library") {
            // The headers of a 64-bit library without the rest of it.
            WriteFileText(layout.jvmPath(), ReadFileText(StandinJvmPath()).substr(0, 1024));
        } else if (name == "no JNI exports") {
            CopyFileTo(DistFile("krlxmsg64.dll"), layout.jvmPath());
        } else {
            DeleteFileA((layout.programFolder() + "\\halvorin.vm").c_str());
        }
        LogWatch watch;
        StderrWatch unused;
        long long sessionStart = FileSize(sessionLogPath());
        ASSERT_TRUE(start({"-Dbad=1"}));
        EXPECT_EQ(waitFor(SERVICE_STOPPED, 15000).dwCurrentState, DWORD(SERVICE_STOPPED));
        std::string text = watch.NewText();
        std::string missing;
        EXPECT_TRUE(ContainsInOrder(text,
                                    {std::string("EVENTLOG:> ") + failure.reported, "JVM thread finished\n",
                                     "reporting SERVICE_STOPPED status\n"},
                                    &missing))
            << missing << "\n" << text;
        EXPECT_EQ(text.find("starting Java main()"), std::string::npos);
        std::string trace = ReadFileText(sessionLogPath()).substr(size_t(sessionStart > 0 ? sessionStart : 0));
        EXPECT_NE(trace.find(std::string("ReportEventW L\"Halvorin: ") + failure.reported), std::string::npos)
            << trace;
        EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());
    }
}

// Without start arguments, the parameters stored in the registry stand in for them, as
// REG_SZ or as REG_EXPAND_SZ taken as it stands; arguments given to the start win.
TEST_F(HalvorinService, StoredParametersServeWhenNoArgumentsAreGiven) {
    layout.writeScript("main = return\n");
    std::string work = layout.root() + "\\stored";
    CreateDirectoryA(work.c_str(), nullptr);
    const struct {
        DWORD type;
        std::string stored;
        std::vector<std::string> args;
        std::vector<std::string> expected;   // the VM's first two options, main's first argument
    } runs[] = {
        {REG_SZ, "\t-Dfrom.registry=1\t\t-Xmx128m\twrkdir=" + work + "\t", {},
         {"option 0 -Dfrom.registry=1", "option 1 -Xmx128m", "arg 0 wrkdir=" + work}},
        {REG_EXPAND_SZ, "-Dhome=%SystemRoot%\t-Xmx64m", {},
         {"option 0 -Dhome=%SystemRoot%", "option 1 -Xmx64m", "arg 0 -root"}},
        {REG_EXPAND_SZ, "-Dhome=%SystemRoot%\t-Xmx64m", {"-Dfrom.start=1"},
         {"option 0 -Dfrom.start=1", "option 1 -Xmx256m", "arg 0 -root"}},
    };
    for (const auto& r : runs) {
        SCOPED_TRACE(r.stored + (r.args.empty() ? "" : " and " + r.args[0]));
        DeleteFileA(layout.journalPath().c_str());
        ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kParametersKey, "AppParameters", r.stored, r.type));
        ASSERT_TRUE(start(r.args));
        EXPECT_EQ(waitFor(SERVICE_STOPPED, 15000).dwCurrentState, DWORD(SERVICE_STOPPED));
        std::vector<std::string> journal = layout.journal();
        int create = indexOf(journal, "JNI_CreateJavaVM version=0x00010002 ignoreUnrecognized=1 nOptions=3");
        int main = indexOf(journal, "main argc=");
        ASSERT_GE(create, 0);
        ASSERT_GE(main, 0);
        EXPECT_EQ((std::vector<std::string>{journal[create + 1], journal[create + 2], journal[main + 1]}), r.expected);
    }
}


struct EarlyStop {
    const char* name;
    const char* moment;
    const char* delay;       // the stand-in's delay that holds the start at that moment
                             // (after main started: holds main after the stop, for the dump)
    const char* sendAfter;   // the journal line after which STOP is sent
    const char* dumpStep;    // what the stop's stack-dump step logs then
    bool mainStarted;
};

void PrintTo(const EarlyStop& stop, std::ostream* out) { *out << stop.name; }

class EarlyStopService : public HalvorinService, public ::testing::WithParamInterface<EarlyStop> {};

// A STOP at one moment of the start. Before main, the stop is remembered: main is never
// called, the VM is destroyed and the service stops at once; just after main started, the
// stop reaches the server once. The stand-in holds the start for 3 s at the moment in
// question, far longer than a control takes to arrive; the log shows where it landed.
TEST_P(EarlyStopService, IsNotLost) {
    const EarlyStop& stop = GetParam();
    layout.writeScript(std::string("main = until-stop\n") + stop.delay);
    ASSERT_TRUE(start());
    ASSERT_TRUE(waitForJournal(stop.sendAfter, 20000));
    SERVICE_STATUS status;
    DWORD sent = GetTickCount();
    ASSERT_TRUE(ControlService(service, SERVICE_CONTROL_STOP, &status));
    EXPECT_EQ(waitFor(SERVICE_STOPPED, 20000).dwCurrentState, DWORD(SERVICE_STOPPED));
    DWORD stopMs = GetTickCount() - sent;
    printf("[ stop time ] %s: %lu ms\n", stop.moment, stopMs);
    RecordProperty("stop_ms", int(stopMs));

    std::string text = log.NewText();
    std::vector<std::string> expected = {"SERVICE_CONTROL_STOP received...\n", stop.dumpStep};
    if (stop.mainStarted) {
        expected.insert(expected.begin(), "starting Java main()...\n");
    } else {
        if (std::string(stop.delay).rfind("delay.load", 0) == 0)
            expected.push_back("options[0] = ");   // the stop came before the VM was loaded
        expected.push_back("stop requested before the Java server started; main() not called\n");
    }
    for (const char* line : {"unloaded JVM DLL\n", "signaling hServerStopEvent [from invokeJVM]...\n",
                             "JVM thread finished\n", "reporting SERVICE_STOPPED status\n"})
        expected.push_back(line);
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(text, expected, &missing)) << missing << "\n" << text;

    std::vector<std::string> journal = layout.journal();
    int dispatches = 0;
    for (const std::string& line : journal) dispatches += line == "dispatchSCMEvent 1";
    if (stop.mainStarted) {
        EXPECT_EQ(dispatches, 1);
        EXPECT_EQ(text.find("stop requested before the Java server started"), std::string::npos);
        EXPECT_LT(indexOf(journal, "dispatchSCMEvent 1"), indexOf(journal, "main returns"));
    } else {
        EXPECT_EQ(indexOf(journal, "main argc="), -1);
        EXPECT_EQ(text.find("starting Java main()"), std::string::npos);
    }
    EXPECT_GE(indexOf(journal, "DestroyJavaVM -> 0"), 0);
    EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());
}

INSTANTIATE_TEST_SUITE_P(
    Moments, EarlyStopService,
    ::testing::Values(
        EarlyStop{"WhileJvmDllLoads", "loading jvm.dll, right after discovery", "delay.load = 3000\n",
                  "DllMain delay.load 3000",
                  "hStopRequest Event received; waiting for JVM thread to finish (JVM_Dump=0x00000000)...\n", false},
        EarlyStop{"WhileTheVmIsCreated", "creating the VM", "delay.create = 3000\n", "JNI_CreateJavaVM version=",
                  "couldn't get stack dump\n", false},
        EarlyStop{"BetweenCreationAndMain", "between creation and main", "delay.find_launcher = 3000\n",
                  "JNI_CreateJavaVM -> 0", "stack dump:\nFull thread dump", false},
        EarlyStop{"JustAfterMainStarted", "just after main started", "main.stop_delay = 1000\n", "main argc=",
                  "stack dump:\nFull thread dump", true}),
    [](const ::testing::TestParamInfo<EarlyStop>& info) { return std::string(info.param.name); });
}  // namespace
