// Dialog 103, where the user chooses the Java executable and the heap size: its start-up
// with the discovered runtimes, the disk scan it starts and stops, and Save Settings,
// which stores both values, rewrites the shortcuts and the start script.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include "krlxconfig.h"
#include "window_queries.h"

JreLocationList* DialogJreList;
HWND MainDialogWindow;
DialogPlaces MainDialogPlaces;

namespace {

enum {
    kBrowseButton = 1001,
    kMemoryEdit = 1002,
    kMemorySpin = 1003,
    kJavaCombo = 1004,
    kSaveButton = 1007,
    kScanButton = 1008,
    kScanText = 1009,
    kReminderText = 1010,
};

const int kMinimumMemory = 96;

int ask(HWND dialog, UINT type, const char* text) {
    return MessageBoxA(dialog, text, KRLX_PRODUCT_NAME, type);
}

JreLocationList& sharedList() {
    if (!DialogJreList) DialogJreList = new JreLocationList;
    return *DialogJreList;
}

// The scan thread appends under the list's lock, so the executables are read under it;
// the combo belongs to this thread and takes no lock of its own.
void FillJreCombo(HWND dialog) {
    HWND combo = GetDlgItem(dialog, kJavaCombo);
    if (!combo) return;
    SendMessageA(combo, CB_RESETCONTENT, 0, 0);
    JreLocationList& list = sharedList();
    {
        JreListLock lock(list);
        for (int i = 0; i < list.count(); i++)
            SendMessageA(combo, CB_ADDSTRING, 0, LPARAM(list.at(i)->executable.c_str()));
    }
    cstring first;
    list.executable_at(0, first);
    SetWindowTextA(combo, first.c_str());
    InvalidateRect(combo, nullptr, TRUE);
    UpdateWindow(combo);
}

void SetScanState(HWND dialog, bool busy) {
    SetDlgItemTextA(dialog, kScanButton, busy ? "Stop" : "Re-Scan");
    cstring text(cstring::formatted,
                 "%d JRE(s) found. Press 'Re-Scan' to re-scan filesystem and registry to discover possible JRE locations.",
                 sharedList().count());
    SetDlgItemTextA(dialog, kScanText, text.c_str());
    static const int kRuntimeControls[] = {kJavaCombo, kBrowseButton, kMemoryEdit, kMemorySpin, IDOK};
    for (int id : kRuntimeControls) EnableWindow(GetDlgItem(dialog, id), !busy);
}

void InitMainDialog(HWND dialog) {
    HICON icon = LoadIconA(ModuleInstance, MAKEINTRESOURCEA(IDI_WINDOW_ICON));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, LPARAM(icon));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, LPARAM(icon));

    // No notifications during the quick discovery: its runtimes are shown all at once.
    JreLocationList& list = sharedList();
    list.window = nullptr;
    Discover(list, MainDialogPlaces.programFolder);
    list.window = dialog;

    ShowWindow(GetDlgItem(dialog, kReminderText), SW_HIDE);
    FillJreCombo(dialog);
    SendDlgItemMessageA(dialog, kMemorySpin, UDM_SETBUDDY, WPARAM(GetDlgItem(dialog, kMemoryEdit)), 0);
    SendDlgItemMessageA(dialog, kMemorySpin, UDM_SETRANGE32, kMinimumMemory, 2147483647);
    SendDlgItemMessageA(dialog, kMemoryEdit, EM_LIMITTEXT, 6, 0);

    cstring stored;
    bool haveStored = ReadJavaExe(stored);
    SetDlgItemTextA(dialog, kJavaCombo, stored.c_str());
    SetDlgItemInt(dialog, kMemoryEdit, ReadMemory(), FALSE);

    if (!list.count()) {
        SetScanState(dialog, true);
        SendMessageA(dialog, WM_JRE_FOUND, 0, 0);
        StartScanThread(list, MainDialogPlaces.scan);
    } else {
        SetScanState(dialog, false);
        // Refills the combo, whose text becomes the best runtime; a usable stored choice
        // then takes its place.
        SendMessageA(dialog, WM_JRE_SCAN_DONE, list.count(), 0);
        if (haveStored) SetDlgItemTextA(dialog, kJavaCombo, stored.c_str());
    }
}

void Browse(HWND dialog) {
    char file[261] = "java.exe";
    OPENFILENAMEA request = {};
    request.lStructSize = sizeof request;
    request.hwndOwner = dialog;
    request.lpstrFilter = "Java Executable (java.exe or javaw.exe)\0javaw.exe;java.exe\0";
    request.lpstrFile = file;
    request.nMaxFile = sizeof file;
    request.Flags = OFN_FILEMUSTEXIST | OFN_ENABLESIZING;
    if (GetOpenFileNameA(&request)) SetDlgItemTextA(dialog, kJavaCombo, file);
}

// Stop shows what the scan found so far and lets it end on its own: this thread never
// waits for it. Re-Scan runs the quick sources here (the newer runtimes' keys only when the
// others find nothing, as at start-up), then the disk scan.
void ScanOrStop(HWND dialog) {
    JreLocationList& list = sharedList();
    if (ScanInProgress()) {
        StopScan = true;
        list.window = nullptr;
        FillJreCombo(dialog);
        SetScanState(dialog, false);
        return;
    }
    StopScan = false;
    list.clear();
    list.window = dialog;
    FindLocalJres(list, MainDialogPlaces.programFolder);
    ScanBatchFiles(list, MainDialogPlaces.programFolder);
    ScanSettingsAndRegistry(list);
    if (!list.count()) ScanNewerSources(list);
    StartScanThread(list, MainDialogPlaces.scan);
    // The progress text is put in place at once: a notification posted here would be
    // handled after the scan's own, sent, end of a short scan and outdate its text.
    SetScanState(dialog, true);
    SendMessageA(dialog, WM_JRE_FOUND, list.count(), 0);
}

