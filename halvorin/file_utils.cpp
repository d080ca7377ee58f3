// Small file-system tests shared by the entry, JVM discovery and the launch.
#include "service_host.h"

// A path whose attributes can be read and that is not a folder.
bool IsExistingFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}
