// Registration, upgrade and removal of the service "Halvorin", and its event source.
// The registered executable follows the bitness of the Java VM that discovery finds:
// halvorin64.exe for a 64-bit jvm.dll, halvorin.exe otherwise.
#include <string.h>

#include "cstring.h"
#include "jvm_host.h"
#include "service_host.h"

namespace {

const char kServicesKeyFormat[] = "SYSTEM\\CurrentControlSet\\Services\\%s";
const char kEventSourceKeyFormat[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\%s";
const char kNoManagerAccess[] = "Halvorin wasn't able to open Service Manager with write access";
const char kDescription[] =
    "Provides performance monitoring, alerting, manual task automation and autonomic event response services "
    "for IBM Informix DBMS servers and their host operating system. Information published by this service is "
    "consumed by the Corvalis clients. If this service is disabled, any services that explicitly depend on it "
    "will fail to start.";
const char kNoDependencies[2] = {0, 0};   // an empty double-zero-terminated list

// Service and event-source names of one build of the executable.
struct ModuleVariant {
    cstring modulePath;   // folder + module name, unquoted
    bool is64;
    cstring displayName;   // the 64-bit build's carries " (64-bit)"
    const char* messageFile() const { return is64 ? "krlxmsg64.dll" : "krlxmsg.dll"; }
};

ModuleVariant chooseVariant() {
    ModuleVariant variant;
    variant.modulePath.format("%s%s", GetModuleFolder(), ServiceModuleName());
    variant.is64 = is64BitImage(variant.modulePath.c_str());
    variant.displayName.format("%s%s", kDisplayName, variant.is64 ? " (64-bit)" : "");
    return variant;
}

DWORD startTypeFor(int startMode) {
    return startMode >= 2 && startMode <= 10 ? DWORD(startMode) : SERVICE_DEMAND_START;
}

cstring serviceKeyName() {
    cstring key;
    key.format(kServicesKeyFormat, kServiceName);
    return key;
}

cstring eventSourceKeyName() {
    cstring key;
    key.format(kEventSourceKeyFormat, kServiceName);
    return key;
}

cstring lastErrorText() {
    char text[512];
    return cstring(LastErrorText(text, sizeof text));
}

bool setString(HKEY key, const char* name, DWORD type, const char* text) {
    return RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(text), DWORD(strlen(text) + 1)) ==
           ERROR_SUCCESS;
}

bool setNumber(HKEY key, const char* name, DWORD value) {
    return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value) ==
           ERROR_SUCCESS;
}

HKEY createKey(const char* name) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, name, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return nullptr;
    return key;
}

// Each value of the event source opens (or makes) the key again, so one failed step
// does not keep the others from being tried.
bool writeEventSourceValue(const char* name, DWORD type, const void* data, DWORD size) {
    HKEY key = createKey(eventSourceKeyName().c_str());
    if (!key) return false;
    bool written = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return written;
}

void registerEventSource(const ModuleVariant& variant) {
    HKEY key = createKey(eventSourceKeyName().c_str());
    if (key)
        RegCloseKey(key);
    else
        LogMessage("The EventLog subkey could not be created.\n");
    cstring messageFile;
    messageFile.format("%s%s", GetModuleFolder(), variant.messageFile());
    if (!writeEventSourceValue("EventMessageFile", REG_SZ, messageFile.c_str(), messageFile.length() + 1))
        LogMessage("The EventMessageFile value could not be assigned.\n");
    DWORD types = EVENTLOG_INFORMATION_TYPE;
    if (!writeEventSourceValue("TypesSupported", REG_DWORD, &types, sizeof types))
        LogMessage("The TypesSupported value could not be assigned.\n");
}

// Sends STOP and waits up to about 31 seconds for the service to leave STOP_PENDING.
void stopService(bool logOpenFailure) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        LogMessage("OpenSCManager failed - %s\n", lastErrorText().c_str());
        return;
    }
    SC_HANDLE service = OpenServiceA(manager, kServiceName, SERVICE_ALL_ACCESS);
    if (!service) {
        if (logOpenFailure) LogMessage("OpenService failed - %s\n", lastErrorText().c_str());
        CloseServiceHandle(manager);
        return;
    }
    // A service that is not running refuses the control; nothing is logged then.
    if (ControlService(service, SERVICE_CONTROL_STOP, &ssStatus)) {
        LogMessage("Stopping %s.", kDisplayName);
        Sleep(1000);
        for (int i = 0; i < 30 && QueryServiceStatus(service, &ssStatus); i++) {
            if (ssStatus.dwCurrentState != SERVICE_STOP_PENDING) break;
            LogMessage(".");
            Sleep(1000);
        }
        if (ssStatus.dwCurrentState == SERVICE_STOPPED)
            LogMessage("\n%s stopped.\n", kDisplayName);
        else
            LogMessage("\n%s failed to stop.\n", kDisplayName);
    }
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
}

}  // namespace

const char* ServiceModuleName() {
    cstring vmPath, specFile;
    if (discoverJVM(vmPath, specFile) && is64BitImage(vmPath.c_str())) return "halvorin64.exe";
    return "halvorin.exe";
}

