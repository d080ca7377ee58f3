// The running service: serviceMain and the control handler under the Service Control
// Manager, the status reports with their check points and wait hints, the service body
// ServiceStart that runs the JVM thread and waits for its end, and console mode.
#include <process.h>
#include <stdlib.h>
#include <string.h>

#include "cstring.h"
#include "jvm_host.h"
#include "run_once.h"
#include "service_host.h"

SERVICE_STATUS ssStatus;
SERVICE_STATUS_HANDLE sshStatusHandle;

namespace {

const DWORD kStopWaitPeriodMs = 5000;
const DWORD kParametersSize = 8192;

// Each status report is decided under statusLock (the record, its check point and its
// turn) and made after it is left, in the order decided. While statusLock is held only the
// log lock may be taken (for the check-point line); no call that may wait on another
// thread is made under it. SetServiceStatus of STOPPED waits for the dispatcher, which
// holds its own lock while controlHandler runs and may itself be waiting here.
CRITICAL_SECTION statusLock;
CONDITION_VARIABLE reportMade;   // with statusLock: reportsMade went up
volatile LONG statusLockOnce;
int checkPoint = 1;         // never reset: stop reports go on from where the start ended
unsigned reportsDecided;    // under statusLock: the turn of the next report decided
unsigned reportsMade;       // under statusLock: reports made so far, in turn order
bool finalStatusDecided;    // under statusLock: STOPPED is the last report, nothing follows it

void initStatusLock() {
    runOnce(statusLockOnce, [] {
        InitializeCriticalSection(&statusLock);
        InitializeConditionVariable(&reportMade);
    });
}

// The reports reach the Service Control Manager in the order they were decided: a
// report waits for the ones decided before it. None of those is STOPPED, which is
// decided last, so no report waits behind one that waits for the dispatcher.
void waitForTurn(unsigned turn) {
    EnterCriticalSection(&statusLock);
    while (reportsMade != turn) SleepConditionVariableCS(&reportMade, &statusLock, INFINITE);
    LeaveCriticalSection(&statusLock);
}

void endTurn() {
    EnterCriticalSection(&statusLock);
    reportsMade++;
    LeaveCriticalSection(&statusLock);
    WakeAllConditionVariable(&reportMade);
}

// The handle values in log lines are shown as 32-bit numbers, as they always were.
unsigned shown(const void* handle) {
    return unsigned(reinterpret_cast<ULONG_PTR>(handle));
}

// Up to five attempts; only "I/O pending" and "invalid handle" are worth a retry.
void setServiceStatusRetrying(SERVICE_STATUS* status) {
    for (int attempt = 1;; attempt++) {
        if (SetServiceStatus(sshStatusHandle, status)) return;
        DWORD error = GetLastError();
        if (error == ERROR_IO_PENDING || error == ERROR_INVALID_HANDLE) {
            LogMessage("Error %d in SetServiceStatus(): retrying (%d attempts left)...\n", int(error), 5 - attempt);
            Sleep(200);
            if (attempt < 5) continue;
        }
        char text[512];
        SetLastError(error);
        LogMessage("Error %d in SetServiceStatus(0x%08x): %s\n", int(error), shown(sshStatusHandle),
                   LastErrorText(text, sizeof text));
        return;
    }
}

// Records one status report in ssStatus; the caller holds the status lock.
void decideReport(DWORD state, DWORD exitCode, DWORD waitHint) {
    ssStatus.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    // Each repeated STOP_PENDING lengthens the wait the Service Control Manager grants.
    if (state == SERVICE_STOP_PENDING && ssStatus.dwCurrentState == SERVICE_STOP_PENDING)
        waitHint += ssStatus.dwWaitHint;
    ssStatus.dwCurrentState = state;
    ssStatus.dwWaitHint = waitHint;
    ssStatus.dwWin32ExitCode = exitCode ? ERROR_SERVICE_SPECIFIC_ERROR : 0;
    ssStatus.dwServiceSpecificExitCode = exitCode;
    if (state == SERVICE_RUNNING || state == SERVICE_STOPPED) {
        ssStatus.dwCheckPoint = 0;
    } else {
        ssStatus.dwCheckPoint = DWORD(checkPoint++);
        LogMessage("SetServiceStatus(%s): WaitHint=%d checkPoint=%d\n", StatusName(state), int(waitHint),
                   int(ssStatus.dwCheckPoint));
    }
}

// The stored start parameters: REG_SZ or REG_EXPAND_SZ "AppParameters" under the
// service's Parameters key, split at tabs; null when there are none.
char** readAppParameters(DWORD* count) {
    *count = 0;
    cstring keyName("SYSTEM\\CurrentControlSet\\Services\\");
    keyName.append(kServiceName).append("\\Parameters");
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    char* buffer = static_cast<char*>(GlobalAlloc(GPTR, kParametersSize + 1));
    char** parameters = nullptr;
    DWORD type = 0, size = kParametersSize;
    if (buffer &&
        RegQueryValueExA(key, "AppParameters", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
            ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ))
        parameters = splitParameterString(count, buffer);
    RegCloseKey(key);
    if (buffer) GlobalFree(buffer);
    return parameters;
}

void logStackDump() {
    VmUse use;
    char* dump = beginVmUse(use) ? captureStackDump(use.env) : nullptr;
    if (dump) {
        LogMessage("stack dump:\n%s\n", dump);
        free(dump);
    } else {
        LogMessage("couldn't get stack dump\n");
    }
    endVmUse(use);
}

// The server-stop event is made for each run. The stop-request event is made once and
// kept open for the life of the process, reset at each start: a stop control that comes
// while a run ends then signals this event and never a closed handle whose number may
// already name another object. Its signalled state is the memory of the stop request.
bool createStopEvents() {
    jvmHost.hServerStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!jvmHost.hServerStopEvent) {
        ReportOSError("Cannot create hServerStopEvent");
        return false;
    }
    if (jvmHost.hStopRequestEvent)
        ResetEvent(jvmHost.hStopRequestEvent);
    else
        jvmHost.hStopRequestEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!jvmHost.hStopRequestEvent) {
        ReportOSError("Cannot create hStopRequestEvent");
        return false;
    }
    return true;
}

