/* Stand-in for the 64-bit configurator in the relaunch tests: writes how it was started
   (command line, show command, its own path and attributes, the program folder handed
   over in KRLXCONFIG_PROGRAM_FOLDER) to the file named by
   KRLX_PROBE_REPORT and exits with 7. Plain C, so that it stays below 99999 bytes. */
#include <windows.h>
#include <stdio.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    char report[MAX_PATH], self[MAX_PATH], folder[MAX_PATH] = "";
    STARTUPINFOA startup;
    FILE* file;
    if (!GetEnvironmentVariableA("KRLX_PROBE_REPORT", report, sizeof report)) return 3;
    GetModuleFileNameA(NULL, self, sizeof self);
    GetStartupInfoA(&startup);
    GetEnvironmentVariableA("KRLXCONFIG_PROGRAM_FOLDER", folder, sizeof folder);
    file = fopen(report, "wb");
    if (!file) return 4;
    fprintf(file, "command line: %s\nshow: %d\nflags: %lu\nimage: %s\nattributes: %lu\nprogram folder: %s\n",
            GetCommandLineA(), startup.wShowWindow, startup.dwFlags, self, GetFileAttributesA(self), folder);
    fclose(file);
    return 7;
}