bool InstallService(int startMode) {
    ModuleVariant variant = chooseVariant();
    cstring imagePath;
    // Quoted, so that a folder with blanks never lets Windows start a shorter prefix.
    imagePath.format("\"%s\"", variant.modulePath.c_str());
    LogMessage("Halvorin module file for the chosen VM is '%s'\n", imagePath.c_str());

    cstring errorText;
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) {
        cstring reason = lastErrorText();
        LogMessage("%s\n", kNoManagerAccess);
        LogMessage("OpenSCManager failed - %s\n", reason.c_str());
        errorText = kNoManagerAccess;
    } else {
        SC_HANDLE service = CreateServiceA(manager, kServiceName, variant.displayName.c_str(), SERVICE_ALL_ACCESS,
                                           SERVICE_WIN32_OWN_PROCESS, startTypeFor(startMode), SERVICE_ERROR_NORMAL,
                                           imagePath.c_str(), nullptr, nullptr, kNoDependencies, nullptr, nullptr);
        if (!service) {
            errorText = lastErrorText();
            LogMessage("CreateService() failed: %s\n", errorText.c_str());
        } else {
            LogMessage("%s installed.\n", kDisplayName);
            CloseServiceHandle(service);
            HKEY key = createKey(serviceKeyName().c_str());
            if (key) {
                setString(key, "Description", REG_SZ, kDescription);
                RegCloseKey(key);
            }
            registerEventSource(variant);
        }
        CloseServiceHandle(manager);
        if (service) return true;
    }
    ReportInstallFailure(errorText.c_str());
    return false;
}

bool UpgradeService(int startMode) {
    LogMessage("upgrading service '%s'...\n", kServiceName);
    StopServiceAndWait();
    ModuleVariant variant = chooseVariant();
    LogMessage("Halvorin module file for the chosen VM is '%s'\n", variant.modulePath.c_str());

    cstring keyName = serviceKeyName();
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_ALL_ACCESS, &key);
    bool upgraded = status == ERROR_SUCCESS;
    if (!upgraded) {
        SetLastError(DWORD(status));
        cstring message;
        message.format("Error updating registry key %s: %s", keyName.c_str(), lastErrorText().c_str());
        ReportInstallFailure(message.c_str());
    } else {
        // Single failed writes are ignored: the registration stays as complete as it can.
        cstring imagePath;
        imagePath.format("\"%s\"", variant.modulePath.c_str());
        setString(key, "ImagePath", REG_EXPAND_SZ, imagePath.c_str());
        setNumber(key, "Type", SERVICE_WIN32_OWN_PROCESS);
        setNumber(key, "ErrorControl", SERVICE_ERROR_NORMAL);
        setNumber(key, "Start", startTypeFor(startMode));
        setString(key, "DisplayName", REG_SZ, variant.displayName.c_str());
        setString(key, "Description", REG_SZ, kDescription);
        RegCloseKey(key);
    }
    LogMessage("service upgrade %s\n", upgraded ? "succeeded" : "failed");
    return upgraded;
}

void StopServiceAndWait() {
    stopService(true);
}

void RemoveService(bool quiet) {
    stopService(!quiet);
    if (DeleteServiceEntry(kServiceName)) {
        LogMessage("%s remove request submitted.\n", kDisplayName);
        DeleteRegistryTree(HKEY_LOCAL_MACHINE, eventSourceKeyName().c_str());
    } else {
        LogMessage("DeleteService failed - %s\n", lastErrorText().c_str());
    }
}

// Deleting only marks a running service; the Service Control Manager drops the
// registration once it has stopped and every handle is closed. Hence the retries.
void RemoveServiceRetrying(bool quiet) {
    for (int attempt = 0; attempt < 5; attempt++) {
        RemoveService(quiet);
        if (!ServiceExists()) return;
        LogMessage("%s still exists, retrying (%d attempts left)...\n", kDisplayName, 5 - attempt);
        Sleep(1000);
    }
}

bool ServiceExists() {
    cstring keyName = serviceKeyName();
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName.c_str(), 0, KEY_ALL_ACCESS, &key);
    if (status != ERROR_SUCCESS) {
        LogMessage("could not open key HKLM:%s: Error %d\n", keyName.c_str(), int(status));
    } else {
        RegCloseKey(key);
    }
    LogMessage("ServiceExists: the answer is %s\n", status == ERROR_SUCCESS ? "YES" : "NO");
    return status == ERROR_SUCCESS;
}

int GetServiceStartMode() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, serviceKeyName().c_str(), 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return -1;
    DWORD value = 0, type = 0, size = sizeof value;
    LONG status = RegQueryValueExA(key, "Start", nullptr, &type, reinterpret_cast<BYTE*>(&value), &size);
    RegCloseKey(key);
    // Only a whole DWORD counts; a value of another type or size reads as missing.
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof value) return -1;
    return int(value);
}

BOOL DeleteServiceEntry(const char* name) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager) return FALSE;
    BOOL deleted = FALSE;
    DWORD error;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (service) {
        deleted = DeleteService(service);
        error = GetLastError();
        CloseServiceHandle(service);
    } else {
        error = GetLastError();
    }
    CloseServiceHandle(manager);
    SetLastError(error);   // for the caller's "DeleteService failed" text
    return deleted;
}

// Reads every subkey name before deleting any, so that deleting does not disturb the
// enumeration.
bool DeleteRegistryTree(HKEY root, const char* keyName) {
    HKEY key;
    if (RegOpenKeyExA(root, keyName, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) return false;
    DWORD subkeys = 0, longest = 0;
    RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longest, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    DWORD stride = longest + 1;
    char* names = subkeys ? static_cast<char*>(GlobalAlloc(GPTR, size_t(subkeys) * stride)) : nullptr;
    if (names) {
        for (DWORD i = 0; i < subkeys; i++) {
            DWORD length = stride;
            RegEnumKeyExA(key, i, names + i * stride, &length, nullptr, nullptr, nullptr, nullptr);
        }
        for (DWORD i = 0; i < subkeys; i++)
            if (names[i * stride]) DeleteRegistryTree(key, names + i * stride);
        GlobalFree(names);
    }
    RegCloseKey(key);
    return RegDeleteKeyA(root, keyName) == ERROR_SUCCESS;
}
