// The Java server's VM options, main arguments and working folder, built from the
// service's start arguments and "config/halvorin.cfg"; its class path; and what the
// process sets up before the VM loads: the current folder and the search path for DLLs.
#include <ctype.h>
#include <limits.h>
#include <stdio.h>
#include <string.h>

#include "jvm_host.h"
#include "service_host.h"

namespace {

const char* const kVMOptionPrefixes[] = {"-D", "/D", "-X", "/X"};
const char kClassPathOption[] = "-Djava.class.path=";
const char kHeapOption[] = "-Xmx";
const char kConfigMarker[] = "<n>MEMORY</n><v>";
const char kNoModulePath[] = "Cannot get path of service executable";
const char kPathVariable[] = "PATH";
const char* const kJavaFiles[] = {"\\java.exe", "\\javaw.exe", "\\java.dll"};
const int kDefaultHeapMegabytes = 256;

// Each entry follows the program folder.
const char* const kClassPathJars[] = {
    "/lib/scm.jar;",    "/lib/halvorin.jar;",   "/lib/ifxjdbc.jar;", "/lib/hsqldb.jar;", "/lib/cryptix.jar;",
    "/lib/mail.jar;",   "/lib/activation.jar;", "/lib/jta.jar;",     "/lib/derby.jar;",
};

// A list of separately allocated strings with room for `room` entries; zero-filled, so it
// also ends with a null entry. Lists and their strings live until the process ends.
char** newList(DWORD room) {
    return static_cast<char**>(GlobalAlloc(GPTR, (size_t(room) + 1) * sizeof(char*)));
}

void appendCopy(char** list, DWORD* count, const char* text) {
    size_t n = strlen(text) + 1;
    char* copy = static_cast<char*>(GlobalAlloc(GPTR, n));
    if (!copy) return;
    memcpy(copy, text, n);
    list[(*count)++] = copy;
}

bool isVMOption(const char* arg) {
    for (const char* prefix : kVMOptionPrefixes)
        if (strncmp(arg, prefix, 2) == 0) return true;
    return false;
}

// The service executable's path into a 512-byte buffer: the given one, or this
// program's own. A path that does not fit fails as a cut module path would.
bool readModulePath(const char* given, char (&path)[512]) {
    if (given) {
        size_t n = strlen(given);
        if (n >= sizeof path) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return false;
        }
        memcpy(path, given, n + 1);
        return true;
    }
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    if (n == 0 || n >= sizeof path) return false;
    path[n] = 0;
    return true;
}

// The folder that holds "config/halvorin.cfg", with its trailing backslash.
void programFolderOf(const char* modulePath, cstring& folder) {
    if (!modulePath) {
        folder.assign(GetModuleFolder());
        return;
    }
    const char* slash = strrchr(modulePath, '\\');
    folder.assign(modulePath, slash ? int(slash - modulePath) + 1 : 0);
}

// A decimal number after optional white space and a sign. 0 for anything that is not
// a positive int: no digits, zero, negative, or beyond INT_MAX.
int parsePositive(const char* text) {
    while (isspace(static_cast<unsigned char>(*text))) text++;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+') text++;
    long long value = 0;
    bool digits = false;
    for (; isdigit(static_cast<unsigned char>(*text)); text++) {
        digits = true;
        value = value * 10 + (*text - '0');
        if (value > INT_MAX) return 0;
    }
    return digits && !negative ? int(value) : 0;
}

// The first occurrence of `part` among all bytes of `content`, NUL bytes included.
const char* findBytes(const cstring& content, const char* part) {
    size_t n = strlen(part);
    const char* text = content.c_str();
    for (size_t i = 0; i + n <= content.length(); i++)
        if (text[i] == part[0] && memcmp(text + i, part, n) == 0) return text + i;
    return nullptr;
}

void appendHeapOption(char** list, DWORD* count, int megabytes, char (&option)[32]) {
    snprintf(option, sizeof option, "%s%dm", kHeapOption, megabytes);
    appendCopy(list, count, option);
}

