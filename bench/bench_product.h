// A product folder for the service benchmarks: <temp>\<name>\halvorin\halvorin64.exe from
// dist/ with halvorin.vm naming <temp>\<name>\jre, which holds the stand-in jvm.dll.
#pragma once

#include <stdio.h>
#include <windows.h>

#include <string>

inline std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

inline double NowMs() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

// Runs the command line without a window and waits for it (a minute at most): its exit
// code, or -1 when it did not start.
inline DWORD RunAndWait(const std::string& commandLine) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child;
    std::string line = commandLine;
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &startup,
                        &child))
        return DWORD(-1);
    WaitForSingleObject(child.hProcess, 60000);
    DWORD code = DWORD(-1);
    GetExitCodeProcess(child.hProcess, &code);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    return code;
}

class BenchProduct {
public:
    explicit BenchProduct(const char* name) {
        char path[MAX_PATH];
        GetModuleFileNameA(nullptr, path, sizeof path);
        benchFolder = FolderOf(path);                        // build\x86_64\bench
        std::string build = FolderOf(benchFolder);
        std::string dist = FolderOf(FolderOf(build)) + "\\dist";
        char temp[MAX_PATH];
        GetTempPathA(sizeof temp, temp);
        root = std::string(temp) + name;
        for (const char* sub : kFolders) CreateDirectoryA((root + sub).c_str(), nullptr);
        host = root + "\\halvorin\\halvorin64.exe";
        CopyFileA((dist + "\\halvorin64.exe").c_str(), host.c_str(), FALSE);
        CopyFileA((build + "\\tests\\doubles\\standin_jvm\\jvm.dll").c_str(), (root + kJvm).c_str(), FALSE);
        FILE* specFile = fopen((root + kSpec).c_str(), "wb");
        if (specFile) {
            fputs((root + "\\jre").c_str(), specFile);
            fclose(specFile);
        }
        DeleteFileA((root + kJournal).c_str());   // no script: the server runs until stopped
    }

    ~BenchProduct() {
        for (const char* file : {"\\halvorin\\halvorin64.exe", kSpec, kJvm, kJournal})
            DeleteFileA((root + file).c_str());
        for (int i = sizeof kFolders / sizeof kFolders[0] - 1; i >= 0; i--)
            RemoveDirectoryA((root + kFolders[i]).c_str());
    }

    std::string benchFolder;
    std::string root;
    std::string host;

private:
    static constexpr const char* kFolders[] = {"", "\\halvorin", "\\jre", "\\jre\\bin", "\\jre\\bin\\server"};
    static constexpr const char* kSpec = "\\halvorin\\halvorin.vm";
    static constexpr const char* kJvm = "\\jre\\bin\\server\\jvm.dll";
    static constexpr const char* kJournal = "\\jre\\bin\\server\\standin.journal";
};
