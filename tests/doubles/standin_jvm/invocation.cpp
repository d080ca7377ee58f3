// The invocation side of the stand-in VM: DllMain, the one JavaVM with its functions
// (GetEnv, AttachCurrentThread, DetachCurrentThread, DestroyJavaVM) and the exports
// JNI_CreateJavaVM and JNI_GetDefaultJavaVMInitArgs.
#include "standin_jvm.h"

#include <cstdio>
#include <cstring>

namespace {

// The folder of jvm.dll, with a trailing backslash. A plain array, so that DllMain, which
// fills it under the loader lock, allocates nothing.
char moduleFolder[MAX_PATH];
JNIInvokeInterface_ vmFunctions;
JavaVM_ theVm = {&vmFunctions};
const DWORD kDestroyWaitMs = 5000;

bool supportedVersion(jint version) {
    return version == JNI_VERSION_1_2 || version == JNI_VERSION_1_4 || version == JNI_VERSION_1_6 ||
           version == JNI_VERSION_1_8 || version == JNI_VERSION_9 || version == JNI_VERSION_10;
}

void checkVm(JavaVM* vm, const char* function) {
    if (vm != &theVm) Complain("misuse %s bad-vm", function);
}

jint JNICALL vmDestroyJavaVM(JavaVM* vm) {
    checkVm(vm, "DestroyJavaVM");
    if (!g_vmCreated || g_vmDestroyed) {
        Complain("misuse DestroyJavaVM vm-destroyed");
        return JNI_ERR;
    }
    // A real VM waits here until every other attached thread has detached (an attached
    // thread is a non-daemon Java thread). The double waits too, but not forever: threads
    // still attached after the limit are noted instead.
    DetachThread();
    DWORD start = GetTickCount();
    while (!AttachedThreads().empty() && GetTickCount() - start < kDestroyWaitMs)
        WaitForSingleObject(g_threadDetached, 50);
    g_vmDestroyed = true;
    Journal("DestroyJavaVM -> %d", JNI_OK);
    for (DWORD id : AttachedThreads()) Journal("still-attached %lu", id);
    if (long unreleased = UnreleasedUtfChars()) Journal("unreleased-utf %ld", unreleased);
    return JNI_OK;
}

jint JNICALL vmAttachCurrentThread(JavaVM* vm, void** penv, void* args) {
    checkVm(vm, "AttachCurrentThread");
    if (!penv) {
        Complain("misuse AttachCurrentThread null-penv");
        return JNI_ERR;
    }
    *penv = nullptr;
    if (!g_vmCreated || g_vmDestroyed) {
        Complain("misuse AttachCurrentThread vm-destroyed");
        return JNI_ERR;
    }
    const char* name = args ? static_cast<JavaVMAttachArgs*>(args)->name : nullptr;
    bool already = false;
    *penv = AttachThread(name, &already);
    Journal("AttachCurrentThread%s%s -> %d%s", name ? " name=" : "", name ? Printable(name).c_str() : "", JNI_OK,
            already ? " already-attached" : "");
    return JNI_OK;
}

jint JNICALL vmDetachCurrentThread(JavaVM* vm) {
    checkVm(vm, "DetachCurrentThread");
    if (g_vmDestroyed) Complain("misuse DetachCurrentThread vm-destroyed");
    // Journaled before the detach, which may let DestroyJavaVM go on at once.
    Journal("DetachCurrentThread -> %d%s", JNI_OK, AttachedEnv() ? "" : " not-attached");
    DetachThread();
    return JNI_OK;
}

jint JNICALL vmGetEnv(JavaVM* vm, void** penv, jint version) {
    checkVm(vm, "GetEnv");
    if (!penv) {
        Complain("misuse GetEnv null-penv");
        return JNI_ERR;
    }
    if (g_vmDestroyed) Complain("misuse GetEnv vm-destroyed");
    ThreadEnv* env = g_vmDestroyed ? nullptr : AttachedEnv();
    jint result = !supportedVersion(version) && version != JNI_VERSION_1_1 ? JNI_EVERSION
                  : env                                                  ? JNI_OK
                                                                         : JNI_EDETACHED;
    *penv = result == JNI_OK ? env : nullptr;
    Journal("GetEnv version=0x%08lx -> %ld", static_cast<unsigned long>(version), long(result));
    return result;
}

// The first option that the script makes the VM refuse, or -1.
int rejectedOption(const JavaVMInitArgs* init) {
    const std::string& prefix = g_script.rejectOption;
    for (int i = 0; !prefix.empty() && i < init->nOptions; i++) {
        const char* text = init->options[i].optionString;
        if (text && !strncmp(text, prefix.c_str(), prefix.size())) return i;
    }
    return -1;
}

void journalCreation(const JavaVMInitArgs* init) {
    Journal("JNI_CreateJavaVM version=0x%08lx ignoreUnrecognized=%d nOptions=%ld",
            static_cast<unsigned long>(init->version), init->ignoreUnrecognized ? 1 : 0, long(init->nOptions));
    for (int i = 0; init->options && i < init->nOptions; i++)
        Journal("option %d %s", i, Printable(init->options[i].optionString).c_str());
}

jint createdVm(jint result) {
    Journal("JNI_CreateJavaVM -> %ld", long(result));
    return result;
}

}  // namespace

