// The stand-in jvm.dll driven through its exports as the service host drives it: a VM
// created with options, main blocking on one thread until an attached thread dispatches
// the stop event, the scripted failures, unexpected calls, and the dump through descriptor 1.
#include <gtest/gtest.h>
#include <jni.h>

#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

using namespace testing_support;

namespace {

const char kDllRelative[] = "tests\\doubles\\standin_jvm\\jvm.dll";
const char kMainSignature[] = "([Ljava/lang/String;)V";
const char kManagerClass[] = "com/qzvltd/halvorin/scm/SCMEventManager";
const char kGetInstanceSignature[] = "()Lcom/qzvltd/halvorin/scm/SCMEventManager;";

using CreateJavaVMFunction = jint(JNICALL*)(JavaVM**, void**, void*);
using DumpFunction = void(JNICALL*)(JNIEnv*, jclass);

struct JournalLine {
    DWORD thread;
    std::string text;
};

class StandinJvm : public ::testing::Test {
protected:
    TempFolder folder{"standin"};
    std::string journalPath = folder.file("calls.journal");
    HMODULE dll = nullptr;
    CreateJavaVMFunction createJavaVM = nullptr;
    DumpFunction dumpAllStacks = nullptr;
    JavaVM* vm = nullptr;
    JNIEnv* env = nullptr;

    void TearDown() override {
        if (dll) FreeLibrary(dll);
        SetEnvironmentVariableA("STANDIN_JVM_SCRIPT", nullptr);
        SetEnvironmentVariableA("STANDIN_JVM_JOURNAL", nullptr);
    }

    // Loads jvm.dll (a fresh instance: the previous test freed it) with `script`.
    void Load(const std::string& script, const std::string& dllPath = BuildFile(kDllRelative)) {
        ASSERT_TRUE(WriteFileText(folder.file("test.script"), script));
        SetEnvironmentVariableA("STANDIN_JVM_SCRIPT", folder.file("test.script").c_str());
        SetEnvironmentVariableA("STANDIN_JVM_JOURNAL", journalPath.c_str());
        LoadFrom(dllPath);
    }

    void Unload() {
        FreeLibrary(dll);
        dll = nullptr;
    }

    void LoadFrom(const std::string& dllPath) {
        dll = LoadLibraryA(dllPath.c_str());
        ASSERT_NE(dll, nullptr) << dllPath;
        createJavaVM = reinterpret_cast<CreateJavaVMFunction>(GetProcAddress(dll, "JNI_CreateJavaVM"));
        dumpAllStacks = reinterpret_cast<DumpFunction>(GetProcAddress(dll, "JVM_DumpAllStacks"));
        ASSERT_NE(createJavaVM, nullptr);
        ASSERT_NE(GetProcAddress(dll, "JNI_GetDefaultJavaVMInitArgs"), nullptr);
        ASSERT_NE(dumpAllStacks, nullptr);
    }

    jint Create(const std::vector<std::string>& options = {}) {
        std::vector<JavaVMOption> list;
        for (const std::string& option : options) list.push_back({const_cast<char*>(option.c_str()), nullptr});
        JavaVMInitArgs args = {JNI_VERSION_1_2, jint(list.size()), list.data(), JNI_TRUE};
        return createJavaVM(&vm, reinterpret_cast<void**>(&env), &args);
    }

    // A String[] of the texts, built as the host builds main's arguments.
    jobjectArray StringArray(const std::vector<std::string>& texts) {
        jobjectArray array = env->NewObjectArray(jsize(texts.size()), env->FindClass("java/lang/String"), nullptr);
        for (size_t i = 0; array && i < texts.size(); i++)
            env->SetObjectArrayElement(array, jsize(i), env->NewStringUTF(texts[i].c_str()));
        return array;
    }

    std::vector<JournalLine> Journal() const {
        std::vector<JournalLine> lines;
        std::istringstream stream(ReadFileText(journalPath));
        for (std::string line; std::getline(stream, line);) {
            size_t space = line.find(' ');
            lines.push_back({DWORD(strtoul(line.c_str(), nullptr, 10)), line.substr(space + 1)});
        }
        return lines;
    }

