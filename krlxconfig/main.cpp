// Entry of krlxconfig.exe and its 64-bit build: the program runs RunConfigurator with
// its own module as the holder of the dialog, the icons and the embedded 64-bit build.
#include "krlxconfig.h"
#include "system_info.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    return RunConfigurator(instance, commandLine, show, is_wow64(), instance);
}
