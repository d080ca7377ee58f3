// The journal of the stand-in VM: one line per call, appended to the file named by
// STANDIN_JVM_JOURNAL or else to "standin.journal" beside jvm.dll. Each line is written
// with one WriteFile of an append-only handle, shared, so tests read it while the VM runs.
//
// Line format: "<thread id> <event> [<arguments>] [-> <outcome>]", the thread id in
// decimal. Outcomes are "ok", "null", "throw <class>" or a number. Texts are written as they
// are, with CR, LF and other control characters escaped (\r, \n, \xHH) so that each call
// stays on one line. Events:
//   script <path> | script none | script-error <reason>
//   JNI_GetDefaultJavaVMInitArgs version=0x%08x -> <result>
//   JNI_CreateJavaVM version=0x%08x ignoreUnrecognized=<0|1> nOptions=<n>
//   option <index> <text>                (one line per option, in order)
//   JNI_CreateJavaVM -> <result> [rejected <index> <text>]
//   GetEnv version=0x%08x -> <result>
//   AttachCurrentThread [name=<name>] -> <result> [already-attached]
//   DetachCurrentThread -> <result> [not-attached]
//   DestroyJavaVM -> <result>            after other attached threads detached (at most
//                                        5 s), then "still-attached <tid>" for those that
//                                        did not and "unreleased-utf <n>" when that is so
//   GetVersion, FindClass <name>, GetStaticMethodID|GetMethodID <class> <name> <sig>,
//   GetObjectClass <object>, NewObjectArray <length> <class>, NewStringUTF <text>,
//   SetObjectArrayElement <index> <object>, NewGlobalRef <object>,
//   GetStringUTFChars <text>, ReleaseStringUTFChars <text>, ExceptionCheck,
//   ExceptionOccurred, ExceptionDescribe <class>|none, ExceptionClear <class>|none
//   main args=null | main argc=<n>, then "arg <index> <text>" per argument;
//   main returns | main throws <class>
//   getInstance -> <outcome>; dispatchSCMEvent <code>; getName <class> -> <java name>
//   JVM_DumpAllStacks -> <bytes written>
//   unexpected <JNIEnv|JavaVM> slot <index> <name>
//   misuse <function> <reason>           reasons: bad-env, wrong-thread env-of=<tid>,
//       detached, vm-destroyed, pending-exception <class>, bad-reference <what>,
//       thread-exit-attached, and others named where they are found
// "unexpected", "misuse" and "script-error" lines are also written to standard error.
#include "standin_jvm.h"

#include <cstdarg>
#include <cstdio>

namespace {

CRITICAL_SECTION journalLock;
HANDLE journalFile = INVALID_HANDLE_VALUE;
bool journalOpened;

std::string formatted(const char* format, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int length = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text(length > 0 ? length : 0, '\0');
    if (length > 0) vsnprintf(&text[0], text.size() + 1, format, args);
    return text;
}

void appendLine(const std::string& line) {
    EnterCriticalSection(&journalLock);
    if (!journalOpened) {
        journalOpened = true;
        bool named = false;
        std::string path = ConfigFile("STANDIN_JVM_JOURNAL", "standin.journal", &named);
        journalFile = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        DWORD error = GetLastError();
        if (journalFile == INVALID_HANDLE_VALUE) {
            fprintf(stderr, "standin jvm: cannot open the journal %s (error %lu)\n", path.c_str(), error);
            fflush(stderr);
        }
    }
    if (journalFile != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(journalFile, line.data(), DWORD(line.size()), &written, nullptr);
    }
    LeaveCriticalSection(&journalLock);
}

std::string journalLine(const char* format, va_list args) {
    return std::to_string(GetCurrentThreadId()) + " " + formatted(format, args) + "\n";
}

}  // namespace

void InitJournal() { InitializeCriticalSection(&journalLock); }

void CloseJournal() {
    if (journalFile != INVALID_HANDLE_VALUE) CloseHandle(journalFile);
    journalFile = INVALID_HANDLE_VALUE;
    DeleteCriticalSection(&journalLock);
}

void Journal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = journalLine(format, args);
    va_end(args);
    appendLine(line);
}

void Complain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string line = journalLine(format, args);
    va_end(args);
    appendLine(line);
    fputs(("standin jvm: " + line).c_str(), stderr);
    fflush(stderr);
}

std::string Printable(const char* text) {
    if (!text) return "(null)";
    std::string result;
    for (const char* p = text; *p; p++) {
        unsigned char c = static_cast<unsigned char>(*p);
        if (c == '\r') result += "\\r";
        else if (c == '\n') result += "\\n";
        else if (c < 0x20 && c != '\t') {
            char escape[8];
            snprintf(escape, sizeof escape, "\\x%02X", c);
            result += escape;
        } else result += char(c);
    }
    return result;
}
