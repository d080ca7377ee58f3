// The configurator's Discover on a machine with 30 runtimes spread over its sources (the
// VM file qzv.vm, the seven places beside the program, five start-script lines, JavaExe and
// sixteen vendor registry entries), against the bare probes it has to make: reading the
// two files and the registry values, and loading each runtime's executable once as a
// data file. Removes its folders and keys at the end.
#include <stdio.h>
#include <string.h>

#include "bench_registry.h"
#include "bench_timer.h"
#include "krlxconfig.h"

namespace {

const char kJavaSoftKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kIbmKey[] = "SOFTWARE\\IBM\\Java2 Runtime Environment";
const char* const kVendorKeys[] = {kJavaSoftKey, kIbmKey};
const char* const kLocal[] = {"krlxconfig\\jre\\bin\\javaw.exe",  "krlxconfig\\jre7\\bin\\javaw.exe",
                              "krlxconfig\\jre8\\bin\\javaw.exe", "common\\jre\\bin\\javaw.exe",
                              "jre\\bin\\javaw.exe",              "jre7\\bin\\javaw.exe",
                              "jre8\\bin\\javaw.exe"};
const int kScriptLines = 5;
const int kRegistryEntries = 8;   // per vendor key

char root[MAX_PATH], image[MAX_PATH + 64];

void makeFolders(const char* path) {
    char partial[MAX_PATH + 64];
    for (const char* p = path; (p = strchr(p + 1, '\\'));) {
        snprintf(partial, sizeof partial, "%.*s", int(p - path), path);
        CreateDirectoryA(partial, nullptr);
    }
    CreateDirectoryA(path, nullptr);
}

void putJava(const char* relative) {
    char path[MAX_PATH + 64];
    snprintf(path, sizeof path, "%s\\%s", root, relative);
    *strrchr(path, '\\') = 0;
    makeFolders(path);
    *strchr(path, 0) = '\\';
    CopyFileA(image, path, FALSE);
}

void putText(const char* relative, const char* text) {
    char path[MAX_PATH + 64];
    snprintf(path, sizeof path, "%s\\%s", root, relative);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, text, DWORD(strlen(text)), &written, nullptr);
    CloseHandle(file);
}

void removeKeys() {
    for (const char* key : kVendorKeys) RegDeleteTreeA(HKEY_LOCAL_MACHINE, key), RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\IBM");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, KRLX_SETTINGS_KEY);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, KRLX_SETTINGS_KEY);
}

void removeFolder(const char* path) {
    char pattern[MAX_PATH + 8], child[MAX_PATH + 300];
    snprintf(pattern, sizeof pattern, "%s\\*", path);
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
            snprintf(child, sizeof child, "%s\\%s", path, found.cFileName);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                removeFolder(child);
            } else {
                DeleteFileA(child);
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path);
}

// qzv.vm naming 1 + 7 beside the program + 5 script lines + JavaExe + 2 x 8 registry = 30.
void layMachine() {
    char relative[MAX_PATH], path[MAX_PATH + 64], script[4096] = "@echo off\r\n";
    putJava("named\\bin\\javaw.exe");
    snprintf(path, sizeof path, "%s\\named\\bin\\javaw.exe\r\n", root);
    putText("qzv.vm", path);
    for (const char* local : kLocal) putJava(local);
    for (int i = 0; i < kScriptLines; i++) {
        snprintf(relative, sizeof relative, "script%c\\bin\\javaw.exe", 'a' + i);
        putJava(relative);
        size_t used = strlen(script);
        snprintf(script + used, sizeof script - used, "\"%s\\script%c\\bin\\java.exe\" -Xmx512m -jar corvalis.jar\r\n",
                 root, 'a' + i);
    }
    putText("krlxconfig\\Corvalis.bat", script);
    putJava("setting\\bin\\javaw.exe");
    snprintf(path, sizeof path, "%s\\setting\\bin\\javaw.exe", root);
    SetMachineText(KRLX_SETTINGS_KEY, "JavaExe", path);
    for (int vendor = 0; vendor < 2; vendor++) {
        for (int i = 0; i < kRegistryEntries; i++) {
            snprintf(relative, sizeof relative, "vendor%c%c\\bin\\javaw.exe", 'a' + vendor, 'a' + i);
            putJava(relative);
            snprintf(path, sizeof path, "%s\\vendor%c%c", root, 'a' + vendor, 'a' + i);
            char subkey[600];
            snprintf(subkey, sizeof subkey, "%s\\1.%d.0_%d", kVendorKeys[vendor], 6 + i % 3, i);
            SetMachineText(subkey, "JavaHome", path);
        }
    }
}

