// What the process does to itself before anything else: registry virtualisation off,
// and its identifier recorded in the registry value ProcessID.
#include "service_host.h"

namespace {

const char kProductKey[] = "Software\\Quorvane\\Halvorin";

// The product key, opened at the first write and kept for the life of the process: the
// last write, as the service stops, is then a single call. A key deleted meanwhile is made
// again. Written by one thread at a time: WinMain, then the JVM thread at its end.
HKEY productKey;

bool writeProcessID(DWORD processId) {
    return productKey && RegSetValueExA(productKey, "ProcessID", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&processId),
                                        sizeof processId) == ERROR_SUCCESS;
}

}  // namespace

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
    if (writeProcessID(processId)) return;
    if (productKey) RegCloseKey(productKey);
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProductKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &productKey,
                        nullptr) != ERROR_SUCCESS)
        productKey = nullptr;
    writeProcessID(processId);
}
