// The JVM thread: loads jvm.dll, creates the VM and runs launcher.main(String[]); and
// the bridge into the running server: service and console events passed to the Java
// SCMEventManager, and the Java stack dump taken on a stop request.
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <stdlib.h>

#include "cstring.h"
#include "jvm_host.h"
#include "run_once.h"
#include "service_host.h"

// Java methods are called through the function table's variadic Call*Method slots
// (env->functions->...): jni.h's C++ member forms would use the va_list slots instead.

JvmHost jvmHost;

namespace {

const char kLauncherClass[] = "launcher";
const char kEventManagerClass[] = "com/qzvltd/halvorin/scm/SCMEventManager";

// Threads other than the JVM thread use the VM only between beginVmUse and endVmUse.
// Before it destroys the VM and unloads jvm.dll, the JVM thread closes the VM to new
// users and waits for the current ones, so no thread ever calls into an unloaded library.
// vmLock guards only the counts below; nothing else is taken, and nothing waits, under it.
CRITICAL_SECTION vmLock;
volatile LONG vmLockOnce;
bool vmOpen;
int vmUsers;
HANDLE vmIdle;   // manual reset; signalled while no other thread uses the VM

void initVmLock() {
    runOnce(vmLockOnce, [] {
        InitializeCriticalSection(&vmLock);
        vmIdle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
    });
}

void openVm() {
    initVmLock();
    EnterCriticalSection(&vmLock);
    vmOpen = true;
    LeaveCriticalSection(&vmLock);
}

void closeVmToOtherThreads() {
    initVmLock();
    EnterCriticalSection(&vmLock);
    vmOpen = false;
    LeaveCriticalSection(&vmLock);
    WaitForSingleObject(vmIdle, INFINITE);
}

void releaseVmUse() {
    EnterCriticalSection(&vmLock);
    if (--vmUsers == 0) SetEvent(vmIdle);
    LeaveCriticalSection(&vmLock);
}

// The format with its "%s" filled by a, then b. These texts are made on the service's own
// path, which never formats with wvsprintfA (see cstring.cpp).
cstring formatted(const char* format, const char* a, const char* b = "") {
    cstring text;
    const char* insert[] = {a, b};
    int inserted = 0;
    for (const char* at = format; *at; at++) {
        if (at[0] == '%' && at[1] == 's' && inserted < 2) {
            text.append(insert[inserted++]);
            at++;
        } else {
            text.append_char(*at);
        }
    }
    return text;
}

// Checks a JNI step the one way every step is checked: a pending Java exception first,
// then, where the step gives a reference, a null result; both report the same text.
bool stepFailed(JNIEnv* env, const void* result, const char* message) {
    return reportJavaException(env, message) || reportIfNull(result, message);
}

// The arguments are text in the ANSI code page; NewStringUTF reads modified UTF-8, which
// agrees with it on ASCII only. The text goes through UTF-16, the JVM's own form, and each
// unit becomes one, two or three bytes (a surrogate on its own, as modified UTF-8 has it).
void toModifiedUtf8(const char* ansi, cstring& utf8) {
    utf8.clear();
    int units = MultiByteToWideChar(CP_ACP, 0, ansi, -1, nullptr, 0);
    if (units <= 0) {
        utf8.assign(ansi);
        return;
    }
    WCHAR* wide = new WCHAR[units];
    MultiByteToWideChar(CP_ACP, 0, ansi, -1, wide, units);
    for (int i = 0; i + 1 < units; i++) {
        unsigned unit = wide[i];
        if (unit >= 0x01 && unit < 0x80) {
            utf8.append_char(char(unit));
        } else if (unit < 0x800) {
            utf8.append_char(char(0xC0 | (unit >> 6)));
            utf8.append_char(char(0x80 | (unit & 0x3F)));
        } else {
            utf8.append_char(char(0xE0 | (unit >> 12)));
            utf8.append_char(char(0x80 | ((unit >> 6) & 0x3F)));
            utf8.append_char(char(0x80 | (unit & 0x3F)));
        }
    }
    delete[] wide;
}

jobjectArray buildMainArray(JNIEnv* env, unsigned* failure) {
    jclass stringClass = env->FindClass("java/lang/String");
    unsigned count = jvmHost.mainArgCount;
    const char* arrayFailure = count ? "JNI error instantiating argument array."
                                     : "JNI error instantiating empty argument array.";
    // Without String no array can be made; the failure counts as the array's.
    if (stepFailed(env, stringClass, arrayFailure)) {
        *failure = count ? 1010 : 1013;
        return nullptr;
    }
    jobjectArray array = env->NewObjectArray(jsize(count), stringClass, nullptr);
    // An empty array must not be null either: main gets String[0], never null.
    if (stepFailed(env, array, arrayFailure)) {
        *failure = count ? 1010 : 1013;
        return nullptr;
    }
    cstring utf8;
    for (unsigned i = 0; i < count; i++) {
        toModifiedUtf8(jvmHost.mainArgs[i], utf8);
        jstring argument = env->NewStringUTF(utf8.c_str());
        if (stepFailed(env, argument, "JNI error instantiating argument.")) {
            *failure = 1011;
            return nullptr;
        }
        env->SetObjectArrayElement(array, jsize(i), argument);
        if (reportJavaException(env, "JNI error assigning argument.")) {
            *failure = 1012;
            return nullptr;
        }
        LogMessage("args[%d] = \"%s\"\n", int(i), jvmHost.mainArgs[i]);
    }
    return array;
}

// Finds launcher.main and builds its arguments: 0, or the exit code of the failed step.
unsigned prepareMain(JNIEnv* env, const char* vmPath, jclass* launcher, jmethodID* main, jobjectArray* args) {
    *launcher = env->FindClass(kLauncherClass);
    if (stepFailed(env, *launcher, formatted("JNI error finding main class (%s). JVM=%s", kLauncherClass, vmPath).c_str()))
        return 1008;
    *main = env->GetStaticMethodID(*launcher, "main", "([Ljava/lang/String;)V");
    if (stepFailed(env, *main, "JNI error finding main(String[]) method.")) return 1009;
    unsigned failure = 0;
    *args = buildMainArray(env, &failure);
    return failure;
}

bool loadEventManagerWith(JNIEnv* env) {
    LogMessage("loading SCM instance (direct method)...\n");
    jclass managerClass = env->FindClass(kEventManagerClass);
    if (reportJavaException(env, formatted("JNI error finding SCMEventManager (%s).", kEventManagerClass).c_str()) ||
        reportIfNull(managerClass, "JNI error finding SCMEventManager."))
        return false;
    LogMessage("loaded event manager class (direct): 0x%08x\n", unsigned(reinterpret_cast<ULONG_PTR>(managerClass)));
    char signature[256];
    snprintf(signature, sizeof signature, "()L%s;", kEventManagerClass);
    jmethodID getInstance = env->GetStaticMethodID(managerClass, "getInstance", signature);
    if (stepFailed(env, getInstance, "Cannot find SCMEventManager.getInstance.")) return false;
    jobject instance = env->functions->CallStaticObjectMethod(env, managerClass, getInstance);
    if (reportJavaException(env, "Cannot call SCMEventManager.getInstance (direct)") ||
        reportIfNull(instance, "Cannot call SCMEventManager.getInstance() (direct)"))
        return false;
    jobject global = env->NewGlobalRef(instance);
    if (reportIfNull(global, "Cannot call SCMEventManager.getInstance() (direct)")) return false;
    jvmHost.scmEventManager = global;
    LogMessage("loaded event manager instance (direct): 0x%08x\n", unsigned(reinterpret_cast<ULONG_PTR>(global)));
    return true;
}

// The dump's temporary file, under a fresh name in the shared temporary folder, made only
// if nothing is there yet (CREATE_NEW, not following a reparse point): a file or link
// planted under the name is never written through. Deleted when the descriptor closes.
// One call to the file system: the dump holds up the VM's end.
int openDumpTempFile() {
    static LONG serial;
    for (int attempt = 0; attempt < 3; attempt++) {
        char name[MAX_PATH];
        snprintf(name, sizeof name, "%s\\hvd%lx_%lx_%lx.tmp", GetTempFolder(), GetCurrentProcessId(), GetTickCount(),
                 ULONG(InterlockedIncrement(&serial)));
        HANDLE file = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                  FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE | FILE_FLAG_OPEN_REPARSE_POINT,
                                  nullptr);
        if (file == INVALID_HANDLE_VALUE) continue;
        int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
        if (fd >= 0) return fd;
        CloseHandle(file);
    }
    return -1;
}

