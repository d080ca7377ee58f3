// The configurator's start-up to the point where its main dialog waits for the user,
// against a program that only registers a class and creates a window. Each side is a
// process run timed from CreateProcess until it waits for input (WaitForInputIdle), then
// ended. No client settings are stored, so the quick discovery sources are empty.
#include <stdio.h>

#include <string>

#include "bench_product.h"

namespace {

const int kRounds = 9;

// Milliseconds until the program waits for input; negative when it never does.
double msUntilIdle(const std::string& program) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    std::string line = "\"" + program + "\"";
    double start = NowMs();
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
        return -1;
    DWORD idle = WaitForInputIdle(child.hProcess, 30000);
    double elapsed = NowMs() - start;
    TerminateProcess(child.hProcess, 0);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return idle == 0 ? elapsed : -1;
}

}  // namespace

int main() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string benchFolder = FolderOf(path);   // build\x86_64\bench
    std::string configurator = FolderOf(benchFolder) + "\\krlxconfig\\krlxconfig64.exe";
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Quorvane\\Corvalis");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Corvalis");

    // The two alternate, so that both meet the same load of the machine; one warm-up
    // run each, then the best of the rounds.
    const std::string window = benchFolder + "\\minimal_window.exe";
    msUntilIdle(window);
    msUntilIdle(configurator);
    double baseline = 1e30, startUp = 1e30;
    for (int round = 0; round < kRounds; round++) {
        double windowMs = msUntilIdle(window);
        double configuratorMs = msUntilIdle(configurator);
        if (windowMs < 0 || configuratorMs < 0) {
            printf("configurator benchmark failed: a program never waited for input\n");
            return 1;
        }
        if (windowMs < baseline) baseline = windowMs;
        if (configuratorMs < startUp) startUp = configuratorMs;
    }
    printf("krlxconfig64.exe to its dialog:    %.1f ms\n", startUp);
    printf("class and window only:             %.1f ms\n", baseline);
    printf("ratio configurator / window only:  %.2f\n", startUp / baseline);
    return 0;
}
