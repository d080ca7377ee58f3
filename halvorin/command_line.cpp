// The command line of halvorin: which action an option selects and in which order the
// options are tested, the usage text, and the message box shown when installing fails.
#include <stdio.h>
#include <string.h>

#include "cstring.h"
#include "service_host.h"

int bConsoleMode = 0;
int bQuietMode = 0;

namespace {

const char kUsage[] =
    "QZV Halvorin Server for Windows\n"
    "\n"
    "This program is NT service and normally must not be invoked manually\n"
    "without command-line parameters.\n"
    "The following command-line parameters are accepted:\n"
    "    -i install itself as service\n"
    "    -x remove existing service with the same name and\n"
    "       install itself as service\n"
    "    -r stop and uninstall service\n"
    "    -c run in console mode\n"
    "    -? show this message\n";

struct OptionForm {
    const char* text;
    HalvorinAction action;
};

// Tested in this order; the first form found anywhere in the command line wins, so
// "-r -i" installs and a path holding "-c" runs console mode unless an earlier form
// matched.
const OptionForm kOptions[] = {
    {"-i", ACTION_INSTALL}, {"/i", ACTION_INSTALL}, {"-x", ACTION_UPGRADE}, {"/x", ACTION_UPGRADE},
    {"-r", ACTION_REMOVE},  {"/r", ACTION_REMOVE},  {"-c", ACTION_CONSOLE}, {"/c", ACTION_CONSOLE},
    {"-?", ACTION_HELP},    {"/?", ACTION_HELP},    {"-h", ACTION_HELP},    {"/h", ACTION_HELP},
};

void readModulePath(char (&path)[261]) {
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) strcpy(path, "<Unknown>");
}

}  // namespace

HalvorinAction ChooseAction(const char* commandLine) {
    cstring line(commandLine);
    for (const OptionForm& option : kOptions)
        if (line.contains(option.text, false)) return option.action;
    return ACTION_UNRECOGNIZED;
}

void PrintUsage() {
    printf("%s", kUsage);
}

bool RunCommandLine(const char* commandLine) {
    char modulePath[261];
    readModulePath(modulePath);
    cstring line(commandLine);
    line.remove_prefix(modulePath, false);   // some starters repeat the program's path
    LogMessage("*** Halvorin invoked from command line:\n\t\t%s %s\n", modulePath, commandLine);

    // Read before any action, so that a reinstallation keeps the administrator's choice.
    int startMode = GetServiceStartMode();
    LogMessage("current service start mode: (%d)\n", startMode);
    bQuietMode = strstr(commandLine, "-q") || strstr(commandLine, "/q") ? 1 : 0;

    switch (ChooseAction(line.c_str())) {
    case ACTION_INSTALL:
        if (fork64(commandLine)) return true;
        LogMessage("-i: reinstalling service (remove/install)\n");
        RemoveService(true);
        InstallService(startMode);
        break;
    case ACTION_UPGRADE:
        if (fork64(commandLine)) return true;
        LogMessage("-x: reinstalling service (upgrade/install)\n");
        if (ServiceExists()) {
            LogMessage("-x: service already exists; will upgrade\n");
            UpgradeService(startMode);
        } else {
            LogMessage("-x: service doesn't already exist; will re-install\n");
            RemoveServiceRetrying(true);
            InstallService(startMode);
        }
        break;
    case ACTION_REMOVE:
        if (fork64(commandLine)) return true;
        LogMessage("-r: removing service\n");
        RemoveServiceRetrying(false);
        break;
    case ACTION_CONSOLE:
        bConsoleMode = 1;
        RunInConsole();
        SetProcessID(0);
        break;
    case ACTION_HELP:
        PrintUsage();
        break;
    case ACTION_UNRECOGNIZED:
        printf("\nUnrecognized option: %s\n", commandLine);
        PrintUsage();
        break;
    }
    return false;
}

void ReportInstallFailure(const char* errorText) {
    const char* moduleName = ServiceModuleName();
    LogMessage("failed to install/re-install service: %s\n", errorText);
    if (bQuietMode) return;

    const char* format =
        "QZV Halvorin (%s) could not install itself\nas Windows service on this computer for the following "
        "reason:\n\n%s\n\nYou still will be able to use most of QZV Corvalis features except automation and "
        "monitoring.\n\nPlease re-run installation as Administrator, or re-run the batch file\n"
        "install_service.bat located in the Halvorin directory (%s), as Administrator.";
    const char* folder = GetModuleFolder();
    size_t size = strlen(format) + strlen(moduleName) + strlen(errorText) + strlen(folder) + 1;
    char* text = static_cast<char*>(GlobalAlloc(GPTR, size));
    if (!text) return;
    snprintf(text, size, format, moduleName, errorText, folder);
    // user32.dll is loaded only here: the service process never shows a window.
    HMODULE user32 = LoadLibraryA("user32.dll");
    auto messageBox = reinterpret_cast<int(WINAPI*)(HWND, const char*, const char*, UINT)>(
        user32 ? GetProcAddress(user32, "MessageBoxA") : nullptr);
    if (messageBox) messageBox(nullptr, text, kDisplayName, MB_ICONERROR);
    GlobalFree(text);
}