// The old "stack.txt" when it cannot be deleted (a viewer holds it open): rewritten in
// place, but only when the name is a plain file of its own, not a link or a second name
// of another file. The checks are made on the opened file itself.
HANDLE reopenStackFile(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE) return file;
    BY_HANDLE_FILE_INFORMATION info;
    bool plain = GetFileInformationByHandle(file, &info) && info.nNumberOfLinks == 1 &&
                 !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY));
    if (plain && SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && SetEndOfFile(file)) return file;
    DWORD error = plain ? GetLastError() : ERROR_ACCESS_DENIED;
    CloseHandle(file);
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
}

// "stack.txt" in the shared temporary folder, made new: what lies under the name (a file,
// or a link another user planted there) is removed, never opened, and CREATE_NEW without
// following reparse points refuses anything that reappears. A file that cannot be removed
// is rewritten when it is plain. Otherwise the dump is in the log only.
HANDLE createStackFile() {
    cstring path(GetTempFolder());
    path.append("\\stack.txt");
    HANDLE file = INVALID_HANDLE_VALUE;
    if (DeleteFileA(path.c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND)
        file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    else
        file = reopenStackFile(path.c_str());
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        char text[512];
        SetLastError(error);
        LogMessage("cannot create %s anew (%s); the stack dump is in this log only\n", path.c_str(),
                   LastErrorText(text, sizeof text));
    }
    return file;
}

