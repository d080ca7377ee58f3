// Helpers of the configurator tests (see config_test_support.h).
#include "config_test_support.h"

#include <aclapi.h>

#include <cctype>
#include <cstdio>
#include <cstring>

#include "test_support.h"

namespace config_testing {

const char kLogDashes[] = "-----------------------------------------------------------------";
const char kStartFailureText[] =
    "Corvalis could not be started:\n\nError 1902: JRE location cannot be determined\n\n\n"
    "If the problem persists, please re-install the product.";

namespace {

bool isStamp(const std::string& text, size_t at) {
    static const char kForm[] = "99/99 99:99:99 ";   // 9 stands for a digit
    if (at + sizeof kForm - 1 > text.size()) return false;
    for (size_t i = 0; i < sizeof kForm - 1; i++) {
        char c = text[at + i];
        if (kForm[i] == '9' ? !isdigit(static_cast<unsigned char>(c)) : c != kForm[i]) return false;
    }
    return true;
}

const size_t kStampLength = 15;

struct FindDialog {
    DWORD processId;
    const std::string* title;
    const std::string* buttonText;
    HWND found;
};

BOOL CALLBACK matchDialog(HWND window, LPARAM param) {
    auto* wanted = reinterpret_cast<FindDialog*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    char className[64] = "", caption[256] = "", button[256] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (owner != wanted->processId || strcmp(className, "#32770") != 0 || *wanted->title != caption ||
        !IsWindowVisible(window))
        return TRUE;
    GetDlgItemTextA(window, 1, button, sizeof button);
    if (*wanted->buttonText != button) return TRUE;
    wanted->found = window;
    return FALSE;
}

}  // namespace

void RemoveStoredSettings() {
    testing_support::DeleteRegTree(HKEY_CURRENT_USER, "SOFTWARE\\Quorvane\\Corvalis");
    testing_support::DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Corvalis");
}

std::string ConfigLogPath() {
    char temp[MAX_PATH + 1] = "";
    GetTempPathA(sizeof temp, temp);
    std::string path = temp;
    while (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    return path + "\\krlxconfig.log";
}

std::vector<std::string> ConfigLogRecords(const std::string& text, std::vector<std::string>* stamps) {
    std::vector<std::string> records;
    size_t pos = 0;
    while (pos < text.size() && isStamp(text, pos)) {
        if (stamps) stamps->push_back(text.substr(pos, kStampLength));
        size_t next = pos + kStampLength;
        while (next < text.size() && !isStamp(text, next)) next++;
        records.push_back(text.substr(pos + kStampLength, next - pos - kStampLength));
        pos = next;
    }
    if (pos < text.size()) records.push_back("UNSTAMPED:" + text.substr(pos));
    return records;
}

bool SetFolderReadOnly(const std::string& path, bool readOnly) {
    EXPLICIT_ACCESS_A access = {};
    access.grfAccessPermissions = readOnly ? FILE_GENERIC_READ | FILE_GENERIC_EXECUTE : GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = NO_INHERITANCE;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = const_cast<char*>("EVERYONE");
    PACL dacl = nullptr;
    if (SetEntriesInAclA(1, &access, nullptr, &dacl) != ERROR_SUCCESS) return false;
    SECURITY_DESCRIPTOR descriptor;
    bool done = InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
                SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE) &&
                SetFileSecurityA(path.c_str(), DACL_SECURITY_INFORMATION, &descriptor);
    LocalFree(dacl);
    return done;
}

HWND WaitForDialog(DWORD processId, const std::string& title, const std::string& buttonText, DWORD timeoutMs) {
    FindDialog wanted = {processId, &title, &buttonText, nullptr};
    DWORD start = GetTickCount();
    while (GetTickCount() - start < timeoutMs) {
        EnumWindows(matchDialog, reinterpret_cast<LPARAM>(&wanted));
        if (wanted.found) return wanted.found;
        Sleep(50);
    }
    return nullptr;
}

std::string MessageBoxText(HWND box) {
    char text[4096] = "";
    GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
    return text;
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

StartedProcess::~StartedProcess() {
    if (process) {
        Wait(1000);
        CloseHandle(process);
    }
}

DWORD StartedProcess::Wait(DWORD timeoutMs) {
    if (WaitForSingleObject(process, timeoutMs) == WAIT_TIMEOUT) {
        TerminateProcess(process, 0xDEAD);
        WaitForSingleObject(process, 5000);
    }
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return code;
}

bool StartProcess(const std::string& commandLine, StartedProcess& started) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
        return false;
    CloseHandle(child.hThread);
    started.process = child.hProcess;
    started.processId = child.dwProcessId;
    return true;
}

}  // namespace config_testing
