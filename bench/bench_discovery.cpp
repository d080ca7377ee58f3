// One discoverJVM call with 50 runtime entries under each Java registry root, against
// the bare registry reads and file probes that call has to make: the VM file probes,
// the registry values of both roots and the PE header reads. Removes its keys at the end.
#include <stdio.h>
#include <string.h>

#include "bench_registry.h"
#include "bench_timer.h"
#include "jvm_host.h"
#include "service_host.h"

namespace {

const char* const kProductKeys[] = {"SOFTWARE\\JavaSoft\\Java Runtime Environment",
                                    "SOFTWARE\\IBM\\Java2 Runtime Environment"};
const char* const kVendorKeys[] = {"SOFTWARE\\JavaSoft", "SOFTWARE\\IBM"};
const int kEntries = 50;

void removeKeys() {
    for (const char* key : kProductKeys) {
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, key);
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
    }
    for (const char* key : kVendorKeys) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key);
}

// The first root names a file that is no PE image, so discovery goes on to the second.
void fillRegistry(const char* notImage, const char* image, const char* home) {
    for (int root = 0; root < 2; root++) {
        char version[600];
        for (int i = 0; i < kEntries; i++) {
            snprintf(version, sizeof version, "%s\\1.%d", kProductKeys[root], i);
            SetMachineText(version, "RuntimeLib", root == 0 ? notImage : image);
            SetMachineText(version, "MicroVersion", "0");
            SetMachineText(version, "JavaHome", home);
        }
        SetMachineText(kProductKeys[root], "CurrentVersion", "1.49");
    }
}

void readValue(const char* subkey, const char* name) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char data[600];
    DWORD type, size = 0;
    RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    size = sizeof data;
    RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
}

void readHeader(const char* path) {
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    char bytes[68];
    DWORD got;
    LARGE_INTEGER size, at;
    GetFileSizeEx(file, &size);
    ReadFile(file, bytes, sizeof bytes, &got, nullptr);
    at.QuadPart = *reinterpret_cast<DWORD*>(bytes + 60);
    SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
    ReadFile(file, bytes, 6, &got, nullptr);
    CloseHandle(file);
}

// What discoverJVM touches, without its decisions, texts and log records.
void bareProbes(const char* product, const char* program, const char* notImage, const char* image) {
    char path[MAX_PATH + 32];
    snprintf(path, sizeof path, "%s\\qzv.vm", product);
    GetFileAttributesA(path);
    snprintf(path, sizeof path, "%shalvorin.vm", program);
    GetFileAttributesA(path);
    snprintf(path, sizeof path, "%sjvm", program);
    GetFileAttributesA(path);
    for (int root = 0; root < 2; root++) {
        char version[600];
        readValue(kProductKeys[root], "CurrentVersion");
        snprintf(version, sizeof version, "%s\\1.49", kProductKeys[root]);
        readValue(version, "RuntimeLib");
        readValue(version, "MicroVersion");
        GetFileAttributesA(root == 0 ? notImage : image);
        readHeader(root == 0 ? notImage : image);
    }
    readHeader(image);   // the bitness of the chosen library
}

}  // namespace

int main() {
    const int kCalls = 200;
    char image[MAX_PATH];
    GetModuleFileNameA(nullptr, image, sizeof image);   // this benchmark: a real x64 image
    char product[MAX_PATH], program[MAX_PATH + 16], notImage[MAX_PATH + 16];
    snprintf(product, sizeof product, "%s\\bench-discovery-%lu", GetTempFolder(), GetCurrentProcessId());
    snprintf(program, sizeof program, "%s\\halvorin\\", product);
    snprintf(notImage, sizeof notImage, "%s\\jvm.dll", product);
    CreateDirectoryA(product, nullptr);
    CreateDirectoryA(program, nullptr);
    HANDLE file = CreateFileA(notImage, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    DWORD written;
    WriteFile(file, "not an image", 12, &written, nullptr);
    CloseHandle(file);

    removeKeys();
    fillRegistry(notImage, image, product);

    cstring vmPath, specFile;
    bool found = discoverJVM(vmPath, specFile, program, true);
    double discovery = BestSeconds(3, [&] {
        for (int i = 0; i < kCalls; i++) discoverJVM(vmPath, specFile, program, true);
    });
    double bare = BestSeconds(3, [&] {
        for (int i = 0; i < kCalls; i++) bareProbes(product, program, notImage, image);
    });
    // The same probes plus the four log records one discovery writes.
    double bareLogged = BestSeconds(3, [&] {
        for (int i = 0; i < kCalls; i++) {
            bareProbes(product, program, notImage, image);
            for (int r = 0; r < 4; r++) LogMessage("bench_discovery: record %d of the bare round\n", r);
        }
    });

    removeKeys();
    DeleteFileA(notImage);
    RemoveDirectoryA(program);
    RemoveDirectoryA(product);

    printf("discoverJVM found the second root's VM: %s\n", found && vmPath.equals(image) ? "yes" : "NO");
    printf("discoverJVM:            %.1f us per call\n", discovery / kCalls * 1e6);
    printf("bare reads and probes:  %.1f us per call\n", bare / kCalls * 1e6);
    printf("bare + 4 log records:   %.1f us per call\n", bareLogged / kCalls * 1e6);
    printf("ratio discoverJVM / bare reads and probes: %.2f\n", discovery / bare);
    printf("ratio discoverJVM / bare reads, probes and log records: %.2f\n", discovery / bareLogged);
    return found ? 0 : 1;
}
