// The bridge jvm.dll of the tests and the demo: the Linux JVM's start and end, the first
// lookups, and the cost of one forwarded JNI call against a bare loopback round trip of
// one byte each way between two threads of this process.
#include <winsock2.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>

#include <jni.h>

#include <string>

#include "bench_product.h"

namespace {

const int kCalls = 2000;

SOCKET listener;

DWORD WINAPI echo(void*) {
    SOCKET peer = accept(listener, nullptr, nullptr);
    char byte;
    while (recv(peer, &byte, 1, 0) == 1 && send(peer, &byte, 1, 0) == 1) {}
    closesocket(peer);
    return 0;
}

// Microseconds of one round trip over a loopback connection with TCP_NODELAY.
double bareRoundTripUs() {
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address);
    listen(listener, 1);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size);
    HANDLE thread = CreateThread(nullptr, 0, echo, nullptr, 0, nullptr);
    SOCKET client = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    BOOL noDelay = TRUE;
    setsockopt(client, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay), sizeof noDelay);
    connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address);
    char byte = 'x';
    double t0 = NowMs();
    for (int i = 0; i < kCalls; i++) {
        send(client, &byte, 1, 0);
        recv(client, &byte, 1, 0);
    }
    double us = (NowMs() - t0) * 1000.0 / kCalls;
    closesocket(client);
    WaitForSingleObject(thread, 5000);
    closesocket(listener);
    return us;
}

}  // namespace

int main() {
    char path[MAX_PATH], temp[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string build = FolderOf(FolderOf(path));   // build\x86_64
    GetTempPathA(sizeof temp, temp);
    std::string folder = std::string(temp) + "bench-bridge-jvm";
    CreateDirectoryA(folder.c_str(), nullptr);
    std::string dll = folder + "\\jvm.dll";
    CopyFileA((build + "\\tests\\doubles\\bridge_jvm\\jvm.dll").c_str(), dll.c_str(), FALSE);
    HMODULE library = LoadLibraryA(dll.c_str());
    auto create = reinterpret_cast<jint(JNICALL*)(JavaVM**, void**, void*)>(
        library ? GetProcAddress(library, "JNI_CreateJavaVM") : nullptr);
    auto dump = reinterpret_cast<void(JNICALL*)(JNIEnv*, jclass)>(
        library ? GetProcAddress(library, "JVM_DumpAllStacks") : nullptr);
    if (!create || !dump) {
        printf("cannot load %s\n", dll.c_str());
        return 1;
    }
    JavaVMOption option = {const_cast<char*>("-Xmx64m"), nullptr};
    JavaVMInitArgs init = {JNI_VERSION_1_2, 1, &option, JNI_TRUE};
    JavaVM* vm;
    JNIEnv* env;
    double t0 = NowMs();
    if (create(&vm, reinterpret_cast<void**>(&env), &init) != JNI_OK) {
        printf("the JVM did not start: see %s\\java.log\n", folder.c_str());
        return 1;
    }
    double started = NowMs() - t0;

    t0 = NowMs();
    jclass system = env->FindClass("java/lang/System");
    jmethodID getProperty = env->GetStaticMethodID(system, "getProperty", "(Ljava/lang/String;)Ljava/lang/String;");
    double firstLookup = NowMs() - t0;
    jstring name = env->NewStringUTF("java.version");

    t0 = NowMs();
    for (int i = 0; i < kCalls; i++) env->ExceptionCheck();
    double checkUs = (NowMs() - t0) * 1000.0 / kCalls;
    t0 = NowMs();
    for (int i = 0; i < kCalls; i++) env->FindClass("java/lang/String");
    double findUs = (NowMs() - t0) * 1000.0 / kCalls;
    t0 = NowMs();
    for (int i = 0; i < kCalls; i++) env->functions->CallStaticObjectMethod(env, system, getProperty, name);
    double callUs = (NowMs() - t0) * 1000.0 / kCalls;

    std::string dumpFile = folder + "\\dump.txt";
    int target = _open(dumpFile.c_str(), _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, 0600);
    int saved = _dup(1);
    _dup2(target, 1);
    t0 = NowMs();
    dump(env, nullptr);
    double dumped = NowMs() - t0;
    _dup2(saved, 1);
    _close(saved);
    _close(target);

    vm->DetachCurrentThread();
    t0 = NowMs();
    vm->DestroyJavaVM();
    double destroyed = NowMs() - t0;
    FreeLibrary(library);

    double bareUs = bareRoundTripUs();
    printf("JVM start (JNI_CreateJavaVM):             %.0f ms\n", started);
    printf("first FindClass + GetStaticMethodID:      %.1f ms\n", firstLookup);
    printf("ExceptionCheck:                           %.0f us per call\n", checkUs);
    printf("FindClass of a loaded class:              %.0f us per call\n", findUs);
    printf("CallStaticObjectMethod(getProperty):      %.0f us per call\n", callUs);
    printf("JVM_DumpAllStacks:                        %.1f ms\n", dumped);
    printf("DestroyJavaVM until the JVM has ended:    %.0f ms\n", destroyed);
    printf("bare loopback round trip:                 %.0f us\n", bareUs);
    printf("ratio ExceptionCheck / bare round trip:   %.2f\n", checkUs / bareUs);
    DeleteFileA(dumpFile.c_str());
    DeleteFileA((folder + "\\java.log").c_str());
    DeleteFileA(dll.c_str());
    RemoveDirectoryA(folder.c_str());
    return 0;
}