// The last report of the process. Once it is decided no other report is, and the ones
// decided before it (a stop control's STOP_PENDING, say) reach the Service Control
// Manager first: were STOP_PENDING to follow STOPPED, the Service Control Manager would
// wait for a service that has ended and the dispatcher would never return.
void reportFinalStatus() {
    EnterCriticalSection(&statusLock);
    finalStatusDecided = true;
    ssStatus.dwCurrentState = SERVICE_STOPPED;
    ssStatus.dwCheckPoint = 0;
    ssStatus.dwWaitHint = 0;
    ssStatus.dwWin32ExitCode = 0;
    ssStatus.dwServiceSpecificExitCode = 0;
    ssStatus.dwControlsAccepted = SERVICE_ACCEPT_STOP;
    SERVICE_STATUS status = ssStatus;
    unsigned turn = reportsDecided++;
    LeaveCriticalSection(&statusLock);

    waitForTurn(turn);
    LogMessage("reporting SERVICE_STOPPED status\n");
    if (!SetServiceStatus(sshStatusHandle, &status)) ReportOSError("Cannot set final service status");
    endTurn();
}

void waitForStopOfJavaServer(HANDLE javaThread) {
    LogMessage("hStopRequest Event received; waiting for JVM thread to finish (JVM_Dump=0x%08x)...\n",
               shown(reinterpret_cast<void*>(jvmHost.JVM_Dump)));
    if (jvmHost.JVM_Dump) logStackDump();
    // No upper bound: the service stays STOP_PENDING, with a growing wait hint, until the
    // Java server has ended.
    HANDLE ends[2] = {jvmHost.hServerStopEvent, javaThread};
    for (;;) {
        ReportServiceStatus(SERVICE_STOP_PENDING, 0, 8000);
        if (WaitForMultipleObjects(2, ends, FALSE, kStopWaitPeriodMs) != WAIT_TIMEOUT) break;
        LogMessage("JVM thread is still running...\n");
    }
}

