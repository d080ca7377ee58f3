// JVM discovery: which jvm.dll the service loads, from the VM files beside the
// installation, from the Java vendors' registry keys or, when those give nothing, from
// where newer runtimes record themselves; and the PE machine tests that tell whether a
// library is a usable VM image and which bitness it has.
#include <stdio.h>
#include <string.h>

#include "jvm_host.h"
#include "newer_java_sources.h"
#include "service_host.h"

namespace {

const char* const kJavaDirLocations[] = {
    "bin\\server\\jvm.dll",     "bin\\client\\jvm.dll",     "bin\\jvm.dll",
    "jre\\bin\\server\\jvm.dll", "jre\\bin\\client\\jvm.dll", "jre\\bin\\jvm.dll",
};

// Where a newer runtime's jvm.dll sits under its home folder, in the order probed.
const char* const kNewerHomeLocations[] = {
    "bin\\server\\jvm.dll", "bin\\client\\jvm.dll", "jre\\bin\\server\\jvm.dll", "jre\\bin\\client\\jvm.dll",
};

const char* const kServiceSpecFiles[] = {"halvorin.vm", "jvm"};

const char* const kRegistryRoots[] = {"JavaSoft\\Java", "IBM\\Java2"};

const WORD kMachineX86 = 0x014C;
const WORD kMachineIA64 = 0x0200;
const WORD kMachineX64 = 0x8664;

int bits(bool is64) { return is64 ? 64 : 32; }

// A VM file's text. A path cannot hold a NUL byte and every later use (the log, the
// file tests, LoadLibrary) stops at the first one, so the text ends there too.
void readSpecText(const char* path, cstring& text) {
    readFileContent(path, text);
    text.set_length(unsigned(strlen(text.c_str())));
}

// The next number of a version text, moving the cursor past it; 0 when none is left.
// Numbers of ten digits and more count as 999999999 rather than overflow.
unsigned nextVersionNumber(const char*& cursor) {
    while (*cursor && (*cursor < '0' || *cursor > '9')) cursor++;
    unsigned value = 0;
    for (; *cursor >= '0' && *cursor <= '9'; cursor++)
        value = value < 100000000 ? value * 10 + unsigned(*cursor - '0') : 999999999;
    return value;
}

// The folder a home text names (see JavaHomeSpan).
void cleanJavaHome(cstring& home) {
    unsigned start = 0;
    unsigned length = JavaHomeSpan(home.c_str(), home.length(), &start);
    cstring clean(home.c_str() + start, int(length));
    home = clean;
}

// One newer runtime: its library when that names an existing file, else the first
// jvm.dll under its home. Logs the verdict; true when vmPath is a VM of the service's
// bitness, so that a 64-bit service never takes a 32-bit VM.
bool judgeNewerRuntime(const char* source, const cstring& library, cstring home, bool service64, cstring& vmPath) {
    cleanJavaHome(home);
    vmPath.clear();
    if (library.length() && IsExistingFile(library.c_str())) vmPath = library;
    // An empty home names no folder; probing it would probe the drive's root.
    for (const char* location : kNewerHomeLocations) {
        if (vmPath.length() || !home.length()) break;   // the first existing file is judged
        cstring candidate(home);
        candidate.append("\\");
        candidate.append(location);
        if (IsExistingFile(candidate.c_str())) vmPath = candidate;
    }
    if (!vmPath.length()) {
        LogMessage("newer Java source %s: no jvm.dll under \"%s\"\n", source, home.c_str());
        return false;
    }
    bool usable = isValidVMImage(vmPath.c_str()) && is64BitImage(vmPath.c_str()) == service64;
    LogMessage("newer Java source %s:\n\t   %s is %s %d-bit Java VM\n", source, vmPath.c_str(),
               usable ? "a usable" : "not a usable", bits(service64));
    return usable;
}

struct NewerChoice {
    cstring vmPath;
    cstring source;
    cstring version;
    bool found = false;
};

// Every version entry of one registry source; an entry that beats the choice so far by
// version replaces it (an equal version keeps the earlier one).
void judgeNewerRegistrySource(const NewerJavaSource& from, bool service64, NewerChoice& choice) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, from.key, 0, KEY_READ, &key) != ERROR_SUCCESS) return;
    char version[256];   // a key name has 255 characters at most
    for (DWORD index = 0;; index++) {
        DWORD size = sizeof version;
        if (RegEnumKeyExA(key, index, version, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        cstring entry(from.key);
        entry.append("\\");
        entry.append(version);
        if (*from.entry) {
            entry.append("\\");
            entry.append(from.entry);
        }
        HKEY entryKey;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, entry.c_str(), 0, KEY_READ, &entryKey) != ERROR_SUCCESS) continue;
        RegCloseKey(entryKey);

        cstring home, library, vmPath;
        readRegistryText(HKEY_LOCAL_MACHINE, entry.c_str(), from.homeValue, home);
        if (from.libraryValue) readRegistryText(HKEY_LOCAL_MACHINE, entry.c_str(), from.libraryValue, library);
        cstring source(service64 ? "HKLM(64):" : "HKLM(32):");
        source.append(entry.c_str());
        if (judgeNewerRuntime(source.c_str(), library, home, service64, vmPath) &&
            (!choice.found || compareJavaVersions(version, choice.version.c_str()) > 0)) {
            choice.vmPath = vmPath;
            choice.source = source;
            choice.version = version;
            choice.found = true;
        }
    }
    RegCloseKey(key);
}

}  // namespace

