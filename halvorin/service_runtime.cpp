// The running service and console mode.
// Not built yet: the service body only logs that it is missing.
#include "service_host.h"

void WINAPI serviceMain(DWORD argc, LPSTR* argv) {
    LogMessage("serviceMain: not built yet\n");
}

void RunInConsole() {
    LogMessage("RunInConsole: not built yet\n");
}
