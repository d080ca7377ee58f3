// A new GUID as text, through CoCreateGuid looked up in ole32.dll once per process.
#include "guid.h"

#include <windows.h>

#include "exception.h"
#include "once.h"

namespace {

typedef HRESULT(WINAPI* CoCreateGuidFunction)(GUID*);

once_state ole32Ready;
CoCreateGuidFunction coCreateGuid;
int lookupFailure;         // 9080 or 9081 when the function could not be had
DWORD lookupError;         // the OS error of that failure

void look_up_co_create_guid() {
    HMODULE ole32 = LoadLibraryA("ole32.dll");
    if (!ole32) {
        lookupError = GetLastError();
        lookupFailure = 9080;
        return;
    }
    coCreateGuid = reinterpret_cast<CoCreateGuidFunction>(reinterpret_cast<void*>(GetProcAddress(ole32, "CoCreateGuid")));
    if (!coCreateGuid) {
        lookupError = GetLastError();
        lookupFailure = 9081;
        FreeLibrary(ole32);
    }
}

}  // namespace

bool guid_text(cstring& out) {
    out.clear();
    run_once(&ole32Ready, look_up_co_create_guid);
    if (lookupFailure == 9080) throw CVelmorException::for_os_error(9080, lookupError, "Cannot load OLE32.DLL");
    if (lookupFailure == 9081)
        throw CVelmorException::for_os_error(9081, lookupError, "Cannot find symbol CoCreateGuid in OLE32.DLL");
    GUID guid;
    if (FAILED(coCreateGuid(&guid))) return false;
    out.format("%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X", guid.Data1, guid.Data2, guid.Data3,
               guid.Data4[0], guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
               guid.Data4[6], guid.Data4[7]);
    return true;
}
