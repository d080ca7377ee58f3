// xstop: asks the running Halvorin server to stop through its named event, gives it
// half a second, then ends the process whose identifier the server keeps in the
// registry. Takes no arguments, prints nothing, and always ends with exit code 0.
#include <windows.h>

namespace {

// Termination is all the tool does with the process, so it asks for that right alone:
// every Windows version knows it, and grants it wherever it grants a fuller mask.
// PROCESS_ALL_ACCESS as compiled for Windows Vista and later (0x1FFFFF) is refused by
// Windows XP and Server 2003, where the server would then never be ended.
const DWORD kServerProcessAccess = PROCESS_TERMINATE;

// True when the server's stop event exists and has been signalled.
bool SignalStopEvent() {
    HANDLE event = OpenEventA(EVENT_MODIFY_STATE, FALSE, "Halvorin.XSTOP");
    if (!event) return false;
    SetEvent(event);
    CloseHandle(event);
    return true;
}

// The identifier the server recorded, or 0 for none. Only a four-byte REG_DWORD
// counts: a string or a shorter value read into the same four bytes would name some
// unrelated process, and after ERROR_MORE_DATA the buffer holds nothing defined.
DWORD ReadServerProcessId() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Quorvane\\Halvorin6", 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = REG_DWORD, value = 0, size = sizeof value;
    LONG status = RegQueryValueExA(key, "ProcessID", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return 0;
    return value;
}

void EndServerProcess(DWORD processId) {
    // A stale identifier may have been handed on to this very run; ending ourselves
    // would replace the exit code 0 by 0xFFFFFFFF.
    if (processId == 0 || processId == GetCurrentProcessId()) return;
    HANDLE process = OpenProcess(kServerProcessAccess, FALSE, processId);
    if (!process) return;
    TerminateProcess(process, 0xFFFFFFFF);
    CloseHandle(process);
}

}  // namespace

int main() {
    if (SignalStopEvent()) Sleep(500);
    EndServerProcess(ReadServerProcessId());
    return 0;
}