    // The journal without thread ids, one text per line; only one thread's lines if given.
    std::string JournalText(DWORD thread = 0) const {
        std::string text;
        for (const JournalLine& line : Journal())
            if (!thread || line.thread == thread) text += line.text + "\n";
        return text;
    }

    void ExpectInOrder(const std::vector<std::string>& expected, DWORD thread = 0) const {
        std::string missing;
        std::string text = JournalText(thread);
        EXPECT_TRUE(ContainsInOrder(text, expected, &missing)) << "missing or out of order: " << missing << "\n" << text;
    }

    // Polls until a journal line starts with `prefix`; false after ten seconds.
    bool WaitForJournal(const std::string& prefix) const {
        for (int i = 0; i < 200; i++) {
            if (ThreadOf(prefix)) return true;
            Sleep(50);
        }
        return false;
    }

    // The index of the first line of the thread that starts with `prefix`, or -1.
    int LineOf(const std::string& prefix, DWORD thread) const {
        std::vector<JournalLine> lines = Journal();
        for (size_t i = 0; i < lines.size(); i++)
            if (lines[i].thread == thread && lines[i].text.compare(0, prefix.size(), prefix) == 0) return int(i);
        return -1;
    }

    // The thread that journaled the first line starting with `prefix`, or 0.
    DWORD ThreadOf(const std::string& prefix) const {
        for (const JournalLine& line : Journal())
            if (line.text.compare(0, prefix.size(), prefix) == 0) return line.thread;
        return 0;
    }

    void ExpectNoBreaches() const {
        std::string text = JournalText();
        EXPECT_EQ(text.find("unexpected "), std::string::npos) << text;
        EXPECT_EQ(text.find("misuse "), std::string::npos) << text;
    }

    jobject ManagerInstance() {
        jclass manager = env->FindClass(kManagerClass);
        jmethodID getInstance = env->GetStaticMethodID(manager, "getInstance", kGetInstanceSignature);
        jobject instance = env->functions->CallStaticObjectMethod(env, manager, getInstance);
        return instance ? env->NewGlobalRef(instance) : nullptr;
    }

    // Runs main with the arguments on the calling thread, which must have created the VM.
    void RunMain(jobjectArray args) {
        jclass launcher = env->FindClass("launcher");
        jmethodID main = env->GetStaticMethodID(launcher, "main", kMainSignature);
        env->functions->CallStaticVoidMethod(env, launcher, main, args);
    }

    // What the service stop does: dispatchSCMEvent(code) on a thread attached for it.
    void DispatchFromAttachedThread(jobject manager, jint code, DWORD* threadId) {
        std::thread dispatcher([&] {
            *threadId = GetCurrentThreadId();
            JNIEnv* own = nullptr;
            ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr), JNI_OK);
            jmethodID dispatch = own->GetMethodID(own->GetObjectClass(manager), "dispatchSCMEvent", "(I)V");
            own->functions->CallVoidMethod(own, manager, dispatch, code);
            Sleep(200);   // detach late: DestroyJavaVM must wait for it
            EXPECT_EQ(vm->DetachCurrentThread(), JNI_OK);
        });
        dispatcher.join();
    }
};

