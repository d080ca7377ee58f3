// The design baseline of the service benchmark: what the service must do and nothing
// else. It makes the host's status reports, writes the host's own log records (taken from
// a run of the host, each through its own open, append and close), and drives the
// stand-in VM with the calls the host makes: load it, create the VM, find launcher.main,
// build main's arguments, get the event manager and run main on a thread of its own; at
// the stop, dispatch event 1 on a new attached thread and dump the stacks through the
// service's files (a temporary file read back, "stack.txt"); then destroy the VM and
// unload it.
// Start arguments: JVM_DLL RECORDS_FOLDER LOG_FILE. The records folder holds one file per
// thread and moment, records separated by NUL: start (before RUNNING), vm (the VM's
// start), control (the stop control; the first three before the stop is signalled), dump
// (the service thread's, while the VM ends), end (the VM thread's last) and final (after
// the VM's end, up to STOPPED).
#include <fcntl.h>
#include <io.h>
#include <process.h>
#include <stdio.h>
#include <windows.h>

#include <jni.h>

#include <string>
#include <vector>

namespace {

char serviceName[] = "HalvorinDesign";
SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_START_PENDING, 0, 0, 0, 0, 0};
int checkPoint = 1;
CRITICAL_SECTION statusLock;

std::string logFile;
std::vector<std::string> startRecords, vmRecords, controlRecords, dumpRecords, endRecords, finalRecords;
std::string jvmPath;
HANDLE stopRequest, serverStop;
HANDLE usesDone[2];   // the dump's and the dispatch's: the VM outlives its last user
HANDLE vmReady;   // manual reset: set once the VM is there, or could not be made

JavaVM* jvm;
jobject manager;
jint(JNICALL* createJavaVM)(JavaVM**, void**, void*);
void(JNICALL* dumpStacks)(JNIEnv*, jclass);

void report(DWORD state, DWORD waitHint) {
    EnterCriticalSection(&statusLock);
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    status.dwWaitHint = waitHint;
    status.dwCheckPoint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : DWORD(checkPoint++);
    SERVICE_STATUS copy = status;
    LeaveCriticalSection(&statusLock);
    SetServiceStatus(statusHandle, &copy);
}

std::vector<std::string> readRecords(const std::string& path) {
    std::vector<std::string> records;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return records;
    std::string text;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    fclose(file);
    for (size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\0', start);
        if (end == std::string::npos) end = text.size();
        records.push_back(text.substr(start, end - start));
    }
    return records;
}

void writeRecords(const std::vector<std::string>& records, size_t from = 0, size_t to = ~size_t(0)) {
    for (size_t i = from; i < records.size() && i < to; i++) {
        const std::string& record = records[i];
        FILE* file = fopen(logFile.c_str(), "ab+");
        if (!file) continue;
        SYSTEMTIME now;
        GetLocalTime(&now);
        fprintf(file, "[%02d:%02d:%02d] ", now.wHour, now.wMinute, now.wSecond);
        fprintf(file, "%s", record.c_str());
        fclose(file);
    }
}

void writeFailure(const char* what) {
    std::vector<std::string> failure = {std::string("design baseline: ") + what + "\n"};
    writeRecords(failure);
}

// Every JNI step is followed by the exception check the host makes.
template <class T>
T checked(JNIEnv* env, T result) {
    env->ExceptionCheck();
    return result;
}

// A JNI environment for a thread that is not the VM's: GetEnv first, as the host asks.
JNIEnv* attach() {
    WaitForSingleObject(vmReady, INFINITE);
    JNIEnv* env = nullptr;
    if (jvm && jvm->GetEnv(reinterpret_cast<void**>(&env), JNI_VERSION_1_2) != JNI_OK)
        jvm->AttachCurrentThread(reinterpret_cast<void**>(&env), nullptr);
    return env;
}

