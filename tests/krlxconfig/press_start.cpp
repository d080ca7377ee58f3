// press_start.exe (demo only): waits up to 30 s for the configurator's main dialog, prints
// what it shows (the Java executable, the heap size, which runtime controls are enabled),
// then clicks "Start Corvalis". Exit code 0 once clicked, 1 when no dialog appeared.
#include <windows.h>
#include <stdio.h>

namespace {

BOOL CALLBACK findMainDialog(HWND window, LPARAM found) {
    char className[16] = "", caption[32] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    if (!lstrcmpA(className, "#32770") && !lstrcmpA(caption, "Corvalis") && IsWindowVisible(window) &&
        GetDlgItem(window, 1004)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

}  // namespace

int main() {
    HWND dialog = nullptr;
    for (int i = 0; i < 600 && !dialog; i++) {
        EnumWindows(findMainDialog, LPARAM(&dialog));
        if (!dialog) Sleep(50);
    }
    if (!dialog) {
        printf("no main dialog appeared\n");
        return 1;
    }
    // The quick discovery is over once the runtime controls are enabled (a disk scan
    // would keep them disabled).
    for (int i = 0; i < 600 && !IsWindowEnabled(GetDlgItem(dialog, IDOK)); i++) Sleep(50);
    char java[MAX_PATH] = "", memory[16] = "";
    GetDlgItemTextA(dialog, 1004, java, sizeof java);
    GetDlgItemTextA(dialog, 1002, memory, sizeof memory);
    printf("Location of java.exe:  %s\n", java);
    printf("Maximum memory:        %s megabytes\n", memory);
    printf("Start Corvalis:        %s\n", IsWindowEnabled(GetDlgItem(dialog, IDOK)) ? "enabled" : "disabled");
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), LPARAM(GetDlgItem(dialog, IDOK)));
    printf("clicked Start Corvalis\n");
    return 0;
}
