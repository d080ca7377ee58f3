// Process helpers of the utility library: the running executable's path and folder
// (computed once), module versions, the process heaps, mutex and executable-name tests,
// handing a handle to another process and terminating a process.
#pragma once

#include <windows.h>

#include "cstring.h"

// Full path of the running executable (at most 260 characters); computed once.
const char* executable_path();
// The executable path up to and including its last backslash, empty without one.
const char* executable_folder();
// True when the executable's file name equals name, case ignored.
bool is_executable_name(const char* name);

// The fixed file version of a module's version resource (module null: the executable).
// Each out argument may be null; they are set to 0 first. False without a version.
bool module_version(HMODULE module, int* major, int* minor, int* build, int* revision);
// "major.minor.build", or "unknown" without a version. Returns out's text.
const char* module_version_text(HMODULE module, cstring& out);

// Fills up to count heap handles and answers the number of heaps the process has (more
// than count when the array was too small). Without GetProcessHeaps: the default heap.
DWORD process_heaps(HANDLE* heaps, DWORD count);
// HeapCompact on every heap of the process; the sum of the largest free blocks.
SIZE_T compact_heaps();

// 183 (ERROR_ALREADY_EXISTS) when the named mutex exists, 0 when it does not, any other
// error of OpenMutexA as it is.
DWORD mutex_exists(const char* name);

// A duplicate of handle, with the same access, valid in the process processId; null
// on failure (the last error says why).
HANDLE duplicate_handle_into_process(HANDLE handle, DWORD processId);
// Ends the process with exit code -1, with SeDebugPrivilege enabled while it is opened.
// A privilege that cannot be assigned fails with last error 5.
bool terminate_process(DWORD processId);
