// A new GUID as text, through CoCreateGuid looked up in ole32.dll (loaded once, kept).
#pragma once

#include "cstring.h"

// Upper-case hexadecimal in the 8-4-4-4-12 grouping. Throws CVelmorException 9080
// "Cannot load OLE32.DLL" or 9081 "Cannot find symbol CoCreateGuid in OLE32.DLL" with
// the OS error; false (out empty) when CoCreateGuid itself fails.
bool guid_text(cstring& out);