std::string ConfigFile(const char* variable, const char* name, bool* fromVariable) {
    char value[MAX_PATH * 2];
    DWORD length = GetEnvironmentVariableA(variable, value, sizeof value);
    *fromVariable = length > 0 && length < sizeof value;
    return *fromVariable ? std::string(value) : std::string(moduleFolder) + name;
}

extern "C" jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    jint version = args ? static_cast<JavaVMInitArgs*>(args)->version : 0;
    jint result = supportedVersion(version) ? JNI_OK : JNI_EVERSION;
    Journal("JNI_GetDefaultJavaVMInitArgs version=0x%08lx -> %ld", static_cast<unsigned long>(version), long(result));
    return result;
}

extern "C" jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    auto* init = static_cast<JavaVMInitArgs*>(args);
    if (!pvm || !penv || !init) {
        Complain("misuse JNI_CreateJavaVM null-argument");
        return JNI_ERR;
    }
    *pvm = nullptr;
    *penv = nullptr;
    bool scriptOk = LoadScript();
    journalCreation(init);
    if (!scriptOk) return createdVm(JNI_ERR);
    Sleep(g_script.createDelayMs);
    if (g_vmCreated) return createdVm(JNI_EEXIST);   // one VM per process, never re-created
    if (!supportedVersion(init->version)) return createdVm(JNI_EVERSION);
    if (init->nOptions < 0 || (init->nOptions > 0 && !init->options)) {
        Complain("misuse JNI_CreateJavaVM bad-options");
        return createdVm(JNI_EINVAL);
    }
    for (int i = 0; i < init->nOptions; i++) {
        if (!init->options[i].optionString) {
            Complain("misuse JNI_CreateJavaVM null-option %d", i);
            return createdVm(JNI_EINVAL);
        }
    }
    int rejected = rejectedOption(init);
    if (rejected >= 0) {
        const char* text = init->options[rejected].optionString;
        fprintf(stderr, "Unrecognized option: %s\n", text);
        fflush(stderr);
        Journal("JNI_CreateJavaVM -> %d rejected %d %s", JNI_EINVAL, rejected, Printable(text).c_str());
        return JNI_EINVAL;
    }
    StartServer();
    bool already = false;
    ThreadEnv* env = AttachThread("main", &already);
    g_vmCreated = true;
    *pvm = &theVm;
    *penv = env;
    return createdVm(JNI_OK);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        // Taken here, where the loader lock is held anyway, and not later under our locks.
        char path[MAX_PATH] = "";
        DWORD length = GetModuleFileNameA(instance, path, sizeof path);
        if (length >= sizeof path) length = 0;
        path[length] = 0;
        char* slash = strrchr(path, '\\');
        if (slash) slash[1] = 0;
        memcpy(moduleFolder, path, slash ? size_t(slash + 2 - path) : 1);
        InitJournal();
        InitThreads();
        FillUnexpectedVmSlots(&vmFunctions);
        vmFunctions.DestroyJavaVM = vmDestroyJavaVM;
        vmFunctions.AttachCurrentThread = vmAttachCurrentThread;
        vmFunctions.DetachCurrentThread = vmDetachCurrentThread;
        vmFunctions.GetEnv = vmGetEnv;
        // Holds the host inside LoadLibrary, before it knows any export of the VM.
        if (DWORD delay = ScriptedLoadDelay()) {
            Journal("DllMain delay.load %lu", delay);
            Sleep(delay);
        }
        break;
    }
    case DLL_THREAD_DETACH:
        // A real VM would wait forever in DestroyJavaVM for a thread that ended attached;
        // once complained about, the double lets it go.
        if (g_vmCreated && !g_vmDestroyed && AttachedEnv()) {
            Complain("misuse thread-exit-attached");
            DetachThread();
        }
        break;
    case DLL_PROCESS_DETACH:
        if (!reserved) {   // FreeLibrary; at process exit other threads are gone mid-way
            CloseServer();
            CloseJournal();
            CloseThreads();
        }
        break;
    }
    return TRUE;
}