int compareJavaVersions(const char* first, const char* second) {
    while (*first || *second) {
        unsigned a = nextVersionNumber(first), b = nextVersionNumber(second);
        if (a != b) return a < b ? -1 : 1;
    }
    return 0;
}

bool discoverNewerJVM(cstring& vmPath, bool service64) {
    NewerChoice choice;
    for (const NewerJavaSource& source : kNewerJavaSources) judgeNewerRegistrySource(source, service64, choice);
    if (!choice.found) {
        cstring home, noLibrary;
        DWORD size = GetEnvironmentVariableA(kJavaHomeVariable, nullptr, 0);
        char* buffer = size ? home.get_buffer(size) : nullptr;
        DWORD got = buffer ? GetEnvironmentVariableA(kJavaHomeVariable, buffer, size) : 0;
        home.set_length(got < size ? got : 0);
        cleanJavaHome(home);
        cstring source("environment variable ");
        source.append(kJavaHomeVariable);
        if (home.length() && judgeNewerRuntime(source.c_str(), noLibrary, home, service64, choice.vmPath)) {
            choice.source = source;
            choice.found = true;
        }
    }
    if (!choice.found) return false;
    vmPath = choice.vmPath;
    LogMessage("Java (%d-bit) discovered from %s:\n\t   %s\n", bits(service64), choice.source.c_str(),
               vmPath.c_str());
    return true;
}

bool is64BitService() {
    return sizeof(void*) == 8;
}

WORD getImageMachine(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    WORD machine = 0;
    unsigned char dos[68];
    unsigned char header[6];
    DWORD got = 0;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file, &size) && ReadFile(file, dos, sizeof dos, &got, nullptr) && got == sizeof dos &&
        dos[0] == 'M' && dos[1] == 'Z') {
        DWORD offset = DWORD(dos[60]) | DWORD(dos[61]) << 8 | DWORD(dos[62]) << 16 | DWORD(dos[63]) << 24;
        // The offset comes from the file: zero, negative as a signed value, or a header
        // that would end beyond the file is refused before any seek.
        if (offset != 0 && offset <= 0x7FFFFFFF && LONGLONG(offset) + LONGLONG(sizeof header) <= size.QuadPart) {
            LARGE_INTEGER at;
            at.QuadPart = offset;
            if (SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
                ReadFile(file, header, sizeof header, &got, nullptr) && got == sizeof header && header[0] == 'P' &&
                header[1] == 'E')
                machine = WORD(header[4] | header[5] << 8);
        }
    }
    CloseHandle(file);
    return machine;
}

bool isValidVMImage(const char* path) {
    WORD machine = getImageMachine(path);
    return machine == kMachineX86 || machine == kMachineIA64 || machine == kMachineX64;
}

bool is64BitImage(const char* path) {
    WORD machine = getImageMachine(path);
    return machine == kMachineIA64 || machine == kMachineX64;
}

