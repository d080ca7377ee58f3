// The disk scan for Java runtimes. For now only its stop flag, which the client start
// clears; the scan itself comes with the main dialog's Re-Scan.
#include "krlxconfig.h"

std::atomic<bool> StopScan;
