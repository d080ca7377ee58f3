// file_status: the C runtime's stat of a file, with 64-bit sizes and times.
#include "file_status.h"

bool file_status(const char* path, struct _stat64* record) {
    struct _stat64 ignored;
    if (!path) return false;
    return _stat64(path, record ? record : &ignored) == 0;
}
