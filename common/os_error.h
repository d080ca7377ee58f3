// The system's text for an OS error code, as every "OS Error" text of the library and
// its users shows it.
#pragma once

#include "cstring.h"

// FormatMessageA's text for the code (trailing line end included, as the system gives
// it); out is empty when the system has none. Returns out's text.
const char* os_error_text(unsigned long code, cstring& out);
