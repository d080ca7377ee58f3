// The JVM thread and the bridge, in process, against the stand-in jvm.dll: the exit
// codes and reported texts of every failing step, main's options and arguments, Java
// exceptions, the event manager, console events and the stack dump.
//
// This program lives in a folder of its own: discovery reads halvorin.vm beside the
// executable, and each test writes one there naming its own copy of the stand-in VM.
#include <gtest/gtest.h>

#include <process.h>

#include <string>
#include <vector>

#include "jvm_host.h"
#include "product_layout.h"
#include "service_host.h"
#include "test_support.h"

using namespace testing_support;

namespace {

std::string programFolder() {
    std::string folder = GetModuleFolder();
    return folder.substr(0, folder.size() - 1);
}

bool contains(const std::vector<std::string>& lines, const std::string& line) {
    for (const std::string& l : lines)
        if (l == line) return true;
    return false;
}

int indexOf(const std::vector<std::string>& lines, const std::string& prefix, int from = 0) {
    for (size_t i = size_t(from); i < lines.size(); i++)
        if (lines[i].rfind(prefix, 0) == 0) return int(i);
    return -1;
}

class JvmLaunch : public ::testing::Test {
protected:
    void SetUp() override {
        layout.writeServiceSpec(programFolder());
        memset(&jvmHost, 0, sizeof jvmHost);
        jvmHost.hServerStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        jvmHost.hStopRequestEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        bConsoleMode = 1;   // in process there is no Service Control Manager to report to
        setArguments({"wrkdir=" + layout.root()});
    }

    void TearDown() override {
        DeleteFileA((programFolder() + "\\halvorin.vm").c_str());
        CloseHandle(jvmHost.hServerStopEvent);
        CloseHandle(jvmHost.hStopRequestEvent);
        memset(&jvmHost, 0, sizeof jvmHost);
        bConsoleMode = 0;
    }

    // The start arguments of the service, turned into the host's lists.
    void setArguments(std::vector<std::string> args) {
        arguments = args;
        argv.clear();
        for (std::string& a : arguments) argv.push_back(&a[0]);
        DWORD count = DWORD(argv.size());
        jvmHost.vmOptions = buildVMOptions(nullptr, &jvmHost.vmOptionCount, count, argv.data());
        jvmHost.mainArgs = buildMainArgs(nullptr, &jvmHost.mainArgCount, count, argv.data());
        jvmHost.workDir = findWorkDir(count, argv.data());
    }

    HANDLE startJvm() {
        return reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, invokeJVM, nullptr, 0, nullptr));
    }

    DWORD finish(HANDLE thread) {
        EXPECT_EQ(WaitForSingleObject(thread, 30000), WAIT_OBJECT_0);
        DWORD code = 0xFFFF;
        GetExitCodeThread(thread, &code);
        CloseHandle(thread);
        return code;
    }

    DWORD runJvm() { return finish(startJvm()); }

    bool waitForJournal(const std::string& prefix) {
        for (int i = 0; i < 200; i++) {
            if (indexOf(layout.journal(), prefix) >= 0) return true;
            Sleep(50);
        }
        return false;
    }

    bool serverStopSignalled() { return WaitForSingleObject(jvmHost.hServerStopEvent, 0) == WAIT_OBJECT_0; }

    ProductLayout layout{"launch", false};
    LogWatch log;
    std::vector<std::string> arguments;
    std::vector<char*> argv;
};

// The arguments are ANSI text (code page 1252 in the test prefix); the Java strings are
// made from modified UTF-8: ASCII as it is, e-acute in two bytes, the euro sign (0x80 in
// 1252, U+20AC) in three. The log keeps the arguments as given.
TEST_F(JvmLaunch, HandsArgumentsToJavaAsModifiedUtf8) {
    ASSERT_EQ(GetACP(), 1252u);
    layout.writeScript("main = return\n");
    setArguments({"caf\xE9", "\x80 5", "plain"});
    EXPECT_EQ(runJvm(), 0u);
    std::vector<std::string> journal = layout.journal();
    int main = indexOf(journal, "main argc=5");
    ASSERT_GE(main, 0);
    EXPECT_EQ(journal[main + 1], "arg 0 caf\xC3\xA9");
    EXPECT_EQ(journal[main + 2], "arg 1 \xE2\x82\xAC 5");
    EXPECT_EQ(journal[main + 3], "arg 2 plain");
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log.NewText(), {"args[0] = \"caf\xE9\"\n", "args[1] = \"\x80 5\"\n"}, &missing))
        << missing;
}

