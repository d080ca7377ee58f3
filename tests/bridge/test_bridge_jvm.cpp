// The bridge jvm.dll on its own: a copy in a temporary folder is loaded here and drives
// the Linux JVM (one per process, made once for the suite). Options arrive as unix real
// paths, calls and exceptions are the JVM's own, a wrong token is refused, the dump is
// the JVM's; and, in child hosts, a rule broken aborts the host and the JVM ends with it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <io.h>

#include <jni.h>

#include <functional>
#include <string>

#include "bridge_test_support.h"
#include "test_support.h"

using namespace testing_support;

namespace {

// A host that died with this process id may have left its JVM's status file, which its
// start script writes whenever that JVM ends. Written here over and over while this
// process's JVM starts, it must never be taken for this JVM's.
volatile LONG plantingStaleStatus;

DWORD WINAPI plantStaleStatus(void*) {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string path = std::string(temp) + "jvmbridge-" + std::to_string(GetCurrentProcessId()) + ".status";
    while (plantingStaleStatus) {
        WriteFileText(path, "1\n");
        Sleep(5);
    }
    DeleteFileA(path.c_str());
    return 0;
}

DWORD WINAPI attachAndFindObject(void* vm) {
    JNIEnv* env = nullptr;
    if (static_cast<JavaVM*>(vm)->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr) != JNI_OK) return 1;
    DWORD found = env->FindClass("java/lang/Object") ? 0 : 2;
    static_cast<JavaVM*>(vm)->DetachCurrentThread();
    return found;
}

class BridgeJvm : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        folder = new TempFolder("bridge-jvm");
        CreateDirectoryA(folder->file("lib").c_str(), nullptr);
        CopyFileTo(BridgeJvmPath(), folder->file("jvm.dll"));
        // Relative class path entries resolve against the host's current folder.
        GetCurrentDirectoryA(sizeof previousFolder, previousFolder);
        SetCurrentDirectoryA(folder->path().c_str());
        library = LoadLibraryA(folder->file("jvm.dll").c_str());
        ASSERT_NE(library, nullptr);
        auto create = reinterpret_cast<jint(JNICALL*)(JavaVM**, void**, void*)>(
            GetProcAddress(library, "JNI_CreateJavaVM"));
        std::string classPath = "-Djava.class.path=" + folder->file("lib\\a.jar") + ";rel\\b.jar;Z:\\tmp\\c.jar;" +
                                folder->file("missing\\d.jar") + ";";
        std::string tmpdir = "-Djava.io.tmpdir=" + folder->path();
        const char* texts[] = {classPath.c_str(), "-Xmx64m", "-Dbridge.text=a b \"c\" \\d\\", "/Dbridge.ignored=1",
                               tmpdir.c_str()};
        JavaVMOption options[5] = {};
        for (int i = 0; i < 5; i++) options[i].optionString = const_cast<char*>(texts[i]);
        JavaVMInitArgs init = {JNI_VERSION_1_2, 5, options, JNI_TRUE};
        plantingStaleStatus = 1;
        HANDLE planter = CreateThread(nullptr, 0, plantStaleStatus, nullptr, 0, nullptr);
        jint created = create(&vm, reinterpret_cast<void**>(&env), &init);
        plantingStaleStatus = 0;
        WaitForSingleObject(planter, INFINITE);
        CloseHandle(planter);
        ASSERT_EQ(created, JNI_OK) << ReadFileText(folder->file("java.log"));
    }

    static void TearDownTestSuite() {
        long pid = JvmProcessId(ReadFileText(folder->file("java.log")));
        if (vm) {
            EXPECT_EQ(vm->DestroyJavaVM(), JNI_OK);
            // DestroyJavaVM returns once the JVM process has ended.
            EXPECT_FALSE(UnixProcessExists(pid)) << pid;
            void* none = nullptr;
            EXPECT_EQ(vm->GetEnv(&none, JNI_VERSION_1_2), JNI_EDETACHED);
            auto created = reinterpret_cast<jint(JNICALL*)(JavaVM**, jsize, jsize*)>(
                GetProcAddress(library, "JNI_GetCreatedJavaVMs"));
            jsize count = -1;
            EXPECT_EQ(created(nullptr, 0, &count), JNI_OK);
            EXPECT_EQ(count, 0);
        }
        std::string output = ReadFileText(folder->file("java.log"));
        EXPECT_EQ(output.find("WARNING in native method: JNI call made with exception pending"), std::string::npos)
            << output;
        FreeLibrary(library);
        SetCurrentDirectoryA(previousFolder);
        delete folder;
    }

    static std::string property(const char* name) {
        jclass system = env->FindClass("java/lang/System");
        jmethodID get = env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
        jobject value = env->functions->CallStaticObjectMethod(env, system, get, env->NewStringUTF(name));
        return value ? text(value) : "(null)";
    }

    static std::string text(jobject string) {
        const char* chars = env->GetStringUTFChars(static_cast<jstring>(string), nullptr);
        std::string result = chars;
        env->ReleaseStringUTFChars(static_cast<jstring>(string), chars);
        return result;
    }

    // The class name and message of the pending exception, which is then cleared.
    static std::string takeException() {
        if (!env->ExceptionCheck()) return "no exception";
        jthrowable exception = env->ExceptionOccurred();
        env->ExceptionClear();
        jclass type = env->GetObjectClass(exception);
        jmethodID getName = env->GetMethodID(env->GetObjectClass(type), "getName", "()Ljava/lang/String;");
        jmethodID getMessage = env->GetMethodID(type, "getMessage", "()Ljava/lang/String;");
        jobject message = env->functions->CallObjectMethod(env, exception, getMessage);
        return text(env->functions->CallObjectMethod(env, type, getName)) + ": " + (message ? text(message) : "");
    }

    static TempFolder* folder;
    static char previousFolder[MAX_PATH];
    static HMODULE library;
    static JavaVM* vm;
    static JNIEnv* env;
};