void OnScanDone(HWND dialog) {
    SetScanState(dialog, false);
    FillJreCombo(dialog);
    if (!SetupMode && !sharedList().count() && !StopScan)
        ask(dialog, MB_OK | MB_ICONEXCLAMATION,
            "Could not find a valid Java Executable (java.exe or javaw.exe) to start " KRLX_PRODUCT_NAME ".\n"
            "You can download and install the latest version of Java from Oracle (https://www.java.com/download/) and use\n"
            "Start->Programs->QZV->" KRLX_PRODUCT_NAME "->Configure " KRLX_PRODUCT_NAME "\n"
            "menu to point to java.exe located in bin subdirectory of the Java JRE installation.");
}

void OnCommand(HWND dialog, int id) {
    switch (id) {
    case kSaveButton:
        SaveSettings(dialog);
        break;
    case IDOK:
        if (SaveSettings(dialog)) EndDialog(dialog, IDOK);
        break;
    case IDCANCEL:
        StopScan = true;
        EndDialog(dialog, IDCANCEL);
        break;
    case kBrowseButton:
        Browse(dialog);
        break;
    case kScanButton:
        ScanOrStop(dialog);
        break;
    }
}

}  // namespace

bool CheckJavaVersion(const char* path, cstring& version) {
    JreLocation location(nullptr, nullptr, nullptr, path);
    version = location.version;
    if (!location.IsValid() || !version.length()) return false;
    const int* parts = location.versionParts;
    return parts[0] != 0 && !(parts[0] == 1 && parts[1] <= 4);
}

int SaveSettings(HWND dialog) {
    const char* const kRegistryQuestion =
        "Unable to save new settings. You might not have permissions to modify Windows registry. To resolve this "
        "issue, try to invoke this program from the right mouse menu by choosing\n'Run As Administrator'.";
    const UINT kQuestion = MB_YESNO | MB_ICONEXCLAMATION;
    cstring java;
    HWND combo = GetDlgItem(dialog, kJavaCombo);
    if (combo) {
        window_text(combo, java);
        java.trim();
        if (!java.length()) {
            ask(dialog, MB_OK | MB_ICONHAND, "Please select valid java.exe");
            return 0;
        }
        if (!IsLoadableImage(java.c_str())) {
            cstring text(cstring::formatted, "The file \"%s\" is not valid Java Executable", java.c_str());
            ask(dialog, MB_OK | MB_ICONHAND, text.c_str());
            return 0;
        }
        cstring version;
        if (!CheckJavaVersion(java.c_str(), version) && version.length()) {
            cstring text(cstring::formatted,
                         "The version of selected Java Runtime Environment (%s) is not supported by %s. We strongly "
                         "recommend to install JRE version 1.5.0 or newer. Do you want to continue anyway?",
                         version.c_str(), KRLX_PRODUCT_NAME);
            if (ask(dialog, kQuestion, text.c_str()) != IDYES) return 0;
        }
    }
    // The heap size is checked before the first registry write, so that a refused size
    // leaves every setting as it was.
    BOOL isNumber = FALSE;
    UINT memory = GetDlgItemInt(dialog, kMemoryEdit, &isNumber, FALSE);
    if (!isNumber || int(memory) < kMinimumMemory) {
        cstring text(cstring::formatted,
                     "Please enter amount of JVM memory.\nThe minimum reasonable amount of memory which will make %s "
                     "work without problems is %d megabytes.",
                     KRLX_PRODUCT_NAME, kMinimumMemory);
        ask(dialog, MB_OK | MB_ICONHAND, text.c_str());
        return 0;
    }
    if (combo && !WriteJavaExe(java.c_str()) && ask(dialog, kQuestion, kRegistryQuestion) != IDYES) return 0;
    WriteMemory(memory);
    WriteJavaExe(java.c_str());
    if (!CreateShortcutSet(java, MainDialogPlaces.programFolder) && ask(dialog, kQuestion, kRegistryQuestion) != IDYES)
        return 0;
    return WriteLaunchScript(java.c_str(), MainDialogPlaces.programFolder);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        MainDialogWindow = dialog;
        InitMainDialog(dialog);
        BringWindowToTop(dialog);
        return TRUE;
    case WM_COMMAND:
        if (HIWORD(wParam) != 0) return FALSE;
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_CLOSE:
        // A running scan goes on, but its notifications no longer reach this dialog.
        sharedList().window = nullptr;
        EndDialog(dialog, IDCANCEL);
        return TRUE;
    case WM_JRE_FOUND: {
        cstring text(cstring::formatted, "Discovering available JREs (%d found so far)...", int(wParam));
        SetDlgItemTextA(dialog, kScanText, text.c_str());
        InvalidateRect(GetDlgItem(dialog, kScanText), nullptr, TRUE);
        return TRUE;
    }
    case WM_JRE_SCAN_DONE:
        OnScanDone(dialog);
        return TRUE;
    }
    return FALSE;
}