// The dump as the service makes it: the VM's stacks go to descriptor 1, pointed at a
// temporary file deleted on close, and to "stack.txt" in the temporary folder through the
// Win32 standard output; the text is read back from the temporary file.
void dumpThroughFiles(JNIEnv* env) {
    char folder[MAX_PATH];
    GetTempPathA(sizeof folder, folder);
    std::string tempName = std::string(folder) + "hdd" + std::to_string(GetCurrentProcessId()) + ".tmp";
    HANDLE temp = CreateFileA(tempName.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    int fd = temp == INVALID_HANDLE_VALUE ? -1 : _open_osfhandle(reinterpret_cast<intptr_t>(temp), _O_RDWR | _O_BINARY);
    if (fd < 0) return writeFailure("no temporary file for the dump");
    HANDLE originalStdout = GetStdHandle(STD_OUTPUT_HANDLE);
    fflush(stdout);
    int savedStdout = _dup(1);
    _dup2(fd, 1);
    HANDLE stackFile = CreateFileA((std::string(folder) + "stack.txt").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (stackFile != INVALID_HANDLE_VALUE) SetStdHandle(STD_OUTPUT_HANDLE, stackFile);
    if (dumpStacks) dumpStacks(env, nullptr);
    fflush(stdout);
    _dup2(savedStdout, 1);
    _close(savedStdout);
    SetStdHandle(STD_OUTPUT_HANDLE, originalStdout);
    long size = _lseek(fd, 0, SEEK_END);
    std::string text(size > 0 ? size_t(size) : 0, '\0');
    if (size > 0 && _lseek(fd, 0, SEEK_SET) == 0) _read(fd, &text[0], unsigned(size));
    _close(fd);
    if (stackFile == INVALID_HANDLE_VALUE) return writeFailure("stack.txt was not made");
    CloseHandle(stackFile);
}

unsigned __stdcall dispatchStop(void*) {
    if (JNIEnv* env = attach()) {
        jclass managerClass = checked(env, env->GetObjectClass(manager));
        jmethodID dispatch = checked(env, env->GetMethodID(managerClass, "dispatchSCMEvent", "(I)V"));
        env->functions->CallVoidMethod(env, manager, dispatch, jint(1));
        env->ExceptionCheck();
        jvm->DetachCurrentThread();
    }
    SetEvent(usesDone[1]);
    return 0;
}

// The quoted texts of the host's records that start with prefix: its VM options and
// main's arguments.
std::vector<std::string> quotedTexts(const char* prefix) {
    std::vector<std::string> texts;
    for (const std::string& record : vmRecords) {
        size_t open = record.find(" = \"");
        size_t close = record.rfind('"');
        if (record.rfind(prefix, 0) == 0 && open != std::string::npos && close > open + 3)
            texts.push_back(record.substr(open + 4, close - open - 4));
    }
    return texts;
}

unsigned __stdcall runVm(void*) {
    writeRecords(vmRecords);
    HMODULE library = LoadLibraryA(jvmPath.c_str());
    createJavaVM = reinterpret_cast<decltype(createJavaVM)>(GetProcAddress(library, "JNI_CreateJavaVM"));
    GetProcAddress(library, "JNI_GetDefaultJavaVMInitArgs");
    dumpStacks = reinterpret_cast<decltype(dumpStacks)>(GetProcAddress(library, "JVM_DumpAllStacks"));
    std::vector<std::string> optionTexts = quotedTexts("options["), argTexts = quotedTexts("args[");
    std::vector<JavaVMOption> options;
    for (std::string& text : optionTexts) options.push_back({&text[0], nullptr});
    JavaVMInitArgs init = {JNI_VERSION_1_2, jint(options.size()), options.data(), JNI_TRUE};
    JNIEnv* env = nullptr;
    JavaVM* created = nullptr;
    if (!createJavaVM || createJavaVM(&created, reinterpret_cast<void**>(&env), &init) != JNI_OK) {
        writeFailure(library ? "the VM was not created" : "jvm.dll was not loaded");
        SetEvent(vmReady);
        return 1;
    }
    jclass launcher = checked(env, env->FindClass("launcher"));
    jmethodID main = checked(env, env->GetStaticMethodID(launcher, "main", "([Ljava/lang/String;)V"));
    jclass string = checked(env, env->FindClass("java/lang/String"));
    jobjectArray args = checked(env, env->NewObjectArray(jsize(argTexts.size()), string, nullptr));
    for (size_t i = 0; i < argTexts.size(); i++) {
        jstring text = checked(env, env->NewStringUTF(argTexts[i].c_str()));
        env->SetObjectArrayElement(args, jsize(i), text);
        env->ExceptionCheck();
    }
    JNIEnv* current = nullptr;
    created->GetEnv(reinterpret_cast<void**>(&current), JNI_VERSION_1_2);
    jclass managerClass = checked(env, env->FindClass("com/qzvltd/halvorin/scm/SCMEventManager"));
    jmethodID getInstance = checked(
        env, env->GetStaticMethodID(managerClass, "getInstance", "()Lcom/qzvltd/halvorin/scm/SCMEventManager;"));
    jobject instance = checked(env, env->functions->CallStaticObjectMethod(env, managerClass, getInstance));
    manager = env->NewGlobalRef(instance);
    jvm = created;
    SetEvent(vmReady);
    env->functions->CallStaticVoidMethod(env, launcher, main, args);
    jvm->GetEnv(reinterpret_cast<void**>(&current), JNI_VERSION_1_2);
    env->ExceptionCheck();
    WaitForMultipleObjects(2, usesDone, TRUE, INFINITE);
    jvm->DetachCurrentThread();
    jvm->DestroyJavaVM();
    FreeLibrary(library);
    writeRecords(endRecords);
    SetEvent(serverStop);
    return 0;
}

void WINAPI handler(DWORD control) {
    if (control != SERVICE_CONTROL_STOP) return;
    writeRecords(controlRecords, 0, 3);
    report(SERVICE_STOP_PENDING, 10000);
    SetEvent(stopRequest);
    HANDLE thread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, dispatchStop, nullptr, 0, nullptr));
    if (thread) CloseHandle(thread);
    writeRecords(controlRecords, 3);
}

