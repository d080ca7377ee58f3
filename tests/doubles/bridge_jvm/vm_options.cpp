// The host's VM options as arguments of the Linux java launcher: Windows paths in the
// path options become Wine's unix names (resolved to real paths by the start script),
// -X and -D options pass through, and what a real VM would ignore is left out.
#include "bridge_jvm.h"

#include <cstring>

namespace {

// Options whose value is a Windows path, or a list of them separated by ";".
const char* const kPathOptions[] = {
    "-Djava.class.path=",
    "-Djava.library.path=",
    "-Xbootclasspath/a:",
    "-Djava.io.tmpdir=",
};

// Options of the invocation interface that name hooks in the host's process; a VM in
// another process cannot call them.
const char* const kHookOptions[] = {"vfprintf", "exit", "abort"};

using UnixNameFunction = char*(CDECL*)(const WCHAR*);

UnixNameFunction unixNameFunction() {
    return reinterpret_cast<UnixNameFunction>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
}

// Wine's unix name of an absolute Windows path, or empty when Wine has none.
std::string wineUnixName(const std::string& path) {
    std::wstring wide(path.size() + 1, L'\0');
    int length = MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, &wide[0], int(wide.size()));
    UnixNameFunction function = unixNameFunction();
    char* name = length > 0 && function ? function(wide.c_str()) : nullptr;
    if (!name) return std::string();
    std::string result = name;
    HeapFree(GetProcessHeap(), 0, name);
    return result;
}

void addPathOption(std::vector<std::string>& arguments, const char* prefix, const char* value) {
    std::vector<std::string> paths;
    bool list = strcmp(prefix, "-Djava.io.tmpdir=") != 0;
    const char* start = value;
    while (true) {
        const char* end = list ? strchr(start, ';') : nullptr;
        std::string path = end ? std::string(start, end) : std::string(start);
        if (!path.empty()) paths.push_back(UnixPath(path));
        if (!end) break;
        start = end + 1;
    }
    arguments.push_back("--paths");
    arguments.push_back(prefix);
    arguments.push_back(std::to_string(paths.size()));
    arguments.insert(arguments.end(), paths.begin(), paths.end());
}

bool startsWith(const char* text, const char* prefix) { return strncmp(text, prefix, strlen(prefix)) == 0; }

}  // namespace

std::string UnixPath(const std::string& windowsPath) {
    char full[MAX_PATH * 4];
    DWORD length = GetFullPathNameA(windowsPath.c_str(), sizeof full, full, nullptr);
    std::string path = length > 0 && length < sizeof full ? std::string(full) : windowsPath;
    // Wine names a path whose folder exists; for a deeper missing path, the nearest
    // existing ancestor is named and the rest appended as it is.
    std::string tail;
    while (true) {
        std::string name = wineUnixName(path);
        if (!name.empty()) return name + tail;
        size_t slash = path.find_last_of('\\');
        if (slash == std::string::npos || slash < 3) return std::string();
        tail = "/" + path.substr(slash + 1) + tail;
        path.erase(slash);
    }
}

bool TranslateOptions(const JavaVMInitArgs* init, std::vector<std::string>& arguments, std::string* error) {
    if (!unixNameFunction()) {
        *error = "wine_get_unix_file_name is missing: the bridge runs only under Wine";
        return false;
    }
    // A real VM given ignoreUnrecognized skips options it does not know; the launcher
    // does so for -XX options with this flag.
    if (init->ignoreUnrecognized) arguments.push_back("-XX:+IgnoreUnrecognizedVMOptions");
    for (int i = 0; i < init->nOptions; i++) {
        const char* option = init->options[i].optionString;
        if (!option) {
            *error = "option " + std::to_string(i) + " is null";
            return false;
        }
        bool hook = false;
        for (const char* name : kHookOptions) hook = hook || strcmp(option, name) == 0;
        if (hook) continue;
        if (option[0] != '-') {
            // The launcher would take it for the main class.
            if (!init->ignoreUnrecognized) {
                *error = std::string("Unrecognized option: ") + option;
                return false;
            }
            continue;
        }
        const char* pathPrefix = nullptr;
        for (const char* prefix : kPathOptions)
            if (startsWith(option, prefix)) pathPrefix = prefix;
        if (pathPrefix)
            addPathOption(arguments, pathPrefix, option + strlen(pathPrefix));
        else
            arguments.push_back(option);
    }
    return true;
}
