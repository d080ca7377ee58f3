// The baseline of the service benchmark: a service that does no work at all. It
// reports RUNNING at once and STOPPED as soon as it is asked to stop.
#include <windows.h>

namespace {

char serviceName[] = "HalvorinBaseline";
SERVICE_STATUS_HANDLE statusHandle;
SERVICE_STATUS status = {SERVICE_WIN32_OWN_PROCESS, SERVICE_RUNNING, SERVICE_ACCEPT_STOP, 0, 0, 0, 0};
HANDLE stopped;

void WINAPI handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP) SetEvent(stopped);
}

void WINAPI serviceMain(DWORD, LPSTR*) {
    stopped = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    statusHandle = RegisterServiceCtrlHandlerA(serviceName, handler);
    SetServiceStatus(statusHandle, &status);
    WaitForSingleObject(stopped, INFINITE);
    status.dwCurrentState = SERVICE_STOPPED;
    SetServiceStatus(statusHandle, &status);
}

}  // namespace

int main() {
    SERVICE_TABLE_ENTRYA table[] = {{serviceName, serviceMain}, {nullptr, nullptr}};
    StartServiceCtrlDispatcherA(table);
    return 0;
}
