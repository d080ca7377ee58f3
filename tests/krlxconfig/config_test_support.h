// Helpers of the configurator tests: the configurator log and its records, read-only
// folders, and finding and answering the dialogs of a configurator process.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace config_testing {

// The line of 65 dashes that opens and closes a log header.
extern const char kLogDashes[];
// The box and log text of a client start without a Java runtime.
extern const char kStartFailureText[];

// Removes the client's stored settings (HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE), which
// the interactive path reads.
void RemoveStoredSettings();

// "krlxconfig.log" in the temporary folder, where every configurator of the tests logs.
std::string ConfigLogPath();
// The records of a stretch of the log, each without its "MM/DD hh:mm:ss " stamp; the
// stamps go to stamps when given. Text before the first stamp is an "UNSTAMPED:" record.
std::vector<std::string> ConfigLogRecords(const std::string& text, std::vector<std::string>* stamps = nullptr);

// Gives everyone read and execute rights on the folder and nothing else (writable: full
// control back). Wine keeps this as the folder's mode bits.
bool SetFolderReadOnly(const std::string& path, bool readOnly);

// The first visible dialog ("#32770") of the process whose caption is title and whose
// control 1 reads buttonText; null when none appears within timeoutMs.
HWND WaitForDialog(DWORD processId, const std::string& title, const std::string& buttonText, DWORD timeoutMs = 30000);
// The text of the static control of a message box.
std::string MessageBoxText(HWND box);
// Presses the button with this id.
void PressButton(HWND dialog, int id);

// A configurator process started from the test, not waited for.
struct StartedProcess {
    HANDLE process = nullptr;
    DWORD processId = 0;
    ~StartedProcess();
    // The exit code, or 0xDEAD after killing it when it has not ended in timeoutMs.
    DWORD Wait(DWORD timeoutMs = 30000);
};
bool StartProcess(const std::string& commandLine, StartedProcess& started);

}  // namespace config_testing
