// Helpers of the bridge tests (see bridge_test_support.h).
#include <winsock2.h>

#include "bridge_test_support.h"

#include <cstdlib>

#include "product_layout.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kServeLine[] = "jvmbridge: JVM ";

// The text after the last serve line's "JVM ", or empty.
std::string lastServeLine(const std::string& output) {
    size_t at = output.rfind(kServeLine);
    if (at == std::string::npos) return std::string();
    size_t start = at + sizeof kServeLine - 1;
    return output.substr(start, output.find('\n', start) - start);
}

}  // namespace

std::string BridgeJvmPath() { return BuildFile("tests\\doubles\\bridge_jvm\\jvm.dll"); }

std::string UnixOfBuildPath(const std::string& relative) {
    std::string path = BuildDir().substr(2) + "\\" + relative;   // without "Z:"
    for (char& c : path)
        if (c == '\\') c = '/';
    return path;
}

void InstallBridgeJvm(const ProductLayout& layout) {
    CopyFileTo(BridgeJvmPath(), layout.jvmPath());
    std::string lib = layout.programFolder() + "\\lib";
    CreateDirectoryA(lib.c_str(), nullptr);
    for (const char* jar : {"halvorin.jar", "scm.jar"})
        CopyFileTo(BuildFile(std::string("tests\\doubles\\java_server\\lib\\") + jar), lib + "\\" + jar);
}

std::string JavaLogPath(const ProductLayout& layout) { return layout.javaHome() + "\\bin\\server\\java.log"; }

long JvmProcessId(const std::string& output) { return atol(lastServeLine(output).c_str()); }

int JvmPort(const std::string& output) {
    std::string line = lastServeLine(output);
    size_t colon = line.rfind(':');
    return colon == std::string::npos ? 0 : atoi(line.c_str() + colon + 1);
}

bool UnixProcessExists(long pid) {
    std::string path = "Z:\\proc\\" + std::to_string(pid);
    return pid > 0 && GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool WaitForUnixProcessEnd(long pid, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); UnixProcessExists(pid); Sleep(50))
        if (GetTickCount() - start > timeoutMs) return false;
    return true;
}

bool WaitForText(const std::string& path, const std::string& text, DWORD timeoutMs) {
    for (DWORD start = GetTickCount(); ReadFileText(path).find(text) == std::string::npos; Sleep(50))
        if (GetTickCount() - start > timeoutMs) return false;
    return true;
}

SOCKET ConnectToJvm(int port) {
    WSADATA winsock;
    WSAStartup(MAKEWORD(2, 2), &winsock);
    SOCKET socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(u_short(port));
    if (socket != INVALID_SOCKET && connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        closesocket(socket);
        socket = INVALID_SOCKET;
    }
    return socket;
}

bool ConnectionIsRefused(int port, const std::string& token) {
    SOCKET socket = ConnectToJvm(port);
    if (socket == INVALID_SOCKET) return false;
    // The greeting as the bridge sends it: token and thread name, each with a 16-bit length.
    std::string greeting;
    for (const std::string& text : {token, std::string("intruder")}) {
        greeting += char(text.size() >> 8);
        greeting += char(text.size());
        greeting += text;
    }
    DWORD timeout = 20000;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    char reply;
    bool refused = send(socket, greeting.data(), int(greeting.size()), 0) == int(greeting.size()) &&
                   recv(socket, &reply, 1, 0) == 0;
    closesocket(socket);
    return refused;
}

TestService::TestService(const std::string& image) {
    manager_ = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!manager_) return;
    RemoveServiceIfPresent(manager_, "Halvorin");   // left behind by an interrupted run
    std::string quoted = "\"" + image + "\"";
    service_ = CreateServiceA(manager_, "Halvorin", "QZV Halvorin Server", SERVICE_ALL_ACCESS,
                              SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, quoted.c_str(),
                              nullptr, nullptr, nullptr, nullptr, nullptr);
}

TestService::~TestService() {
    if (service_) {
        if (waitFor(SERVICE_STOPPED, 0) != SERVICE_STOPPED && stop()) waitFor(SERVICE_STOPPED, 60000);
        DeleteService(service_);
        CloseServiceHandle(service_);
    }
    if (manager_) CloseServiceHandle(manager_);
}

bool TestService::start(const std::vector<std::string>& args) {
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    // Wine's driver hosts may hold the start lock for a while after the session began.
    for (int attempt = 0; attempt < 10; attempt++) {
        if (StartServiceA(service_, DWORD(argv.size()), argv.empty() ? nullptr : argv.data())) return true;
        if (GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) break;
        Sleep(500);
    }
    return false;
}

bool TestService::stop() {
    SERVICE_STATUS status;
    return ControlService(service_, SERVICE_CONTROL_STOP, &status) != FALSE;
}

DWORD TestService::waitFor(DWORD state, DWORD timeoutMs) {
    SERVICE_STATUS status = {};
    for (DWORD start = GetTickCount(); QueryServiceStatus(service_, &status); Sleep(50))
        if (status.dwCurrentState == state || GetTickCount() - start >= timeoutMs) break;
    return status.dwCurrentState;
}