TEST_F(JvmLaunch, RunsMainWithTheOptionsAndArgumentsInOrder) {
    layout.writeScript("main = return\n");
    setArguments({"-Dfoo=1", "extra", "-Xmx64m", "wrkdir=" + layout.root()});
    SetProcessID(12345);
    EXPECT_EQ(runJvm(), 0u);

    std::vector<std::string> journal = layout.journal();
    int create = indexOf(journal, "JNI_CreateJavaVM version=0x00010002 ignoreUnrecognized=1 nOptions=3");
    ASSERT_GE(create, 0);
    EXPECT_EQ(journal[create + 1], "option 0 -Dfoo=1");
    EXPECT_EQ(journal[create + 2], "option 1 -Xmx64m");
    EXPECT_EQ(journal[create + 3].rfind("option 2 -Djava.class.path=" + programFolder() + ";", 0), 0u);
    int main = indexOf(journal, "main argc=4");
    ASSERT_GE(main, 0);
    EXPECT_EQ(journal[main + 1], "arg 0 extra");
    EXPECT_EQ(journal[main + 2], "arg 1 wrkdir=" + layout.root());
    EXPECT_EQ(journal[main + 3], "arg 2 -root");
    EXPECT_GT(indexOf(journal, "DestroyJavaVM -> 0", main), main);
    EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());

    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log.NewText(),
                                {"options[0] = \"-Dfoo=1\"\n", "options[1] = \"-Xmx64m\"\n", "args[0] = \"extra\"\n",
                                 "JRE = \"" + layout.jvmPath() + "\" (64-bit)\n",
                                 "loading SCM instance (direct method)...\n", "starting Java main()...\n",
                                 "unloaded JVM DLL\n", "signaling hServerStopEvent [from invokeJVM]...\n"},
                                &missing))
        << missing;
    EXPECT_TRUE(serverStopSignalled());
    DWORD processId = 1;
    ReadRegDword(HKEY_LOCAL_MACHINE, "Software\\Quorvane\\Halvorin", "ProcessID", &processId);
    EXPECT_EQ(processId, 0u);
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STRCASEEQ(current, layout.root().c_str());   // the wrkdir= folder
}

struct FailureCase {
    const char* name;
    const char* script;
    bool noMainArgs;        // main gets an empty array
    DWORD exitCode;
    const char* reported;   // %s: the VM's path
    const char* thrown;     // the Java exception whose class is logged, or null
    bool vmCreated;
};

