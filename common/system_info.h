// System information of the utility library: WOW64, the OS description, and the
// computer name, user name and application-data folder (each computed once), and the
// host's network address.
#pragma once

#include <windows.h>

#include "cstring.h"

// IsWow64Process, looked up by name; false when it is missing or fails.
bool is_wow64();

class OsDescription {
public:
    OsDescription();   // reads the version and system information
    // 64 for a 64-bit system: a process under WOW64, or a 64-bit process.
    int bits() const;

    int wow64;                     // the process runs under WOW64
    unsigned build;                // build number of the version information
    unsigned processor;            // processor architecture, native under WOW64
    cstring name;                  // "Windows XP", "Windows Vista (x64)" ...; empty when unknown
};
// The name for a version: "Windows NT", "Windows 2000", "Windows XP", "Windows 2003",
// "Windows 5.<minor>", "Windows Vista" for every 6.x, "Windows <major>"; " (x64)" added
// under WOW64. Returns out's text.
const char* os_version_name(unsigned major, unsigned minor, bool wow64, cstring& out);

// GetComputerNameA's name, "localhost" when it fails; computed once.
const char* computer_name();
// GetUserNameA's name, empty when it fails; computed once.
const char* user_name();
// The user's application-data folder (CSIDL 26); without the shell's folder functions
// the Windows folder's "Application Data", created. Computed once.
const char* app_data_folder();

// The first address of the host's name as dotted text in buffer, "unknown" on any
// failure. Starts (and ends) Winsock 1.1 for itself when nobody has. Returns buffer.
const char* host_address(char* buffer, int size);