unsigned __stdcall eventThread(void* code) {
    sendSCMEvent(int(reinterpret_cast<INT_PTR>(code)));
    return 0;
}

// Everything after CreateJavaVM: main on this thread, then the VM's end. A failure
// before main still destroys the VM before jvm.dll is released, since VM threads run
// code from the library.
unsigned runJavaMain(JNIEnv* env, const char* vmPath, JavaVMInitArgs* initArgs) {
    jclass launcher = nullptr;
    jmethodID main = nullptr;
    jobjectArray args = nullptr;
    unsigned failure = prepareMain(env, vmPath, &launcher, &main, &args);
    if (!failure) {
        SetConsoleCtrlHandler(consoleCtrlHandler, TRUE);
        LogMessage("JRE = \"%s\" (%d-bit)\n", vmPath, is64BitImage(vmPath) ? 64 : 32);
        loadSCMEventManager();
        // A stop that came while the VM was found or created had no event manager to go
        // to: main would never hear of it. Asked only now, after the manager is loaded, so
        // that a stop coming later finds the manager and reaches the server.
        if (StopRequested()) {
            LogMessage("stop requested before the Java server started; main() not called\n");
        } else {
            LogMessage("starting Java main()...\n");
            env->functions->CallStaticVoidMethod(env, launcher, main, args);

            JNIEnv* current = nullptr;
            jvmHost.jvm->GetEnv(reinterpret_cast<void**>(&current), initArgs->version);
            if (current)
                reportJavaException(current, formatted("Could not invoke main() method of main class (%s). JVM=%s",
                                                       kLauncherClass, vmPath).c_str());
        }
    }
    closeVmToOtherThreads();
    if (!failure) jvmHost.jvm->DetachCurrentThread();
    jvmHost.jvm->DestroyJavaVM();
    return failure;
}

}  // namespace

const char* dumpExportName(bool is64Bit) {
    // The 32-bit VM exports the decorated __stdcall name of its two-argument function.
    return is64Bit ? "JVM_DumpAllStacks" : "_JVM_DumpAllStacks@8";
}

bool beginVmUse(VmUse& use) {
    use.env = nullptr;
    use.attached = false;
    initVmLock();
    // The use is counted under the lock and the thread attached after it: attaching may
    // wait on the VM's own threads. A counted use holds off the VM's end until it ends.
    EnterCriticalSection(&vmLock);
    JavaVM* jvm = vmOpen ? jvmHost.jvm : nullptr;
    if (jvm && vmUsers++ == 0) ResetEvent(vmIdle);
    LeaveCriticalSection(&vmLock);
    if (!jvm) return false;
    if (jvm->GetEnv(reinterpret_cast<void**>(&use.env), JNI_VERSION_1_2) == JNI_OK && use.env) {
        releaseVmUse();   // a thread of the VM's own: nothing to attach or count
        return true;
    }
    use.env = nullptr;
    if (jvm->AttachCurrentThread(reinterpret_cast<void**>(&use.env), nullptr) == JNI_OK && use.env) {
        use.attached = true;
        return true;
    }
    use.env = nullptr;
    releaseVmUse();
    return false;
}

void endVmUse(VmUse& use) {
    if (!use.attached) return;
    jvmHost.jvm->DetachCurrentThread();
    use.attached = false;
    use.env = nullptr;
    releaseVmUse();
}