TempFolder* BridgeJvm::folder;
char BridgeJvm::previousFolder[MAX_PATH];
HMODULE BridgeJvm::library;
JavaVM* BridgeJvm::vm;
JNIEnv* BridgeJvm::env;

TEST_F(BridgeJvm, OptionsReachTheJvmWithUnixRealPaths) {
    // The temporary folder is on C:, which Wine keeps as drive_c of the prefix; the JVM
    // must get that real path, not the dosdevices/c: link.
    std::string windows = folder->path();
    ASSERT_EQ(windows.substr(0, 3), "C:\\");
    std::string unix = UnixOfBuildPath("wine\\prefix\\drive_c\\" + windows.substr(3));
    EXPECT_EQ(property("java.class.path"),
              unix + "/lib/a.jar:" + unix + "/rel/b.jar:/tmp/c.jar:" + unix + "/missing/d.jar");
    EXPECT_EQ(property("user.dir"), unix);
    EXPECT_EQ(property("java.io.tmpdir"), unix);
    EXPECT_EQ(property("bridge.text"), "a b \"c\" \\d\\");
    EXPECT_EQ(property("bridge.ignored"), "(null)");   // a real VM ignores what it does not know
}

TEST_F(BridgeJvm, CallsAndObjectsAreTheJvms) {
    jclass string = env->FindClass("java/lang/String");
    ASSERT_NE(string, nullptr);
    // References are far above 4 GB, so that one cut to 32 bits names nothing.
    EXPECT_GT(reinterpret_cast<ULONG_PTR>(string), 0xFFFFFFFFull);
    jstring abc = env->NewStringUTF("abc");
    jmethodID substring = env->GetMethodID(string, "substring", "(I)Ljava/lang/String;");
    EXPECT_EQ(text(env->functions->CallObjectMethod(env, abc, substring, 1)), "bc");
    EXPECT_EQ(env->GetMethodID(string, "substring", "(I)Ljava/lang/String;"), substring);
    jobjectArray array = env->NewObjectArray(2, string, abc);
    jmethodID join = env->GetStaticMethodID(string, "join",
                                            "(Ljava/lang/CharSequence;[Ljava/lang/CharSequence;)Ljava/lang/String;");
    env->SetObjectArrayElement(array, 1, env->NewStringUTF("d\xc3\xa9"));
    EXPECT_EQ(text(env->functions->CallStaticObjectMethod(env, string, join, env->NewStringUTF("+"), array)),
              "abc+d\xc3\xa9");
    jobject global = env->NewGlobalRef(abc);
    EXPECT_NE(global, abc);
    EXPECT_EQ(text(global), "abc");
    EXPECT_FALSE(env->ExceptionCheck());
}