TEST_F(JvmLaunch, EveryFailingStepEndsWithItsCodeAndText) {
    const char* const kArray = "JNI error instantiating argument array.";
    const char* const kEmptyArray = "JNI error instantiating empty argument array.";
    const char* const kNoClass = "java.lang.NoClassDefFoundError";
    const char* const kNoMemory = "java.lang.OutOfMemoryError";
    const FailureCase cases[] = {
        {"rejected option", "option.reject = -Dbad\n", false, 1007, "Cannot create Java VM.\n", nullptr, false},
        {"launcher missing", "class.launcher = missing\n", false, 1008,
         "JNI error finding main class (launcher). JVM=%s", kNoClass, true},
        {"launcher null", "class.launcher = null\n", false, 1008, "JNI error finding main class (launcher). JVM=%s",
         nullptr, true},
        {"main missing", "method.main = missing\n", false, 1009, "JNI error finding main(String[]) method.",
         "java.lang.NoSuchMethodError", true},
        // Without the String class no array can be made: the failure is the array's.
        {"String missing", "class.string = missing\n", false, 1010, kArray, kNoClass, true},
        {"String null", "class.string = null\n", false, 1010, kArray, nullptr, true},
        {"String missing, no arguments", "class.string = missing\n", true, 1013, kEmptyArray, kNoClass, true},
        {"String null, no arguments", "class.string = null\n", true, 1013, kEmptyArray, nullptr, true},
        {"array null", "fail.NewObjectArray = null\n", false, 1010, kArray, nullptr, true},
        {"array throws", "fail.NewObjectArray = throw java/lang/OutOfMemoryError\n", false, 1010, kArray, kNoMemory,
         true},
        {"empty array throws", "fail.NewObjectArray.empty = throw java/lang/OutOfMemoryError\n", true, 1013,
         kEmptyArray, kNoMemory, true},
        {"empty array null", "fail.NewObjectArray.empty = null\n", true, 1013, kEmptyArray, nullptr, true},
        {"second string", "fail.NewStringUTF = throw java/lang/OutOfMemoryError at 2\n", false, 1011,
         "JNI error instantiating argument.", kNoMemory, true},
        {"string null", "fail.NewStringUTF = null\n", false, 1011, "JNI error instantiating argument.", nullptr, true},
        {"store throws", "fail.SetObjectArrayElement = throw java/lang/ArrayStoreException\n", false, 1012,
         "JNI error assigning argument.", "java.lang.ArrayStoreException", true},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        DeleteFileA(layout.journalPath().c_str());
        ResetEvent(jvmHost.hServerStopEvent);
        jvmHost.scmEventManager = nullptr;
        layout.writeScript(std::string("main = return\n") + c.script);
        setArguments({"-Dbad=1", "first", "wrkdir=" + layout.root()});
        if (c.noMainArgs) jvmHost.mainArgCount = 0;
        LogWatch watch;
        EXPECT_EQ(runJvm(), c.exitCode);
        char reported[512];
        snprintf(reported, sizeof reported, c.reported, layout.jvmPath().c_str());
        std::string text = watch.NewText();
        std::string missing;
        if (c.thrown) {
            EXPECT_TRUE(ContainsInOrder(text,
                                        {std::string("EVENTLOG:> ") + reported + "\n", "Java exception occurred\n",
                                         std::string("exception class: ") + c.thrown + "\n"},
                                        &missing))
                << missing << "\n" << text;
        } else {
            EXPECT_NE(text.find(std::string("EVENTLOG:> ") + reported + "\n"), std::string::npos) << text;
        }
        EXPECT_EQ(text.find("Java exception occurred") != std::string::npos, c.thrown != nullptr) << text;
        EXPECT_EQ(text.find("starting Java main()"), std::string::npos);
        EXPECT_FALSE(serverStopSignalled());
        std::vector<std::string> journal = layout.journal();
        EXPECT_EQ(contains(journal, "DestroyJavaVM -> 0"), c.vmCreated);   // destroyed before the unload
        EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());
    }
}

TEST_F(JvmLaunch, MainWithoutArgumentsGetsAnEmptyArrayNeverNull) {
    layout.writeScript("main = return\n");
    jvmHost.mainArgCount = 0;
    EXPECT_EQ(runJvm(), 0u);
    std::vector<std::string> journal = layout.journal();
    EXPECT_TRUE(contains(journal, "main argc=0"));
    EXPECT_FALSE(contains(journal, "main args=null"));
}

TEST_F(JvmLaunch, MissingOrBrokenLibraries) {
    // No VM file and no Java in the registry: discovery finds nothing.
    DeleteFileA((programFolder() + "\\halvorin.vm").c_str());
    EXPECT_EQ(runJvm(), 1019u);
    EXPECT_NE(log.NewText().find("EVENTLOG:> Halvorin could not find usable 64-bit Java VM in Windows registry. "
                                 "Please re-install JRE and try again\n"),
              std::string::npos);

    // The registry may name a library of the other bitness: the 32-bit stand-in VM.
    const char* product = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
    std::string version = std::string(product) + "\\1.8";
    std::string other = BuildDir() + "\\..\\i686\\tests\\doubles\\standin_jvm\\jvm.dll";
    ASSERT_TRUE(FileExists(other));
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, product, "CurrentVersion", "1.8"));
    WriteRegString(HKEY_LOCAL_MACHINE, version, "RuntimeLib", other);
    WriteRegString(HKEY_LOCAL_MACHINE, version, "MicroVersion", "0");
    LogWatch loadWatch;
    EXPECT_EQ(runJvm(), 1005u);
    DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
    std::string text = loadWatch.NewText();
    EXPECT_NE(text.find("EVENTLOG:> Error loading JVM Library: path='" + other + "': OS Error 193: "),
              std::string::npos)
        << text;

    // Libraries without both JNI entry points: none of them, or only one of the two.
    const struct {
        std::string library;
        std::string exported;   // the one invocation export it has, or ""
    } partial[] = {
        {DistFile("krlxmsg64.dll"), ""},
        {BuildFile("tests\\doubles\\partial_jvm\\jvm_create_only.dll"), "JNI_CreateJavaVM"},
        {BuildFile("tests\\doubles\\partial_jvm\\jvm_init_args_only.dll"), "JNI_GetDefaultJavaVMInitArgs"},
    };
    TempFolder broken("brokenjvm");
    std::string fake = broken.file("jvm.dll");
    WriteFileText(programFolder() + "\\halvorin.vm", fake);
    for (const auto& p : partial) {
        SCOPED_TRACE(p.library);
        ASSERT_TRUE(CopyFileTo(p.library, fake));
        HMODULE module = LoadLibraryA(fake.c_str());
        ASSERT_NE(module, nullptr);
        EXPECT_EQ(GetProcAddress(module, "JNI_CreateJavaVM") != nullptr, p.exported == "JNI_CreateJavaVM");
        EXPECT_EQ(GetProcAddress(module, "JNI_GetDefaultJavaVMInitArgs") != nullptr,
                  p.exported == "JNI_GetDefaultJavaVMInitArgs");
        FreeLibrary(module);
        LogWatch exportWatch;
        EXPECT_EQ(runJvm(), 1006u);
        EXPECT_NE(exportWatch.NewText().find("EVENTLOG:> Cannot find JNI functions (JNI_CreateJavaVM and/or "
                                             "JNI_GetDefaultJavaVMInitArgs) in " +
                                             fake + "\n"),
                  std::string::npos);
    }
}