TEST_F(StandinJvm, MainRunsUntilAnAttachedThreadDispatchesTheStopEvent) {
    Load("# a real server\nmain = until-stop\n");
    HANDLE created = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    jobject manager = nullptr;
    DWORD jvmThread = 0;
    std::thread jvm([&] {
        jvmThread = GetCurrentThreadId();
        ASSERT_EQ(Create({"-Dx=1", "-Xmx300m", "-Djava.class.path=C:\\q\\lib;"}), JNI_OK);
        jobjectArray args = StringArray({"-root", "C:\\Program Files\\Q"});
        manager = ManagerInstance();
        SetEvent(created);
        RunMain(args);
        JNIEnv* again = nullptr;
        EXPECT_EQ(vm->GetEnv(reinterpret_cast<void**>(&again), JNI_VERSION_1_2), JNI_OK);
        EXPECT_EQ(again, env);
        EXPECT_EQ(vm->DetachCurrentThread(), JNI_OK);
        EXPECT_EQ(vm->DestroyJavaVM(), JNI_OK);
    });
    ASSERT_EQ(WaitForSingleObject(created, 10000), WAIT_OBJECT_0);
    ASSERT_TRUE(WaitForJournal("main argc="));
    // main blocks like a real server until the stop event arrives.
    Sleep(300);
    EXPECT_EQ(JournalText().find("main returns"), std::string::npos);
    DWORD dispatcher = 0;
    DispatchFromAttachedThread(manager, 1, &dispatcher);
    jvm.join();
    CloseHandle(created);

    ExpectInOrder({"JNI_CreateJavaVM version=0x00010002 ignoreUnrecognized=1 nOptions=3\n", "option 0 -Dx=1\n",
                   "option 1 -Xmx300m\n", "option 2 -Djava.class.path=C:\\q\\lib;\n", "JNI_CreateJavaVM -> 0\n",
                   "NewObjectArray 2 java/lang/String -> ok\n", "NewStringUTF -root -> ok\n",
                   "SetObjectArrayElement 0 string -root -> ok\n", "getInstance -> ok\n",
                   "NewGlobalRef instance com/qzvltd/halvorin/scm/SCMEventManager\n", "FindClass launcher -> ok\n",
                   "GetStaticMethodID launcher main ([Ljava/lang/String;)V -> ok\n", "main argc=2\n", "arg 0 -root\n",
                   "arg 1 C:\\Program Files\\Q\n", "main returns\n", "GetEnv version=0x00010002 -> 0\n",
                   "DetachCurrentThread -> 0\n", "DestroyJavaVM -> 0\n"},
                  jvmThread);
    ExpectInOrder({"AttachCurrentThread -> 0\n",
                   "GetObjectClass instance com/qzvltd/halvorin/scm/SCMEventManager -> "
                   "com/qzvltd/halvorin/scm/SCMEventManager\n",
                   "GetMethodID com/qzvltd/halvorin/scm/SCMEventManager dispatchSCMEvent (I)V -> ok\n",
                   "dispatchSCMEvent 1\n", "DetachCurrentThread -> 0\n"},
                  dispatcher);
    // As in a real VM, DestroyJavaVM waits for the dispatching thread to detach.
    EXPECT_LT(LineOf("dispatchSCMEvent 1", dispatcher), LineOf("main returns", jvmThread));
    EXPECT_LT(LineOf("DetachCurrentThread", dispatcher), LineOf("DestroyJavaVM", jvmThread));
    EXPECT_EQ(JournalText().find("still-attached"), std::string::npos);
    ExpectNoBreaches();
}

TEST_F(StandinJvm, MainEndsAsScriptedAfterTheEventOrWithoutOne) {
    Load("main.stop_delay = 600\n");
    ASSERT_EQ(Create(), JNI_OK);
    jobject manager = ManagerInstance();
    std::thread jvm([&] {
        // Another thread than the creator: attach it the way a late caller would.
        JNIEnv* own = nullptr;
        ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr), JNI_OK);
        jclass launcher = own->FindClass("launcher");
        jobjectArray none = own->NewObjectArray(0, own->FindClass("java/lang/String"), nullptr);
        own->functions->CallStaticVoidMethod(own, launcher, own->GetStaticMethodID(launcher, "main", kMainSignature),
                                             none);
        vm->DetachCurrentThread();
    });
    ASSERT_TRUE(WaitForJournal("main argc="));
    DWORD dispatcher = 0;
    DispatchFromAttachedThread(manager, 1, &dispatcher);
    Sleep(200);
    EXPECT_EQ(JournalText().find("main returns"), std::string::npos) << "main ended before its stop delay";
    jvm.join();
    ExpectInOrder({"main argc=0\n", "dispatchSCMEvent 1\n", "main returns\n"});
    ExpectNoBreaches();
    Unload();

    // A server that ends by itself; main given a null array is told apart from an empty one.
    Load("main = sleep 50\n");
    ASSERT_EQ(Create(), JNI_OK);
    RunMain(nullptr);
    ExpectInOrder({"main args=null\n", "main returns\n"});
    std::string text = JournalText();
    EXPECT_EQ(text.find("\ndispatchSCMEvent 1"), text.rfind("\ndispatchSCMEvent 1")) << "only the first run had one";
}

