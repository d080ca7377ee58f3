// The configurator's two settings under SOFTWARE\Quorvane\Corvalis: JavaExe, the chosen
// java executable, and Memory, the client's maximum heap in megabytes. Reading prefers
// the user's value, writing the machine's; both in the process's own registry view.
#include "krlxconfig.h"
#include "registry.h"

namespace {

const unsigned kDefaultMemory = 512;

bool hasValue(HKEY key, const char* name) {
    return RegQueryValueExA(key, name, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

// The machine value, or the user value when the machine's cannot be written. The user
// key is created in either case. A user value wins when read, so one that is there
// already gets what the machine got: what was saved is what is read. None is made.
template <class Write>
bool writeSetting(const char* name, Write write) {
    bool written = false;
    HKEY machine = create_or_open_key(HKEY_LOCAL_MACHINE, "%s", KRLX_SETTINGS_KEY);
    if (machine) {
        written = write(machine, name);
        RegCloseKey(machine);
    }
    HKEY user = create_or_open_key(HKEY_CURRENT_USER, "%s", KRLX_SETTINGS_KEY);
    if (user) {
        if (!written) {
            written = write(user, name);
        } else if (hasValue(user, name)) {
            write(user, name);
        }
        RegCloseKey(user);
    }
    return written;
}

// A value of another type reads as 0; only a positive signed value is a heap size.
DWORD readMemoryUnder(HKEY root) {
    DWORD value = 0;
    read_registry_number_under(root, KRLX_SETTINGS_KEY, "Memory", value, 0);
    return value;
}

unsigned usableMemory(DWORD value) {
    return int(value) > 0 ? unsigned(value) : kDefaultMemory;
}

}  // namespace

// A user value that does not load still hides the machine's: the user chose it.
bool ReadJavaExe(cstring& executable) {
    read_registry_text_under(HKEY_CURRENT_USER, KRLX_SETTINGS_KEY, "JavaExe", executable);
    if (!executable.length()) read_registry_text_under(HKEY_LOCAL_MACHINE, KRLX_SETTINGS_KEY, "JavaExe", executable);
    if (executable.length() && IsLoadableImage(executable.c_str())) return true;
    executable.clear();
    return false;
}

bool WriteJavaExe(const char* path) {
    return writeSetting("JavaExe",
                        [path](HKEY key, const char* name) { return write_registry_text(key, name, path); });
}

unsigned ReadMemory() {
    DWORD user = readMemoryUnder(HKEY_CURRENT_USER);
    return usableMemory(user ? user : readMemoryUnder(HKEY_LOCAL_MACHINE));
}

bool WriteMemory(unsigned megabytes) {
    return writeSetting("Memory",
                        [megabytes](HKEY key, const char* name) { return write_registry_number(key, name, megabytes); });
}