void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
    if (argc < 4) return;
    jvmPath = argv[1];
    std::string records = argv[2];
    logFile = argv[3];
    const struct {
        const char* name;
        std::vector<std::string>* records;
    } parts[] = {{"start", &startRecords}, {"vm", &vmRecords},   {"control", &controlRecords},
                 {"dump", &dumpRecords},   {"end", &endRecords}, {"final", &finalRecords}};
    for (const auto& part : parts) *part.records = readRecords(records + "\\" + part.name + ".rec");
    statusHandle = RegisterServiceCtrlHandlerA(serviceName, handler);
    report(SERVICE_START_PENDING, 5000);
    writeRecords(startRecords);
    report(SERVICE_START_PENDING, 10000);
    stopRequest = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    serverStop = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (HANDLE& done : usesDone) done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    vmReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    report(SERVICE_RUNNING, 0);
    HANDLE vmThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, runVm, nullptr, 0, nullptr));
    HANDLE events[3] = {serverStop, vmThread, stopRequest};
    if (WaitForMultipleObjects(3, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 2) {
        if (JNIEnv* env = attach()) {
            dumpThroughFiles(env);
            jvm->DetachCurrentThread();
        } else {
            writeFailure("no VM to dump");
        }
        writeRecords(dumpRecords);
        SetEvent(usesDone[0]);
        report(SERVICE_STOP_PENDING, 8000);
    }
    WaitForSingleObject(vmThread, INFINITE);
    CloseHandle(vmThread);
    writeRecords(finalRecords);
    report(SERVICE_STOPPED, 0);
}

}  // namespace

int main() {
    InitializeCriticalSection(&statusLock);
    SERVICE_TABLE_ENTRYA table[] = {{serviceName, serviceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}
