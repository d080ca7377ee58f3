// The 64-bit relaunch: under WOW64 the 32-bit build writes the 64-bit build it carries
// as resource "BINRES" 1 to a hidden "krlxconfig64.exe", runs it with its own command
// line, waits for it and deletes the file.
#include <string.h>

#include "files.h"
#include "krlxconfig.h"

namespace {

// Anything smaller cannot be the complete 64-bit program.
const DWORD kMinimumImageSize = 100000;

// The module's folder when the user may write there, else the temporary folder; without
// trailing separators. In the product the module is the executable itself.
bool chooseImageFolder(HMODULE module, cstring& folder) {
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    path[length <= MAX_PATH ? length : 0] = 0;
    char* lastBackslash = strrchr(path, '\\');
    if (lastBackslash) lastBackslash[1] = 0;
    folder.assign(lastBackslash ? path : "");
    folder.trim_right_chars("\\/");
    if (CanWriteDirectory(folder.c_str())) return true;

    char temp[MAX_PATH + 1];
    length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp) return false;
    folder.assign(temp);
    folder.trim_right_chars("\\/");
    return true;
}

// The bytes of the embedded image, or null with the reason logged.
const void* findImage(HMODULE module, DWORD* size) {
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(IDR_EMBEDDED_IMAGE), "BINRES");
    if (!resource) {
        LogOsError("Can't find resource BINRES:1 in own executable file krlxconfig.exe");
        return nullptr;
    }
    HGLOBAL loaded = LoadResource(module, resource);
    if (!loaded) {
        LogOsError("LoadResouce(BINRES:1) failed");
        return nullptr;
    }
    *size = SizeofResource(module, resource);
    if (*size < kMinimumImageSize) {
        LogPrint("Invalid resource size: %d", int(*size));
        return nullptr;
    }
    const void* image = LockResource(loaded);
    if (!image) LogOsError("LockResouce failed");
    return image;
}

// True when the open file holds exactly the image.
bool fileHoldsImage(HANDLE file, const void* image, DWORD size) {
    const char* expected = static_cast<const char*>(image);
    char chunk[65536];
    DWORD done = 0;
    while (done < size) {
        DWORD wanted = size - done < sizeof chunk ? size - done : DWORD(sizeof chunk);
        DWORD got = 0;
        if (!ReadFile(file, chunk, wanted, &got, nullptr) || got == 0) return false;
        if (memcmp(chunk, expected + done, got) != 0) return false;
        done += got;
    }
    DWORD extra = 0;
    return ReadFile(file, chunk, 1, &extra, nullptr) && extra == 0;
}

HANDLE startImage(const char* target, const char* commandLine, int show) {
    cstring childCommandLine(cstring::formatted, "\"%s\" %s", target, commandLine);
    LogPrint("Invoking 64-bit configurator:\nexe: %s\ncmdline: %s\n", target, childCommandLine.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = WORD(show);
    PROCESS_INFORMATION child = {};
    // CreateProcessA may write into the command line it is given.
    char* line = childCommandLine.get_buffer(childCommandLine.length());
    if (!line || !CreateProcessA(target, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child)) {
        LogOsError("CreateProcess(%s) failed", target);
        return nullptr;
    }
    CloseHandle(child.hThread);
    return child.hProcess;
}

}  // namespace

// The writing handle must be closed before the start, so the file is opened again for
// reading, shared for reading only, and compared with the image: that covers a swap in
// the moment between the two opens as well.
HANDLE WriteImageHeld(const char* target, const void* image, DWORD size) {
    HANDLE file = CreateFileA(target, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_HIDDEN,
                              nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        LogOsError("CreateFile(%s) failed", target);
        return INVALID_HANDLE_VALUE;
    }
    bool written = write_all(file, image, size);
    if (!written) LogOsError("WriteFile(%s) failed", target);
    CloseHandle(file);
    if (!written) {
        DeleteFileA(target);
        return INVALID_HANDLE_VALUE;
    }

    HANDLE held = CreateFileA(target, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (held == INVALID_HANDLE_VALUE) {
        LogOsError("CreateFile(%s) failed", target);
    } else if (!fileHoldsImage(held, image, size)) {
        LogPrint("64-bit configurator %s was changed after it was written\n", target);
        CloseHandle(held);
        held = INVALID_HANDLE_VALUE;
    }
    if (held == INVALID_HANDLE_VALUE) DeleteFileA(target);
    return held;
}

HANDLE RelaunchAs64(HMODULE module, const char* commandLine, int show, cstring& target) {
    target.clear();
    cstring folder;
    if (!chooseImageFolder(module, folder)) return nullptr;
    target.format("%s\\krlxconfig64.exe", folder.c_str());

    DWORD size = 0;
    const void* image = findImage(module, &size);
    if (!image) return nullptr;
    HANDLE held = WriteImageHeld(target.c_str(), image, size);
    if (held == INVALID_HANDLE_VALUE) return nullptr;
    HANDLE process = startImage(target.c_str(), commandLine ? commandLine : "", show);
    CloseHandle(held);
    // An image that did not start is of no further use.
    if (!process) DeleteFileA(target.c_str());
    return process;
}

bool RunAs64AndWait(HMODULE module, const char* commandLine, int show) {
    cstring target;
    HANDLE process = RelaunchAs64(module, commandLine, show, target);
    if (!process) return false;
    if (WaitForSingleObject(process, INFINITE) == WAIT_FAILED) LogOsError("WaitForSingleObject failed");
    CloseHandle(process);
    DeleteFileA(target.c_str());
    return true;
}
