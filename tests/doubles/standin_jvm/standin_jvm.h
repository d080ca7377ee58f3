// The stand-in Java VM's internal header: the simulated Java objects, the script that sets
// its behaviour, the journal of calls, the threads attached to the VM and the simulated
// Java server. Declarations are grouped by the file that defines them.
#pragma once

#include <windows.h>

// jni.h declares the invocation functions dllimport; this DLL defines them and names its
// exports in jvm32.def / jvm64.def, so they are declared here without any marking.
#include <jni_md.h>
#undef JNIIMPORT
#define JNIIMPORT
#include <jni.h>

#include <atomic>
#include <string>
#include <vector>

// The stack-dump export of a real VM: the 64-bit name is "JVM_DumpAllStacks", the 32-bit
// one the decorated "_JVM_DumpAllStacks@8" of this __stdcall function.
extern "C" void JNICALL JVM_DumpAllStacks(JNIEnv* env, jclass unused);

// --- objects.cpp: the Java objects and method IDs of the simulation ----------------------

extern const char kLauncherClass[];   // "launcher"
extern const char kManagerClass[];    // "com/qzvltd/halvorin/scm/SCMEventManager"
extern const char kStringClass[];     // "java/lang/String"

enum class Kind { CLASS, STRING, ARRAY, INSTANCE, THROWABLE };

struct JavaObject {
    DWORD magic;
    Kind kind;
    JavaObject* type;                   // the object's class; java/lang/Class for a class
    std::string text;                   // class: internal name; string: modified UTF-8
    std::vector<JavaObject*> elements;  // array
};

enum class MethodKind { MAIN, GET_INSTANCE, DISPATCH_EVENT, GET_NAME };

struct JavaMethod {
    DWORD magic;
    MethodKind kind;
    const char* className;
    const char* name;
    const char* signature;
    bool isStatic;
};

JavaObject* ClassNamed(const std::string& internalName);   // one class object per name
JavaObject* NewJavaString(const std::string& text);
JavaObject* NewJavaArray(JavaObject* elementClass, int length, JavaObject* initial);
JavaObject* NewJavaInstance(JavaObject* type);
JavaObject* NewThrowable(const std::string& className);
// The object behind a JNI reference, or null when the reference is not one of ours.
JavaObject* AsObject(const void* reference);
const JavaMethod* FindMethod(const std::string& className, const char* name, const char* signature,
                             bool isStatic);
const JavaMethod* AsMethod(jmethodID id);
std::string Describe(const JavaObject* object);       // for the journal: kind and text
std::string InternalName(const std::string& name);    // "java.lang.X" -> "java/lang/X"
std::string JavaName(const std::string& name);        // "java/lang/X" -> "java.lang.X"

// --- script.cpp: the behaviour of the VM and of the simulated server ---------------------

enum class Presence { PRESENT, MISSING, NULL_ONLY };
enum class MainRun { UNTIL_STOP, RETURN, SLEEP };

struct Failure {
    enum Action { NONE, RETURN_NULL, THROW } action = NONE;
    std::string exception;   // internal class name, for THROW
    int onlyCall = 0;        // 0: every call fails; n: only the n-th call (from 1)
    bool Fires(int call) const { return action != NONE && (onlyCall == 0 || call == onlyCall); }
};

struct Script {
    std::string path;   // empty when no script file was read
    Presence launcherClass = Presence::PRESENT;
    Presence managerClass = Presence::PRESENT;
    Presence stringClass = Presence::PRESENT;
    Presence mainMethod = Presence::PRESENT;
    Presence getInstanceMethod = Presence::PRESENT;
    Failure getInstance;
    MainRun mainRun = MainRun::UNTIL_STOP;
    DWORD sleepMs = 0;
    DWORD stopDelayMs = 0;
    std::string mainThrows;      // internal class name or empty
    std::string rejectOption;    // option prefix or empty
    Failure newObjectArray;
    Failure newEmptyArray;
    Failure newStringUTF;
    Failure setObjectArrayElement;
    std::string stackDump;
    DWORD createDelayMs = 0;
    DWORD findLauncherDelayMs = 0;
};

extern Script g_script;
extern const char kDefaultStackDump[];
// Reads the script into g_script (defaults first). False when it has errors; each error
// has been journaled.
bool LoadScript();
// The script's delay.load, read on its own (DllMain runs before the script is loaded).
DWORD ScriptedLoadDelay();

// --- journal.cpp: one line per call, appended to the journal file ------------------------

void InitJournal();
void CloseJournal();
// Appends "<thread id> <formatted text>" as one line.
void Journal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Journals the line and also writes it to standard error: a call a real VM would not
// survive or the host must not make.
void Complain(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The text with CR, LF and other control characters escaped, so that it stays on one line.
std::string Printable(const char* text);
inline std::string Printable(const std::string& text) { return Printable(text.c_str()); }

// --- threads.cpp: thread attachment and the checks every JNI call makes ------------------

// The JNI environment of one thread. A JNIEnv* points at it, so `functions` comes first.
struct ThreadEnv {
    const JNINativeInterface_* functions;
    DWORD magic;
    DWORD threadId;
    bool attached;
    std::string name;          // the Java thread name
    JavaObject* pending;       // the pending exception or null
};

extern CRITICAL_SECTION g_vmLock;
extern std::atomic<bool> g_vmCreated;
extern std::atomic<bool> g_vmDestroyed;
extern HANDLE g_threadDetached;   // auto reset: set at each detach

void InitThreads();
void CloseThreads();
// Attaches the calling thread (or finds it attached); *already tells which.
ThreadEnv* AttachThread(const char* name, bool* already);
void DetachThread();
ThreadEnv* AttachedEnv();                // the calling thread's environment, or null
std::vector<DWORD> AttachedThreads();
// The checks at the start of every JNI function: a valid environment, used on its own
// thread, attached, the VM alive and, unless the function may be called then, no pending
// exception. Each breach is complained about; null only when env is not an environment.
ThreadEnv* Enter(JNIEnv* env, const char* function, bool exceptionAllowed = false);
void Throw(ThreadEnv* self, const std::string& className);

// --- env_functions.cpp / unexpected_slots.cpp: the function tables -----------------------

const JNINativeInterface_* EnvFunctions();
void FillUnexpectedEnvSlots(JNINativeInterface_* table);
void FillUnexpectedVmSlots(JNIInvokeInterface_* table);
long UnreleasedUtfChars();   // GetStringUTFChars results not yet released

// --- java_server.cpp: the simulated Java server ------------------------------------------

void StartServer();
void CloseServer();
void RunMain(ThreadEnv* self, JavaObject* args);
JavaObject* CallGetInstance(ThreadEnv* self);
void DispatchEvent(ThreadEnv* self, JavaObject* manager, jint code);
JavaObject* CallGetName(ThreadEnv* self, JavaObject* type);

// --- invocation.cpp: DllMain, the JavaVM and the invocation exports ----------------------

// A file named by the environment variable, else `name` beside jvm.dll; *fromVariable
// tells which.
std::string ConfigFile(const char* variable, const char* name, bool* fromVariable);
