// The baseline of the configurator benchmark: a GUI program that shows one empty modal
// dialog from a template of the configurator's size, caption and font, and waits.
#include <windows.h>

namespace {

INT_PTR CALLBACK emptyDialogProc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_INITDIALOG) return TRUE;
    if (message == WM_CLOSE) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    }
    return FALSE;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return int(DialogBoxParamA(instance, MAKEINTRESOURCEA(1), nullptr, emptyDialogProc, 0));
}