// Appends the heap options that the configuration file gives, at most `room` of them;
// true when at least one was appended.
bool addConfigHeapOptions(char** list, DWORD* count, DWORD room, const char* configPath) {
    cstring config;
    if (!readFileContent(configPath, config)) return false;
    char option[32];

    const char* marker = findBytes(config, kConfigMarker);
    int megabytes = marker ? parsePositive(marker + strlen(kConfigMarker)) : 0;
    if (megabytes >= 1) {
        appendHeapOption(list, count, megabytes, option);
        LogMessage("parameter %s passed to JVM as per config file %s (XML)\n", option, configPath);
        return true;
    }

    DWORD added = 0, dropped = 0;
    char* cursor = nullptr;
    while (char* line = config.next_line(&cursor, true)) {
        char* equals = line[0] && line[0] != '#' ? strchr(line, '=') : nullptr;
        if (!equals) continue;
        *equals = 0;
        cstring key(line), value(equals + 1);
        key.trim();
        value.trim();
        LogMessage("ini-config: \"%s\" = \"%s\"\n", key.c_str(), value.c_str());
        megabytes = key.equals_nocase("MEMORY") ? parsePositive(value.c_str()) : 0;
        if (megabytes < 1) continue;
        if (added == room) {
            dropped++;
            continue;
        }
        appendHeapOption(list, count, megabytes, option);
        added++;
        LogMessage("parameter %s passed to JVM as per config file %s (INI)\n", option, configPath);
    }
    if (dropped) LogMessage("ini-config: %lu more MEMORY line(s) ignored (no room for more VM options)\n", dropped);
    return added > 0;
}

}  // namespace

char** buildVMOptions(char** previous, DWORD* count, DWORD argc, char** argv, const char* modulePath) {
    *count = 0;
    DWORD room = argc + 6;
    char** list = newList(room);
    if (!list) return nullptr;
    bool classPathGiven = false, heapGiven = false;
    for (DWORD i = 0; i < argc; i++) {
        if (!argv[i] || !isVMOption(argv[i])) continue;
        appendCopy(list, count, argv[i]);
        classPathGiven = classPathGiven || strncmp(argv[i], kClassPathOption, strlen(kClassPathOption)) == 0;
        heapGiven = heapGiven || strncmp(argv[i], kHeapOption, strlen(kHeapOption)) == 0;
    }

    bool heapFromFile = false;
    if (!heapGiven) {
        // The file may fill the list up to its room and the launch's limit, keeping a
        // place for the class path; its first heap option always has the place the
        // default would take.
        DWORD limit = room < kMaxVmOptions ? room : kMaxVmOptions;
        DWORD reserved = *count + (classPathGiven ? 0 : 1);
        DWORD fileRoom = reserved < limit ? limit - reserved : 1;
        cstring configPath;
        programFolderOf(modulePath, configPath);
        configPath.append("/config/halvorin.cfg");
        heapFromFile = addConfigHeapOptions(list, count, fileRoom, configPath.c_str());
    }
    if (!heapGiven && !heapFromFile) {
        char option[32];
        appendHeapOption(list, count, kDefaultHeapMegabytes, option);
        LogMessage("parameter %s passed to JVM (as implicit default)\n", option);
    }
    if (!classPathGiven) {
        cstring option;
        if (buildClassPath(option, modulePath)) appendCopy(list, count, option.c_str());
    }
    return list;
}

bool buildClassPath(cstring& option, const char* modulePath) {
    option.clear();
    char path[512];
    if (!readModulePath(modulePath, path)) {
        ReportOSError("%s", kNoModulePath);
        return false;
    }
    char* slash = strrchr(path, '\\');
    if (!slash) {
        LogMessage("%s\n", kNoModulePath);
        return false;
    }
    *slash = 0;
    // The folder keeps the module path's backslashes; the jar entries use slashes.
    option.assign(kClassPathOption);
    option.append(path);
    option.append(";");
    for (const char* jar : kClassPathJars) {
        option.append(path);
        option.append(jar);
    }
    return true;
}

