// What the process does to itself before anything else: registry virtualisation off,
// and its identifier recorded in the registry value ProcessID.
#include "service_host.h"

namespace {
const char kProductKey[] = "Software\\Quorvane\\Halvorin";
}

// With virtualisation off, registry and file writes of a non-elevated user fail
// instead of landing silently in the user's VirtualStore.
void DisableVirtualization() {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), MAXIMUM_ALLOWED, &token)) return;
    DWORD enabled = 0;
    SetTokenInformation(token, TokenVirtualizationEnabled, &enabled, sizeof enabled);
    CloseHandle(token);
}

// The running process's identifier, or 0 when no halvorin runs; failures are ignored.
void SetProcessID(DWORD processId) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return;
    RegSetValueExA(key, "ProcessID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&processId), sizeof processId);
    RegCloseKey(key);
}
