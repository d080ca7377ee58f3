// The invocation side of the bridge: DllMain, the one JavaVM with GetEnv,
// AttachCurrentThread, DetachCurrentThread and DestroyJavaVM, and the exports
// JNI_CreateJavaVM, JNI_GetDefaultJavaVMInitArgs, JNI_GetCreatedJavaVMs and JVM_DumpAllStacks.
#include "bridge_jvm.h"

#include <io.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// One VM per process, as with a real one: once tried, never created again.
enum VmState : LONG { VM_NONE, VM_STARTING, VM_FAILED, VM_CREATED, VM_DESTROYED };
volatile LONG vmState = VM_NONE;
DWORD tlsIndex = TLS_OUT_OF_INDEXES;   // the calling thread's BridgeEnv, while attached
// The folder of jvm.dll, with a trailing backslash; a plain array, filled in DllMain.
char moduleFolder[MAX_PATH];
JNIInvokeInterface_ vmFunctions;

bool supportedVersion(jint version) {
    return version == JNI_VERSION_1_2 || version == JNI_VERSION_1_4 || version == JNI_VERSION_1_6 ||
           version == JNI_VERSION_1_8 || version == JNI_VERSION_9 || version == JNI_VERSION_10;
}

BridgeEnv* currentEnv() { return static_cast<BridgeEnv*>(TlsGetValue(tlsIndex)); }

void checkVm(JavaVM* vm, const char* function) {
    if (vm != &g_vm) Fatal("%s called with a JavaVM that is not this VM's", function);
}

jint JNICALL getEnv(JavaVM* vm, void** penv, jint version) {
    checkVm(vm, "GetEnv");
    *penv = nullptr;
    if (vmState != VM_CREATED) return JNI_EDETACHED;
    if (!supportedVersion(version) && version != JNI_VERSION_1_1) return JNI_EVERSION;
    *penv = currentEnv();
    return *penv ? JNI_OK : JNI_EDETACHED;
}

jint JNICALL attachCurrentThread(JavaVM* vm, void** penv, void* args) {
    checkVm(vm, "AttachCurrentThread");
    *penv = nullptr;
    if (vmState != VM_CREATED) return JNI_ERR;
    BridgeEnv* env = currentEnv();
    if (!env) {
        const char* name = args ? static_cast<JavaVMAttachArgs*>(args)->name : nullptr;
        env = ConnectThread(name ? name : "");
        if (!env) return JNI_ERR;
        TlsSetValue(tlsIndex, env);
    }
    *penv = env;
    return JNI_OK;
}

jint JNICALL detachCurrentThread(JavaVM* vm) {
    checkVm(vm, "DetachCurrentThread");
    if (BridgeEnv* env = currentEnv()) {
        CloseThread(env);
        TlsSetValue(tlsIndex, nullptr);
    }
    return JNI_OK;
}

// As with a real VM: waits until every other attached thread has detached and the Java
// threads have ended, then ends the JVM. The calling thread is attached for the request
// if it is not any more.
jint JNICALL destroyJavaVM(JavaVM* vm) {
    checkVm(vm, "DestroyJavaVM");
    if (vmState != VM_CREATED) return JNI_ERR;
    BridgeEnv* env = currentEnv();
    if (!env && !(env = ConnectThread("DestroyJavaVM"))) Fatal("DestroyJavaVM: the Java VM cannot be reached");
    Request request(reinterpret_cast<JNIEnv*>(env), "DestroyJavaVM", OP_DESTROY_VM);
    request.send();
    jint result = request.readInt();
    CloseThread(env);
    TlsSetValue(tlsIndex, nullptr);
    AwaitJvmEnd();
    vmState = VM_DESTROYED;
    return result;
}

jint createdVm(jint result, JavaVM** pvm, void** penv, BridgeEnv* env) {
    vmState = result == JNI_OK ? VM_CREATED : VM_FAILED;
    *pvm = result == JNI_OK ? &g_vm : nullptr;
    *penv = result == JNI_OK ? env : nullptr;
    return result;
}

}  // namespace

JavaVM_ g_vm = {&vmFunctions};

std::string ModuleFolder() { return moduleFolder; }

std::string OutputPath() { return ModuleFolder() + "java.log"; }