// Text in a Windows code page is not modified UTF-8: the JVM takes each byte as a
// character and, as its JNI checks do, warns.
TEST_F(BridgeJvm, NewStringUTFTakesCodePageTextWithAWarning) {
    jstring cafe = env->NewStringUTF("caf\xe9");
    EXPECT_EQ(text(cafe), "caf\xc3\xa9");
    EXPECT_TRUE(WaitForText(folder->file("java.log"),
                            "WARNING in native method: NewStringUTF given text that is not modified UTF-8\n", 30000));
    EXPECT_EQ(text(env->NewStringUTF("caf\xc3\xa9")), "caf\xc3\xa9");
}

struct ExceptionCase {
    const char* name;
    std::function<void(JNIEnv*)> step;
    const char* expected;   // class name and message, as the JVM gives them
};

// The expected texts are those HotSpot 17 gives for the same JNI calls made natively.
TEST_F(BridgeJvm, ExceptionsAreTheJvmsOwn) {
    jclass string = env->FindClass("java/lang/String");
    jclass type = env->FindClass("java/lang/Class");
    jobjectArray one = env->NewObjectArray(1, string, nullptr);
    const ExceptionCase cases[] = {
        {"dotted class name", [](JNIEnv* e) { e->FindClass("java.lang.String"); },
         "java.lang.NoClassDefFoundError: java.lang.String"},
        {"missing class", [](JNIEnv* e) { e->FindClass("no/such/Type"); }, "java.lang.NoClassDefFoundError: no/such/Type"},
        {"missing method", [&](JNIEnv* e) { e->GetStaticMethodID(string, "nope", "()V"); },
         "java.lang.NoSuchMethodError: nope"},
        {"static method as instance method",
         [&](JNIEnv* e) { e->GetMethodID(string, "valueOf", "(I)Ljava/lang/String;"); },
         "java.lang.NoSuchMethodError: Ljava/lang/String;.valueOf(I)Ljava/lang/String;"},
        {"negative array size", [&](JNIEnv* e) { e->NewObjectArray(-1, string, nullptr); },
         "java.lang.NegativeArraySizeException: -1"},
        {"index out of bounds", [&](JNIEnv* e) { e->SetObjectArrayElement(one, 1, nullptr); },
         "java.lang.ArrayIndexOutOfBoundsException: Index 1 out of bounds for length 1"},
        {"wrong element type", [&](JNIEnv* e) { e->SetObjectArrayElement(one, 0, type); },
         "java.lang.ArrayStoreException: type mismatch: can not store java.lang.Class to java.lang.String[0]"},
        {"thrown by the called method",
         [](JNIEnv* e) {
             jclass integer = e->FindClass("java/lang/Integer");
             jmethodID valueOf = e->GetStaticMethodID(integer, "valueOf", "(Ljava/lang/String;)Ljava/lang/Integer;");
             e->functions->CallStaticObjectMethod(e, integer, valueOf, e->NewStringUTF("x"));
         },
         "java.lang.NumberFormatException: For input string: \"x\""},
    };
    for (const ExceptionCase& c : cases) {
        SCOPED_TRACE(c.name);
        c.step(env);
        EXPECT_EQ(takeException(), c.expected);
        EXPECT_FALSE(env->ExceptionCheck());
    }
}

TEST_F(BridgeJvm, AWrongTokenIsRefused) {
    LogWatch output(folder->file("java.log"));
    int port = JvmPort(ReadFileText(folder->file("java.log")));
    ASSERT_GT(port, 0);
    for (const std::string& token : {std::string(32, '0'), std::string("short")}) {
        SCOPED_TRACE(token);
        EXPECT_TRUE(ConnectionIsRefused(port, token));
    }
    EXPECT_NE(output.NewText().find("jvmbridge: refused a connection with a wrong token\n"), std::string::npos);
    EXPECT_NE(env->FindClass("java/lang/Object"), nullptr);   // the VM goes on serving the host
}

