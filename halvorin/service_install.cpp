// Registration, upgrade and removal of the service "Halvorin".
// Not built yet: each action only logs that it is missing.
#include "service_host.h"

const char* ServiceModuleName() {
    return "halvorin.exe";
}

bool InstallService(int startMode) {
    LogMessage("InstallService: not built yet\n");
    return false;
}

bool UpgradeService(int startMode) {
    LogMessage("UpgradeService: not built yet\n");
    return false;
}

void RemoveService(bool quiet) {
    LogMessage("RemoveService: not built yet\n");
}

void RemoveServiceRetrying(bool quiet) {
    LogMessage("RemoveServiceRetrying: not built yet\n");
}

bool ServiceExists() {
    LogMessage("ServiceExists: not built yet\n");
    return false;
}

int GetServiceStartMode() {
    return -1;
}
