// A product folder with the stand-in Java VM for the service host's tests.
#include "product_layout.h"

#include <cstdlib>

using namespace testing_support;

std::string StandinJvmPath() {
    return BuildFile("tests\\doubles\\standin_jvm\\jvm.dll");
}

ProductLayout::ProductLayout(const std::string& tag, bool withHost) : folder_(tag) {
    for (const std::string& folder : {programFolder(), javaHome(), javaHome() + "\\bin", javaHome() + "\\bin\\server"})
        CreateDirectoryA(folder.c_str(), nullptr);
    CopyFileTo(StandinJvmPath(), jvmPath());
    if (withHost) CopyFileTo(DistFile("halvorin64.exe"), hostPath());
}

void ProductLayout::writeScript(const std::string& text) const {
    WriteFileText(javaHome() + "\\bin\\server\\standin.script", text);
}

void ProductLayout::writeServiceSpec(const std::string& folder) const {
    WriteFileText(folder + "\\halvorin.vm", javaHome());
}

std::vector<std::string> ProductLayout::journal(std::vector<unsigned long>* threads) const {
    std::vector<std::string> lines;
    std::string text = ReadFileText(journalPath());
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        size_t blank = line.find(' ');
        if (threads) threads->push_back(strtoul(line.c_str(), nullptr, 10));
        lines.push_back(blank == std::string::npos ? line : line.substr(blank + 1));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> ProductLayout::journalComplaints() const {
    std::vector<std::string> complaints;
    for (const std::string& line : journal())
        if (line.rfind("unexpected", 0) == 0 || line.rfind("misuse", 0) == 0 || line.rfind("script-error", 0) == 0 ||
            line.rfind("still-attached", 0) == 0)
            complaints.push_back(line);
    return complaints;
}

void RemoveServiceIfPresent(SC_HANDLE manager, const char* name) {
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_ALL_ACCESS);
    if (!service) return;
    SERVICE_STATUS status;
    ControlService(service, SERVICE_CONTROL_STOP, &status);
    for (int i = 0; i < 600 && QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED; i++)
        Sleep(100);
    DeleteService(service);
    CloseServiceHandle(service);
    std::string key = std::string("SYSTEM\\CurrentControlSet\\Services\\") + name;
    for (int i = 0; i < 300; i++) {
        HKEY handle;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS) return;
        RegCloseKey(handle);
        Sleep(100);
    }
}