TEST_F(JvmLaunch, TwentyOptionsAreAcceptedTwentyOneRefused) {
    layout.writeScript("main = return\n");
    std::vector<std::string> options;
    for (int i = 0; i < 21; i++) options.push_back("-Dopt" + std::to_string(i) + "=" + std::to_string(i));
    std::vector<char*> pointers;
    for (std::string& o : options) pointers.push_back(&o[0]);
    jvmHost.vmOptions = pointers.data();
    jvmHost.vmOptionCount = 21;
    EXPECT_EQ(runJvm(), 1007u);
    EXPECT_NE(log.NewText().find("EVENTLOG:> Max. number of Java args (20) exceeded.\n"), std::string::npos);
    EXPECT_EQ(indexOf(layout.journal(), "JNI_CreateJavaVM version"), -1);

    jvmHost.vmOptionCount = 20;
    EXPECT_EQ(runJvm(), 0u);
    std::vector<std::string> journal = layout.journal();
    EXPECT_TRUE(contains(journal, "JNI_CreateJavaVM version=0x00010002 ignoreUnrecognized=1 nOptions=20"));
    EXPECT_TRUE(contains(journal, "option 19 -Dopt19=19"));
}

TEST_F(JvmLaunch, MainThrowingIsReportedAndTheVmStillEnds) {
    layout.writeScript("main = return\nmain.throws = java/lang/IllegalStateException\n");
    EXPECT_EQ(runJvm(), 0u);
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log.NewText(),
                                {"starting Java main()...\n",
                                 "EVENTLOG:> Could not invoke main() method of main class (launcher). JVM=" +
                                     layout.jvmPath() + "\n",
                                 "Java exception occurred\n", "exception class: java.lang.IllegalStateException\n",
                                 "unloaded JVM DLL\n", "signaling hServerStopEvent [from invokeJVM]...\n"},
                                &missing))
        << missing;
    std::vector<std::string> journal = layout.journal();
    EXPECT_LT(indexOf(journal, "ExceptionClear java/lang/IllegalStateException"),
              indexOf(journal, "DestroyJavaVM -> 0"));
    EXPECT_TRUE(serverStopSignalled());
    EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());
}

// Each way of not finding the event manager is reported with its own text; the server
// runs all the same.
TEST_F(JvmLaunch, AMissingEventManagerDoesNotStopTheServer) {
    const struct {
        const char* script;
        const char* reported;
    } cases[] = {
        {"class.scm_manager = missing\n",
         "JNI error finding SCMEventManager (com/qzvltd/halvorin/scm/SCMEventManager)."},
        {"class.scm_manager = null\n", "JNI error finding SCMEventManager."},
        {"method.get_instance = missing\n", "Cannot find SCMEventManager.getInstance."},
        {"method.get_instance = null\n", "Cannot find SCMEventManager.getInstance."},
        {"get_instance = throw java/lang/IllegalStateException\n", "Cannot call SCMEventManager.getInstance (direct)"},
        {"get_instance = null\n", "Cannot call SCMEventManager.getInstance() (direct)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        layout.writeScript(std::string("main = return\n") + c.script);
        LogWatch watch;
        EXPECT_EQ(runJvm(), 0u);
        EXPECT_EQ(jvmHost.scmEventManager, nullptr);
        std::string text = watch.NewText();
        EXPECT_NE(text.find(std::string("EVENTLOG:> ") + c.reported + "\n"), std::string::npos) << text;
        EXPECT_NE(text.find("signaling hServerStopEvent [from invokeJVM]...\n"), std::string::npos);
        EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());
    }
}

