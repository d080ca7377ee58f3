// A host process for the bridge tests that must end: it loads the bridge jvm.dll, creates
// the VM, proves it with one call, and then breaks a rule or dies.
// usage: bridge_child.exe JVM_DLL MODE
//   env-slot       calls GetVersion, a JNIEnv slot the bridge does not implement
//   vm-slot        calls AttachCurrentThreadAsDaemon, a JavaVM slot it does not implement
//   other-thread   uses its JNIEnv on another thread
//   bad-reference  passes a made-up class reference
//   die            ends its own process without destroying the VM
//   hung-exit      destroys a VM whose exit hangs in a shutdown hook
// Exit codes: 2 the VM could not be created; otherwise the mode's own end.
#include <windows.h>

#include <jni.h>

#include <cstdio>
#include <cstring>

namespace {

JNIEnv* env;

DWORD WINAPI useEnvHere(void*) {
    env->FindClass("java/lang/String");
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) return 2;
    HMODULE library = LoadLibraryA(argv[1]);
    auto create = reinterpret_cast<jint(JNICALL*)(JavaVM**, void**, void*)>(
        library ? GetProcAddress(library, "JNI_CreateJavaVM") : nullptr);
    JavaVMOption hang = {const_cast<char*>("-Djvmbridge.hang_on_exit=true"), nullptr};
    const char* mode = argv[2];
    JavaVMInitArgs init = {JNI_VERSION_1_2, strcmp(mode, "hung-exit") ? 0 : 1, &hang, JNI_TRUE};
    JavaVM* vm = nullptr;
    if (!create || create(&vm, reinterpret_cast<void**>(&env), &init) != JNI_OK) return 2;
    if (!env->FindClass("java/lang/Object")) return 2;
    printf("VM created\n");
    fflush(stdout);

    if (!strcmp(mode, "env-slot")) {
        env->GetVersion();
    } else if (!strcmp(mode, "vm-slot")) {
        void* daemonEnv;
        vm->AttachCurrentThreadAsDaemon(&daemonEnv, nullptr);
    } else if (!strcmp(mode, "other-thread")) {
        HANDLE thread = CreateThread(nullptr, 0, useEnvHere, nullptr, 0, nullptr);
        WaitForSingleObject(thread, INFINITE);
    } else if (!strcmp(mode, "bad-reference")) {
        env->GetStaticMethodID(reinterpret_cast<jclass>(0x1234), "main", "([Ljava/lang/String;)V");
    } else if (!strcmp(mode, "die")) {
        TerminateProcess(GetCurrentProcess(), 9);
    } else if (!strcmp(mode, "hung-exit")) {
        vm->DestroyJavaVM();
    }
    printf("still running\n");
    return 0;
}
