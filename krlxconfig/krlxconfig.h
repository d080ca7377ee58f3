// The configurator and client launcher krlxconfig: what each file of the program offers,
// grouped by file. The entry (main.cpp) links krlxconfig_core; the tests link the core
// and call these functions directly.
#pragma once

#include <windows.h>

#include "cstring.h"

// ---- Names shared by several files ----------------------------------------------------

// Title of the configurator's message boxes and name of the client.
#define KRLX_PRODUCT_NAME "Corvalis"
// Machine and user settings key, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
#define KRLX_SETTINGS_KEY "SOFTWARE\\Quorvane\\Corvalis"

// ---- config_log.cpp: the configurator log "krlxconfig.log" -----------------------------

// Appends the formatted text exactly as formatted (callers end their lines with "\n"),
// after a time stamp "MM/DD hh:mm:ss ". One record per call, whole even when several
// threads log at once; a log that cannot be opened drops the text silently.
void LogPrint(const char* format, ...) CSTRING_PRINTF(1, 2);
// The formatted text followed by "\r\n".
void LogLine(const char* format, ...) CSTRING_PRINTF(1, 2);
// "<message>\r\nOS Error <code>: <system text>" with the caller's last error, taken on
// entry before anything else runs.
void LogOsError(const char* format, ...) CSTRING_PRINTF(1, 2);
// The log's full path, fixed on the first write of the process.
const char* LogFilePath();
