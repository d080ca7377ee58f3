// "krlxconfig64.exe /install" on a prepared product folder (a runtime beside the program)
// against minimal_links.exe writing the same nine links with IShellLinkA alone. Both are
// whole process runs; the ratio is what discovery, the start script, the registry, the
// uninstall clean-up and the log cost on top of the links.
#include <stdio.h>
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "bench_product.h"

namespace {

const int kRounds = 10;

double meanMs(const std::string& commandLine) {
    double total = 0;
    for (int round = 0; round < kRounds; round++) {
        double start = NowMs();
        RunAndWait(commandLine);
        total += NowMs() - start;
    }
    return total / kRounds;
}

}  // namespace

int main() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    std::string benchFolder = FolderOf(path);   // build\x86_64\bench
    std::string build = FolderOf(benchFolder);
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string root = std::string(temp) + "bench-krlx-install";
    std::string program = root + "\\krlxconfig";
    for (const char* sub : {"", "\\krlxconfig", "\\krlxconfig\\jre", "\\krlxconfig\\jre\\bin"})
        CreateDirectoryA((root + sub).c_str(), nullptr);
    std::string configurator = program + "\\krlxconfig64.exe";
    CopyFileA((build + "\\krlxconfig\\krlxconfig64.exe").c_str(), configurator.c_str(), FALSE);
    std::string tinyJava = build + "\\tests\\doubles\\tiny_java\\tiny_java.exe";
    CopyFileA(tinyJava.c_str(), (program + "\\jre\\bin\\java.exe").c_str(), FALSE);
    CopyFileA(tinyJava.c_str(), (program + "\\jre\\bin\\javaw.exe").c_str(), FALSE);

    if (RunAndWait("\"" + configurator + "\" /install") != 1) {
        printf("configurator install benchmark failed: /install did not make the Start-menu links\n");
        return 1;
    }
    double install = meanMs("\"" + configurator + "\" /install");
    double minimal = meanMs("\"" + benchFolder + "\\minimal_links.exe\" \"" + root + "\"");
    // Nothing of the product may stay behind for the tests that share this prefix.
    RunAndWait("\"" + configurator + "\" /remove");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane\\Corvalis");
    RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Quorvane\\Corvalis");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QZV CorvalisJE 6");
    char desktop[MAX_PATH];
    if (SHGetSpecialFolderPathA(nullptr, desktop, CSIDL_COMMON_DESKTOPDIRECTORY, FALSE))
        DeleteFileA((std::string(desktop) + "\\Corvalis.lnk").c_str());
    RunAndWait("cmd.exe /c rmdir /s /q \"" + root + "\"");

    printf("krlxconfig64.exe /install:         %.1f ms\n", install);
    printf("minimal_links.exe (IShellLinkA):   %.1f ms   ratio /install / minimal %.2f\n", minimal, install / minimal);
    return 0;
}