bool readRegistryText(HKEY root, const char* subkey, const char* name, cstring& value) {
    value.clear();
    HKEY key;
    if (RegOpenKeyExA(root, subkey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    DWORD type = 0, size = 0;
    LONG status = RegQueryValueExA(key, name, nullptr, &type, nullptr, &size);
    char* data = nullptr;
    bool read = false;
    // Two spare zero bytes end a string stored without its terminator. The value may
    // grow between the size query and the read: then ask again, a few times at most.
    for (int attempt = 0; status == ERROR_SUCCESS && !read && attempt < 4; attempt++) {
        if (data) GlobalFree(data);
        data = static_cast<char*>(GlobalAlloc(GPTR, size_t(size) + 2));
        if (!data) break;
        DWORD got = size;
        status = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &got);
        if (status == ERROR_MORE_DATA)
            status = ERROR_SUCCESS;
        else
            read = status == ERROR_SUCCESS;
        size = got;
    }
    RegCloseKey(key);

    bool present = false;
    if (read) {
        if (type == REG_SZ || type == REG_MULTI_SZ) {
            value.assign(data);
            present = true;
        } else if (type == REG_EXPAND_SZ) {
            DWORD needed = ExpandEnvironmentStringsA(data, nullptr, 0);
            char* expanded = needed ? value.get_buffer(needed + 1) : nullptr;
            if (expanded && ExpandEnvironmentStringsA(data, expanded, needed + 1)) {
                value.set_length(unsigned(strlen(expanded)));
                present = true;
            } else {
                value.clear();
            }
        }
    }
    if (data) GlobalFree(data);
    return present;
}

bool scanJavaDir(const char* javaDir, cstring& vmPath) {
    for (const char* location : kJavaDirLocations) {
        cstring candidate(javaDir);
        candidate.append("\\");
        candidate.append(location);
        if (IsExistingFile(candidate.c_str())) {
            vmPath = candidate;
            return true;
        }
    }
    return false;
}

bool readProductSpecFile(cstring& vmPath, cstring& specFile, const char* programFolder) {
    cstring path(programFolder);
    cutLastPathComponent(path);
    path.append("\\qzv.vm");
    if (!IsExistingFile(path.c_str())) return false;

    cstring content;
    readSpecText(path.c_str(), content);
    content.trim();
    if (IsExistingFile(content.c_str())) {
        vmPath = content;
        specFile = path;
        return true;
    }
    LogMessage("JVM spec file %s exists, but VM it describesd (%s) does not\n", path.c_str(), content.c_str());
    return false;
}

bool findServiceSpecFile(cstring& specFile, const char* programFolder) {
    for (const char* name : kServiceSpecFiles) {
        cstring path(programFolder);
        path.append(name);
        if (IsExistingFile(path.c_str())) {
            specFile = path;
            LogMessage("JVM spec file %s exists!\n", path.c_str());
            return true;
        }
        LogMessage("JVM spec file %s does not exist\n", path.c_str());
    }
    return false;
}

bool findCustomJVM(cstring& vmPath, cstring& specFile, const char* programFolder) {
    vmPath.clear();   // a verdict below must never judge a path left over from the caller
    if (readProductSpecFile(vmPath, specFile, programFolder)) return true;
    cstring specPath;
    if (!findServiceSpecFile(specPath, programFolder)) return false;

    cstring content;
    readSpecText(specPath.c_str(), content);
    if (!content.length()) {
        char format[] = "Java VM spec file '%s' was discovered, however it does not contain JVM file definition\n";
        size_t size = sizeof format + specPath.length();
        char* text = static_cast<char*>(GlobalAlloc(GPTR, size));
        if (text) {
            snprintf(text, size, format, specPath.c_str());
            LogMessage("%s", text);
            ReportToEventLog(text);
            GlobalFree(text);
        }
        return false;
    }
    LogMessage("jvm defined in spec file '%s': \"%s\"\n", specPath.c_str(), content.c_str());

    content.trim_right_chars("\\/");
    if (content.ends_with(".dll", false)) {
        vmPath = content;
        if (!IsExistingFile(vmPath.c_str()))
            ReportToEventLogFormatted("Java VM file '%s' specified in '%s' does not exist.\nThe file should contain either the "
                            "name of JRE directory or the full path of jvm.dll",
                            content.c_str(), specPath.c_str());
    } else if (!scanJavaDir(content.c_str(), vmPath)) {
        ReportToEventLogFormatted("cannot determine location of jvm.dll from specification in file %s:\n%s\nThe file should "
                        "contain either the name of JRE directory or the ful path of jvm.dll",
                        specPath.c_str(), content.c_str());
    }

    if (!vmPath.length()) return false;
    if (IsExistingFile(vmPath.c_str())) {
        specFile = specPath;
        LogMessage("VM configuration in file %s is good (%s) - discovery successful\n", specPath.c_str(),
                   vmPath.c_str());
        return true;
    }
    LogMessage("VM configuration in file %s is bad (%s) - discovery unsuccessful\n", specPath.c_str(), vmPath.c_str());
    return false;
}

bool discoverRegistryJVM(cstring& vmPath, bool service64) {
    const char* label = service64 ? "HKLM(64)" : "HKLM(32)";
    for (const char* root : kRegistryRoots) {
        cstring productKey("SOFTWARE\\");
        productKey.append(root);
        productKey.append(" Runtime Environment");
        cstring version;
        if (!readRegistryText(HKEY_LOCAL_MACHINE, productKey.c_str(), "CurrentVersion", version)) continue;

        cstring versionKey(productKey);
        versionKey.append("\\");
        versionKey.append(version.c_str(), int(version.length()));
        const char* where = versionKey.c_str();
        if (!readRegistryText(HKEY_LOCAL_MACHINE, where, "RuntimeLib", vmPath)) {
            ReportToEventLogFormatted("WARNING: Invalid Java registry. Value \"RuntimeLib\" under \"%s\" is missing (VM is "
                            "unusable)",
                            where);
            continue;
        }
        cstring microVersion;
        if (!readRegistryText(HKEY_LOCAL_MACHINE, where, "MicroVersion", microVersion))
            ReportToEventLogFormatted("WARNING: Invalid Java registry. Value \"MicroVersion\" under \"%s\" is missing (will "
                            "attempt to use this VM anyway)",
                            where);

        if (!IsExistingFile(vmPath.c_str())) {
            cstring runtimeLib(vmPath);
            cstring javaHome;
            // An empty JavaHome names no folder; probing it would probe the drive's root.
            if (!readRegistryText(HKEY_LOCAL_MACHINE, where, "JavaHome", javaHome) || !javaHome.length()) {
                ReportToEventLogFormatted("WARNING: Registry value %s:%s:RuntimeLib points to invalid file: %s and there's no "
                                "JavaHome. VM is unusable.",
                                label, where, runtimeLib.c_str());
                continue;
            }
            if (!scanJavaDir(javaHome.c_str(), vmPath)) {
                ReportToEventLogFormatted("WARNING: Registry value %s:%s:RuntimeLib points to invalid file:\n\t  %s. Also, file "
                                "jvm.dll could not be discovered in alternative locations under Java Home (%s). VM is "
                                "unusable.",
                                label, where, runtimeLib.c_str(), javaHome.c_str());
                continue;
            }
            ReportToEventLogFormatted("WARNING: Registry value %s:%s:RuntimeLib points to non-existing file:\n\t  %s\n\t  "
                            "Halvorin discovered another VM file here by scanning Java dir %s:\n\t  %s",
                            label, where, runtimeLib.c_str(), javaHome.c_str(), vmPath.c_str());
        }
        if (isValidVMImage(vmPath.c_str())) return true;
    }
    return false;
}

bool discoverJVM(cstring& vmPath, cstring& specFile, const char* programFolder, bool service64) {
    specFile.clear();
    if (findCustomJVM(vmPath, specFile, programFolder)) {
        bool vm64 = is64BitImage(vmPath.c_str());
        LogMessage("Java (%d-bit) is set explicitly in config file %s:\n\t%s\n", bits(vm64), specFile.c_str(),
                   vmPath.c_str());
        if (vm64 == service64) return true;
        if (service64)
            ReportToEventLogFormatted("64-bit Halvorin service cannot use 32-bit Java (%s) specified in config file %s.If you "
                            "want to use this Java with Halvorin, please re-install Halvorin as 32-bit service "
                            "(halvorin.exe /x) or change configuration file.Halvorin will attempt to discover "
                            "location of 64-bit Java in Windows registry.",
                            vmPath.c_str(), specFile.c_str());
        else
            ReportToEventLogFormatted("32-bit Halvorin service cannot use 64-bit Java (%s) specified in config file %s.If you "
                            "want to use this Java with Halvorin, please re-install Halvorin as 64-bit service "
                            "(halvorin64.exe /x) or change configuration file."
                            "Halvorin will attempt to discover location of 32-bit Java in Windows registry.",
                            vmPath.c_str(), specFile.c_str());
        specFile.clear();   // the VM, if any, now comes from the registry
    } else {
        LogMessage("custom VM was not defined - discovering in registry...\n");
    }
    if (!discoverRegistryJVM(vmPath, service64)) return discoverNewerJVM(vmPath, service64);
    LogMessage("Java (%d-bit) discovered from registry:\n\t   %s\n", bits(is64BitImage(vmPath.c_str())),
               vmPath.c_str());
    return true;
}

bool discoverJVM(cstring& vmPath, cstring& specFile) {
    return discoverJVM(vmPath, specFile, GetModuleFolder(), is64BitService());
}

bool findCustomJVM(cstring& vmPath, cstring& specFile) {
    return findCustomJVM(vmPath, specFile, GetModuleFolder());
}

bool readProductSpecFile(cstring& vmPath, cstring& specFile) {
    return readProductSpecFile(vmPath, specFile, GetModuleFolder());
}

bool findServiceSpecFile(cstring& specFile) {
    return findServiceSpecFile(specFile, GetModuleFolder());
}

bool discoverRegistryJVM(cstring& vmPath) {
    return discoverRegistryJVM(vmPath, is64BitService());
}
