// The Linux JVM as a process of its own: started through Wine's CreateProcess (which
// runs unix programs but ignores their standard handles, and whose process handle never
// signals), it calls back on a lifeline connection with the token and its port. The
// lifeline closing is how each side learns that the other has ended.
#include "bridge_jvm.h"

#include <bcrypt.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

int g_javaPort;
std::string g_token;

namespace {

const DWORD kStartTimeoutMs = 120000;   // a JVM start on a loaded machine takes seconds
const DWORD kEndTimeoutMs = 60000;     // JVMBRIDGE_END_TIMEOUT_MS sets another, for tests
const int kGreetingTimeoutMs = 10000;

SOCKET lifeline = INVALID_SOCKET;
// Where the start script writes java's exit status. The script may write it after this
// host has died, so its name is random: a later host with the same process id never
// reads it.
std::string statusFile;

std::string randomToken() {
    unsigned char bytes[16];
    if (BCryptGenRandom(nullptr, bytes, sizeof bytes, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
        Fatal("no random numbers for the bridge's token");
    std::string token;
    char hex[3];
    for (unsigned char b : bytes) {
        snprintf(hex, sizeof hex, "%02x", b);
        token += hex;
    }
    return token;
}

// One argument of a Windows command line, quoted so that Wine's parser (the rules of
// CommandLineToArgvW) gives it back unchanged.
std::string quoted(const std::string& argument) {
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            backslashes++;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

// The process's environment with the token added: the token never appears on a
// command line, which other users of the machine can read.
std::string environmentWithToken() {
    std::string block;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; *entry; entry += strlen(entry) + 1)
        if (_strnicmp(entry, "JVMBRIDGE_TOKEN=", 16) != 0) block.append(entry, strlen(entry) + 1);
    FreeEnvironmentStringsA(strings);
    block += "JVMBRIDGE_TOKEN=" + g_token;
    block += '\0';
    return block + '\0';
}

SOCKET listenOnLoopback(int* port) {
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    if (listener == INVALID_SOCKET || bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(listener, 4) != 0 || getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        if (listener != INVALID_SOCKET) closesocket(listener);
        return INVALID_SOCKET;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

bool launch(const std::vector<std::string>& vmArguments, int lifelinePort) {
    std::vector<std::string> command = {"/usr/bin/setsid", "/bin/sh", BRIDGE_START_SCRIPT,
                                        UnixPath(OutputPath()), UnixPath(statusFile), BRIDGE_JAVA,
                                        "-Xbootclasspath/a:" BRIDGE_SERVER_JAR};
    command.insert(command.end(), vmArguments.begin(), vmArguments.end());
    command.push_back("jvmbridge.BridgeServer");
    command.push_back(std::to_string(lifelinePort));
    std::string line;
    for (const std::string& argument : command) line += (line.empty() ? "" : " ") + quoted(argument);
    std::string environment = environmentWithToken();
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process;
    // The working folder is the host's: Wine hands the unix process its unix name.
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, &environment[0], nullptr, &startup, &process)) {
        fprintf(stderr, "jvm.dll (bridge): cannot start %s: error %lu\n", BRIDGE_JAVA, GetLastError());
        return false;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

bool receiveAll(SOCKET socket, void* data, int size) {
    char* at = static_cast<char*>(data);
    while (size > 0) {
        int got = recv(socket, at, size, 0);
        if (got <= 0) return false;
        at += got;
        size -= got;
    }
    return true;
}

// The JVM's report on the lifeline: its token and its port.
bool readGreeting(SOCKET socket) {
    DWORD timeout = kGreetingTimeoutMs;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    unsigned char length[2], port[4];
    if (!receiveAll(socket, length, 2)) return false;
    std::string token(size_t(length[0]) << 8 | length[1], '\0');
    if (!receiveAll(socket, &token[0], int(token.size())) || token != g_token) return false;
    if (!receiveAll(socket, port, 4)) return false;
    g_javaPort = port[2] << 8 | port[3];
    timeout = 0;
    setsockopt(socket, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    return true;
}

// Java's exit status from the start script, or -1 while java still runs.
int exitStatus() {
    FILE* file = fopen(statusFile.c_str(), "r");
    if (!file) return -1;
    int status = -1;
    if (fscanf(file, "%d", &status) != 1) status = -1;
    fclose(file);
    return status;
}

// Waits for the JVM's call on the lifeline; false when java ends first or never calls.
bool awaitLifeline(SOCKET listener) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < kStartTimeoutMs) {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener, &ready);
        timeval tick = {0, 100000};
        if (select(0, &ready, nullptr, nullptr, &tick) > 0) {
            SOCKET caller = accept(listener, nullptr, nullptr);
            if (caller != INVALID_SOCKET && readGreeting(caller)) {
                lifeline = caller;
                return true;
            }
            if (caller != INVALID_SOCKET) closesocket(caller);   // not our JVM
        }
        int status = exitStatus();
        if (status >= 0) {
            fprintf(stderr, "jvm.dll (bridge): java ended with status %d during its start; see %s\n", status,
                    OutputPath().c_str());
            return false;
        }
    }
    fprintf(stderr, "jvm.dll (bridge): java did not call back within %lu ms; see %s\n", kStartTimeoutMs,
            OutputPath().c_str());
    return false;
}

}  // namespace

bool StartJvm(const std::vector<std::string>& vmArguments) {
    WSADATA winsock;
    if (WSAStartup(MAKEWORD(2, 2), &winsock) != 0) return false;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    statusFile = std::string(temp) + "jvmbridge-" + randomToken() + ".status";
    DeleteFileA(statusFile.c_str());
    g_token = randomToken();
    int port = 0;
    SOCKET listener = listenOnLoopback(&port);
    if (listener == INVALID_SOCKET) return false;
    bool started = launch(vmArguments, port) && awaitLifeline(listener);
    closesocket(listener);
    if (!started) DeleteFileA(statusFile.c_str());
    return started;
}

// Closing the lifeline after the wait halts a JVM whose exit hangs (a shutdown hook that
// never returns); the start script then writes its status.
void AwaitJvmEnd() {
    const char* setting = getenv("JVMBRIDGE_END_TIMEOUT_MS");
    DWORD timeout = setting ? DWORD(strtoul(setting, nullptr, 10)) : kEndTimeoutMs;
    setsockopt(lifeline, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
    char byte;
    while (recv(lifeline, &byte, 1, 0) > 0) {}
    closesocket(lifeline);
    lifeline = INVALID_SOCKET;
    // The start script writes the status right after java ends; the file is ours to remove.
    for (DWORD start = GetTickCount(); exitStatus() < 0 && GetTickCount() - start < timeout;) Sleep(20);
    DeleteFileA(statusFile.c_str());
}