bool loadsAsData(const char* path) {
    HMODULE module = LoadLibraryExA(path, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (module) FreeLibrary(module);
    return module != nullptr;
}

void readFile(const char* path) {
    GetFileAttributesA(path);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    char bytes[4096];
    DWORD got;
    ReadFile(file, bytes, sizeof bytes, &got, nullptr);
    CloseHandle(file);
}

void readValue(HKEY key, const char* name, char* data, DWORD size) {
    DWORD type;
    RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
}

// What Discover cannot do without: read qzv.vm, the script and the registry, and
// load each runtime's executable once.
void bareProbes() {
    char path[MAX_PATH + 64], data[600];
    snprintf(path, sizeof path, "%s\\qzv.vm", root);
    readFile(path);
    snprintf(path, sizeof path, "%s\\named\\bin\\javaw.exe", root);
    loadsAsData(path);
    for (const char* local : kLocal) {
        snprintf(path, sizeof path, "%s\\%s", root, local);
        loadsAsData(path);
    }
    snprintf(path, sizeof path, "%s\\krlxconfig\\Corvalis.bat", root);
    readFile(path);
    for (int i = 0; i < kScriptLines; i++) {
        snprintf(path, sizeof path, "%s\\script%c\\bin\\javaw.exe", root, 'a' + i);
        loadsAsData(path);
    }
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, KRLX_SETTINGS_KEY, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                        nullptr) == ERROR_SUCCESS) {
        readValue(key, "JavaExe", data, sizeof data);
        RegCloseKey(key);
        loadsAsData(data);
    }
    for (const char* vendorKey : kVendorKeys) {
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, vendorKey, 0, KEY_READ, &key) != ERROR_SUCCESS) continue;
        char name[256];
        DWORD length = sizeof name;
        for (DWORD i = 0; RegEnumKeyExA(key, i, name, &length, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
             i++, length = sizeof name) {
            HKEY subkey;
            if (RegOpenKeyExA(key, name, 0, KEY_READ, &subkey) != ERROR_SUCCESS) continue;
            readValue(subkey, "JavaHome", data, sizeof data - 20);
            RegCloseKey(subkey);
            strcat(data, "\\bin\\javaw.exe");
            loadsAsData(data);
        }
        RegCloseKey(key);
    }
}

long long logSize() {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(LogFilePath(), GetFileExInfoStandard, &data)) return 0;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// The number of log records one Discover writes (each ends with a line feed).
int recordsPerDiscover(const char* program) {
    long long before = logSize();
    JreLocationList list;
    Discover(list, program);
    HANDLE file = CreateFileA(LogFilePath(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    LARGE_INTEGER at;
    at.QuadPart = before;
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    int records = 0;
    char chunk[65536];
    DWORD got;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got)
        for (DWORD i = 0; i < got; i++) records += chunk[i] == '\n';
    CloseHandle(file);
    return records;
}

}  // namespace

int main() {
    const int kCalls = 20;
    char self[MAX_PATH], temp[MAX_PATH], program[MAX_PATH + 16];
    GetModuleFileNameA(nullptr, self, sizeof self);
    *strrchr(self, '\\') = 0;
    snprintf(image, sizeof image, "%s\\..\\tests\\doubles\\tiny_java\\tiny_java.exe", self);
    GetTempPathA(sizeof temp, temp);
    snprintf(root, sizeof root, "%sbench-jre-discovery", temp);
    snprintf(program, sizeof program, "%s\\krlxconfig", root);
    removeFolder(root);
    removeKeys();
    makeFolders(program);
    layMachine();

    JreLocationList list;
    Discover(list, program);
    int found = list.count();
    int records = recordsPerDiscover(program);
    double discovery = BestSeconds(3, [&] {
        for (int i = 0; i < kCalls; i++) Discover(list, program);
    });
    double bare = BestSeconds(3, [&] {
        for (int i = 0; i < kCalls; i++) bareProbes();
    });
    double bareLogged = BestSeconds(3, [&] {
        for (int i = 0; i < kCalls; i++) {
            bareProbes();
            for (int r = 0; r < records; r++) LogPrint("bench_jre_discovery: record %d of the bare round\n", r);
        }
    });

    removeKeys();
    removeFolder(root);

    printf("Discover found %d of 30 runtimes, writing %d log records\n", found, records);
    printf("Discover:               %.0f us per call\n", discovery / kCalls * 1e6);
    printf("bare reads and probes:  %.0f us per call\n", bare / kCalls * 1e6);
    printf("bare + %d log records:  %.0f us per call\n", records, bareLogged / kCalls * 1e6);
    printf("ratio Discover / bare reads and probes: %.2f\n", discovery / bare);
    printf("ratio Discover / bare reads, probes and log records: %.2f\n", discovery / bareLogged);
    return found == 30 ? 0 : 1;
}
