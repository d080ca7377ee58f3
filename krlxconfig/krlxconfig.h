// The configurator and client launcher krlxconfig: what each file of the program offers,
// grouped by file. The entry (main.cpp) links krlxconfig_core; the tests link the core
// and call these functions directly.
#pragma once

#include <windows.h>

#include "cstring.h"
#include "resource.h"

// ---- Names shared by several files ----------------------------------------------------

// Title of the configurator's message boxes and name of the client.
#define KRLX_PRODUCT_NAME "Corvalis"
// Machine and user settings key, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
#define KRLX_SETTINGS_KEY "SOFTWARE\\Quorvane\\Corvalis"
// Appended to the log header, to some shortcut names and to the service product's
// Start-menu group; empty in this product.
#define KRLX_EDITION_SUFFIX ""
// True in the 64-bit build, which never relaunches itself.
const bool kBuildIs64 = sizeof(void*) == 8;

// ---- config_log.cpp: the configurator log "krlxconfig.log" -----------------------------

// Appends the formatted text exactly as formatted (callers end their lines with "\n"),
// after a time stamp "MM/DD hh:mm:ss ". One record per call, whole even when several
// threads log at once; a log that cannot be opened drops the text silently.
void LogPrint(const char* format, ...) CSTRING_PRINTF(1, 2);
// The formatted text followed by "\r\n".
void LogLine(const char* format, ...) CSTRING_PRINTF(1, 2);
// "<message>\r\nOS Error <code>: <system text>" with the caller's last error, taken on
// entry before anything else runs.
void LogOsError(const char* format, ...) CSTRING_PRINTF(1, 2);
// The log's full path, fixed on the first write of the process.
const char* LogFilePath();

// ---- entry.cpp: the start-up sequence, options and the log header ---------------------

// The instance handle of the program, set before the job is chosen; the main dialog
// loads its icons from it.
extern HINSTANCE ModuleInstance;
// True when the command line holds "/setup": the main dialog then does not warn that no
// Java executable was found.
extern bool SetupMode;

// The whole run of the program; answers its exit code. instance holds the dialog and the
// icons, imageModule the embedded 64-bit build (both the executable in the product);
// underWow64 is the answer of IsWow64Process, false for the 64-bit build.
int RunConfigurator(HINSTANCE instance, const char* commandLine, int show, bool underWow64, HMODULE imageModule);
// Options are plain case-sensitive substrings of the command line: "/installer" counts
// as "/install".
bool HasOption(const char* commandLine, const char* option);
// The block that opens each run's part of the log: version, OS, path and command line.
void WriteLogHeader(const char* commandLine);

// ---- relaunch64.cpp: the 64-bit build carried by the 32-bit one ------------------------

// Writes the resource "BINRES" 1 of module as the hidden file "krlxconfig64.exe" (in the
// module's folder, or in the temporary folder when that is not writable) and starts it
// with commandLine and the show command. Answers the process handle, or null with the
// reason in the log; target is the path written.
HANDLE RelaunchAs64(HMODULE module, const char* commandLine, int show, cstring& target);
// RelaunchAs64, then waits for the process and deletes the file. True when it ran; its
// exit code is not passed on.
bool RunAs64AndWait(HMODULE module, const char* commandLine, int show);
// Writes the image as the hidden file target and answers a handle that keeps it from being
// written, renamed or deleted until it is closed (the process must have started by then).
// INVALID_HANDLE_VALUE with the reason logged and nothing left behind on failure.
HANDLE WriteImageHeld(const char* target, const void* image, DWORD size);

// ---- access_checks.cpp: may the user write the machine registry or a folder ------------

// Whether HKEY_LOCAL_MACHINE\Software can be created or opened with full access.
bool CanWriteMachineRegistry();
// Whether the folder's security grants the current user every bit of FILE_GENERIC_WRITE.
// Failures are logged and answered with false; nothing is thrown.
bool CanWriteDirectory(const char* folder);

// ---- shell_folders.cpp: the shell's special folders ------------------------------------

// The folder of a CSIDL into buffer (261 characters), created when create is set and the
// shell can. False when the shell does not know it; last error 50 without a shell function.
bool GetShellFolder(char* buffer, int csidl, BOOL create);

// ---- launch_script.cpp: the client's start script and the client start -----------------

// The stored Java executable, else the best discovered one (then stored). False when
// none is known.
bool GetJavaExecutable(cstring& java);
// Starts the client through its shortcut; throws CVelmorException* when it cannot.
void StartClient();

// ---- install_tasks.cpp: "/install" and "/remove" ---------------------------------------

// Chooses the runtime, writes the start script and makes the shortcuts: 1 when the
// Start-menu shortcuts were made, else 0.
int InstallTasks();
// Deletes the stale uninstall entries of older clients.
bool CleanUninstallEntries();
// Deletes "Corvalis_and_Halvorin_InstallLog.log" from the user's desktop.
bool DeleteDesktopInstallLog();
// Deletes the Start-menu groups "QZV" and "QZV (Preview)" of all users.
bool RemoveProgramGroups();

// ---- main_dialog.cpp: dialog 103 -----------------------------------------------------

// Ends with 1 (start the client) or 2 (cancelled or closed).
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
