// The 64-bit relaunch: under WOW64 the 32-bit build writes the 64-bit build it carries
// as resource "BINRES" 1 to a hidden "krlxconfig64.exe", runs it with its own command
// line, waits for it and deletes the file. When the image has to go elsewhere, the
// 64-bit build is told the program folder, which it takes for its own.
#include <string.h>

#include "files.h"
#include "krlxconfig.h"

char ProgramFolderHandedOver[MAX_PATH + 1];

namespace {

// Anything smaller cannot be the complete 64-bit program.
const DWORD kMinimumImageSize = 100000;
// Set only in the environment of the 64-bit process, which removes it from its own.
const char kProgramFolderVariable[] = "KRLXCONFIG_PROGRAM_FOLDER";

// The module's folder (program) and, where the image goes, that folder when the user may
// write there, else the temporary folder; both without trailing separators. In the
// product the module is the executable itself.
bool chooseImageFolder(HMODULE module, cstring& program, cstring& folder) {
    char path[MAX_PATH + 1];
    DWORD length = GetModuleFileNameA(module, path, MAX_PATH);
    path[length <= MAX_PATH ? length : 0] = 0;
    char* lastBackslash = strrchr(path, '\\');
    if (lastBackslash) lastBackslash[1] = 0;
    program.assign(lastBackslash ? path : "");
    program.trim_right_chars("\\/");
    folder.assign(program);
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

// This process's environment with the variable name set to value (replacing one of that
// name), as the block CreateProcessA takes: entries sorted by name, case ignored.
void environmentWith(const char* name, const char* value, cstring& block) {
    cstring ours(cstring::formatted, "%s=%s", name, value), entryName;
    bool placed = false;
    char* strings = GetEnvironmentStringsA();
    for (const char* entry = strings; entry && *entry; entry += strlen(entry) + 1) {
        // Names may start with "=" ("=C:=C:\..."): the name ends at the next one.
        const char* equals = strchr(entry + 1, '=');
        entryName.assign(entry, equals ? int(equals - entry) : int(strlen(entry)));
        if (entryName.equals_nocase(name)) continue;
        if (!placed && entryName.compare_nocase(name) > 0) {
            block.append(ours.c_str(), int(ours.length()) + 1);
            placed = true;
        }
        block.append(entry, int(strlen(entry)) + 1);
    }
    if (strings) FreeEnvironmentStringsA(strings);
    if (!placed) block.append(ours.c_str(), int(ours.length()) + 1);
    block.append_char(0);
}

// programFolder, when given, is handed over in the new process's environment.
HANDLE startImage(const char* target, const char* commandLine, int show, const char* programFolder) {
    cstring environment;
    if (programFolder) environmentWith(kProgramFolderVariable, programFolder, environment);
    cstring childCommandLine(cstring::formatted, "\"%s\" %s", target, commandLine);
    LogPrint("Invoking 64-bit configurator:\nexe: %s\ncmdline: %s\n", target, childCommandLine.c_str());
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = WORD(show);
    PROCESS_INFORMATION child = {};
    // CreateProcessA may write into the command line it is given.
    char* line = childCommandLine.get_buffer(childCommandLine.length());
    void* block = programFolder ? const_cast<char*>(environment.c_str()) : nullptr;
    if (!line || !CreateProcessA(target, line, nullptr, nullptr, FALSE, 0, block, nullptr, &startup, &child)) {
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
    cstring program, folder;
    if (!chooseImageFolder(module, program, folder)) return nullptr;
    target.format("%s\\krlxconfig64.exe", folder.c_str());

    DWORD size = 0;
    const void* image = findImage(module, &size);
    if (!image) return nullptr;
    HANDLE held = WriteImageHeld(target.c_str(), image, size);
    if (held == INVALID_HANDLE_VALUE) return nullptr;
    // Run from elsewhere, the 64-bit build would take that folder for the program's.
    const char* handOver = folder.equals(program.c_str()) ? nullptr : program.c_str();
    HANDLE process = startImage(target.c_str(), commandLine ? commandLine : "", show, handOver);
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

// Taken only when the folder holds the 32-bit program that handed it over: a variable
// inherited from elsewhere must not send the shortcuts and the script somewhere else.
void TakeProgramFolderHandOver() {
    ProgramFolderHandedOver[0] = 0;
    cstring folder;
    DWORD size = GetEnvironmentVariableA(kProgramFolderVariable, nullptr, 0);
    char* buffer = size ? folder.get_buffer(size) : nullptr;
    DWORD length = buffer ? GetEnvironmentVariableA(kProgramFolderVariable, buffer, size) : 0;
    folder.set_length(length < size ? length : 0);
    // Nothing this process starts, the client among them, is to see it.
    SetEnvironmentVariableA(kProgramFolderVariable, nullptr);
    folder.trim_right_chars("\\/");
    if (!folder.length()) return;
    cstring program(cstring::formatted, "%s\\%s", folder.c_str(), KRLX_CONFIGURATOR_FILE);
    if (folder.length() > MAX_PATH || !file_exists(program.c_str()) || is_folder(program.c_str())) {
        LogPrint("Program folder handed over without %s in it, ignored: %s\n", KRLX_CONFIGURATOR_FILE, folder.c_str());
        return;
    }
    memcpy(ProgramFolderHandedOver, folder.c_str(), folder.length() + 1);
    LogPrint("Program folder handed over: %s\n", folder.c_str());
}
