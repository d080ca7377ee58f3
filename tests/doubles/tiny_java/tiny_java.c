// tiny_java.exe: the smallest real program the configurator's tests copy in as java.exe
// or javaw.exe. It loads as an image like a runtime's launcher, stays loadable when the
// tests pad it to an exact size, and, when TINY_JAVA_JOURNAL names a file, appends its
// command line to that file as one line; it always exits with 0.
#include <windows.h>

void __stdcall tinyJavaMain(void) {
    char journal[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("TINY_JAVA_JOURNAL", journal, sizeof journal);
    if (length > 0 && length < sizeof journal) {
        HANDLE file = CreateFileA(journal, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            const char* commandLine = GetCommandLineA();
            DWORD written;
            WriteFile(file, commandLine, (DWORD)lstrlenA(commandLine), &written, NULL);
            WriteFile(file, "\r\n", 2, &written, NULL);
            CloseHandle(file);
        }
    }
    ExitProcess(0);
}
