// Threads attached to the stand-in VM: one JNI environment per thread, kept after a detach
// so that a stale JNIEnv pointer used later is still recognised, and the checks each JNI
// call makes of its caller (own thread, attached, VM alive, no pending exception).
#include "standin_jvm.h"

#include <map>

CRITICAL_SECTION g_vmLock;
std::atomic<bool> g_vmCreated;
std::atomic<bool> g_vmDestroyed;
HANDLE g_threadDetached;

namespace {

const DWORD kEnvMagic = 0x454A5653;   // "SVJE"

std::map<DWORD, ThreadEnv*> threads;   // guarded by g_vmLock

}  // namespace

void InitThreads() {
    InitializeCriticalSection(&g_vmLock);
    g_threadDetached = CreateEventA(nullptr, FALSE, FALSE, nullptr);
}

void CloseThreads() {
    CloseHandle(g_threadDetached);
    DeleteCriticalSection(&g_vmLock);
}

ThreadEnv* AttachThread(const char* name, bool* already) {
    DWORD id = GetCurrentThreadId();
    EnterCriticalSection(&g_vmLock);
    ThreadEnv*& env = threads[id];
    if (!env) env = new ThreadEnv{EnvFunctions(), kEnvMagic, id, false, "", nullptr};
    *already = env->attached;
    if (!env->attached) {
        env->attached = true;
        env->name = name ? name : "Thread-" + std::to_string(id);
        env->pending = nullptr;
    }
    ThreadEnv* result = env;
    LeaveCriticalSection(&g_vmLock);
    return result;
}

void DetachThread() {
    EnterCriticalSection(&g_vmLock);
    auto found = threads.find(GetCurrentThreadId());
    bool wasAttached = found != threads.end() && found->second->attached;
    if (wasAttached) found->second->attached = false;
    LeaveCriticalSection(&g_vmLock);
    if (wasAttached) SetEvent(g_threadDetached);
}

ThreadEnv* AttachedEnv() {
    EnterCriticalSection(&g_vmLock);
    auto found = threads.find(GetCurrentThreadId());
    ThreadEnv* env = found != threads.end() && found->second->attached ? found->second : nullptr;
    LeaveCriticalSection(&g_vmLock);
    return env;
}

std::vector<DWORD> AttachedThreads() {
    std::vector<DWORD> ids;
    EnterCriticalSection(&g_vmLock);
    for (const auto& entry : threads)
        if (entry.second->attached) ids.push_back(entry.first);
    LeaveCriticalSection(&g_vmLock);
    return ids;
}

ThreadEnv* Enter(JNIEnv* env, const char* function, bool exceptionAllowed) {
    auto* self = reinterpret_cast<ThreadEnv*>(env);
    if (!self || self->magic != kEnvMagic) {
        Complain("misuse %s bad-env", function);
        return nullptr;
    }
    // A real VM would crash or corrupt its state on each of these; the double goes on, so
    // that the test sees every breach in the journal.
    if (g_vmDestroyed) Complain("misuse %s vm-destroyed", function);
    else if (self->threadId != GetCurrentThreadId())
        Complain("misuse %s wrong-thread env-of=%lu", function, self->threadId);
    else if (!self->attached) Complain("misuse %s detached", function);
    if (!exceptionAllowed && self->pending)
        Complain("misuse %s pending-exception %s", function, self->pending->type->text.c_str());
    return self;
}

void Throw(ThreadEnv* self, const std::string& className) { self->pending = NewThrowable(className); }
