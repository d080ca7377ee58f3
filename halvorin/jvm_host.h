// The JVM host: finding jvm.dll, the VM options, main arguments and class path built
// from the start arguments, and the process-wide state the launch keeps. Grouped by the
// file that defines each item.
#pragma once

#include <windows.h>

#include <jni.h>

#include "cstring.h"

// The most VM options the launch hands to JNI_CreateJavaVM.
inline constexpr DWORD kMaxVmOptions = 20;

// --- jvm_launch.cpp: the JVM thread and the bridge into the running Java server
// The JVM host's process-wide state: single pointer-sized fields written before the Java
// main method starts (scmEventManager also by later loads); no lock.
struct JvmHost {
    void(JNICALL* JVM_Dump)(JNIEnv* env, jclass cls);   // optional stack-dump export
    jint(JNICALL* createJavaVM)(JavaVM** vm, void** env, void* args);
    jint(JNICALL* getDefaultJavaVMInitArgs)(void* args);
    HANDLE hServerStopEvent;
    HANDLE hStopRequestEvent;
    char** vmOptions;
    char** mainArgs;
    DWORD vmOptionCount;
    DWORD mainArgCount;
    const char* workDir;   // the "wrkdir=" folder, or null
    JNIEnv* jniEnv;
    jobject scmEventManager;
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

// --- jvm_discovery.cpp: which jvm.dll to load
// The short forms look at this program's own folder and bitness; the long forms take a
// program folder (with its trailing backslash) and a service bitness, so that a product
// folder laid out elsewhere and the other build's rules can be examined.
bool discoverJVM(cstring& vmPath, cstring& specFile);
bool discoverJVM(cstring& vmPath, cstring& specFile, const char* programFolder, bool service64);
bool findCustomJVM(cstring& vmPath, cstring& specFile);
bool findCustomJVM(cstring& vmPath, cstring& specFile, const char* programFolder);
bool readProductSpecFile(cstring& vmPath, cstring& specFile);
bool readProductSpecFile(cstring& vmPath, cstring& specFile, const char* programFolder);
bool findServiceSpecFile(cstring& specFile);
bool findServiceSpecFile(cstring& specFile, const char* programFolder);
bool scanJavaDir(const char* javaDir, cstring& vmPath);
bool discoverRegistryJVM(cstring& vmPath);
bool discoverRegistryJVM(cstring& vmPath, bool service64);
WORD getImageMachine(const char* path);
bool isValidVMImage(const char* path);
bool is64BitImage(const char* path);
bool is64BitService();
// A registry value as text: REG_SZ, the first string of REG_MULTI_SZ, REG_EXPAND_SZ
// expanded. False (and an empty value) for any other type, a missing value or key.
bool readRegistryText(HKEY root, const char* subkey, const char* name, cstring& value);

// --- jvm_options.cpp: VM options, main arguments, class path and process set-up
// modulePath is the service executable's path; null means this program's own, read as
// the service reads it (512 bytes at most).
char** buildVMOptions(char** previous, DWORD* count, DWORD argc, char** argv, const char* modulePath = nullptr);
char** buildMainArgs(char** previous, DWORD* count, DWORD argc, char** argv, const char* modulePath = nullptr);
char* findWorkDir(DWORD argc, char** argv);
bool buildClassPath(cstring& option, const char* modulePath = nullptr);
char** splitParameterString(DWORD* count, const char* text);
bool getProductDir(cstring& folder, const char* modulePath = nullptr);
void setWorkingDirectory(const char* workDir, const char* modulePath = nullptr);
void prependJavaBinToPath(const char* vmPath);
