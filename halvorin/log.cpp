// The diagnostic log "halvorin.log" in the user's ".qzv" folder, the folder functions
// that place it, and the reporters that send OS errors and fatal conditions to the
// Application event log as well.
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <userenv.h>

#include "run_once.h"
#include "service_host.h"

namespace {

const DWORD kEventMessageId = 0x40000001;   // "%1\r\n" in the message table

char* logPath;
// Held for one record's open, append and close; no other lock is taken under it, and it
// may be taken under the status lock.
CRITICAL_SECTION logLock;
volatile LONG logOnce;

char* profileFolder;
volatile LONG profileOnce;
char* userDataFolder;
volatile LONG userDataOnce;
char* moduleFolder;
volatile LONG moduleOnce;
char* tempFolder;
volatile LONG tempOnce;

char* heapCopy(const char* text) {
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(GlobalAlloc(GPTR, n));
    if (copy) memcpy(copy, text, n);
    return copy;
}

bool isDirectory(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// "%s" of a printf-style text, in a heap buffer of exactly the size it needs.
char* formatAlloc(const char* format, va_list args) {
    va_list measure;
    va_copy(measure, args);
    int n = vsnprintf(nullptr, 0, format, measure);
    va_end(measure);
    if (n < 0) return nullptr;
    char* text = static_cast<char*>(GlobalAlloc(GPTR, size_t(n) + 1));
    if (text) vsnprintf(text, size_t(n) + 1, format, args);
    return text;
}

}  // namespace

void LogMessage(const char* format, ...) {
    DWORD savedError = GetLastError();   // callers often log between a failure and its text
    runOnce(logOnce, [] {
        const char* folder = GetUserDataFolder();
        size_t size = strlen(folder) + 24;
        logPath = static_cast<char*>(GlobalAlloc(GPTR, size));
        if (logPath) snprintf(logPath, size, "%s\\halvorin.log", folder);
        InitializeCriticalSection(&logLock);
    });
    if (!logPath) return;

    EnterCriticalSection(&logLock);
    // Opened and closed per record: every record is on disk at once and the file is
    // never held open between records.
    FILE* file = fopen(logPath, "ab+");
    if (file) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        fprintf(file, "[%02d:%02d:%02d] ", now.wHour, now.wMinute, now.wSecond);
        va_list args;
        va_start(args, format);
        vfprintf(file, format, args);
        va_end(args);
        fclose(file);
    }
    LeaveCriticalSection(&logLock);
    SetLastError(savedError);
}

const char* GetUserProfileFolder() {
    runOnce(profileOnce, [] {
        char folder[260] = "";
        DWORD size = sizeof folder;
        BOOL found = FALSE;
        HANDLE token;
        if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
            found = GetUserProfileDirectoryA(token, folder, &size);
            CloseHandle(token);
        }
        profileFolder = heapCopy(found && folder[0] ? folder : ".");
    });
    return profileFolder ? profileFolder : ".";
}

const char* GetUserDataFolder() {
    runOnce(userDataOnce, [] {
        char folder[MAX_PATH + 16];
        snprintf(folder, sizeof folder, "%s\\.qzv", GetUserProfileFolder());
        if (!isDirectory(folder)) CreateDirectoryA(folder, nullptr);
        if (!isDirectory(folder)) {
            // No ".qzv" in the profile: log beside the executable.
            snprintf(folder, sizeof folder, "%s", GetModuleFolder());
            size_t n = strlen(folder);
            while (n > 1 && (folder[n - 1] == '\\' || folder[n - 1] == '/')) folder[--n] = 0;
        }
        userDataFolder = heapCopy(folder);
    });
    return userDataFolder ? userDataFolder : ".";
}

const char* GetModuleFolder() {
    runOnce(moduleOnce, [] {
        char path[512] = "";
        DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
        if (n >= sizeof path) n = 0;
        path[n] = 0;
        char* slash = strrchr(path, '\\');
        if (slash)
            slash[1] = 0;
        else
            path[0] = 0;
        moduleFolder = heapCopy(path);
    });
    return moduleFolder ? moduleFolder : "";
}

const char* GetTempFolder() {
    runOnce(tempOnce, [] {
        char path[261] = "";
        DWORD n = GetTempPathA(sizeof path, path);
        if (n == 0 || n >= sizeof path)
            strcpy(path, "C:");
        else if (path[n - 1] == '\\')
            path[n - 1] = 0;
        tempFolder = heapCopy(path);
    });
    return tempFolder ? tempFolder : "C:";
}

char* LastErrorText(char* buffer, DWORD size) {
    DWORD error = GetLastError();
    char* text = nullptr;
    // Inserts are ignored: system texts such as that of error 193 hold "%1", and there
    // are no arguments to fill it with.
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                 FORMAT_MESSAGE_ARGUMENT_ARRAY | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, error, 0, reinterpret_cast<LPSTR>(&text), 0, nullptr);
    if (size) buffer[0] = 0;
    if (n && text && size >= strlen(text) + 14) {
        size_t length = strlen(text);
        if (length >= 2) text[length - 2] = 0;   // the trailing CR LF
        snprintf(buffer, size, "%s (0x%lx)", text, error);
    }
    if (text) LocalFree(text);
    SetLastError(error);
    return buffer;
}

int ReportOSError(const char* format, ...) {
    DWORD error = GetLastError();
    va_list args;
    va_start(args, format);
    char* message = formatAlloc(format, args);
    va_end(args);
    if (!message) return 0;

    char text[512] = "";
    SetLastError(error);
    LastErrorText(text, sizeof text);
    int reported = 0;
    if (!text[0]) {
        LogMessage("OS error (unknown reason): %s\n", message);
    } else {
        char* full = static_cast<char*>(GlobalAlloc(GPTR, strlen(message) + strlen(text) + 32));
        if (full) {
            sprintf(full, "%s: OS Error %d: %s", message, int(error), text);
            LogMessage("%s\n", full);
            ReportToEventLog(full);
            GlobalFree(full);
            reported = 1;
        }
    }
    GlobalFree(message);
    SetLastError(error);
    return reported;
}

void ReportToEventLog(const char* message) {
    LogMessage("EVENTLOG:> %s\n", message);
    HANDLE source = RegisterEventSourceA(nullptr, kServiceName);
    if (!source) return;
    char text[4096];
    snprintf(text, sizeof text, "%s: %s", kServiceName, message);
    const char* strings[1] = {text};
    ReportEventA(source, EVENTLOG_INFORMATION_TYPE, 0, kEventMessageId, nullptr, 1, 0, strings, nullptr);
    DeregisterEventSource(source);
}

void ReportToEventLogFormatted(const char* format, ...) {
    va_list args;
    va_start(args, format);
    char* message = formatAlloc(format, args);
    va_end(args);
    if (!message) return;
    ReportToEventLog(message);
    GlobalFree(message);
}
