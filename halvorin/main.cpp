// Entry of halvorin: without arguments it is the service "Halvorin" and hands control
// to the Service Control Manager's dispatcher; with arguments it runs one option.
#include <stdio.h>
#include <stdlib.h>

#include "service_host.h"

namespace {
SERVICE_TABLE_ENTRYA serviceTable[2];
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show) {
    DisableVirtualization();
    serviceTable[0].lpServiceName = const_cast<char*>(kServiceName);   // only read by the dispatcher
    serviceTable[0].lpServiceProc = serviceMain;
    SetProcessID(GetCurrentProcessId());

    if (!commandLine || !commandLine[0]) {
        printf("\nThis program is a Windows service");
        printf("\nRun 'halvorin -h' to see command-line usage");
        printf("\nService started in \"foreground\" mode.\n");
        fflush(stdout);
        // Returns when the service has stopped; ProcessID is cleared by the JVM thread.
        if (!StartServiceCtrlDispatcherA(serviceTable)) {
            const char* failure = "StartServiceControlDispatcher failed!";
            printf("\n%s\n", failure);
            ReportToEventLog(failure);
        }
        return 0;
    }

    if (RunCommandLine(commandLine)) return 0;   // the 64-bit twin did the work
    SetProcessID(0);
    exit(0);
}
