// The JVM host: JVM discovery, the VM options and class path, and the launch of the
// Java server with its bridge. Grouped by the file that defines each item.
#pragma once

#include <windows.h>

#include <jni.h>

#include "cstring.h"

// --- jvm_discovery.cpp (draft: the discovery work defines these)
bool discoverJVM(cstring& vmPath, cstring& specFile);
bool is64BitImage(const char* path);
bool is64BitService();

// --- jvm_options.cpp (draft)
char** buildVMOptions(char** previous, unsigned* count, int argc, char** argv);
char** buildMainArgs(char** previous, unsigned* count, int argc, char** argv);
const char* findWorkDir(int argc, char** argv);
char** splitParameterString(unsigned* count, const char* text);
void setWorkingDirectory(const char* workDir);
void prependJavaBinToPath(const char* vmPath);

// --- jvm_launch.cpp
typedef void(JNICALL* JvmDumpFn)(JNIEnv*, jclass);

// The process-wide state of the JVM host. No lock: every field is a single
// pointer-sized value, written before main starts (scmEventManager also by later loads).
struct JvmHost {
    JvmDumpFn JVM_Dump;                 // the VM's stack-dump export, or null
    FARPROC createJavaVM;
    FARPROC getDefaultJavaVMInitArgs;   // required to exist; never called
    HANDLE hServerStopEvent;            // signalled when the Java server has ended
    HANDLE hStopRequestEvent;           // signalled by ServiceStop
    char** vmOptions;
    char** mainArgs;
    unsigned vmOptionCount;
    unsigned mainArgCount;
    const char* workDir;                // the "wrkdir=" folder, or null
    JNIEnv* jniEnv;                     // valid on the JVM thread only
    jobject scmEventManager;            // global reference, or null
    JavaVM* jvm;
};
extern JvmHost jvmHost;

// Event codes passed to SCMEventManager.dispatchSCMEvent(int).
enum {
    JS_SERVICE_STOPPED = 1,
    JS_SYSTEM_SHUTDOWN = 2,
    JS_CONSOLE_CLOSED = 3,
    JS_USER_LOGOFF = 4,
};

// A JNI environment valid on the calling thread: the thread's own when it is attached
// already (the JVM thread), else a fresh attachment that endVmUse undoes.
struct VmUse {
    JNIEnv* env;
    bool attached;
};
bool beginVmUse(VmUse& use);   // false once the VM is gone or closing
void endVmUse(VmUse& use);

const char* dumpExportName(bool is64Bit);
unsigned __stdcall invokeJVM(void* ignored);
bool loadSCMEventManager();
int sendSCMEvent(int code);
void postSCMEvent(int code);
BOOL WINAPI consoleCtrlHandler(DWORD type);
char* captureStackDump(JNIEnv* env);   // heap text the caller frees, or null
bool reportJavaException(JNIEnv* env, const char* message);
bool reportIfNull(const void* value, const char* message);
