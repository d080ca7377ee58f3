// The system's text for an OS error code.
#include "os_error.h"

#include <windows.h>

const char* os_error_text(unsigned long code, cstring& out) {
    char* buffer = nullptr;
    DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageA(flags, nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
    out.assign(length ? buffer : "", int(length));
    if (buffer) LocalFree(buffer);
    return out.c_str();
}
