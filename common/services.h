// Service helpers of the utility library: a service's registry record written directly,
// whether a service's key exists, and deleting a service with its key tree.
#pragma once

// Writes ImagePath (REG_EXPAND_SZ), Type 16 (own process), ErrorControl 1, Start (2
// automatic, 3 on demand), DisplayName and Description under the service's key in
// HKEY_LOCAL_MACHINE. True when the key could be created.
bool write_service_record(const char* name, const char* imagePath, const char* displayName, const char* description,
                          bool automatic);
// True when the service's key opens with full access.
bool service_exists(const char* name);
// Deletes the service through the service manager, then its key tree. True when the
// service manager deleted it; the last error is that of the deletion.
bool delete_service(const char* name);