char** buildMainArgs(char** previous, DWORD* count, DWORD argc, char** argv, const char* modulePath) {
    *count = 0;
    char** list = newList(argc + 10);
    if (!list) return nullptr;
    bool rootGiven = false;
    for (DWORD i = 0; i < argc; i++) {
        if (!argv[i] || isVMOption(argv[i])) continue;
        appendCopy(list, count, argv[i]);
        rootGiven = rootGiven || strcmp(argv[i], "-root") == 0;
    }
    cstring productDir;
    if (!rootGiven && getProductDir(productDir, modulePath)) {
        appendCopy(list, count, "-root");
        appendCopy(list, count, productDir.c_str());
    }
    return list;
}

char* findWorkDir(DWORD argc, char** argv) {
    const size_t prefix = 7;   // "wrkdir="
    for (DWORD i = 0; i < argc; i++)
        if (argv[i] && strlen(argv[i]) > prefix && _strnicmp(argv[i], "wrkdir=", prefix) == 0) return argv[i] + prefix;
    return nullptr;
}

char** splitParameterString(DWORD* count, const char* text) {
    *count = 0;
    if (!text) return nullptr;
    DWORD pieces = 0;
    for (const char* p = text; *p; p++)
        if (*p != '\t' && (p == text || p[-1] == '\t')) pieces++;
    if (!pieces) return nullptr;   // empty, or TABs only
    char** list = newList(pieces);
    if (!list) return nullptr;
    for (const char* p = text; *p;) {
        size_t n = strcspn(p, "\t");
        if (n) {
            cstring piece(p, int(n));
            appendCopy(list, count, piece.c_str());
        }
        p += n;
        if (*p) p++;
    }
    return list;
}

bool getProductDir(cstring& folder, const char* modulePath) {
    folder.clear();
    char path[512];
    if (!readModulePath(modulePath, path)) {
        ReportOSError("Could not get path of service executable");
        return false;
    }
    char* slash = strrchr(path, '\\');
    if (!slash) {
        ReportToEventLog(kNoModulePath);
        return false;
    }
    *slash = 0;
    folder.assign(path);
    cutLastPathComponent(folder);
    return true;
}

void setWorkingDirectory(const char* workDir, const char* modulePath) {
    if (workDir) {
        if (!SetCurrentDirectoryA(workDir))
            ReportOSError("Unable to change working directory to '%s' set in registry (Halvorin will proceed anyway)",
                          workDir);
        return;
    }
    cstring folder;
    if (!getProductDir(folder, modulePath)) return;
    folder.trim_right_chars("\\/");
    folder.append("\\halvorin");
    if (!SetCurrentDirectoryA(folder.c_str()))
        ReportOSError("Unable to change working directory to '%s' (Halvorin will proceed anyway)", folder.c_str());
}

void prependJavaBinToPath(const char* vmPath) {
    // bin\server\jvm.dll gives bin; jre\bin\jvm.dll gives jre, which must hold Java itself.
    cstring binDir(vmPath);
    cutLastPathComponent(binDir);
    cutLastPathComponent(binDir);
    if (!binDir.ends_with("bin", false)) {
        bool holdsJava = false;
        for (const char* name : kJavaFiles) {
            cstring candidate(binDir);
            candidate.append(name);
            holdsJava = holdsJava || IsExistingFile(candidate.c_str());
        }
        if (!holdsJava) return;
    }

    DWORD length = GetEnvironmentVariableA(kPathVariable, nullptr, 0);
    if (!length) return;
    cstring oldPath;
    char* buffer = oldPath.get_buffer(length + 2);
    DWORD n = buffer ? GetEnvironmentVariableA(kPathVariable, buffer, length + 2) : 0;
    if (!n || n >= length + 2) return;   // empty, or changed by another thread meanwhile
    oldPath.set_length(n);

    cstring newPath(binDir);
    newPath.append(";");
    newPath.append(oldPath.c_str(), int(oldPath.length()));
    LogMessage("prepending Java BIN dir %s to PATH. Result:\n%s\n", binDir.c_str(), newPath.c_str());
    SetEnvironmentVariableA(kPathVariable, newPath.c_str());

    // Newer than XP: looked up by name.
    typedef BOOL(WINAPI * SetDllDirectoryFunction)(LPCSTR);
    FARPROC found = GetProcAddress(GetModuleHandleA("KERNEL32.DLL"), "SetDllDirectoryA");
    if (found) reinterpret_cast<SetDllDirectoryFunction>(found)(binDir.c_str());
}