// A local connection that sends nothing is refused only after the greeting's time-out
// (10 s); meanwhile the host's threads attach as ever.
TEST_F(BridgeJvm, ASilentConnectionHoldsUpNoAttach) {
    LogWatch output(folder->file("java.log"));
    SOCKET silent = ConnectToJvm(JvmPort(ReadFileText(folder->file("java.log"))));
    ASSERT_NE(silent, INVALID_SOCKET);
    HANDLE thread = CreateThread(nullptr, 0, attachAndFindObject, vm, 0, nullptr);
    ASSERT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
    DWORD result = 9;
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
    EXPECT_EQ(result, 0u);
    EXPECT_EQ(output.NewText().find("jvmbridge: refused a connection that sent no token"), std::string::npos);
    closesocket(silent);
}

TEST_F(BridgeJvm, TheStackDumpIsTheJvmsOnDescriptorOne) {
    auto dump = reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass)>(GetProcAddress(library, "JVM_DumpAllStacks"));
    ASSERT_NE(dump, nullptr);
    std::string file = folder->file("dump.txt");
    int target = _open(file.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    ASSERT_GE(target, 0);
    fflush(stdout);
    int saved = _dup(1);
    _dup2(target, 1);
    dump(env, nullptr);
    _dup2(saved, 1);
    _close(saved);
    _close(target);
    std::string text = ReadFileText(file);
    // A time stamp line, then the VM's heading, then this thread among the others.
    EXPECT_EQ(text.substr(0, 2), "20");
    EXPECT_NE(text.find("\nFull thread dump OpenJDK 64-Bit Server VM (17."), std::string::npos) << text;
    EXPECT_NE(text.find("\n\"main\" #"), std::string::npos) << text;
}

struct EndCase {
    const char* mode;
    const char* reported;   // the start of the fatal error's text, if any
    DWORD exitCode;
    const char* javaLine;   // the JVM's last words
};

// A host that breaks a JNI rule is ended, the rule named, as a real VM's fatal error
// would end it; whenever the host dies the JVM ends too; and a JVM whose exit hangs after
// DestroyJavaVM is halted once the host has waited for it (here 2 s). The JVM's status
// file, which a dead host leaves behind, goes to the test's own folder.
TEST(BridgeJvmHost, TheJvmEndsWithTheHostOrAfterItsWait) {
    const char* gone = "jvmbridge: the host process is gone; the JVM ends\n";
    const EndCase cases[] = {
        {"env-slot", "JNIEnv function GetVersion (slot 4) is not implemented by the bridge", 3, gone},
        {"vm-slot", "JavaVM function AttachCurrentThreadAsDaemon (slot 7) is not implemented by the bridge", 3, gone},
        {"other-thread", "FindClass called on thread ", 3, gone},
        {"bad-reference", "GetStaticMethodID given 0000000000001234, which is not a reference of this VM", 3, gone},
        {"die", nullptr, 9, gone},
        {"hung-exit", nullptr, 0, "jvmbridge: the host stopped waiting for the JVM's end; the JVM halts\n"},
    };
    for (const EndCase& c : cases) {
        SCOPED_TRACE(c.mode);
        TempFolder folder(std::string("bridge-child-") + c.mode);
        CopyFileTo(BridgeJvmPath(), folder.file("jvm.dll"));
        ProcessResult run = RunProcess("\"" + BuildFile("tests\\bridge\\bridge_child.exe") + "\" \"" +
                                           folder.file("jvm.dll") + "\" " + c.mode,
                                       ProcessOptions{60000, "", {"JVMBRIDGE_END_TIMEOUT_MS=2000",
                                                                  "TMP=" + folder.path()}});
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.out, c.exitCode ? "VM created\r\n" : "VM created\r\nstill running\r\n");
        EXPECT_EQ(run.exitCode, c.exitCode);
        if (c.reported) {
            std::string line = std::string("jvm.dll (bridge): fatal error: ") + c.reported;
            EXPECT_NE(run.err.find(line), std::string::npos) << run.err;
            EXPECT_NE(ReadFileText(folder.file("java.log")).find(line), std::string::npos);
        }
        std::string log = folder.file("java.log");
        long pid = JvmProcessId(ReadFileText(log));
        ASSERT_GT(pid, 0) << ReadFileText(log);
        EXPECT_TRUE(WaitForText(log, c.javaLine, 30000)) << ReadFileText(log);
        EXPECT_TRUE(WaitForUnixProcessEnd(pid, 30000)) << pid;
    }
}

}  // namespace