// Console events and the stack dump reach the running server from threads of their own,
// each attached for the call and detached afterwards.
TEST_F(JvmLaunch, ConsoleEventsAndTheStackDumpReachTheRunningServer) {
    layout.writeScript("main = until-stop\n");
    HANDLE thread = startJvm();
    ASSERT_TRUE(waitForJournal("main argc="));
    ASSERT_NE(jvmHost.scmEventManager, nullptr);

    bConsoleMode = 0;   // outside console mode these events must not stop the server
    EXPECT_FALSE(consoleCtrlHandler(CTRL_BREAK_EVENT));
    EXPECT_FALSE(consoleCtrlHandler(7));
    EXPECT_TRUE(consoleCtrlHandler(CTRL_C_EVENT));
    EXPECT_TRUE(consoleCtrlHandler(CTRL_CLOSE_EVENT));
    EXPECT_TRUE(consoleCtrlHandler(CTRL_LOGOFF_EVENT));
    EXPECT_EQ(WaitForSingleObject(jvmHost.hStopRequestEvent, 0), DWORD(WAIT_TIMEOUT));

    // The 64-bit build finds the VM's undecorated dump export. The 32-bit build's
    // decorated name of the __stdcall function can only be named here.
    HMODULE vm = GetModuleHandleA(layout.jvmPath().c_str());
    ASSERT_NE(vm, nullptr);
    ASSERT_NE(GetProcAddress(vm, "JVM_DumpAllStacks"), nullptr);
    EXPECT_EQ(reinterpret_cast<FARPROC>(jvmHost.JVM_Dump), GetProcAddress(vm, "JVM_DumpAllStacks"));
    EXPECT_STREQ(dumpExportName(false), "_JVM_DumpAllStacks@8");

    HANDLE stdoutBefore = GetStdHandle(STD_OUTPUT_HANDLE);
    VmUse use;
    ASSERT_TRUE(beginVmUse(use));
    char* dump = captureStackDump(use.env);
    endVmUse(use);
    ASSERT_NE(dump, nullptr);
    EXPECT_EQ(std::string(dump).rfind("Full thread dump", 0), 0u);
    EXPECT_EQ(ReadFileText(std::string(GetTempFolder()) + "\\stack.txt"), dump);
    EXPECT_EQ(GetStdHandle(STD_OUTPUT_HANDLE), stdoutBefore);
    free(dump);

    bConsoleMode = 1;
    EXPECT_TRUE(consoleCtrlHandler(CTRL_SHUTDOWN_EVENT));   // dispatches 2, then stops always
    EXPECT_EQ(finish(thread), 0u);
    EXPECT_EQ(WaitForSingleObject(jvmHost.hStopRequestEvent, 0), WAIT_OBJECT_0);

    std::vector<unsigned long> threads;
    std::vector<std::string> journal = layout.journal(&threads);
    std::vector<std::string> mine;
    for (size_t i = 0; i < journal.size(); i++)
        if (threads[i] == GetCurrentThreadId() && journal[i].find("Attach") != std::string::npos) mine.push_back(journal[i]);
    std::vector<std::string> codes;
    for (const std::string& line : journal)
        if (line.rfind("dispatchSCMEvent", 0) == 0) codes.push_back(line);
    EXPECT_EQ(codes, (std::vector<std::string>{"dispatchSCMEvent 3", "dispatchSCMEvent 4", "dispatchSCMEvent 2",
                                              "dispatchSCMEvent 1"}));
    EXPECT_EQ(mine.size(), 4u);   // close, logoff, dump, shutdown: one attachment each
    EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());
}

TEST_F(JvmLaunch, CloseBeforeTheEventManagerIsKnownStillStopsConsoleMode) {
    layout.writeScript("main = sleep 1500\nclass.scm_manager = missing\n");
    HANDLE thread = startJvm();
    ASSERT_TRUE(waitForJournal("main argc="));
    EXPECT_TRUE(consoleCtrlHandler(CTRL_CLOSE_EVENT));
    EXPECT_EQ(WaitForSingleObject(jvmHost.hStopRequestEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(finish(thread), 0u);
    EXPECT_EQ(indexOf(layout.journal(), "dispatchSCMEvent"), -1);
    EXPECT_EQ(layout.journalComplaints(), std::vector<std::string>());
}

}  // namespace
