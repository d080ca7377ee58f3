// The entry point of krln64.dll: keeps the library's own module handle, from which
// the window natives load the product icons.
#include "krln.h"

HMODULE hKrlnModule;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) hKrlnModule = instance;
    return TRUE;
}