TEST_F(StandinJvm, MainThrowingLeavesANamedExceptionThatDescribeClears) {
    Load("main = return\nmain.throws = java.lang.IllegalStateException\n");
    StderrWatch stderrWatch;
    ASSERT_EQ(Create(), JNI_OK);
    RunMain(StringArray({"x"}));
    ASSERT_TRUE(env->ExceptionCheck());
    jthrowable thrown = env->ExceptionOccurred();
    ASSERT_NE(thrown, nullptr);
    env->ExceptionDescribe();
    EXPECT_FALSE(env->ExceptionCheck()) << "a real VM clears the exception it describes";
    jclass type = env->GetObjectClass(thrown);
    jmethodID getName = env->GetMethodID(env->GetObjectClass(type), "getName", "()Ljava/lang/String;");
    ASSERT_NE(getName, nullptr);
    auto name = static_cast<jstring>(env->functions->CallObjectMethod(env, type, getName));
    const char* text = env->GetStringUTFChars(name, nullptr);
    EXPECT_STREQ(text, "java.lang.IllegalStateException");
    env->ReleaseStringUTFChars(name, text);
    env->ExceptionClear();
    EXPECT_EQ(vm->DestroyJavaVM(), JNI_OK);

    ExpectInOrder({"main throws java/lang/IllegalStateException\n", "ExceptionCheck -> 1\n",
                   "ExceptionOccurred -> java/lang/IllegalStateException\n",
                   "ExceptionDescribe java/lang/IllegalStateException\n",
                   "getName java/lang/IllegalStateException -> java.lang.IllegalStateException\n",
                   "ExceptionClear none\n", "DestroyJavaVM -> 0\n"});
    EXPECT_EQ(JournalText().find("unreleased-utf"), std::string::npos);
    ExpectNoBreaches();
    EXPECT_NE(stderrWatch.NewText().find("Exception in thread \"main\" java.lang.IllegalStateException"),
              std::string::npos);
}

