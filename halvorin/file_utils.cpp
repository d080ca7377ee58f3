// Small file-system helpers shared by the entry, JVM discovery, the VM options and the
// launch: the existing-file test, the whole-file read and the path trimming.
#include <string.h>

#include "cstring.h"
#include "service_host.h"

// A path whose attributes can be read and that is not a folder.
bool IsExistingFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool readFileContent(const char* path, cstring& content) {
    content.clear();
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    bool ok = false;
    LARGE_INTEGER size;
    char* buffer = nullptr;
    if (GetFileSizeEx(file, &size) && size.QuadPart < 0x7FFFFFFF)
        buffer = content.get_buffer(unsigned(size.QuadPart));
    if (buffer) {
        // The file may shrink while it is read: what arrived is the content.
        DWORD total = 0, got = 0;
        ok = true;
        while (total < DWORD(size.QuadPart)) {
            if (!ReadFile(file, buffer + total, DWORD(size.QuadPart) - total, &got, nullptr)) {
                ok = false;
                break;
            }
            if (got == 0) break;
            total += got;
        }
        content.set_length(ok ? total : 0);
    }
    CloseHandle(file);
    return ok;
}

void cutLastPathComponent(cstring& path) {
    path.trim_right_chars("\\/");
    int cut = -1;
    for (int i = int(path.length()) - 1; i >= 0 && cut < 0; i--)
        if (path.char_at(unsigned(i)) == '\\' || path.char_at(unsigned(i)) == '/') cut = i;
    path.set_length(cut < 0 ? 0 : unsigned(cut));
}
