// The two permission questions the configurator asks before it writes: may the user
// write below HKEY_LOCAL_MACHINE\Software, and may the user write into a folder (asked
// of the folder's own security descriptor with AccessCheck).
#include "exception.h"
#include "krlxconfig.h"

namespace {

const DWORD kFirstDescriptorSize = 1024;

// Owner, group and DACL of the folder in a LocalAlloc block; throws on failure.
PSECURITY_DESCRIPTOR readFolderSecurity(const char* folder) {
    const SECURITY_INFORMATION wanted = OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                        DACL_SECURITY_INFORMATION;
    PSECURITY_DESCRIPTOR block = LocalAlloc(LPTR, kFirstDescriptorSize);
    if (!block) throw CVelmorException::for_last_error(2014, "Can't allocate security descriptor");
    DWORD needed = 0;
    if (GetFileSecurityA(folder, wanted, block, kFirstDescriptorSize, &needed)) return block;
    DWORD error = GetLastError();
    LocalFree(block);
    if (needed) {
        block = LocalAlloc(LPTR, needed);
        if (!block) throw CVelmorException::for_last_error(2016, "Can't allocate security descriptor");
        if (GetFileSecurityA(folder, wanted, block, needed, &needed)) return block;
        error = GetLastError();
        LocalFree(block);
    }
    throw CVelmorException::for_os_error(2018, error, "Cannot obtain directory security descriptor");
}

}  // namespace

bool CanWriteMachineRegistry() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        return false;
    RegCloseKey(key);
    return true;
}

bool CanWriteDirectory(const char* folder) {
    bool writable = false;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    bool impersonating = false;
    HANDLE token = nullptr;
    try {
        descriptor = readFolderSecurity(folder);
        BOOL present = FALSE, defaulted = FALSE;
        PACL dacl = nullptr;
        if (!GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted))
            throw CVelmorException::for_last_error(2023, "Cannot obtain ACL");
        if (!present || !dacl) {
            writable = true;   // no DACL, or a null one: everyone has every access
        } else {
            // AccessCheck needs an impersonation token: the process's own, on this thread.
            impersonating = ImpersonateSelf(SecurityImpersonation) != FALSE;
            if (!impersonating || !OpenThreadToken(GetCurrentThread(), TOKEN_READ, TRUE, &token))
                throw CVelmorException::for_last_error(2025, "Cannot open thread token");
            GENERIC_MAPPING mapping = {FILE_GENERIC_READ, FILE_GENERIC_WRITE, FILE_GENERIC_EXECUTE, FILE_ALL_ACCESS};
            DWORD desired = MAXIMUM_ALLOWED;
            MapGenericMask(&desired, &mapping);
            PRIVILEGE_SET privileges;   // 20 bytes: room for one privilege
            DWORD privilegesLength = sizeof privileges;
            DWORD granted = 0;
            BOOL accessStatus = FALSE;
            if (!AccessCheck(descriptor, token, desired, &mapping, &privileges, &privilegesLength, &granted,
                             &accessStatus))
                throw CVelmorException::for_last_error(2028, "AccessCheck failed");
            writable = (granted & FILE_GENERIC_WRITE) == FILE_GENERIC_WRITE;
        }
    } catch (CVelmorException* error) {
        LogPrint("-------------\n%s\n", error->message());
        delete error;
        writable = false;
    }
    // The thread must not stay impersonating, nor the token stay open, whatever happened.
    if (token) CloseHandle(token);
    if (impersonating) RevertToSelf();
    if (descriptor) LocalFree(descriptor);
    return writable;
}
