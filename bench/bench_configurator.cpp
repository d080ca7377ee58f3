// The configurator's start-up to its main dialog's first paint, with five runtimes found
// by the quick sources (the places beside the program), against a program that shows an
// empty dialog from a template. Each side is a process run, timed from CreateProcess until
// its dialog is visible and neither the dialog nor any visible control of it has a part
// left to paint, then ended. The client's settings are removed before each run, so every
// run discovers the same five runtimes.
#include <stdio.h>

#include <string>

#include "bench_product.h"

namespace {

const int kRounds = 9;
// Beside the program (krlxconfig) and beside its parent folder: five of the seven places
// the configurator looks at first.
const char* const kRuntimes[] = {"krlxconfig\\jre", "krlxconfig\\jre8", "common\\jre", "jre", "jre7"};

struct Search {
    DWORD processId;
    HWND dialog;
};

BOOL CALLBACK findDialog(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    DWORD owner = 0;
    char className[16] = "";
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, "#32770") != 0) return TRUE;
    search->dialog = window;
    return FALSE;
}

BOOL CALLBACK findUnpainted(HWND child, LPARAM parameter) {
    if (IsWindowVisible(child) && GetUpdateRect(child, nullptr, FALSE)) {
        *reinterpret_cast<bool*>(parameter) = true;
        return FALSE;
    }
    return TRUE;
}

bool painted(HWND dialog) {
    if (GetUpdateRect(dialog, nullptr, FALSE)) return false;
    bool unpainted = false;
    EnumChildWindows(dialog, findUnpainted, LPARAM(&unpainted));
    return !unpainted;
}

// Milliseconds until the program's dialog is painted; negative when it never is (30 s).
double msUntilPainted(const std::string& program) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    std::string line = "\"" + program + "\"";
    double start = NowMs();
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child))
        return -1;
    double elapsed = -1;
    Search search = {child.dwProcessId, nullptr};
    while (NowMs() - start < 30000) {
        if (!search.dialog) EnumWindows(findDialog, LPARAM(&search));
        if (search.dialog && painted(search.dialog)) {
            elapsed = NowMs() - start;
            break;
        }
        Sleep(1);
    }
    TerminateProcess(child.hProcess, 0);
    WaitForSingleObject(child.hProcess, 10000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return elapsed;
}

void removeSettings() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Quorvane\\Corvalis");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Corvalis");
}

}  // namespace

int main() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    const std::string benchFolder = FolderOf(path);   // build\x86_64\bench
    const std::string build = FolderOf(benchFolder);
    const std::string tinyJava = build + "\\tests\\doubles\\tiny_java\\tiny_java.exe";

    // <temp>\krlxbench: no digits, so that no version is read from the paths.
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    const std::string root = std::string(temp) + "krlxbench";
    RunAndWait("cmd /c rmdir /s /q \"" + root + "\"");
    CreateDirectoryA(root.c_str(), nullptr);
    CreateDirectoryA((root + "\\krlxconfig").c_str(), nullptr);
    CreateDirectoryA((root + "\\common").c_str(), nullptr);
    for (const char* home : kRuntimes) {
        CreateDirectoryA((root + "\\" + home).c_str(), nullptr);
        CreateDirectoryA((root + "\\" + home + "\\bin").c_str(), nullptr);
        CopyFileA(tinyJava.c_str(), (root + "\\" + home + "\\bin\\javaw.exe").c_str(), FALSE);
        CopyFileA(tinyJava.c_str(), (root + "\\" + home + "\\bin\\java.exe").c_str(), FALSE);
    }
    const std::string configurator = root + "\\krlxconfig\\krlxconfig64.exe";
    CopyFileA((build + "\\krlxconfig\\krlxconfig64.exe").c_str(), configurator.c_str(), FALSE);
    const std::string emptyDialog = benchFolder + "\\minimal_dialog.exe";

    // The two alternate, so that both meet the same load of the machine; one warm-up
    // run each, then the best of the rounds.
    removeSettings();
    msUntilPainted(emptyDialog);
    msUntilPainted(configurator);
    double baseline = 1e30, startUp = 1e30;
    int status = 0;
    for (int round = 0; round < kRounds; round++) {
        removeSettings();
        double emptyMs = msUntilPainted(emptyDialog);
        double configuratorMs = msUntilPainted(configurator);
        if (emptyMs < 0 || configuratorMs < 0) {
            printf("configurator benchmark failed: a dialog was never painted\n");
            status = 1;
            break;
        }
        if (emptyMs < baseline) baseline = emptyMs;
        if (configuratorMs < startUp) startUp = configuratorMs;
    }
    removeSettings();
    RunAndWait("cmd /c rmdir /s /q \"" + root + "\"");
    if (status) return status;
    printf("krlxconfig64.exe to its painted dialog, 5 runtimes:  %.1f ms\n", startUp);
    printf("an empty dialog from a template, painted:           %.1f ms\n", baseline);
    printf("ratio configurator / empty dialog:                  %.2f\n", startUp / baseline);
    return 0;
}
