// The service under Wine's Service Control Manager with a real JVM behind it: the bridge
// jvm.dll and the Java server's jars in a temporary product folder. The real launcher.main
// gets the options and arguments halvorin built, the stop reaches Java, the JVM's own
// dump is logged, and the JVM's own exceptions are described when the start fails.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bridge_test_support.h"
#include "product_layout.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kProductKey[] = "Software\\Quorvane\\Halvorin";

std::string unixOf(const std::string& windowsPath) {
    // Temporary folders are on C:, drive_c of the test prefix.
    std::string path = UnixOfBuildPath("wine\\prefix\\drive_c\\" + windowsPath.substr(3));
    return path;
}

class BridgeService : public ::testing::Test {
protected:
    void SetUp() override {
        InstallBridgeJvm(layout);
        layout.writeServiceSpec(layout.programFolder());
        ASSERT_TRUE(service.registered()) << GetLastError();
    }

    // The JVM process of the last start has ended, as DestroyJavaVM waits for it.
    void expectJvmEnded(const std::string& output) {
        long pid = JvmProcessId(output);
        EXPECT_GT(pid, 0) << output;
        EXPECT_TRUE(WaitForUnixProcessEnd(pid, 30000)) << pid;
        EXPECT_EQ(output.find("WARNING in native method"), std::string::npos) << output;
        EXPECT_EQ(output.find("fatal error"), std::string::npos) << output;
    }

    ProductLayout layout{"bridge-service", true};
    TestService service{layout.hostPath()};
    LogWatch hostLog;
    LogWatch javaLog{JavaLogPath(layout)};
};

TEST_F(BridgeService, TheRealJvmRunsTheServerUntilTheStopReachesJava) {
    std::string work = layout.root() + "\\work";
    CreateDirectoryA(work.c_str(), nullptr);
    // The server takes five seconds to end after the stop event, so the dump taken on the
    // stop request finds launcher.main still running.
    ASSERT_TRUE(service.start({"-Dlauncher.stop_delay_ms=5000", "-Xmx300m", "-XX:+UseG1GC", "wrkdir=" + work}));
    ASSERT_EQ(service.waitFor(SERVICE_RUNNING, 30000), DWORD(SERVICE_RUNNING));
    ASSERT_TRUE(WaitForText(JavaLogPath(layout), "launcher: running until the service stops\n", 60000))
        << javaLog.NewText() << hostLog.NewText();

    std::string program = unixOf(layout.programFolder());
    std::string classPath = program + ":";
    for (const char* jar : {"scm", "halvorin", "ifxjdbc", "hsqldb", "cryptix", "mail", "activation", "jta", "derby"})
        classPath += program + "/lib/" + jar + ".jar" + (std::string(jar) == "derby" ? "" : ":");
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(javaLog.NewText(),
                                {"launcher: main started with 3 arguments\n", "launcher: args[0] = wrkdir=" + work + "\n",
                                 "launcher: args[1] = -root\n", "launcher: args[2] = " + layout.root() + "\n",
                                 "launcher: VM option -Dlauncher.stop_delay_ms=5000\n", "launcher: VM option -Xmx300m\n",
                                 "launcher: VM option -XX:+UseG1GC\n", "launcher: java.class.path = " + classPath + "\n",
                                 "launcher: working folder " + unixOf(work) + "\n", "launcher: maximum heap 300 MB\n"},
                                &missing))
        << missing << "\n" << javaLog.NewText();

    ASSERT_TRUE(service.stop());
    EXPECT_EQ(service.waitFor(SERVICE_STOPPED, 60000), DWORD(SERVICE_STOPPED));
    std::string output = javaLog.NewText();
    EXPECT_TRUE(ContainsInOrder(output,
                                {"SCMEventManager: event 1 (service stop) on thread \"Thread-",
                                 "launcher: taking 5000 ms to shut down\n", "launcher: main returns\n"},
                                &missing))
        << missing << "\n" << output;
    std::string text = hostLog.NewText();
    EXPECT_TRUE(ContainsInOrder(text,
                                {"options[0] = \"-Dlauncher.stop_delay_ms=5000\"\n", "starting Java main()...\n",
                                 "SERVICE_CONTROL_STOP received...\n", "stack dump:\n",
                                 "\nFull thread dump OpenJDK 64-Bit Server VM (17.", "\n\"main\" #",
                                 "\tat launcher.main(launcher.java:", "JVM thread finished\n",
                                 "reporting SERVICE_STOPPED status\n"},
                                &missing))
        << missing << "\n" << text;
    expectJvmEnded(output);
    DWORD processId = 0xFFFFFFFF;
    EXPECT_TRUE(ReadRegDword(HKEY_LOCAL_MACHINE, kProductKey, "ProcessID", &processId));
    EXPECT_EQ(processId, 0u);
}

struct FailedStart {
    const char* name;
    const char* option;                    // the start argument; "<root>" stands for the product folder
    bool mainCalled;
    std::vector<std::string> logged;       // in halvorin.log, in this order
    std::vector<std::string> described;    // in the JVM's output, in this order
};

// A start that fails inside Java: the JVM describes its own exception, the host logs its
// class and still destroys the VM, and the service stops.
TEST_F(BridgeService, AFailedJavaStartIsDescribedByTheJvm) {
    const FailedStart cases[] = {
        {"main throws", "-Dlauncher.fail=throw", true,
         {"EVENTLOG:> Could not invoke main() method of main class (launcher). JVM=", "Java exception occurred\n",
          "exception class: java.lang.IllegalStateException\n", "unloaded JVM DLL\n",
          "signaling hServerStopEvent [from invokeJVM]...\n", "JVM thread finished\n"},
         {"Exception in thread \"main\" java.lang.IllegalStateException: the server was told to fail "
          "(launcher.fail=throw)\n\tat launcher.main(launcher.java:",
          "\n"}},
        {"no launcher class", "-Djava.class.path=<root>\\empty", false,
         {"EVENTLOG:> JNI error finding main class (launcher). JVM=", "Java exception occurred\n",
          "exception class: java.lang.NoClassDefFoundError\n", "unloaded JVM DLL\n", "JVM thread finished\n"},
         {"Exception in thread \"main\" java.lang.NoClassDefFoundError: launcher\n"
          "Caused by: java.lang.ClassNotFoundException: launcher\n"
          "\tat java.base/jdk.internal.loader.BuiltinClassLoader.loadClass("}},
    };
    for (const FailedStart& c : cases) {
        SCOPED_TRACE(c.name);
        std::string option = c.option;
        size_t root = option.find("<root>");
        if (root != std::string::npos) option.replace(root, 6, layout.root());
        LogWatch host, java(JavaLogPath(layout));
        ASSERT_TRUE(service.start({option}));
        EXPECT_EQ(service.waitFor(SERVICE_STOPPED, 60000), DWORD(SERVICE_STOPPED));
        std::string text = host.NewText(), output = java.NewText();
        std::string missing;
        EXPECT_TRUE(ContainsInOrder(text, c.logged, &missing)) << missing << "\n" << text;
        EXPECT_TRUE(ContainsInOrder(output, c.described, &missing)) << missing << "\n" << output;
        // The traces read as those of calls from native code: no frame of the bridge.
        EXPECT_EQ(output.find("\tat jvmbridge."), std::string::npos) << output;
        EXPECT_EQ(text.find("starting Java main()...\n") != std::string::npos, c.mainCalled);
        expectJvmEnded(output);
    }
}

}  // namespace
