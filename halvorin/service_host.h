// The service host: entry and options, process set-up, the 64-bit hand-over, the
// diagnostic log, service installation and the service runtime. Grouped by the file
// that defines each item.
#pragma once

#include <windows.h>

class cstring;

// The service's name (also its event source's) and its display name.
inline constexpr char kServiceName[] = "Halvorin";
inline constexpr char kDisplayName[] = "QZV Halvorin Server";

// --- command_line.cpp: options, usage, install-failure box
extern int bConsoleMode;   // 1 while "-c" runs: status reports are skipped
extern int bQuietMode;     // 1 when "-q" or "/q" was given: no message boxes

enum HalvorinAction {
    ACTION_INSTALL,
    ACTION_UPGRADE,
    ACTION_REMOVE,
    ACTION_CONSOLE,
    ACTION_HELP,
    ACTION_UNRECOGNIZED,
};

HalvorinAction ChooseAction(const char* commandLine);
// Runs the action of a non-empty command line; true when the 64-bit twin did it.
bool RunCommandLine(const char* commandLine);
void PrintUsage();
void ReportInstallFailure(const char* errorText);

// --- process_setup.cpp: what the process does to itself before anything else
void DisableVirtualization();
void SetProcessID(DWORD processId);

// --- fork64.cpp: hand-over to halvorin64.exe on 64-bit Windows
bool IsWow64();
int fork64(const char* commandLine);
int forkTwin(const char* twinPath, const char* commandLine);

// --- file_utils.cpp
bool IsExistingFile(const char* path);
// The whole file as bytes (NUL bytes included); false when it cannot be opened or read.
bool readFileContent(const char* path, cstring& content);
// Removes trailing separators, then the last path component and the separator before it.
void cutLastPathComponent(cstring& path);

// --- log.cpp: the diagnostic log "halvorin.log" and the error reporters
void LogMessage(const char* format, ...);
const char* GetUserProfileFolder();
const char* GetUserDataFolder();
const char* GetModuleFolder();
const char* GetTempFolder();
char* LastErrorText(char* buffer, DWORD size);
int ReportOSError(const char* format, ...);   // printf-style message
void ReportToEventLog(const char* message);
void ReportToEventLogFormatted(const char* format, ...);   // any length, built on the heap

// --- service_install.cpp: registration, upgrade and removal of the service
const char* ServiceModuleName();
bool InstallService(int startMode);
bool UpgradeService(int startMode);
void StopServiceAndWait();
void RemoveService(bool quiet);
void RemoveServiceRetrying(bool quiet);
bool ServiceExists();
int GetServiceStartMode();   // the installed "Start" value, or -1
BOOL DeleteServiceEntry(const char* name);
bool DeleteRegistryTree(HKEY root, const char* keyName);

// --- service_runtime.cpp: the running service and console mode
extern SERVICE_STATUS ssStatus;   // last status reported; also the record of ControlService calls
extern SERVICE_STATUS_HANDLE sshStatusHandle;

const char* StatusName(DWORD state);
int ReportServiceStatus(DWORD state, DWORD exitCode, DWORD waitHint);
void WINAPI serviceMain(DWORD argc, LPSTR* argv);
void WINAPI controlHandler(DWORD code);
void ServiceStart(DWORD argc, char** argv);
void ServiceStop();
// True once a stop was requested in this run: the stop-request event stays signalled.
bool StopRequested();
void RunInConsole();
bool GetModuleVersion(int* major, int* minor, int* build, int* revision);