void Fatal(const char* format, ...) {
    char text[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    std::string line = std::string("jvm.dll (bridge): fatal error: ") + text + "\n";
    fputs(line.c_str(), stderr);
    fflush(stderr);
    HANDLE output = CreateFileA(OutputPath().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (output != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(output, line.data(), DWORD(line.size()), &written, nullptr);
        CloseHandle(output);
    }
    // Not abort(): the C runtime of a GUI program such as halvorin would show a message
    // box first, and a service would wait on it for ever.
    TerminateProcess(GetCurrentProcess(), 3);
    ExitProcess(3);
}

extern "C" jint JNICALL JNI_GetDefaultJavaVMInitArgs(void* args) {
    return args && supportedVersion(static_cast<JavaVMInitArgs*>(args)->version) ? JNI_OK : JNI_EVERSION;
}

extern "C" jint JNICALL JNI_GetCreatedJavaVMs(JavaVM** vms, jsize size, jsize* count) {
    jsize created = vmState == VM_CREATED ? 1 : 0;
    if (count) *count = created;
    if (created && vms && size > 0) vms[0] = &g_vm;
    return JNI_OK;
}

extern "C" jint JNICALL JNI_CreateJavaVM(JavaVM** pvm, void** penv, void* args) {
    auto* init = static_cast<JavaVMInitArgs*>(args);
    if (!pvm || !penv || !init || (init->nOptions > 0 && !init->options)) return JNI_EINVAL;
    *pvm = nullptr;
    *penv = nullptr;
    LONG previous = InterlockedCompareExchange(&vmState, VM_STARTING, VM_NONE);
    if (previous != VM_NONE) return previous == VM_FAILED ? JNI_ERR : JNI_EEXIST;
    if (!supportedVersion(init->version)) return createdVm(JNI_EVERSION, pvm, penv, nullptr);
    std::vector<std::string> arguments;
    std::string error;
    if (!TranslateOptions(init, arguments, &error)) {
        fprintf(stderr, "jvm.dll (bridge): %s\n", error.c_str());
        return createdVm(JNI_EINVAL, pvm, penv, nullptr);
    }
    if (!StartJvm(arguments)) return createdVm(JNI_ERR, pvm, penv, nullptr);
    BridgeEnv* env = ConnectThread("main");
    if (!env) Fatal("JNI_CreateJavaVM: the Java VM started but refuses the connection");
    TlsSetValue(tlsIndex, env);
    return createdVm(JNI_OK, pvm, penv, env);
}

// The host redirects its C runtime's descriptor 1 around this call and reads the dump
// from there, where a real VM prints it.
extern "C" void JNICALL JVM_DumpAllStacks(JNIEnv* env, jclass unused) {
    Request request(env, "JVM_DumpAllStacks", OP_DUMP_STACKS);
    request.send();
    std::string text = request.readText();
    if (!text.empty()) _write(1, text.data(), unsigned(text.size()));
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: {
        DWORD length = GetModuleFileNameA(instance, moduleFolder, sizeof moduleFolder);
        if (length >= sizeof moduleFolder) length = 0;
        moduleFolder[length] = 0;
        char* slash = strrchr(moduleFolder, '\\');
        if (slash) slash[1] = 0;
        tlsIndex = TlsAlloc();
        FillUnimplementedVmSlots(&vmFunctions);
        vmFunctions.GetEnv = getEnv;
        vmFunctions.AttachCurrentThread = attachCurrentThread;
        vmFunctions.DetachCurrentThread = detachCurrentThread;
        vmFunctions.DestroyJavaVM = destroyJavaVM;
        break;
    }
    case DLL_THREAD_DETACH:
        // A real VM would wait forever in DestroyJavaVM for a thread that ended attached;
        // the bridge says so and lets the thread go.
        if (BridgeEnv* env = vmState == VM_CREATED ? currentEnv() : nullptr) {
            fprintf(stderr, "jvm.dll (bridge): thread %lu ended while attached to the VM\n", GetCurrentThreadId());
            CloseThread(env);
            TlsSetValue(tlsIndex, nullptr);
        }
        break;
    case DLL_PROCESS_DETACH:
        if (!reserved && tlsIndex != TLS_OUT_OF_INDEXES) TlsFree(tlsIndex);
        break;
    }
    return TRUE;
}
