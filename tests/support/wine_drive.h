// Drive letters of a test's own under Wine: a Windows folder mapped as a drive letter of
// a chosen type through Wine's mount manager, as winecfg defines drives. The disk-scan
// tests and benchmark walk such drives instead of the real ones (Z: is the whole unix
// root).
#pragma once

#include <windows.h>

namespace testing_support {

// Maps folder (a Windows path) as letter: with type DRIVE_FIXED, DRIVE_CDROM,
// DRIVE_REMOVABLE ... as GetDriveType will report it. A letter that is still mapped is
// mapped anew. False unless GetDriveType then reports the type.
bool DefineWineDrive(char letter, const char* folder, DWORD type);
// Removes the letter again; true when its root is gone. (Wine keeps removed letters in
// GetLogicalDrives; GetDriveType answers DRIVE_NO_ROOT_DIR for them.)
bool RemoveWineDrive(char letter);

}  // namespace testing_support