void runJavaServer() {
    ReportServiceStatus(SERVICE_RUNNING, 0, 0);
    HANDLE javaThread = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, invokeJVM, nullptr, 0, nullptr));
    if (!javaThread) {
        ReportOSError("Cannot start the JVM thread");
        return;
    }
    LogMessage("created thread. waiting for hServerStop/hStopRequest events...\n");
    HANDLE events[3] = {jvmHost.hServerStopEvent, javaThread, jvmHost.hStopRequestEvent};
    if (WaitForMultipleObjects(3, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 2) waitForStopOfJavaServer(javaThread);
    LogMessage("hServerStop event received or thread stopped; waiting for thread to actually finish...\n");
    while (WaitForSingleObject(javaThread, 2000) == WAIT_TIMEOUT) {}
    LogMessage("JVM thread finished\n");
    DWORD exitCode;
    GetExitCodeThread(javaThread, &exitCode);
    if (!CloseHandle(javaThread)) ReportOSError("CloseHandle(hJavaThread) failed");
}

}  // namespace

const char* StatusName(DWORD state) {
    switch (state) {
    case SERVICE_STOPPED: return "STOPPED";
    case SERVICE_START_PENDING: return "START_PENDING";
    case SERVICE_STOP_PENDING: return "STOP_PENDING";
    case SERVICE_RUNNING: return "RUNNING";
    case SERVICE_CONTINUE_PENDING: return "CONTINUE_PENDING";
    case SERVICE_PAUSE_PENDING: return "PAUSE_PENDING";
    case SERVICE_PAUSED: return "PAUSED";
    default: return "Unknown";
    }
}

int ReportServiceStatus(DWORD state, DWORD exitCode, DWORD waitHint) {
    if (bConsoleMode) return 1;
    initStatusLock();
    EnterCriticalSection(&statusLock);
    bool decided = !finalStatusDecided;
    SERVICE_STATUS status = {};
    unsigned turn = 0;
    if (decided) {
        decideReport(state, exitCode, waitHint);
        status = ssStatus;
        turn = reportsDecided++;
    }
    LeaveCriticalSection(&statusLock);
    if (decided) {
        waitForTurn(turn);
        setServiceStatusRetrying(&status);
        endTurn();
    }
    return 1;
}

void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
    int major, minor, build, revision;
    GetModuleVersion(&major, &minor, &build, &revision);
    LogMessage("***\n           QZV Halvorin Server %d.%d.%d.%d started\n", major, minor, build, revision);
    LogMessage("serviceMain(): argc = %d\n", int(argc));
    for (DWORD i = 1; i < argc; i++) LogMessage("argv[%i] = \"%s\"\n", int(i), argv[i]);

    initStatusLock();
    sshStatusHandle = RegisterServiceCtrlHandlerA(kServiceName, controlHandler);
    LogMessage("RegisterServiceCtrlHandler(): sshStatusHandle = 0x%08x\n", shown(sshStatusHandle));
    if (sshStatusHandle) {
        ssStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
        ssStatus.dwServiceSpecificExitCode = 0;
        ReportServiceStatus(SERVICE_START_PENDING, 0, 5000);
        // Arguments given to this start win; without any, the stored parameters stand in,
        // so an administrator can keep -D, -X and wrkdir= in the registry.
        DWORD storedCount = 0;
        char** stored = readAppParameters(&storedCount);
        if (argc <= 1 && stored)
            ServiceStart(storedCount, stored);
        else
            ServiceStart(argc ? argc - 1 : 0, argc ? argv + 1 : argv);
    }

    reportFinalStatus();
}

