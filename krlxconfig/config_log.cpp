// The configurator log "krlxconfig.log" in the temporary folder (beside the executable
// when there is none): one time-stamped record per call, written under one lock by the
// dialog's thread and the disk-scan thread alike.
#include <stdarg.h>
#include <string.h>

#include "krlxconfig.h"
#include "once.h"
#include "os_error.h"
#include "process_info.h"

namespace {

once_state logOnce;
CRITICAL_SECTION logLock;
cstring* logPath;

void trimTrailingSeparators(cstring& path) {
    while (path.length() && (path.last_char() == '\\' || path.last_char() == '/'))
        path.remove_last();
}

void openLog() {
    InitializeCriticalSection(&logLock);
    logPath = new cstring;
    char temp[MAX_PATH + 1];
    DWORD n = GetTempPathA(sizeof temp, temp);
    if (n > 0 && n < sizeof temp) {
        logPath->assign(temp);
        trimTrailingSeparators(*logPath);
        logPath->append("\\krlxconfig.log");
    } else {
        // The executable's folder ends in a backslash.
        logPath->format("%skrlxconfig.log", executable_folder());
    }
}

void writeRecord(const char* text, unsigned length) {
    run_once(&logOnce, openLog);
    EnterCriticalSection(&logLock);
    HANDLE file = CreateFileA(logPath->c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        SYSTEMTIME now;
        GetLocalTime(&now);
        cstring stamp(cstring::formatted, "%02d/%02d %02d:%02d:%02d ", now.wMonth, now.wDay,
                      now.wHour, now.wMinute, now.wSecond);
        SetFilePointer(file, 0, nullptr, FILE_END);
        DWORD written;
        WriteFile(file, stamp.c_str(), stamp.length(), &written, nullptr);
        WriteFile(file, text, length, &written, nullptr);
        CloseHandle(file);
    }
    LeaveCriticalSection(&logLock);
}

void writeFormatted(const char* format, va_list args, const char* ending) {
    cstring text;
    text.vformat(format, args);
    text.append(ending);
    writeRecord(text.c_str(), text.length());
}

}  // namespace

const char* LogFilePath() {
    run_once(&logOnce, openLog);
    return logPath->c_str();
}

void LogPrint(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeFormatted(format, args, "");
    va_end(args);
}

void LogLine(const char* format, ...) {
    va_list args;
    va_start(args, format);
    writeFormatted(format, args, "\r\n");
    va_end(args);
}

void LogOsError(const char* format, ...) {
    DWORD error = GetLastError();
    cstring message;
    va_list args;
    va_start(args, format);
    message.vformat(format, args);
    va_end(args);
    cstring systemText;
    os_error_text(error, systemText);
    LogLine("%s\r\nOS Error %d: %s", message.c_str(), int(error), systemText.c_str());
}