unsigned __stdcall invokeJVM(void* ignored) {
    cstring vmPath, specFile;
    if (!discoverJVM(vmPath, specFile)) {
        cstring message;
        message.format("Halvorin could not find usable %d-bit Java VM in Windows registry. Please re-install JRE and "
                       "try again",
                       is64BitService() ? 64 : 32);
        ReportToEventLog(message.c_str());
        return 1019;
    }
    setWorkingDirectory(jvmHost.workDir);
    AllocConsole();
    prependJavaBinToPath(vmPath.c_str());

    HMODULE library = LoadLibraryA(vmPath.c_str());
    if (!library) {
        ReportOSError("Error loading JVM Library: path='%s'", vmPath.c_str());
        return 1005;
    }
    jvmHost.createJavaVM =
        reinterpret_cast<decltype(jvmHost.createJavaVM)>(GetProcAddress(library, "JNI_CreateJavaVM"));
    jvmHost.getDefaultJavaVMInitArgs = reinterpret_cast<decltype(jvmHost.getDefaultJavaVMInitArgs)>(
        GetProcAddress(library, "JNI_GetDefaultJavaVMInitArgs"));
    jvmHost.JVM_Dump =
        reinterpret_cast<decltype(jvmHost.JVM_Dump)>(GetProcAddress(library, dumpExportName(is64BitService())));
    if (!jvmHost.createJavaVM || !jvmHost.getDefaultJavaVMInitArgs) {
        ReportToEventLog(
            formatted("Cannot find JNI functions (JNI_CreateJavaVM and/or JNI_GetDefaultJavaVMInitArgs) in %s",
                      vmPath.c_str())
                .c_str());
        FreeLibrary(library);
        return 1006;
    }
    if (jvmHost.vmOptionCount > kMaxVmOptions) {
        cstring message;
        message.format("Max. number of Java args (%d) exceeded.", int(kMaxVmOptions));
        ReportToEventLog(message.c_str());
        FreeLibrary(library);
        return 1007;
    }

    JavaVMOption options[kMaxVmOptions];
    for (unsigned i = 0; i < jvmHost.vmOptionCount; i++) {
        options[i].optionString = jvmHost.vmOptions[i];
        options[i].extraInfo = nullptr;
        LogMessage("options[%d] = \"%s\"\n", int(i), jvmHost.vmOptions[i]);
    }
    JavaVMInitArgs initArgs;
    initArgs.version = JNI_VERSION_1_2;
    initArgs.nOptions = jint(jvmHost.vmOptionCount);
    initArgs.options = options;
    initArgs.ignoreUnrecognized = JNI_TRUE;
    JavaVM* jvm = nullptr;
    JNIEnv* env = nullptr;
    if (jvmHost.createJavaVM(&jvm, reinterpret_cast<void**>(&env), &initArgs) < 0) {
        ReportToEventLog("Cannot create Java VM.\n");
        FreeLibrary(library);
        return 1007;
    }
    jvmHost.jvm = jvm;
    jvmHost.jniEnv = env;
    openVm();

    unsigned failure = runJavaMain(env, vmPath.c_str(), &initArgs);
    if (FreeLibrary(library))
        LogMessage("unloaded JVM DLL\n");
    else
        ReportOSError("Can't unload JVM DLL");
    if (failure) return failure;

    SetProcessID(0);
    LogMessage("signaling hServerStopEvent [from invokeJVM]...\n");
    if (jvmHost.hServerStopEvent) SetEvent(jvmHost.hServerStopEvent);
    return 0;
}

bool reportJavaException(JNIEnv* env, const char* message) {
    if (!env->ExceptionCheck()) return false;
    ReportToEventLog(message);
    jthrowable exception = env->ExceptionOccurred();
    if (exception) {
        env->ExceptionDescribe();   // the VM prints it to its error stream
        jclass exceptionClass = env->GetObjectClass(exception);
        LogMessage("Java exception occurred\n");
        jclass classClass = exceptionClass ? env->GetObjectClass(exceptionClass) : nullptr;
        jmethodID getName = classClass ? env->GetMethodID(classClass, "getName", "()Ljava/lang/String;") : nullptr;
        if (getName) {
            jstring name = static_cast<jstring>(env->functions->CallObjectMethod(env, exceptionClass, getName));
            const char* text = name ? env->GetStringUTFChars(name, nullptr) : nullptr;
            if (text) {
                LogMessage("exception class: %s\n", text);
                env->ReleaseStringUTFChars(name, text);
            }
        } else {
            LogMessage("getName() method not found\n");
        }
    }
    env->ExceptionClear();
    return true;
}

