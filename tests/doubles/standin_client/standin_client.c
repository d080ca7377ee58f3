// standin_client.exe: the stand-in for the Java client that the configurator's tests put
// behind the client shortcut. It writes its command line and its working folder, one
// line each, to the file named by STANDIN_CLIENT_JOURNAL (replacing it), then exits 0.
#include <windows.h>

static void writeLine(HANDLE file, const char* text) {
    DWORD written;
    WriteFile(file, text, (DWORD)lstrlenA(text), &written, NULL);
    WriteFile(file, "\r\n", 2, &written, NULL);
}

void __stdcall standinClientMain(void) {
    char journal[MAX_PATH];
    char folder[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("STANDIN_CLIENT_JOURNAL", journal, sizeof journal);
    DWORD folderLength = GetCurrentDirectoryA(sizeof folder, folder);
    if (length > 0 && length < sizeof journal && folderLength > 0 && folderLength < sizeof folder) {
        // Written under another name and renamed, so that a reader never sees half of it.
        char partial[MAX_PATH + 8];
        lstrcpyA(partial, journal);
        lstrcatA(partial, ".part");
        HANDLE file = CreateFileA(partial, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
        if (file != INVALID_HANDLE_VALUE) {
            writeLine(file, GetCommandLineA());
            writeLine(file, folder);
            CloseHandle(file);
            MoveFileExA(partial, journal, MOVEFILE_REPLACE_EXISTING);
        }
    }
    ExitProcess(0);
}