TEST_F(StandinJvm, ClassesMethodsAndTheInstanceGoMissingAsScripted) {
    Load("class.launcher = missing\nget_instance = throw java.lang.IllegalStateException\n");
    ASSERT_EQ(Create(), JNI_OK);
    EXPECT_EQ(env->FindClass("launcher"), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_EQ(env->FindClass("java.lang.String"), nullptr) << "class names take slashes";
    env->ExceptionClear();
    EXPECT_EQ(ManagerInstance(), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    Unload();

    Load("method.main = missing\nmethod.get_instance = missing\n");
    ASSERT_EQ(Create(), JNI_OK);
    EXPECT_EQ(env->GetStaticMethodID(env->FindClass("launcher"), "main", kMainSignature), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_EQ(env->GetStaticMethodID(env->FindClass(kManagerClass), "getInstance", kGetInstanceSignature), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    Unload();

    // "null": a null result with no exception pending.
    Load("class.scm_manager = null\nmethod.main = null\n");
    ASSERT_EQ(Create(), JNI_OK);
    EXPECT_EQ(env->FindClass(kManagerClass), nullptr);
    EXPECT_EQ(env->GetStaticMethodID(env->FindClass("launcher"), "main", kMainSignature), nullptr);
    EXPECT_FALSE(env->ExceptionCheck());
    Unload();

    Load("get_instance = null\n");
    ASSERT_EQ(Create(), JNI_OK);
    EXPECT_EQ(ManagerInstance(), nullptr);
    EXPECT_FALSE(env->ExceptionCheck());

    ExpectInOrder({"FindClass launcher -> throw java/lang/NoClassDefFoundError\n",
                   "FindClass java.lang.String -> throw java/lang/NoClassDefFoundError\n",
                   "getInstance -> throw java/lang/IllegalStateException\n",
                   "GetStaticMethodID launcher main ([Ljava/lang/String;)V -> throw java/lang/NoSuchMethodError\n",
                   "GetStaticMethodID com/qzvltd/halvorin/scm/SCMEventManager getInstance "
                   "()Lcom/qzvltd/halvorin/scm/SCMEventManager; -> throw java/lang/NoSuchMethodError\n",
                   "FindClass com/qzvltd/halvorin/scm/SCMEventManager -> null\n",
                   "GetStaticMethodID launcher main ([Ljava/lang/String;)V -> null\n", "getInstance -> null\n"});
    ExpectNoBreaches();
}

TEST_F(StandinJvm, ArgumentStepsFailAsScripted) {
    Load("fail.NewObjectArray = throw java.lang.OutOfMemoryError\nfail.NewObjectArray.empty = null\n");
    ASSERT_EQ(Create(), JNI_OK);
    jclass string = env->FindClass("java/lang/String");
    EXPECT_EQ(env->NewObjectArray(1, string, nullptr), nullptr);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    EXPECT_EQ(env->NewObjectArray(0, string, nullptr), nullptr);
    EXPECT_FALSE(env->ExceptionCheck());
    Unload();

    Load("fail.NewStringUTF = null at 2\nfail.SetObjectArrayElement = throw java.lang.ArrayStoreException at 2\n");
    ASSERT_EQ(Create(), JNI_OK);
    jobjectArray array = env->NewObjectArray(3, env->FindClass("java/lang/String"), nullptr);
    ASSERT_NE(array, nullptr);
    jstring first = env->NewStringUTF("a");
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(env->NewStringUTF("b"), nullptr);
    EXPECT_FALSE(env->ExceptionCheck());
    EXPECT_NE(env->NewStringUTF("c"), nullptr);
    env->SetObjectArrayElement(array, 0, first);
    EXPECT_FALSE(env->ExceptionCheck());
    env->SetObjectArrayElement(array, 1, first);
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();
    env->SetObjectArrayElement(array, 3, first);   // past the end, as in Java
    EXPECT_TRUE(env->ExceptionCheck());
    env->ExceptionClear();

    ExpectInOrder({"NewStringUTF a -> ok\n", "NewStringUTF b -> null\n", "NewStringUTF c -> ok\n",
                   "SetObjectArrayElement 0 string a -> ok\n",
                   "SetObjectArrayElement 1 string a -> throw java/lang/ArrayStoreException\n",
                   "SetObjectArrayElement 3 string a -> throw java/lang/ArrayIndexOutOfBoundsException\n"});
    ExpectNoBreaches();
}

TEST_F(StandinJvm, CreationFailsOnARejectedOptionABadScriptOrASecondVm) {
    Load("option.reject = -Xbad\n");
    EXPECT_LT(Create({"-Dx=1", "-Xbad=2"}), 0);
    EXPECT_EQ(vm, nullptr);
    ASSERT_EQ(Create({"-Dx=1"}), JNI_OK);
    JavaVM* first = vm;
    EXPECT_EQ(Create(), JNI_EEXIST);
    ExpectInOrder({"option 1 -Xbad=2\n", "JNI_CreateJavaVM -> -6 rejected 1 -Xbad=2\n", "JNI_CreateJavaVM -> 0\n",
                   "JNI_CreateJavaVM -> -5\n"});
    EXPECT_NE(first, nullptr);
    Unload();

    StderrWatch stderrWatch;
    Load("main = forever\nfail.SetObjectArrayElement = null\n");
    EXPECT_EQ(Create(), JNI_ERR);
    ExpectInOrder({"script-error line 1: main = forever\n", "script-error line 2: fail.SetObjectArrayElement = null\n",
                   "JNI_CreateJavaVM -> -1\n"});
    EXPECT_NE(stderrWatch.NewText().find("script-error line 1"), std::string::npos);
}

TEST_F(StandinJvm, UnexpectedSlotsAndThreadMisuseAreJournaledLoudly) {
    Load("");
    StderrWatch stderrWatch;
    ASSERT_EQ(Create(), JNI_OK);
    jobjectArray array = StringArray({"a"});
    EXPECT_EQ(env->GetArrayLength(array), JNI_ERR);
    jclass launcher = env->FindClass("launcher");
    jmethodID main = env->GetStaticMethodID(launcher, "main", kMainSignature);
    env->CallStaticVoidMethod(launcher, main, array);   // jni.h's C++ form goes through the V slot
    EXPECT_EQ(env->functions->CallIntMethod(env, launcher, main, 1, 2), JNI_ERR);
    JNIEnv* daemon = nullptr;
    EXPECT_EQ(vm->AttachCurrentThreadAsDaemon(reinterpret_cast<void**>(&daemon), nullptr), JNI_ERR);

    DWORD stranger = 0;
    std::thread([&] {
        stranger = GetCurrentThreadId();
        env->FindClass("launcher");   // the creator's environment on a thread never attached
        JNIEnv* own = nullptr;
        vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr);   // ends without detaching
    }).join();
    env->FindClass("nothing/Such");
    env->FindClass("launcher");   // with NoClassDefFoundError still pending

    std::string text = JournalText();
    ExpectInOrder({"unexpected JNIEnv slot 171 GetArrayLength\n", "unexpected JNIEnv slot 142 CallStaticVoidMethodV\n",
                   "unexpected JNIEnv slot 49 CallIntMethod\n", "unexpected JavaVM slot 7 AttachCurrentThreadAsDaemon\n",
                   "misuse FindClass wrong-thread env-of=" + std::to_string(GetCurrentThreadId()) + "\n",
                   "misuse thread-exit-attached\n", "misuse FindClass pending-exception java/lang/NoClassDefFoundError\n"});
    EXPECT_EQ(ThreadOf("misuse thread-exit-attached"), stranger);
    EXPECT_EQ(text.find("main argc"), std::string::npos);
    EXPECT_NE(stderrWatch.NewText().find("unexpected JNIEnv slot 171 GetArrayLength"), std::string::npos);
}

TEST_F(StandinJvm, DumpGoesToDescriptorOneAndToARedirectedStandardOutput) {
    Load("stack_dump = Full thread dump\\n\\t\"main\" waiting\\n\n");
    ASSERT_EQ(Create(), JNI_OK);
    const std::string expected = "Full thread dump\n\t\"main\" waiting\n";
    std::string captured = folder.file("fd1.txt"), stackFile = folder.file("stack.txt");
    std::thread([&] {
        // As the service's stop does it: its own attachment, descriptor 1 pointed at a
        // file, and the Win32 standard output handle at another.
        JNIEnv* own = nullptr;
        ASSERT_EQ(vm->AttachCurrentThread(reinterpret_cast<void**>(&own), nullptr), JNI_OK);
        fflush(stdout);
        int saved = _dup(1);
        int fd = _open(captured.c_str(), _O_CREAT | _O_TRUNC | _O_RDWR | _O_BINARY, _S_IREAD | _S_IWRITE);
        ASSERT_GE(fd, 0);
        _dup2(fd, 1);
        HANDLE previous = GetStdHandle(STD_OUTPUT_HANDLE);
        HANDLE stack = CreateFileA(stackFile.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, stack);
        dumpAllStacks(own, nullptr);
        SetStdHandle(STD_OUTPUT_HANDLE, previous);
        CloseHandle(stack);
        _dup2(saved, 1);
        _close(saved);
        _close(fd);
        vm->DetachCurrentThread();
    }).join();
    EXPECT_EQ(ReadFileText(captured), expected);
    EXPECT_EQ(ReadFileText(stackFile), expected);
    ExpectInOrder({"AttachCurrentThread -> 0\n", "JVM_DumpAllStacks -> " + std::to_string(expected.size()) + "\n",
                   "DetachCurrentThread -> 0\n"});
    ExpectNoBreaches();
}

TEST_F(StandinJvm, ScriptAndJournalBesideTheDllServeAProcessWithoutTheVariables) {
    std::string copy = folder.file("jvm.dll");
    ASSERT_TRUE(CopyFileTo(BuildFile(kDllRelative), copy));
    ASSERT_TRUE(WriteFileText(folder.file("standin.script"), "main = return\nstack_dump =\n"));
    LoadFrom(copy);
    ASSERT_EQ(Create(), JNI_OK);
    RunMain(StringArray({}));
    dumpAllStacks(env, nullptr);   // an empty dump prints nothing
    EXPECT_EQ(vm->DestroyJavaVM(), JNI_OK);
    journalPath = folder.file("standin.journal");
    ExpectInOrder({"script " + folder.file("standin.script") + "\n", "JNI_CreateJavaVM -> 0\n", "main argc=0\n",
                   "main returns\n", "JVM_DumpAllStacks -> 0\n", "DestroyJavaVM -> 0\n"});
    ExpectNoBreaches();
}

}  // namespace
