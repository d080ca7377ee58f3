// The configurator's start-up sequence: the 64-bit relaunch under WOW64, the mutex, the
// log header, then one job: "/install", "/remove", or the main dialog followed by the
// client start. main.cpp hands WinMain's arguments to RunConfigurator.
#include "krlxconfig.h"

#include <commctrl.h>
#include <string.h>

#include "exception.h"
#include "files.h"
#include "os_error.h"
#include "process_info.h"
#include "system_info.h"

HINSTANCE ModuleInstance;
bool SetupMode;

namespace {

const char kDashes[] = "-----------------------------------------------------------------";   // 65
const char kHiddenWindowClass[] = "KRLXConfigMainWindow";

HANDLE configuratorMutex;

// The box of a failed OS call: its system text, no owner.
void showOsError(DWORD error, const char* title) {
    cstring text;
    os_error_text(error, text);
    MessageBoxA(nullptr, text.c_str(), title, MB_OK | MB_ICONERROR);
}

// "/install": the clean-up of older installations, then the install sequence proper,
// whose result is the exit code.
int runInstall() {
    CleanUninstallEntries();
    DeleteDesktopInstallLog();
    cstring oldLauncher;
    ProgramFolder(oldLauncher);
    oldLauncher.append("\\CorvalisJE.exe");
    if (file_exists(oldLauncher.c_str())) DeleteFileA(oldLauncher.c_str());
    return InstallTasks();
}

// A window that is never shown and gets no messages from the configurator; it lives
// as long as the process (or the thread that made it).
bool createHiddenWindow(HINSTANCE instance) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_WINDOW_ICON));
    windowClass.lpszClassName = kHiddenWindowClass;
    // A second run in the same process finds the class registered already.
    RegisterClassA(&windowClass);
    return CreateWindowExA(0, kHiddenWindowClass, "", 0, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                           CW_USEDEFAULT, nullptr, nullptr, instance, nullptr) != nullptr;
}

// The client start; a CVelmorException ends in the log and in a box.
void startClientOrReport() {
    try {
        StartClient();
    } catch (CVelmorException* error) {
        LogPrint("-------------\n%s\n", error->message());
        cstring text(cstring::formatted,
                     "%s could not be started:\n\n%s\n\nIf the problem persists, please re-install the product.",
                     KRLX_PRODUCT_NAME, error->message());
        MessageBoxA(nullptr, text.c_str(), KRLX_PRODUCT_NAME, MB_OK | MB_ICONERROR);
        delete error;
    }
}

// No option: the registry check, the hidden window, the main dialog, the client.
int runInteractive(HINSTANCE instance, const char* commandLine) {
    if (!CanWriteMachineRegistry()) {
        MessageBoxA(nullptr,
                    "You might not have permissions to modify Windows registry and shortcuts which is required "
                    "to run this application. To resolve this issue, try to invoke this program from the right "
                    "mouse menu by choosing 'Run As Administrator'.",
                    KRLX_PRODUCT_NAME, MB_OK | MB_ICONEXCLAMATION);
        return 0;
    }
    if (!createHiddenWindow(instance)) {
        showOsError(GetLastError(), KRLX_PRODUCT_NAME);
        return -1;
    }
    SetupMode = HasOption(commandLine, "/setup");
    cstring java;
    GetJavaExecutable(java);   // stores a discovered runtime for the dialog to show

    INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr, MainDialogProc,
                                     reinterpret_cast<LPARAM>(instance));
    if (result == IDCANCEL) return 0;
    // A dialog that cannot be made is shown as an error, and the client starts anyway.
    if (result == -1) showOsError(GetLastError(), "Error");
    startClientOrReport();
    return 0;
}

}  // namespace

bool HasOption(const char* commandLine, const char* option) {
    return commandLine && strstr(commandLine, option) != nullptr;
}

void WriteLogHeader(const char* commandLine) {
    int major, minor, build, revision;
    module_version(nullptr, &major, &minor, &build, &revision);
    OsDescription os;
    LogPrint("\n%s\n"
             "-- Corvalis Configurator%s%s %d.%d.%d.%d (%s %s) \n"
             "-- %s\n"
             "-- %s %s\n"
             "%s\n",
             kDashes, kBuildIs64 ? " (x64)" : "", KRLX_EDITION_SUFFIX, major, minor, build, revision, __DATE__,
             __TIME__, os.name.c_str(), executable_path(), commandLine, kDashes);
}

int RunConfigurator(HINSTANCE instance, const char* rawCommandLine, int show, bool underWow64, HMODULE imageModule) {
    cstring commandLine(rawCommandLine ? rawCommandLine : "");
    if (underWow64 && !HasOption(commandLine.c_str(), "/force32")) {
        LogPrint("WOW64: will invoke 64-bit exe. Command line:\n%s\n", commandLine.c_str());
        if (RunAs64AndWait(imageModule, commandLine.c_str(), show)) return 0;
        // Not started: the 32-bit build does the job itself.
    }
    // Nobody waits on the mutex: a second configurator runs normally.
    if (!configuratorMutex) configuratorMutex = CreateMutexA(nullptr, FALSE, "CorvalisJEConfig.Mutex");
    WriteLogHeader(commandLine.c_str());
    // Only the 64-bit build is run by the other build, from another folder at times.
    if (kBuildIs64) TakeProgramFolderHandOver();
    InitCommonControls();
    ModuleInstance = instance;

    // "/install" wins over "/remove"; neither shows a window.
    if (HasOption(commandLine.c_str(), "/install")) return runInstall();
    if (HasOption(commandLine.c_str(), "/remove")) {
        RemoveProgramGroups();
        return 0;
    }
    return runInteractive(instance, commandLine.c_str());
}
