// A top-level window of another process for the window tests.
// usage: krln_window_helper.exe CLASS READY_EVENT STOP_EVENT
// Registers CLASS, creates a window of it, signals READY_EVENT and keeps its messages
// flowing (sent messages such as WM_GETICON included) until STOP_EVENT is signalled or
// a minute has passed.
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[2]);
    HANDLE stop = OpenEventA(SYNCHRONIZE, FALSE, argv[3]);
    if (!ready || !stop) return 3;
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = DefWindowProcA;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = argv[1];
    if (!RegisterClassA(&windowClass)) return 4;
    HWND window = CreateWindowExA(0, argv[1], "krln helper", WS_OVERLAPPEDWINDOW, 0, 0, 120, 80, nullptr, nullptr,
                                  windowClass.hInstance, nullptr);
    if (!window) return 5;
    SetEvent(ready);
    DWORD started = GetTickCount();
    while (GetTickCount() - started < 60000) {
        if (MsgWaitForMultipleObjects(1, &stop, FALSE, 1000, QS_ALLINPUT) == WAIT_OBJECT_0) break;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    DestroyWindow(window);
    return 0;
}