void WINAPI controlHandler(DWORD code) {
    switch (code) {
    case SERVICE_CONTROL_STOP:
        LogMessage("SERVICE_CONTROL_STOP received...\n");
        ServiceStop();
        break;
    case SERVICE_CONTROL_SHUTDOWN:
        LogMessage("SERVICE_CONTROL_SHUTDOWN received...\n");
        ServiceStop();
        break;
    case SERVICE_CONTROL_INTERROGATE:
        LogMessage("SERVICE_CONTROL_INTERROGATE received...\n");
        ReportServiceStatus(ssStatus.dwCurrentState, 0, 1000);
        break;
    default:
        LogMessage("controlHandler(%d)\n", int(code));
        ReportServiceStatus(ssStatus.dwCurrentState, 0, 1000);
        break;
    }
}

// Returns at once: STOP_PENDING is reported before the stop-request event is
// signalled, so the service thread's first stop report continues the check points.
// The event is never closed (see createStopEvents), so a late stop is harmless; one that
// comes before the Java server started is remembered by it.
void ServiceStop() {
    ReportServiceStatus(SERVICE_STOP_PENDING, 0, 10000);
    HANDLE stopRequest = jvmHost.hStopRequestEvent;
    if (stopRequest) {
        LogMessage("signalling hStopRequestEvent(0x%08x) [ServiceStop]...\n", shown(stopRequest));
        if (!SetEvent(stopRequest)) ReportOSError("Couldn't signal hStopRequestEvent");
    }
    if (!jvmHost.scmEventManager) loadSCMEventManager();
    LogMessage("STOP_PENDING status reported; requesting JVM stop...\n");
    LogMessage("passing JS_SERVICE_STOPPED request...\n");
    postSCMEvent(JS_SERVICE_STOPPED);
    LogMessage("JS_SERVICE_STOPPED request has been passed (asynchronously)...\n");
    LogMessage("hServerStopEvent = 0x%08x\n", shown(jvmHost.hServerStopEvent));
}

void ServiceStart(DWORD argc, char** argv) {
    LogMessage("ServiceStart(%d args)\n", int(argc));
    ReportServiceStatus(SERVICE_START_PENDING, 0, 10000);
    if (createStopEvents()) {
        jvmHost.vmOptions = buildVMOptions(jvmHost.vmOptions, &jvmHost.vmOptionCount, argc, argv);
        jvmHost.mainArgs = buildMainArgs(jvmHost.mainArgs, &jvmHost.mainArgCount, argc, argv);
        jvmHost.workDir = findWorkDir(argc, argv);
        runJavaServer();
    }
    HANDLE serverStop = jvmHost.hServerStopEvent;
    jvmHost.hServerStopEvent = nullptr;
    if (serverStop) CloseHandle(serverStop);
    LogMessage("ServiceStart() finished\n");
}

bool StopRequested() {
    // A full barrier first: the JVM thread asks after loading the event manager, and a stop
    // that comes later reads the manager after signalling, so one of them sees the other.
    MemoryBarrier();
    HANDLE stopRequest = jvmHost.hStopRequestEvent;
    return stopRequest && WaitForSingleObject(stopRequest, 0) == WAIT_OBJECT_0;
}

void RunInConsole() {
    LogMessage("Running %s.\n", kDisplayName);
    char empty[] = "";
    char* argv[] = {empty};
    ServiceStart(0, argv);
}

bool GetModuleVersion(int* major, int* minor, int* build, int* revision) {
    *major = *minor = *build = *revision = 0;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return false;
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (!size) return false;
    void* block = GlobalAlloc(GPTR, size);
    bool found = false;
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT fixedSize = 0;
    if (block && GetFileVersionInfoA(path, 0, size, block) &&
        VerQueryValueA(block, "\\", reinterpret_cast<void**>(&fixed), &fixedSize) && fixed &&
        fixedSize >= sizeof *fixed) {
        *major = HIWORD(fixed->dwFileVersionMS);
        *minor = LOWORD(fixed->dwFileVersionMS);
        *build = HIWORD(fixed->dwFileVersionLS);
        *revision = LOWORD(fixed->dwFileVersionLS);
        found = true;
    }
    if (block) GlobalFree(block);
    return found;
}
