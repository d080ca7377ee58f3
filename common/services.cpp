// Service helpers of the utility library: the service's registry record, its existence
// and its deletion.
#include "services.h"

#include <windows.h>

#include <string.h>

#include "registry.h"

namespace {

const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services";

bool set_text(HKEY key, const char* name, DWORD type, const char* text) {
    if (!text) text = "";
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1)) ==
           ERROR_SUCCESS;
}

}  // namespace

bool write_service_record(const char* name, const char* imagePath, const char* displayName, const char* description,
                          bool automatic) {
    HKEY key = create_or_open_key(HKEY_LOCAL_MACHINE, "%s\\%s", kServicesKey, name ? name : "");
    if (!key) return false;
    set_text(key, "ImagePath", REG_EXPAND_SZ, imagePath);
    write_registry_number(key, "Type", SERVICE_WIN32_OWN_PROCESS);
    write_registry_number(key, "ErrorControl", SERVICE_ERROR_NORMAL);
    write_registry_number(key, "Start", automatic ? SERVICE_AUTO_START : SERVICE_DEMAND_START);
    set_text(key, "DisplayName", REG_SZ, displayName);
    set_text(key, "Description", REG_SZ, description);
    RegCloseKey(key);
    return true;
}

bool service_exists(const char* name) {
    if (!name || !*name) return false;
    cstring path(cstring::formatted, "%s\\%s", kServicesKey, name);
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

bool delete_service(const char* name) {
    if (!name || !*name) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    bool deleted = false;
    DWORD error = 0;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        error = GetLastError();
    } else {
        SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
        if (!service) {
            error = GetLastError();
        } else {
            deleted = DeleteService(service) != FALSE;
            error = deleted ? 0 : GetLastError();
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    HKEY services;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kServicesKey, 0, KEY_ALL_ACCESS, &services) == ERROR_SUCCESS) {
        delete_registry_tree(services, name);
        RegCloseKey(services);
    }
    SetLastError(error);
    return deleted;
}