bool reportIfNull(const void* value, const char* message) {
    if (value) return false;
    ReportToEventLog(message);
    return true;
}

bool loadSCMEventManager() {
    if (jvmHost.scmEventManager) return true;
    VmUse use;
    if (!beginVmUse(use)) return false;
    bool loaded = loadEventManagerWith(use.env);
    if (!loaded) jvmHost.scmEventManager = nullptr;
    endVmUse(use);
    return loaded;
}

int sendSCMEvent(int code) {
    jobject manager = jvmHost.scmEventManager;
    if (!manager) {
        loadSCMEventManager();
        return -1;
    }
    VmUse use;
    if (!beginVmUse(use)) return -1;
    JNIEnv* env = use.env;
    jclass managerClass = env->GetObjectClass(manager);
    if (!stepFailed(env, managerClass, "JNI error Cannot get SCMEventManager class")) {
        jmethodID dispatch = env->GetMethodID(managerClass, "dispatchSCMEvent", "(I)V");
        if (!stepFailed(env, dispatch, "JNI error Cannot get dispatchSCMEvent method")) {
            env->functions->CallVoidMethod(env, manager, dispatch, jint(code));
            reportJavaException(env, "Cannot get dispatchSCMEvent method");
        }
    }
    endVmUse(use);
    return 0;
}

void postSCMEvent(int code) {
    if (!jvmHost.scmEventManager) loadSCMEventManager();
    HANDLE thread = reinterpret_cast<HANDLE>(
        _beginthreadex(nullptr, 0, eventThread, reinterpret_cast<void*>(INT_PTR(code)), 0, nullptr));
    if (thread) CloseHandle(thread);
}

BOOL WINAPI consoleCtrlHandler(DWORD type) {
    switch (type) {
    case CTRL_C_EVENT:
        if (bConsoleMode) ServiceStop();
        return TRUE;
    case CTRL_CLOSE_EVENT:
        if (jvmHost.scmEventManager) sendSCMEvent(JS_CONSOLE_CLOSED);
        if (bConsoleMode) ServiceStop();
        return TRUE;
    case CTRL_LOGOFF_EVENT:
        // A service sees every user's logoff: only console mode stops on it.
        if (jvmHost.scmEventManager) sendSCMEvent(JS_USER_LOGOFF);
        if (bConsoleMode) ServiceStop();
        return TRUE;
    case CTRL_SHUTDOWN_EVENT:
        if (jvmHost.scmEventManager) sendSCMEvent(JS_SYSTEM_SHUTDOWN);
        ServiceStop();
        return TRUE;
    default:   // CTRL_BREAK_EVENT and anything else: the next handler decides
        return FALSE;
    }
}

char* captureStackDump(JNIEnv* env) {
    if (!jvmHost.JVM_Dump) return nullptr;
    HANDLE originalStdout = GetStdHandle(STD_OUTPUT_HANDLE);
    int dumpFd = openDumpTempFile();
    if (dumpFd < 0) return nullptr;

    fflush(stdout);
    int savedStdout = _dup(1);
    _dup2(dumpFd, 1);
    HANDLE stackFile = createStackFile();
    if (stackFile != INVALID_HANDLE_VALUE) SetStdHandle(STD_OUTPUT_HANDLE, stackFile);

    jvmHost.JVM_Dump(env, nullptr);

    fflush(stdout);
    if (savedStdout >= 0) {
        _dup2(savedStdout, 1);
        _close(savedStdout);
    } else {
        _close(1);
    }
    SetStdHandle(STD_OUTPUT_HANDLE, originalStdout);

    char* text = nullptr;
    long size = _lseek(dumpFd, 0, SEEK_END);
    if (size > 0 && _lseek(dumpFd, 0, SEEK_SET) == 0) {
        text = static_cast<char*>(malloc(size_t(size) + 1));
        int got = text ? _read(dumpFd, text, unsigned(size)) : -1;
        if (got > 0) {
            text[got] = 0;
        } else {
            free(text);
            text = nullptr;
        }
    }
    _close(dumpFd);
    if (stackFile != INVALID_HANDLE_VALUE) CloseHandle(stackFile);   // stack.txt stays on disk
    return text;
}
