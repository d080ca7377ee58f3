// The simulated Java server behind the stand-in VM: launcher.main as the script says, the
// SCMEventManager singleton with getInstance and dispatchSCMEvent, Class.getName, and the
// stack-dump export, which prints the dump to standard output as a real VM does.
#include "standin_jvm.h"

#include <io.h>

namespace {

HANDLE stopEvent;                  // manual reset: set by dispatchSCMEvent(1)
std::atomic<JavaObject*> manager;  // the SCMEventManager singleton
LONG getInstanceCalls;

const jint kServiceStopped = 1;

void journalArguments(JavaObject* args) {
    if (!args) {
        Journal("main args=null");
        return;
    }
    if (args->kind != Kind::ARRAY || args->text != kStringClass)
        Complain("misuse CallStaticVoidMethod main-argument %s", Describe(args).c_str());
    Journal("main argc=%u", unsigned(args->elements.size()));
    for (size_t i = 0; i < args->elements.size(); i++) {
        JavaObject* element = args->elements[i];
        bool isString = element && element->kind == Kind::STRING;
        Journal("arg %u %s", unsigned(i), isString ? Printable(element->text).c_str() : Describe(element).c_str());
    }
}

}  // namespace

void StartServer() { stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void CloseServer() {
    if (stopEvent) CloseHandle(stopEvent);
    stopEvent = nullptr;
}

void RunMain(ThreadEnv* self, JavaObject* args) {
    journalArguments(args);
    switch (g_script.mainRun) {
    case MainRun::UNTIL_STOP:
        WaitForSingleObject(stopEvent, INFINITE);
        Sleep(g_script.stopDelayMs);
        break;
    case MainRun::SLEEP:
        Sleep(g_script.sleepMs);
        break;
    case MainRun::RETURN:
        break;
    }
    if (g_script.mainThrows.empty()) {
        Journal("main returns");
    } else {
        Throw(self, g_script.mainThrows);
        Journal("main throws %s", g_script.mainThrows.c_str());
    }
}

JavaObject* CallGetInstance(ThreadEnv* self) {
    JavaObject* result = nullptr;
    const Failure& failure = g_script.getInstance;
    if (failure.Fires(InterlockedIncrement(&getInstanceCalls))) {
        if (failure.action == Failure::THROW) Throw(self, failure.exception);
    } else {
        JavaObject* expected = nullptr;
        JavaObject* instance = NewJavaInstance(ClassNamed(kManagerClass));
        if (!manager.compare_exchange_strong(expected, instance)) delete instance;
        result = manager;
    }
    Journal("getInstance -> %s", self->pending ? ("throw " + self->pending->type->text).c_str() : result ? "ok" : "null");
    return result;
}

void DispatchEvent(ThreadEnv* self, JavaObject* target, jint code) {
    Journal("dispatchSCMEvent %ld", long(code));
    if (target != manager) Complain("misuse dispatchSCMEvent not-the-instance %s", Describe(target).c_str());
    if (code == kServiceStopped) SetEvent(stopEvent);
}

JavaObject* CallGetName(ThreadEnv* self, JavaObject* type) {
    JavaObject* name = NewJavaString(JavaName(type->text));
    Journal("getName %s -> %s", type->text.c_str(), name->text.c_str());
    return name;
}

extern "C" void JNICALL JVM_DumpAllStacks(JNIEnv* env, jclass unused) {
    if (!Enter(env, "JVM_DumpAllStacks")) return;
    const std::string& text = g_script.stackDump;
    int written = 0;
    if (!text.empty()) {
        // This DLL and the host share msvcrt.dll, so a host that points descriptor 1 at a
        // file of its own gets the dump there. A VM whose runtime has descriptors of its own
        // writes to the Win32 standard output handle instead, which the host may point
        // elsewhere: write there too, unless it is the file behind descriptor 1 already.
        written = _write(1, text.data(), unsigned(text.size()));
        HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
        if (out && out != INVALID_HANDLE_VALUE && out != reinterpret_cast<HANDLE>(_get_osfhandle(1))) {
            DWORD ignored = 0;
            WriteFile(out, text.data(), DWORD(text.size()), &ignored, nullptr);
        }
    }
    Journal("JVM_DumpAllStacks -> %d", written);
}
