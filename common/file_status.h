// file_status: the C runtime's stat of a file, with 64-bit sizes and times.
#pragma once

#include <sys/stat.h>

// True when path exists and record holds its status.
bool file_status(const char* path, struct _stat64* record);
