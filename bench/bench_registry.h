// Registry values for the discovery benchmarks: a text value under HKEY_LOCAL_MACHINE,
// its key created as needed.
#pragma once

#include <string.h>
#include <windows.h>

inline void SetMachineText(const char* subkey, const char* name, const char* value) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value), DWORD(strlen(value) + 1));
    RegCloseKey(key);
}
