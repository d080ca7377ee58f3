// The bridge jvm.dll's internal header: a 64-bit Windows jvm.dll that runs the Linux
// OpenJDK as a process of its own and forwards the host's JNI calls to a Java bridge
// server over loopback connections, one per attached thread. Grouped by defining file.
#pragma once

#include <winsock2.h>
#include <windows.h>

// jni.h declares the invocation functions dllimport; this DLL defines them and names its
// exports in jvm.def, so they are declared here without any marking.
#include <jni_md.h>
#undef JNIIMPORT
#define JNIIMPORT
#include <jni.h>

#include <cstdint>
#include <string>
#include <vector>

extern "C" void JNICALL JVM_DumpAllStacks(JNIEnv* env, jclass unused);

// --- connection.cpp: one connection per attached thread, and the requests on it --------

// The operation codes of the Java side's Session.
enum Op : uint8_t {
    OP_FIND_CLASS = 1, OP_GET_METHOD_ID, OP_GET_STATIC_METHOD_ID, OP_GET_OBJECT_CLASS, OP_CALL,
    OP_NEW_OBJECT_ARRAY, OP_SET_OBJECT_ARRAY_ELEMENT, OP_NEW_STRING_UTF, OP_GET_STRING_UTF_CHARS,
    OP_NEW_GLOBAL_REF, OP_EXCEPTION_CHECK, OP_EXCEPTION_OCCURRED, OP_EXCEPTION_DESCRIBE, OP_EXCEPTION_CLEAR,
    OP_DUMP_STACKS, OP_DESTROY_VM,
};

// The JNI environment of one attached thread. A JNIEnv* points at it, so `functions`
// comes first.
struct BridgeEnv {
    const JNINativeInterface_* functions;
    DWORD magic;
    DWORD threadId;
    SOCKET socket;
};

// Opens the calling thread's connection and greets the Java side with the token and the
// thread's Java name (empty: the JVM names it). Null when the connection fails.
BridgeEnv* ConnectThread(const char* name);
void CloseThread(BridgeEnv* env);

// One forwarded JNI call: the request is built, sent whole, and the reply read back.
// A failure of the connection, or a breach of the JNI rules the Java side reports, ends
// the host with a fatal error naming the function, as a real VM would crash it.
class Request {
public:
    Request(JNIEnv* env, const char* function, Op op);
    Request& byte(int value);
    Request& int32(int32_t value);
    Request& int64(int64_t value);
    Request& real(double value);
    Request& utf(const char* text);   // modified UTF-8, up to 65535 bytes
    Request& ref(const void* reference);
    void send();
    bool readBool();
    int32_t readInt();
    int64_t readLong();
    double readDouble();
    jobject readRef();
    std::string readUtf();
    std::string readText();   // a 32-bit length and that many bytes

private:
    void receive(void* data, size_t size);
    BridgeEnv* env_;
    const char* function_;
    std::string buffer_;
    std::string reply_;
    size_t replyAt_ = 0;
};

// The reference the host sees for a Java side handle: a large constant plus the handle,
// so that a reference cut to 32 bits no longer names an object.
const uint64_t kReferenceBase = 0x5A0000000000ULL;
jobject ReferenceFor(int32_t handle);

// --- env_functions.cpp / unimplemented_slots.cpp: the JNIEnv table ---------------------

const JNINativeInterface_* EnvFunctions();
void FillUnimplementedEnvSlots(JNINativeInterface_* table);
void FillUnimplementedVmSlots(JNIInvokeInterface_* table);

// --- vm_options.cpp: the host's VM options as arguments of the Linux java --------------

// The launcher arguments for the options. Windows paths in path options are given to the
// start script as "--paths PREFIX N PATH..." with Wine's unix names. False, with *error
// set, for an option the launcher cannot take.
bool TranslateOptions(const JavaVMInitArgs* init, std::vector<std::string>& arguments, std::string* error);
// Wine's unix name of a Windows path, made absolute against the current folder; the
// missing tail of a path that does not exist is appended as it is.
std::string UnixPath(const std::string& windowsPath);

// --- jvm_process.cpp: the Linux JVM process and its lifeline ----------------------------

extern int g_javaPort;   // the Java side's loopback port for thread connections
extern std::string g_token;
// Starts the JVM with the launcher arguments and waits until it reports on the lifeline.
bool StartJvm(const std::vector<std::string>& vmArguments);
// After DestroyJavaVM was answered: waits until the JVM process has ended.
void AwaitJvmEnd();

// --- invocation.cpp: DllMain, the JavaVM and the exports --------------------------------

extern JavaVM_ g_vm;
std::string ModuleFolder();      // the folder of jvm.dll, with a trailing backslash
std::string OutputPath();        // java.log beside jvm.dll: the JVM's output
// Ends the host as a real VM's fatal error would: the text goes to standard error and to
// java.log, then the process ends with exit code 3, abort()'s.
[[noreturn]] void Fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
